#!/bin/sh
# Runs the installed program under the current display.
#   install_run.sh knowledge BUILD_DIR PREFIX DATADIR
#     installs into a temporary prefix, starts the program from a directory
#     without "errors.xml" and with TARN_DATADIR pointing into the prefix, and
#     checks that a click on a known line finds the knowledge base; the
#     program of the build tree, run with no knowledge base in either place,
#     finds the source tree's. PREFIX is the build's install prefix, DATADIR
#     the data directory under it.
#   install_run.sh menu BUILD_DIR
#     installs into a temporary prefix and starts the program the way the
#     desktop menu does, from the Exec line of the installed desktop entry.
set -u

mode=$1
build=$2
if [ "$mode" = knowledge ]; then
  configured_prefix=${3%/}
  datadir=${4%/}
  datadir_rel=${datadir#"$configured_prefix"/}
fi

convert=/usr/bin/convert
[ -x "$convert" ] || convert=convert
compare=/usr/bin/compare
[ -x "$compare" ] || compare=compare

work=$(mktemp -d /tmp/veklog-install-run.XXXXXX)
pid=
cleanup() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

fail() { echo "FAIL: $*" >&2; exit 1; }

[ -n "${DISPLAY:-}" ] || fail "no DISPLAY; run the tests under xvfb-run"

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 ||
  { cat "$work/install.log" >&2; fail "cmake --install failed"; }

# The preferences must not come from the person running the tests.
mkdir -p "$work/home" "$work/serverroot"
export HOME="$work/home" TARN_SERVERROOT="$work/serverroot"

# Starts "$@" in the background from directory $1 and waits (bounded) for
# its window; sets pid and win.
start() {
  dir=$1; shift
  ( cd "$dir" && exec "$@" ) &
  pid=$!
  win=
  tries=0
  while [ -z "$win" ] && [ $tries -lt 40 ]; do
    win=$(timeout 5 xdotool search --sync --onlyvisible --class veklog 2>/dev/null |
          while read -r id; do
            p=$(xprop -id "$id" _NET_WM_PID 2>/dev/null | sed -n 's/.*= *//p')
            [ "$p" = "$pid" ] && { echo "$id"; break; }
          done)
    if [ -z "$win" ]; then
      kill -0 "$pid" 2>/dev/null || fail "the program ended before showing its window"
      sleep 0.25
    fi
    tries=$((tries + 1))
  done
  [ -n "$win" ] || fail "no window of class veklog appeared for process $pid"
}

stop() {
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  pid=
}

shot() { import -window "$win" "png:$1" 2>/dev/null; }

# Number of pixels in which two screenshots differ.
differ() {
  "$compare" -metric AE "$1" "$2" null: 2>&1 | sed 's/ .*//'
}

if [ "$mode" = menu ]; then
  desktop=$prefix/share/applications/veklog.desktop
  [ -f "$desktop" ] || fail "no desktop entry installed"
  exec_line=$(sed -n 's/^Exec=//p' "$desktop" | head -1)
  [ -n "$exec_line" ] || fail "the desktop entry has no Exec line"
  # Field codes such as %f stand for files the menu would pass; it passes none.
  cmd=$(printf '%s\n' "$exec_line" | sed 's/%[fFuUick]//g')
  mkdir -p "$work/cwd"
  start "$work/cwd" env PATH="$prefix/bin:$PATH" sh -c "exec $cmd"
  title=$(xdotool getwindowname "$win")
  [ "$title" = "Error Log 1.0 beta 1" ] || fail "menu entry started a window titled '$title'"
  class=$(xprop -id "$win" WM_CLASS | sed -n 's/.*= "\([^"]*\)".*/\1/p')
  wmclass=$(sed -n 's/^StartupWMClass=//p' "$desktop")
  [ "$class" = "$wmclass" ] ||
    fail "window class '$class' is not the desktop entry's StartupWMClass '$wmclass'"
  stop
  echo "menu entry started '$title' (class $class)"
  exit 0
fi

[ "$mode" = knowledge ] || fail "unknown mode $mode"

kb=$prefix/$datadir_rel/data/errors.xml
[ -f "$kb" ] || fail "no knowledge base installed at $kb"

# Makes a log line that an item of the knowledge base recognises: the first
# item for an error level (or any level) whose pattern can be followed along
# its first alternatives. Stars match nothing, ? and sets give one of their
# characters. Prints the line; a trailing "\n" marker means the pattern takes
# the line's newline.
awk '
function attr(line, name,    s, q, v) {
  if (!match(line, "[ \t]" name "=")) return ""
  s = substr(line, RSTART + RLENGTH)
  q = substr(s, 1, 1)
  if (q == "\"" || q == "\047") {
    s = substr(s, 2)
    v = index(s, q) ? substr(s, 1, index(s, q) - 1) : s
  } else {
    match(s, /^[^ \t>]*/)
    v = substr(s, 1, RLENGTH)
  }
  return v
}
# Follows the pattern along its first alternatives; "" when it cannot.
function sample(p,    out, i, n, c, depth, skip, star) {
  out = ""; n = length(p); depth = 0; star = 0
  for (i = 1; i <= n; i++) {
    c = substr(p, i, 1); star = 0
    if (c == "*") { star = 1; continue }
    if (c == "?") { out = out "x"; continue }
    if (c == "\\") { out = out (i < n ? substr(p, ++i, 1) : "\\"); continue }
    if (c == "[") {
      c = substr(p, i + 1, 1)
      if (c == "^" || c == "!" || c == "") return ""
      out = out c
      skip = index(substr(p, i + 2), "]")
      if (!skip) return ""
      i = i + 1 + skip
      continue
    }
    if (c == "{") { depth++; continue }
    if (c == "}") { if (depth) depth--; continue }
    if (c == "|" || c == ",") {
      if (!depth) break
      # Skip the other alternatives of this group.
      skip = 1
      while (skip && ++i <= n) {
        c = substr(p, i, 1)
        if (c == "\\") i++
        else if (c == "{") skip++
        else if (c == "}") skip--
      }
      depth--
      continue
    }
    out = out c
  }
  return out (star ? "\\n" : "")
}
/^[ \t\r\v\f]*<item / {
  level = substr(attr($0, "level"), 1, 1)
  pattern = attr($0, "pattern")
  if (pattern == "" || attr($0, "severity") == "") next
  if (level != "" && index("XACE", level) == 0) next
  s = sample(pattern)
  if (s == "" || s ~ /\t/) next
  print (level == "" ? "E" : level) " [08/Dec/2026:17:20:00 +0000] " s
  exit
}' "$kb" >"$work/line" || fail "awk failed"
line=$(cat "$work/line")
[ -n "$line" ] || fail "no item of $kb gives a sample error line"
mkdir -p "$work/log"
case $line in
  *'\n') printf '%s\n' "${line%??}" >"$work/log/error_log" ;;
  *) printf '%s' "$line" >"$work/log/error_log" ;;
