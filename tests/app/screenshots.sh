#!/usr/bin/env bash
# What a user sees: starts veldrin-zip in a real X server (Xvfb) with a zip open and with a filled
# file list, acts on it with real mouse clicks and key presses (xdotool), and saves a screenshot
# of each page, of an add-on's install plan and the message at its end, of an extraction's
# questions (a file that exists, a password) and its ending, of the Create page filled through its
# dialogs, of the start-up warning without FSX and of the window at double density:
#   extract-page.png, install-plan.png, install-done.png, overwrite-question.png,
#   password-question.png, unzip-done.png, create-page.png, create-page-added.png,
#   fsx-warning.png, extract-page-2x.png
# Fails when the window does not come up at its size, or does not close on Escape.
# Usage: screenshots.sh VELDRIN_ZIP GRAB_WINDOW OUTPUT_FOLDER
set -euo pipefail

if [ "${1:-}" != --inside ]; then
  [ $# -eq 3 ] || { echo "usage: screenshots.sh VELDRIN_ZIP GRAB_WINDOW OUTPUT_FOLDER" >&2; exit 2; }
  for tool in xvfb-run xdotool; do
    command -v "$tool" >/dev/null || { echo "screenshots: $tool is missing (Debian: xvfb, xdotool)" >&2; exit 1; }
  done
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  # An aircraft add-on as they come, and an FSX installation in a Wine prefix.
  cub="$work/addon/SimObjects/Airplanes/Veldrin Cub"
  mkdir -p "$cub/model" "$cub/texture" "$cub/panel" "$work/addon/Effects"
  printf '[fltsim.0]\ntitle=Veldrin Cub\nmodel=\ntexture=\n' >"$cub/aircraft.cfg"
  printf '[Window Titles]\nWindow00=Main Panel\n' >"$cub/panel/panel.cfg"
  head -c 180000 /dev/urandom >"$cub/model/cub.mdl"
  head -c 65536 /dev/zero >"$cub/texture/cub_t.bmp"
  head -c 4096 /dev/urandom >"$work/addon/Effects/fx_cub_smoke.fx"
  printf 'Veldrin Cub for FSX\r\nCopy the SimObjects folder into FSX.\r\n' >"$work/addon/readme.txt"
  (cd "$work/addon" && zip -qr "$work/Veldrin Cub.zip" readme.txt SimObjects Effects)
  # A zip of notes, one of them encrypted, and a folder that already holds one of its files.
  mkdir -p "$work/notes" "$work/out"
  printf 'Checklist\r\n' >"$work/notes/checklist.txt"
  printf 'Serial number\r\n' >"$work/notes/serial.txt"
  (cd "$work/notes" && zip -q "$work/notes.zip" checklist.txt && zip -q -P secret "$work/notes.zip" serial.txt)
  printf 'An older checklist\r\n' >"$work/out/checklist.txt"
  mkdir -p "$work/prefix/drive_c/FSX" "$work/prefix/dosdevices" "$work/home"
  ln -s ../drive_c "$work/prefix/dosdevices/c:"
  : >"$work/prefix/drive_c/FSX/fsx.exe"
  printf 'WINE REGISTRY Version 2\n\n[Software\\\\Microsoft\\\\Microsoft Games\\\\Flight Simulator\\\\10.0]\n"AppPath"="C:\\\\FSX\\\\"\n' \
    >"$work/prefix/user.reg"
  mkdir -p "$3"
  out=$(cd "$3" && pwd)
  xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" bash "$0" --inside "$1" "$2" "$work" "$out" 1
  xvfb-run -a -s "-screen 0 2048x1536x24 -dpi 96" bash "$0" --inside "$1" "$2" "$work" "$out" 2
  echo "screenshots: saved in $out"
  exit 0
fi

app=$2 grab=$3 work=$4 out=$5 scale=$6
export HOME="$work/home" WINEPREFIX="$work/prefix" QT_SCALE_FACTOR="$scale"
pid="" wid=""

fail() { echo "screenshots: $*" >&2; [ -n "$pid" ] && kill "$pid" 2>/dev/null; exit 1; }

# Starts the window with the given arguments and waits until it is shown and settled.
start() {
  "$app" "$@" &
  pid=$!
  wid=$(timeout 20 xdotool search --sync --onlyvisible --name '^Veldrin - ZIP' | awk 'NR == 1') ||
    fail "the window did not come up"
  sleep 1
}
# Checks the window's size in pixels.
size_is() {
  local geometry
  geometry=$(geometry_of "$wid")
  [ "$geometry" = "$1" ] || fail "the window is $geometry, not $1"
}
# A window's size in pixels, as WIDTHxHEIGHT.
geometry_of() {
  xdotool getwindowgeometry "$1" | sed -n 's/.*Geometry: //p'
}
# Clicks at a point of the window, in pixels at 96 dpi.
click() {
  xdotool mousemove --window "$wid" $(($1 * scale)) $(($2 * scale)) click "${3:-1}"
  sleep 0.3
}
shot() {
  sleep 0.5
  "$grab" "${2:-$wid}" "$out/$1.png" >/dev/null || fail "no screenshot $1"
}
# The id of the visible window titled as the pattern says (a dialog or a box), once it is shown
# and has settled (a dialog takes keys only once it has its focus).
window_named() {
  local id
  id=$(timeout 20 xdotool search --sync --onlyvisible --name "$1" | awk 'NR == 1') || fail "no window $1"
  sleep 0.5
  echo "$id"
}
# Whether the window titled as the pattern says goes away within two seconds.
gone() {
  for _ in $(seq 20); do
    sleep 0.1
    xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0
  done
  return 1
}
# Types path into the file or folder dialog titled as the pattern says and accepts it; Return is
# pressed again while the dialog stays (a completion list may take the first one, a folder dialog
# may open the folder first). On a loaded machine the dialog may come up without the keyboard's
# focus, so each try first clicks into its name field (centred, 54 pixels above its bottom edge at
# 96 dpi), and the path is typed again, over what is there, while the dialog stays.
choose() {
  local id geometry width height
  id=$(window_named "$1")
  geometry=$(geometry_of "$id")
  width=${geometry%x*} height=${geometry#*x}
  for _ in 1 2 3; do
    xdotool mousemove --window "$id" $((width / 2)) $((height - 54 * scale)) click 1
    sleep 0.3
    xdotool key ctrl+a
    xdotool type --delay 20 "$2"
    sleep 0.5
    for _ in 1 2 3; do
      xdotool key Return
      gone "$1" && return 0
    done
  done
  fail "the dialog $1 did not take $2"
}
# Escape closes the window, wherever the focus is.
escape_closes() {
  xdotool mousemove --window "$wid" 300 20 key Escape
  for _ in $(seq 50); do
    kill -0 "$pid" 2>/dev/null || { wait "$pid" || true; pid=""; return 0; }
    sleep 0.1
  done
  fail "Escape did not close the window"
}

if [ "$scale" = 2 ]; then
  start "$work/Veldrin Cub.zip"
  size_is 1184x1002
  shot extract-page-2x
  escape_closes
  exit 0
fi

# The Extract page with the zip open, a folder of it expanded, and the add-on's own folders
# chosen in the FSX list (FSX is found, and the zip is an aircraft).
start "$work/Veldrin Cub.zip"
size_is 592x501
click 70 133 && xdotool key Right Down Right Down Right   # the aircraft's folders, opened
shot extract-page
# UnZip: the install's plan, then the message that says where each part went.
click 505 151                             # "UnZip"
shot install-plan "$(window_named '^Install ')"
xdotool key Return                        # "Install"
shot install-done "$(window_named '^Information$')"
xdotool key Return
sleep 0.5
escape_closes

# An extraction's questions and its ending: a file that exists, then an encrypted file's password.
start "$work/notes.zip"
click 505 151                             # "UnZip": no folder chosen yet
choose '^Select the destination' "$work/out"
shot overwrite-question "$(window_named '^Confirm$')"
xdotool key Return                        # "Yes"
shot password-question "$(window_named '^Password$')"
xdotool type --delay 20 secret && xdotool key Return
shot unzip-done "$(window_named '^Information$')"
xdotool key Return
sleep 0.5
[ "$(cat "$work/out/serial.txt")" = "$(cat "$work/notes/serial.txt")" ] || fail "the password did not extract"
escape_closes

# The Create page filled through its dialogs: Ctrl+O adds a file, the list's popup menu a folder.
start
click 110 66                              # the "Create Zip" tab
xdotool key ctrl+o
choose '^Add files to the list' "$work/addon/readme.txt"
# "Add Folder..." from the popup menu; a loaded machine may take the key before the menu is up.
for attempt in 1 2 3; do
  click 150 200 3
  sleep 0.7
  xdotool key o
  timeout 5 xdotool search --sync --onlyvisible --name '^Select a folder to add' >/dev/null 2>&1 && break
  [ "$attempt" = 3 ] && fail "no window Select a folder to add"
done
choose '^Select a folder to add' "$work/addon/SimObjects"
shot create-page-added
escape_closes

# The Create page with the add-on's files listed and a comment typed.
start "$work/addon/readme.txt" "$work/addon/SimObjects" "$work/addon/Effects"
click 200 390
xdotool type --delay 20 "Veldrin Cub for FSX"
click 160 426                             # "Include Relative Folder Paths"
click 150 120                             # an entry of the list
shot create-page
escape_closes

# Without FSX: the warning at start, centred on the screen.
WINEPREFIX="$work/home/none" start
shot fsx-warning
xdotool key Return
sleep 0.5
escape_closes
