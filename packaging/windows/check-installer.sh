#!/usr/bin/env bash
# Checks the Windows installer under Wine, in a throwaway prefix: a silent install puts the
# files, the uninstall entry, the Start-menu shortcut and the .zip "Open with" entries in place
# without taking the .zip default; the /PATH=1 install adds the folder to the machine's PATH
# once, also when installed again; each silent uninstall takes away all it added and no more.
# Usage: packaging/windows/check-installer.sh SETUP_EXE
# Needs wine (64-bit). Exits non-zero on the first failure.
set -euo pipefail
[ $# -eq 1 ] && [ -f "$1" ] || { echo "usage: $0 SETUP_EXE" >&2; exit 2; }
setup=$(realpath "$1")

tmp=$(mktemp -d "${TMPDIR:-/tmp}/vz-installer.XXXXXX")
export WINEPREFIX=$tmp/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
unset DISPLAY   # nothing needs a window: keeps Wine from opening any
log=$tmp/wine.log
cleanup() {
  wineserver -k </dev/null >/dev/null 2>&1 || true
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() {
  echo "check-installer: FAIL: $*" >&2
  echo "--- last lines of Wine's output:" >&2
  tail -n 20 "$log" >&2 || true
  exit 1
}
ok() { echo "check-installer: ok: $*"; }

# Wine's service processes outlive the programs started and would hold a pipe open, so Wine
# never gets our stdin/stdout: its output goes to a log.
w() { timeout 180 wine "$@" </dev/null >>"$log" 2>&1; }
# A command line run by cmd from a batch file: it is passed as written (the uninstaller wants
# "_?=folder" last and unquoted, which Wine's own argument quoting would spoil) and cmd waits.
run() {
  printf '%s\r\n' "$1" > "$WINEPREFIX/drive_c/vzcheck.bat"
  echo ">>> $1" >> "$log"
  timeout 300 wine cmd /c 'C:\vzcheck.bat' </dev/null >>"$log" 2>&1 || fail "exit status $? from: $1"
  settle
}
# Wine's cmd may come back while the installer or uninstaller it started is still at work (seen
# once: the uninstall entry was half written when it was read), so wait until neither runs.
settle() {
  local i
  for i in $(seq 1 240); do
    pgrep -f 'C:\\setup\.exe|\\uninstall\.exe' >/dev/null || return 0
    sleep 0.25
  done
  fail "the installer or uninstaller still runs a minute after cmd came back"
}
# The data of a registry value ("" for the default one); non-zero status when it is missing.
regval() {
  local out
  if [ -z "$2" ]; then out=$(timeout 60 wine reg query "$1" /ve </dev/null 2>>"$log") || return 1
  else out=$(timeout 60 wine reg query "$1" /v "$2" </dev/null 2>>"$log") || return 1; fi
  printf '%s\n' "$out" | tr -d '\r' | sed -n -E 's/^    .*    REG_[A-Z_]+( {4}|$)//p' | head -n 1
}
haskey() { timeout 60 wine reg query "$1" </dev/null >/dev/null 2>>"$log"; }
expect() { # expect KEY NAME DATA
  local got
  got=$(regval "$1" "$2") || fail "missing registry value $1 \\ ${2:-(default)}"
  [ "$got" = "$3" ] || fail "$1 \\ ${2:-(default)} is [$got], expected [$3]"
}

mkdir -p "$WINEPREFIX"
wineserver -p </dev/null >>"$log" 2>&1 || fail "wineserver did not start"
w cmd /c exit || fail "Wine could not set up a prefix"
c=$WINEPREFIX/drive_c
cp "$setup" "$c/setup.exe"

dir='C:\Program Files\Veldrin Zip'
udir=$c/Program\ Files/Veldrin\ Zip
lnk=$c/ProgramData/Microsoft/Windows/Start\ Menu/Programs/Veldrin\ Zip.lnk
uninst='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Veldrin Zip'
classes='HKLM\Software\Classes'
envkey='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment'
open="\"$dir\\veldrin-zip.exe\" \"%1\""

# Windows has a default handler for .zip and other programs in its "Open with" list: both stay.
w reg add "$classes\\.zip" /ve /d CompressedFolder /f || fail "reg add"
w reg add "$classes\\.zip\\OpenWithProgids" /v Other.zip /d "" /f || fail "reg add"
path0=$(regval "$envkey" Path) || fail "no Path in $envkey"

check_installed() {
  for f in veldrin-zip.exe vzip.exe uninstall.exe; do
    [ -f "$udir/$f" ] || fail "$dir\\$f was not installed"
  done
  [ -f "$lnk" ] || fail "no Start-menu shortcut"
  expect "$uninst" DisplayName "Veldrin Zip"
  regval "$uninst" DisplayVersion | grep -Eq '^[0-9]+\.[0-9]+' || fail "no DisplayVersion"
  expect "$uninst" Publisher "Veldrin"
  expect "$uninst" DisplayIcon "$dir\\veldrin-zip.exe,0"
  expect "$uninst" UninstallString "\"$dir\\uninstall.exe\""
  expect "$uninst" QuietUninstallString "\"$dir\\uninstall.exe\" /S"
  expect "$uninst" InstallLocation "$dir"
  expect "$uninst" NoModify 0x1
  expect "$uninst" NoRepair 0x1
  [ "$(( $(regval "$uninst" EstimatedSize) ))" -gt 0 ] || fail "EstimatedSize is not above 0"
  expect "$classes\\Applications\\veldrin-zip.exe\\shell\\open\\command" "" "$open"
  regval "$classes\\Applications\\veldrin-zip.exe\\SupportedTypes" .zip >/dev/null || fail "no SupportedTypes .zip"
  expect "$classes\\VeldrinZip.zip\\shell\\open\\command" "" "$open"
  regval "$classes\\.zip\\OpenWithProgids" VeldrinZip.zip >/dev/null || fail "VeldrinZip.zip is not in .zip's OpenWithProgids"
  expect "$classes\\.zip" "" CompressedFolder
}
check_uninstalled() {
  [ ! -e "$udir" ] || fail "$dir is still there: $(ls "$udir" | tr '\n' ' ')"
  [ ! -e "$lnk" ] || fail "the Start-menu shortcut is still there"
  ! haskey "$uninst" || fail "the uninstall entry is still there"
  ! haskey "$classes\\Applications\\veldrin-zip.exe" || fail "Applications\\veldrin-zip.exe is still registered"
  ! haskey "$classes\\VeldrinZip.zip" || fail "the VeldrinZip.zip ProgID is still registered"
  ! regval "$classes\\.zip\\OpenWithProgids" VeldrinZip.zip >/dev/null || fail "VeldrinZip.zip is still in .zip's OpenWithProgids"
  regval "$classes\\.zip\\OpenWithProgids" Other.zip >/dev/null || fail "another program's OpenWithProgids entry went too"
  expect "$classes\\.zip" "" CompressedFolder
  ! haskey 'HKLM\Software\Veldrin Zip' || fail "HKLM\\Software\\Veldrin Zip is still there"
  expect "$envkey" Path "$path0"
}
uninstall() {
  # _?= runs the uninstaller where it is and waits for it; it cannot delete itself then.
  run "\"$dir\\uninstall.exe\" /S _?=$dir"
  [ ! -e "$udir/veldrin-zip.exe" ] || fail "the uninstaller left veldrin-zip.exe"
  rm -f "$udir/uninstall.exe"
  rmdir "$udir" 2>/dev/null || true
}

t=$(date +%s)
run 'C:\setup.exe /S'
check_installed
expect "$envkey" Path "$path0"
ok "silent install (files, uninstall entry, shortcut, Open with; PATH untouched)"
uninstall
check_uninstalled
ok "silent uninstall"

# Once with the PATH as it is, once ending in a separator after an empty entry: either way the
# folder is added once and the uninstaller gives the PATH back as it was.
# A PATH longer than the installer's strings is left alone, never cut short.
for variant in plain trailing long; do
  case $variant in
    plain) want="$path0;$dir" ;;
    trailing) path0="$path0;;"; want="$path0$dir;" ;;
    long) path0="$path0$(printf ';C:\\Tools\\folder%04d' $(seq 1 60))"; want=$path0 ;;
  esac
  if [ $variant != plain ]; then
    w reg add "$envkey" /v Path /t REG_EXPAND_SZ /d "$path0" /f || fail "reg add"
  fi
  run 'C:\setup.exe /S /PATH=1'
  check_installed
  expect "$envkey" Path "$want"
  timeout 60 wine reg query "$envkey" /v Path </dev/null 2>>"$log" | grep -q REG_EXPAND_SZ || fail "Path is no longer REG_EXPAND_SZ"
  if [ $variant = plain ]; then
    run 'C:\setup.exe /S /PATH=1'
    check_installed
    expect "$envkey" Path "$want"
  fi
  ok "silent install with /PATH=1 ($variant PATH$([ $variant = plain ] && echo ', installed twice'))"
  uninstall
  check_uninstalled
  ok "silent uninstall after /PATH=1 ($variant PATH as before)"
done
echo "check-installer: all checks passed in $(( $(date +%s) - t )) s"
