#!/usr/bin/env bash
# vzip.exe under Wine on the archives that other tools make on Linux: each is tested and extracted,
# the files compared with those it was made from, and an archive vzip.exe adds is read back by
# unzip, 7-Zip and Python's zipfile (names and CRC-32s). Needs zip, 7zz, bsdtar, python3 and wine.
# Usage: tests/cli/windows_interop.sh VZIP_EXE
set -euo pipefail
vzip=$(realpath "$1")
work=$(mktemp -d "${TMPDIR:-/tmp}/vz-interop.XXXXXX")
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  wineserver -k </dev/null >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$WINEPREFIX"
wineserver -p </dev/null >/dev/null 2>&1
wine cmd /c exit </dev/null >/dev/null 2>&1
vz() { wine "$vzip" "$@" </dev/null; }
win() { winepath -w "$1" 2>/dev/null; }  # the Windows path Wine gives a Linux one
failed=0
fail() { echo "windows-interop: FAIL: $*" >&2; failed=1; }

# The files: text, noise, an empty file, names in three scripts, folders.
src=$work/src
mkdir -p "$src/SimObjects/Airplanes/Cub/model" "$src/Größe" "$src/日本"
python3 - "$src" <<'PY'
import os, random, sys
root = sys.argv[1]
random.seed(7)
words = ["fuel", "wing", "panel", "gauge", "texture", "scenery", "[fltsim.0]", "title=Cub"]
text = "\n".join(" ".join(random.choice(words) for _ in range(10)) for _ in range(4000)).encode()
files = {"SimObjects/Airplanes/Cub/aircraft.cfg": text,
         "SimObjects/Airplanes/Cub/model/cub.mdl": bytes(random.getrandbits(8) for _ in range(70000)),
         "Größe/readme.txt": text[:5000], "日本/空.txt": b"", "Привет.txt": text[:999]}
for name, data in files.items():
    with open(os.path.join(root, name), "wb") as f:
        f.write(data)
PY

# Archives of the tree, one per tool and method.
declare -A makers=(
  [zip-deflate]="zip -q -r -X ARCHIVE ."
  [zip-stored]="zip -q -r -0 ARCHIVE ."
  [zip-password]="zip -q -r -P secret ARCHIVE ."
  [7zz-deflate64]="7zz a -tzip -mm=Deflate64 -bd -bso0 ARCHIVE ."
  [7zz-bzip2]="7zz a -tzip -mm=BZip2 -bd -bso0 ARCHIVE ."
  [7zz-lzma]="7zz a -tzip -mm=LZMA -bd -bso0 ARCHIVE ."
  [7zz-aes256]="7zz a -tzip -psecret -mem=AES256 -bd -bso0 ARCHIVE ."
  [bsdtar]="bsdtar --format zip -cf ARCHIVE ."
  [python-lzma]="python3 -c 'import os,sys,zipfile; z=zipfile.ZipFile(sys.argv[1],\"w\",zipfile.ZIP_LZMA); [z.write(os.path.join(d,f),os.path.relpath(os.path.join(d,f))) for d,_,fs in os.walk(\".\") for f in fs]' ARCHIVE"
)
for kind in "${!makers[@]}"; do
  archive=$work/$kind.zip
  (cd "$src" && eval "${makers[$kind]//ARCHIVE/$archive}") || { fail "$kind: could not be made"; continue; }
  password=()
  [[ $kind == *password* || $kind == *aes* ]] && password=(-P secret)
  vz test "$(win "$archive")" "${password[@]}" >/dev/null 2>&1 || fail "$kind: vzip.exe test"
  rm -rf "$work/out"
  vz extract "$(win "$archive")" -d "$(win "$work/out")" "${password[@]}" >/dev/null 2>&1 ||
    fail "$kind: vzip.exe extract"
  diff -r "$src" "$work/out" >/dev/null || fail "$kind: the extracted files differ"
done

# An archive vzip.exe makes, read by the others.
(cd "$src" && vz add -r "$(win "$work/ours.zip")" . >/dev/null 2>&1) || fail "vzip.exe add"
unzip -tq "$work/ours.zip" >/dev/null || fail "unzip -t reads not what vzip.exe made"
7zz t -bd -bso0 "$work/ours.zip" >/dev/null || fail "7zz t reads not what vzip.exe made"
python3 - "$work/ours.zip" "$src" <<'PY' || fail "Python's zipfile reads other names or bytes"
import os, sys, zipfile, zlib
z = zipfile.ZipFile(sys.argv[1])
assert z.testzip() is None
names = {i.filename: i.CRC for i in z.infolist() if not i.is_dir()}
want = {}
for d, _, fs in os.walk(sys.argv[2]):
    for f in fs:
        path = os.path.join(d, f)
        want[os.path.relpath(path, sys.argv[2])] = zlib.crc32(open(path, "rb").read())
assert names == want, (names, want)
PY
[ $failed -eq 0 ] && echo "windows-interop: ${#makers[@]} kinds of archive read, one written: ok"
exit $failed
