#!/usr/bin/env bash
# The Windows window as a user sees it and works it: starts veldrin-zip.exe under Wine in a
# throwaway prefix inside a real X server (Xvfb), works it with real clicks and keys (xdotool),
# saves a screenshot of each stage and checks what each one did:
#   fsx-notice.png     a first start with no FSX registered shows the notice box;
#   extract-page.png,  with FSX registered (HKLM SetupPath in the registry's 32-bit view) no box
#   create-page.png    comes up: both pages, the second after Ctrl+Tab;
#   fsx-extracted.png  an aircraft zip named on the command line, extracted with its folders into
#                      the FSX list's "SimObjects Airplanes Folder": the files are there on disk;
#   zip-created.png    two files named on the command line, zipped into a name typed in the save
#                      dialog: the zip tests clean and holds both files as they are.
# Every box is answered and the window closed with Escape; the wine server is ended at the end.
# Fails with a message naming the step that went wrong.
# Usage: screenshots.sh BUILD_TREE OUT_DIR
set -euo pipefail

if [ "${1:-}" != --inside ]; then
  [ $# -eq 2 ] || { echo "usage: screenshots.sh BUILD_TREE OUT_DIR" >&2; exit 2; }
  for tool in wine wineserver xvfb-run xdotool import python3; do
    command -v "$tool" >/dev/null || { echo "screenshots: $tool is missing" >&2; exit 1; }
  done
  program=$(cd "$1" && pwd)/app/win32/veldrin-zip.exe
  [ -f "$program" ] || { echo "screenshots: no $program" >&2; exit 1; }
  mkdir -p "$2"
  out=$(cd "$2" && pwd)
  work=$(mktemp -d /tmp/vz-shots-XXXXXX)
  trap 'rm -rf "$work"' EXIT
  xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" bash "$0" --inside "$program" "$out" "$work"
  echo "screenshots: saved in $out"
  exit 0
fi

program=$2 out=$3 work=$4
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
pid="" wid=""
finish() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  wineserver -k </dev/null >/dev/null 2>&1 || true
}
trap finish EXIT
fail() { echo "screenshots: $*" >&2; exit 1; }
# A Unix path as the program sees it (drive Z: is the root).
winpath() { printf 'Z:%s' "${1//\//\\}"; }

# The first visible window whose title matches, waited for up to 20 s (nothing when none came).
window_named() {
  local found
  for _ in $(seq 100); do
    found=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | awk 'NR == 1') || true
    [ -n "$found" ] && { echo "$found"; return 0; }
    sleep 0.2
  done
}
# Waits up to 10 s until no visible window's title matches.
gone() {
  for _ in $(seq 50); do
    xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0
    sleep 0.2
  done
  return 1
}
shot() {
  sleep 0.5
  import -window root "$out/$1.png" || fail "no screenshot $1"
}
# There is no window manager: keys go to the window under the mouse, so the mouse stays over the
# window that is to get them. Over the window, the mouse rests on its status bar (no hint there).
rest_on_window() { xdotool mousemove --window "$wid" 300 490; sleep 0.2; }
# A box (a task dialog) answered with Enter, its default button, after a click on its text.
answer() {
  local box
  box=$(window_named "$1")
  [ -n "$box" ] || fail "$2: no box titled ${1//[\^\$]/}"
  xdotool mousemove --window "$box" 100 25 click 1
  sleep 0.2
  xdotool key Return
  gone "$1" || fail "$2: Enter did not answer the box"
}

# Starts the program with the given arguments and waits for its window (its title is given).
start() {
  local title=$1
  shift
  wine "$program" "$@" </dev/null >/dev/null 2>&1 &
  pid=$!
  wid=$(window_named "^$title\$")
  [ -n "$wid" ] || fail "the window \"$title\" did not come up"
  sleep 1.5  # the window's first paint and the check made once it is shown
}
# With FSX there, no box comes up at start.
no_notice() {
  ! xdotool search --onlyvisible --name '^Information$' >/dev/null 2>&1 ||
    fail "$1: a box came up at start although FSX is registered"
}
# Escape closes the window; the program then ends.
close() {
  rest_on_window
  xdotool click 1
  sleep 0.2
  xdotool key Escape
  for _ in $(seq 100); do
    kill -0 "$pid" 2>/dev/null || { pid=""; return 0; }
    sleep 0.1
  done
  fail "$1: Escape did not close the window"
}

mkdir -p "$WINEPREFIX"
wineserver -p </dev/null >/dev/null 2>&1
wine cmd /c exit </dev/null >/dev/null 2>&1
fsx=$WINEPREFIX/drive_c/FSX

# ---- 1. No FSX registered: the notice at start, answered with OK. ----
start 'Veldrin - ZIP'
[ -n "$(window_named '^Information$')" ] || fail "notice: no box at start without FSX"
xdotool mousemove 0 0
shot fsx-notice
answer '^Information$' notice
close notice

