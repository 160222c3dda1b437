#!/bin/sh
# Builds the Debian packages the way a packager would (a fresh /usr build and
# cpack -G DEB): veklog, the window, and veklog-explain, the terminal program
# with the knowledge base, which needs neither the toolkit nor X. Checks their
# control fields, their contents and, when lintian is installed, that lintian
# reports no errors or warnings for either.
#   install_package.sh SOURCE_DIR [WORK_DIR]
set -u
src=$1
work=${2:-}
if [ -z "$work" ]; then
  work=$(mktemp -d /tmp/veklog-package.XXXXXX)
  trap 'rm -rf "$work"' EXIT
fi
mkdir -p "$work"
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

build=$work/build
cmake -S "$src" -B "$build" -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVEKLOG_BUILD_TESTS=OFF -DVEKLOG_BUILD_BENCH=OFF -DVEKLOG_SANITIZE=OFF \
  >"$work/configure.log" 2>&1 || { cat "$work/configure.log" >&2; exit 1; }
cmake --build "$build" -j 2 >"$work/build.log" 2>&1 || { tail -40 "$work/build.log" >&2; exit 1; }
(cd "$build" && cpack -G DEB) >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log" >&2; exit 1; }

deb=$(ls "$build"/veklog_*.deb 2>/dev/null | head -1)
explain=$(ls "$build"/veklog-explain_*.deb 2>/dev/null | head -1)
[ -n "$deb" ] && [ -n "$explain" ] ||
  { echo "FAIL: cpack made no veklog_*.deb and veklog-explain_*.deb: $(ls "$build"/*.deb)" >&2; exit 1; }
echo "packages: $(basename "$deb") $(basename "$explain")"

field() { dpkg-deb -f "$1" "$2"; }
[ "$(field "$deb" Package)" = veklog ] || fail "Package is '$(field "$deb" Package)'"
[ "$(field "$explain" Package)" = veklog-explain ] || fail "Package is '$(field "$explain" Package)'"
version=$(field "$deb" Version)
[ "$(field "$explain" Version)" = "$version" ] || fail "the two packages' versions differ"
depends=$(field "$deb" Depends)
echo "veklog Depends: $depends"
# The libraries come from dpkg-shlibdeps, with versions; the window takes its
# knowledge base from veklog-explain of the same version.
for lib in libfltk1.3 libc6; do
  printf '%s\n' "$depends" | grep -q "$lib (>= " || fail "veklog's Depends lacks a versioned $lib"
done
printf '%s\n' "$depends" | grep -qF "veklog-explain (= $version)" ||
  fail "veklog does not depend on veklog-explain (= $version)"
explain_depends=$(field "$explain" Depends)
echo "veklog-explain Depends: $explain_depends"
for lib in libxml2 libc6; do
  printf '%s\n' "$explain_depends" | grep -q "$lib (>= " ||
    fail "veklog-explain's Depends lacks a versioned $lib"
done
printf '%s\n' "$explain_depends" | grep -qE 'libfltk|libx11|libX' &&
  fail "veklog-explain depends on the toolkit or X: $explain_depends"
for d in "$deb" "$explain"; do
  [ "$(field "$d" Source)" = veklog ] || [ "$(field "$d" Package)" = veklog ] ||
    fail "$(basename "$d") names no source veklog"
done

contents() { dpkg-deb -c "$1" | awk '{ print $6 }' | sed 's|^\./|/|'; }
contents "$deb" >"$work/contents"
contents "$explain" >"$work/contents-explain"
for f in /usr/bin/veklog /usr/share/applications/veklog.desktop \
         /usr/share/metainfo/org.veklog.veklog.metainfo.xml \
         /usr/share/icons/hicolor/scalable/apps/veklog.svg /usr/share/man/man1/veklog.1.gz \
         /usr/share/doc/veklog/copyright /usr/share/doc/veklog/changelog.gz; do
  grep -qx "$f" "$work/contents" || fail "$f is not in veklog"
done
for f in /usr/bin/veklog-explain /usr/share/man/man1/veklog-explain.1.gz \
         /usr/share/tarn/data/errors.xml /usr/share/doc/veklog-explain/copyright \
         /usr/share/doc/veklog-explain/changelog.gz; do
  grep -qx "$f" "$work/contents-explain" || fail "$f is not in veklog-explain"
done
# No file in both.
sort "$work/contents" "$work/contents-explain" | grep -v '/$' | uniq -d >"$work/both"
[ -s "$work/both" ] && fail "files in both packages: $(cat "$work/both")"
cat "$work/contents" "$work/contents-explain" | grep -q '^/usr/local' && fail "a package installs under /usr/local"

# The programs in the packages look for their knowledge base where the
# package puts it.
dpkg-deb -x "$deb" "$work/root"
dpkg-deb -x "$explain" "$work/root"
for prog in veklog veklog-explain; do
  grep -q -a '/usr/share/tarn' "$work/root/usr/bin/$prog" ||
    fail "the packaged $prog does not look in /usr/share/tarn"
done
# veklog-explain needs neither the toolkit nor X11.
objdump -p "$work/root/usr/bin/veklog-explain" | grep NEEDED | grep -qE 'libfltk|libX' &&
  fail "the packaged veklog-explain links the toolkit or X11"
# The licence, in Debian's form.
for pkg in veklog veklog-explain; do
  grep -qx 'License: Apache-2.0' "$work/root/usr/share/doc/$pkg/copyright" ||
    fail "$pkg's copyright names no Apache-2.0 licence"
done

if command -v lintian >/dev/null 2>&1; then
  for d in "$deb" "$explain"; do
    lintian "$d" >"$work/lintian.log" 2>&1
    grep -v 'running with root privileges' "$work/lintian.log"
    grep -q '^[EW]: ' "$work/lintian.log" && fail "lintian reports errors or warnings for $(basename "$d")"
  done
else
  echo "lintian is not installed; its checks were not run"
fi

if [ $failures -ne 0 ]; then
  echo "$failures problem(s) in the packages" >&2
  exit 1
fi
echo "packages built and checked"
