#!/usr/bin/env bash
# The Windows window as a user sees it: starts veldrin-zip.exe under Wine in a throwaway prefix
# (with an FSX installation, so that no warning covers the window) inside a real X server (Xvfb),
# and saves a screenshot of each page: extract-page.png, then create-page.png after Ctrl+Tab.
# Closes the window with Escape and ends the wine server. Fails when the window does not come up.
# Usage: screenshots.sh BUILD_TREE OUT_DIR
set -euo pipefail

if [ "${1:-}" != --inside ]; then
  [ $# -eq 2 ] || { echo "usage: screenshots.sh BUILD_TREE OUT_DIR" >&2; exit 2; }
  for tool in wine wineserver xvfb-run xdotool import; do
    command -v "$tool" >/dev/null || { echo "screenshots: $tool is missing" >&2; exit 1; }
  done
  program=$(cd "$1" && pwd)/app/win32/veldrin-zip.exe
  [ -f "$program" ] || { echo "screenshots: no $program" >&2; exit 1; }
  mkdir -p "$2"
  out=$(cd "$2" && pwd)
  prefix=$(mktemp -d /tmp/vz-shots-XXXXXX)
  trap 'rm -rf "$prefix"' EXIT
  xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" bash "$0" --inside "$program" "$out" "$prefix"
  echo "screenshots: saved in $out"
  exit 0
fi

program=$2 out=$3
export WINEPREFIX=$4 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
pid="" wid=""
finish() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  wineserver -k </dev/null >/dev/null 2>&1 || true
}
trap finish EXIT
fail() { echo "screenshots: $*" >&2; exit 1; }

# The prefix, and FSX in it: its folder holding fsx.exe, named by the user's "AppPath".
wineserver -p </dev/null >/dev/null 2>&1
wine cmd /c exit </dev/null >/dev/null 2>&1
mkdir -p "$WINEPREFIX/drive_c/FSX"
: >"$WINEPREFIX/drive_c/FSX/fsx.exe"
wine reg add 'HKCU\Software\Microsoft\Microsoft Games\Flight Simulator\10.0' /v AppPath \
  /d 'C:\FSX\' /f </dev/null >/dev/null 2>&1

wine "$program" </dev/null >/dev/null 2>&1 &
pid=$!
wid=$(timeout 60 xdotool search --sync --onlyvisible --name '^Veldrin - ZIP' | awk 'NR == 1') ||
  fail "the window did not come up"
[ -n "$wid" ] || fail "the window did not come up"
# The mouse away from the window, where it shows no hint.
xdotool mousemove 0 0
sleep 2
shot() {
  sleep 0.5
  import -window root "$out/$1.png" || fail "no screenshot $1"
}
shot extract-page
# Keys go to the window under the mouse once it has been clicked (there is no window manager):
# a click on the status bar (which shows no hint), then Ctrl+Tab turns the page.
xdotool mousemove --window "$wid" 300 490 click 1
sleep 0.3
xdotool key ctrl+Tab
shot create-page
# Escape closes the window; the program then ends.
xdotool key Escape
for _ in $(seq 100); do
  kill -0 "$pid" 2>/dev/null || { pid=""; exit 0; }
  sleep 0.1
done
fail "Escape did not close the window"