# FSX: its folder holding fsx.exe and the aircraft folder, named by the machine's "SetupPath" in
# the registry's 32-bit view (where the 32-bit FSX installer writes it).
mkdir -p "$fsx/SimObjects/Airplanes"
: >"$fsx/fsx.exe"
wine reg add 'HKLM\Software\Microsoft\Microsoft Games\Flight Simulator\10.0' /v SetupPath \
  /d 'C:\FSX\' /reg:32 /f </dev/null >/dev/null 2>&1

# ---- The two pages. ----
start 'Veldrin - ZIP'
no_notice pages
xdotool mousemove 0 0  # away from the window, where the mouse shows no hint
shot extract-page
# A click on the status bar, then Ctrl+Tab turns the page.
rest_on_window
xdotool click 1
sleep 0.3
xdotool key ctrl+Tab
xdotool mousemove 0 0
shot create-page
close pages

# ---- 2. An aircraft extracted into FSX's SimObjects\Airplanes. ----
mkdir -p "$work/files"
python3 - "$work/files" <<'PY'
import sys, zipfile
folder = sys.argv[1]
with zipfile.ZipFile(folder + "/cub.zip", "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("Cub/aircraft.cfg", "[fltsim.0]\r\ntitle=Piper Cub\r\nsim=cub\r\nmodel=\r\n")
    z.writestr("Cub/model/cub.mdl", bytes(range(256)) * 64)
    z.extractall(folder + "/expected")
PY
start 'Veldrin - ZIP - cub\.zip' "$(winpath "$work/files/cub.zip")"
no_notice extraction
# An aircraft opened comes with "Extract to Specific FSX Folder" ticked (the add-on's own folders
# chosen). Alt+P keeps the zip's folders; the list, clicked open, goes down from its first entry
# to "SimObjects Airplanes Folder" (the fourth); Alt+U unzips.
rest_on_window
xdotool click 1
sleep 0.2
xdotool key alt+p
xdotool mousemove --window "$wid" 480 420 click 1
sleep 0.5
xdotool key Down Down Down Return
sleep 0.3
rest_on_window
xdotool key alt+u
box=$(window_named '^(Information|Veldrin Zip|Select the destination folder.*)$')
[ -n "$box" ] || fail "extraction: UnZip brought no box"
[ "$(xdotool getwindowname "$box")" = Information ] ||
  fail "extraction: UnZip answered with \"$(xdotool getwindowname "$box")\", not the completion box"
shot fsx-extracted
answer '^Information$' extraction
for file in Cub/aircraft.cfg Cub/model/cub.mdl; do
  cmp -s "$work/files/expected/$file" "$fsx/SimObjects/Airplanes/$file" ||
    fail "extraction: $file is not in FSX's SimObjects/Airplanes as it is in the zip"
done
close extraction

# ---- 3. Two files zipped into a name typed in the save dialog. ----
mkdir -p "$work/files/pack/panel" "$work/made"
printf 'Piper Cub repaint\r\n' >"$work/files/pack/readme.txt"
printf '[Window00]\r\nfile=cub.bmp\r\n' >"$work/files/pack/panel/panel.cfg"
made=$work/made/made.zip
start 'Veldrin - ZIP' "$(winpath "$work/files/pack/readme.txt")" \
  "$(winpath "$work/files/pack/panel/panel.cfg")"
no_notice creation
# Files named open the Create page; Alt+Z asks where to save.
rest_on_window
xdotool click 1
sleep 0.2
xdotool key alt+z
dialog=$(window_named '^Save your zip file$')
[ -n "$dialog" ] || fail "creation: Zip brought no save dialog"
# The name typed into the dialog's name field (it has the focus), Enter saves.
xdotool mousemove --window "$dialog" 40 40
sleep 0.5
xdotool type --delay 10 "$(winpath "$made")"
xdotool key Return
gone '^Save your zip file$' || fail "creation: Enter did not close the save dialog"
[ -n "$(window_named '^Information$')" ] || fail "creation: no box saying the zip was saved"
shot zip-created
answer '^Information$' creation
[ -f "$made" ] || fail "creation: no $made"
python3 -m zipfile -t "$made" >/dev/null || fail "creation: $made does not test clean"
python3 - "$made" "$work/files/pack" <<'PY' || fail "creation: $made does not hold the two files"
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    assert sorted(z.namelist()) == ["panel.cfg", "readme.txt"], z.namelist()
    for name, path in (("readme.txt", "readme.txt"), ("panel.cfg", "panel/panel.cfg")):
        assert z.read(name) == open(sys.argv[2] + "/" + path, "rb").read(), name
PY
close creation