esac
echo "known line: $(cat "$work/log/error_log")"

# Waits (bounded) until two pictures of the window in a row equal the one
# before them; the last picture is left in now.png.
wait_still() {
  shot "$work/now.png"
  i=0
  still=0
  while [ $i -lt 40 ] && [ $still -lt 2 ]; do
    cp "$work/now.png" "$work/prev.png"
    sleep 0.1
    shot "$work/now.png"
    if [ "$(differ "$work/prev.png" "$work/now.png")" = 0 ]; then
      still=$((still + 1))
    else
      still=0
    fi
    i=$((i + 1))
  done
}

# Clicks the only line of the list and leaves the window's picture in $2 once
# the click has shown (the line turns selected) and the window stays still;
# $3 is TARN_DATADIR, $4 the program (the installed one by default).
click_shot() {
  start "$1" env TARN_DATADIR="$3" "${4:-$prefix/bin/veklog}" "$work/log/error_log"
  wait_still
  cp "$work/now.png" "$work/before.png"
  xdotool mousemove --window "$win" 120 35 click 1
  i=0
  changed=0
  while [ $i -lt 50 ] && [ $changed = 0 ]; do
    sleep 0.1
    shot "$work/now.png"
    [ "$(differ "$work/before.png" "$work/now.png")" = 0 ] || changed=1
    i=$((i + 1))
  done
  [ $changed = 1 ] || fail "the click on the line changed nothing in the window"
  wait_still
  cp "$work/now.png" "$2"
  stop
}

mkdir -p "$work/bare" "$work/empty-datadir/data" "$work/with-copy"
cp "$kb" "$work/with-copy/errors.xml"

# Knowledge base found through TARN_DATADIR, none at all, and a copy in the
# working directory.
click_shot "$work/bare" "$work/installed.png" "$prefix/$datadir_rel"
click_shot "$work/bare" "$work/none.png" "$work/empty-datadir"
click_shot "$work/with-copy" "$work/copy.png" "$work/empty-datadir"
click_shot "$work/bare" "$work/build-tree.png" "$work/empty-datadir" "$build/veklog"

d_none=$(differ "$work/installed.png" "$work/none.png")
# The pane's foot names the file read, so the document's size, and with it
# the scroll bars, differ with the file's path: the bars are left out.
no_bar() { "$convert" "$1" -gravity East -chop 22x0 -gravity South -chop 0x22 +repage "$2"; }
for f in installed copy build-tree; do no_bar "$work/$f.png" "$work/$f-text.png"; done
d_copy=$(differ "$work/installed-text.png" "$work/copy-text.png")
d_build=$(differ "$work/installed-text.png" "$work/build-tree-text.png")
echo "pixels differing from the page without a knowledge base: $d_none; from the page with a copy in the working directory: $d_copy; from the build tree's program: $d_build"
keep=${VEKLOG_INSTALL_SHOTS:-}
if [ -n "$keep" ]; then mkdir -p "$keep" && cp "$work"/installed.png "$work"/none.png "$work"/copy.png "$work"/build-tree.png "$keep"/; fi
[ "$d_none" != 0 ] ||
  fail "the click shows the same page with the installed knowledge base as without one"
[ "$d_copy" = 0 ] ||
  fail "the installed knowledge base explains the line differently from a copy of it in the working directory"
[ "$d_build" = 0 ] ||
  fail "the build tree's program, without a knowledge base in the working or data directory, does not explain the line from the source tree's"
echo "the installed program found its knowledge base through TARN_DATADIR, the build tree's its source tree's"
