#!/bin/sh
# Installs the build into a temporary prefix and checks what lands there:
#   install_tree.sh BUILD_DIR SOURCE_DIR PREFIX DATADIR
# PREFIX is the build's install prefix and DATADIR the data directory compiled
# into the program; the knowledge base lands in DATADIR/data, moved into the
# temporary prefix when DATADIR lies under PREFIX.
set -u
build=$1
src=$2
configured_prefix=${3%/}
datadir=${4%/}
case $datadir in
  "$configured_prefix"/*) datadir_rel=${datadir#"$configured_prefix"/} ;;
  *) echo "FAIL: the data directory $datadir is outside the prefix $configured_prefix;" \
          "an install into a temporary prefix cannot be checked" >&2; exit 1 ;;
esac

work=$(mktemp -d /tmp/veklog-install-tree.XXXXXX)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 ||
  { cat "$work/install.log" >&2; echo "FAIL: cmake --install" >&2; exit 1; }

# Every file the desktop, the shell and the program look for.
for f in \
  bin/veklog \
  bin/veklog-explain \
  "$datadir_rel/data/errors.xml" \
  share/applications/veklog.desktop \
  share/metainfo/org.veklog.veklog.metainfo.xml \
  share/icons/hicolor/16x16/apps/veklog.png \
  share/icons/hicolor/32x32/apps/veklog.png \
  share/icons/hicolor/48x48/apps/veklog.png \
  share/icons/hicolor/128x128/apps/veklog.png \
  share/icons/hicolor/scalable/apps/veklog.svg \
  share/doc/veklog/copyright \
  share/doc/veklog/changelog.gz \
  share/doc/veklog-explain/copyright \
  share/doc/veklog-explain/changelog.gz
do
  [ -f "$prefix/$f" ] || fail "$f is not installed"
done
[ -x "$prefix/bin/veklog" ] || fail "bin/veklog is not executable"
# The program falls back on the data directory of this build.
grep -q -a -F "$datadir" "$prefix/bin/veklog" ||
  fail "the installed program does not look in $datadir"
cmp -s "$src/data/errors.xml" "$prefix/$datadir_rel/data/errors.xml" ||
  fail "the installed errors.xml differs from data/errors.xml"

# Each PNG is as large as the directory it sits in says (width and height are
# the big-endian words at bytes 16 and 20 of the header).
for size in 16 32 48 128; do
  png=$prefix/share/icons/hicolor/${size}x${size}/apps/veklog.png
  [ -f "$png" ] || continue
  dims=$(od -An -tu1 -j16 -N8 "$png" |
         awk '{ printf "%dx%d", (($1*256+$2)*256+$3)*256+$4, (($5*256+$6)*256+$7)*256+$8 }')
  [ "$dims" = "${size}x${size}" ] || fail "the ${size}x${size} icon is $dims"
done

# The desktop entry starts an installed program, names an installed icon and
# tells the desktop which windows belong to it.
desktop=$prefix/share/applications/veklog.desktop
if [ -f "$desktop" ]; then
  prog=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
  [ -x "$prefix/bin/$prog" ] || fail "Exec names '$prog', which is not in bin/"
  icon=$(sed -n 's/^Icon=//p' "$desktop")
  [ -f "$prefix/share/icons/hicolor/scalable/apps/$icon.svg" ] ||
    fail "Icon names '$icon', which has no scalable icon"
  grep -qx 'StartupWMClass=veklog' "$desktop" || fail "StartupWMClass is not veklog"
fi
meta=$prefix/share/metainfo/org.veklog.veklog.metainfo.xml
if [ -f "$meta" ]; then
  launch=$(sed -n 's/.*<launchable type="desktop-id">\(.*\)<\/launchable>.*/\1/p' "$meta")
  [ -f "$prefix/share/applications/$launch" ] ||
    fail "the metainfo launches '$launch', which is not installed"
fi

# The manual pages: compressed, format without warnings, and tell where this
# build looks for its knowledge base.
for page in veklog.1 veklog-explain.1; do
  man=$(find "$prefix/share/man/man1" -name "$page*" 2>/dev/null | head -1)
  if [ -z "$man" ]; then
    fail "no manual page $page in share/man/man1"
    continue
  fi
  case $man in
    *.gz) gzip -t "$man" || fail "the manual page $page is not valid gzip"
          gzip -dc "$man" >"$work/$page" ;;
    *) cp "$man" "$work/$page" ;;
  esac
  if command -v groff >/dev/null 2>&1; then
    groff -man -ww -z -Tutf8 "$work/$page" >"$work/groff.log" 2>&1
    [ -s "$work/groff.log" ] && { cat "$work/groff.log" >&2; fail "groff warns about $page"; }
  fi
  grep -q "$datadir" "$work/$page" || fail "the manual page $page does not name $datadir"
  for section in SYNOPSIS DESCRIPTION ENVIRONMENT FILES 'EXIT STATUS'; do
    grep -q "^\.SH \"*$section" "$work/$page" || fail "the manual page $page has no $section section"
  done
done
for var in HOME TARN_DATADIR TARN_SERVERROOT; do
  grep -q "^\.B $var\$" "$work/veklog.1" || fail "the manual page does not describe $var"
done
# The terminal program runs from the install without a display, finds the
# installed knowledge base through TARN_DATADIR and finds nothing wrong in it.
if [ -x "$prefix/bin/veklog-explain" ]; then
  (cd "$work" && env -u DISPLAY TARN_DATADIR="$prefix/$datadir_rel" \
    "$prefix/bin/veklog-explain" --check-kb) >"$work/check.out" 2>&1 ||
    { cat "$work/check.out" >&2; fail "the installed veklog-explain does not pass its knowledge base"; }
  grep -q "$prefix/$datadir_rel/data/errors.xml: [1-9][0-9]* remedies" "$work/check.out" ||
    fail "the installed veklog-explain read another knowledge base: $(cat "$work/check.out")"
fi

if [ $failures -ne 0 ]; then
  echo "$failures problem(s) in the installed tree" >&2
  exit 1
fi
echo "installed tree complete under $prefix"
