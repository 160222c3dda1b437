#!/bin/sh
# Builds the Debian package the way a packager would (a fresh /usr build and
# cpack -G DEB) and checks its control fields, its contents and, when lintian
# is installed, that lintian reports no errors or warnings.
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
[ -n "$deb" ] || { echo "FAIL: cpack made no veklog_*.deb" >&2; exit 1; }
echo "package: $(basename "$deb")"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = veklog ] || fail "Package is '$(field Package)'"
depends=$(field Depends)
echo "Depends: $depends"
# The toolkit and the C library come from dpkg-shlibdeps, with versions.
for lib in libfltk1.3 libxml2 libc6; do
  printf '%s\n' "$depends" | grep -q "$lib (>= " || fail "Depends lacks a versioned $lib"
done

dpkg-deb -c "$deb" | awk '{ print $6 }' | sed 's|^\./|/|' >"$work/contents"
for f in /usr/bin/veklog /usr/bin/veklog-explain /usr/share/man/man1/veklog-explain.1.gz \
         /usr/share/tarn/data/errors.xml /usr/share/applications/veklog.desktop \
         /usr/share/metainfo/org.veklog.veklog.metainfo.xml \
         /usr/share/icons/hicolor/scalable/apps/veklog.svg /usr/share/man/man1/veklog.1.gz \
         /usr/share/doc/veklog/copyright /usr/share/doc/veklog/changelog.gz; do
  grep -qx "$f" "$work/contents" || fail "$f is not in the package"
done
grep -q '^/usr/local' "$work/contents" && fail "the package installs under /usr/local"

# The program in the package looks for its knowledge base where the package
# puts it.
dpkg-deb -x "$deb" "$work/root"
for prog in veklog veklog-explain; do
  grep -q -a '/usr/share/tarn' "$work/root/usr/bin/$prog" ||
    fail "the packaged $prog does not look in /usr/share/tarn"
done
# veklog-explain needs neither the toolkit nor X11.
objdump -p "$work/root/usr/bin/veklog-explain" | grep NEEDED | grep -qE 'libfltk|libX' &&
  fail "the packaged veklog-explain links the toolkit or X11"

if command -v lintian >/dev/null 2>&1; then
  lintian "$deb" >"$work/lintian.log" 2>&1
  grep -v 'running with root privileges' "$work/lintian.log"
  grep -q '^[EW]: ' "$work/lintian.log" && fail "lintian reports errors or warnings"
else
  echo "lintian is not installed; its checks were not run"
fi

if [ $failures -ne 0 ]; then
  echo "$failures problem(s) in the package" >&2
  exit 1
fi
echo "package built and checked"
