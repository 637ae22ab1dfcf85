#!/usr/bin/env bash
# Builds the Debian package from a build folder and checks what it holds and what it asks apt
# for: both programs, the desktop entry that offers "Open with Veldrin Zip" for zip files, the
# icon in the icon theme, the manual pages, and the libraries the programs link.
# Usage: package_check.sh BUILD_FOLDER
set -euo pipefail
build=$(cd "$1" && pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
fail() { echo "package: $*" >&2; exit 1; }
(cd "$build" && cpack -G DEB -B "$out" >"$out/cpack.log" 2>&1) || { cat "$out/cpack.log"; fail "cpack failed"; }
deb=$(ls "$out"/veldrin-zip_*_*.deb) || fail "no veldrin-zip_VERSION_ARCH.deb"
contents=$(dpkg-deb --contents "$deb")
for path in usr/bin/veldrin-zip usr/bin/vzip usr/share/applications/veldrin-zip.desktop \
  usr/share/icons/hicolor/16x16/apps/veldrin-zip.png \
  usr/share/icons/hicolor/48x48/apps/veldrin-zip.png \
  usr/share/icons/hicolor/256x256/apps/veldrin-zip.png \
  usr/share/man/man1/veldrin-zip.1.gz usr/share/man/man1/vzip.1.gz; do
  grep -q " \./$path\$" <<<"$contents" || fail "$path is missing from $(basename "$deb")"
done
# Every library the programs load comes from a package that Depends names, so apt pulls it in.
depends=$(dpkg-deb --field "$deb" Depends)
packages=$(tr ',|' '\n\n' <<<"$depends" | awk '{ print $1 }')
dpkg-deb --extract "$deb" "$out/root"
for program in "$out"/root/usr/bin/*; do
  for soname in $(readelf -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
    # Readers below take their whole input: one that stopped early would end a writer with
    # SIGPIPE, which pipefail turns into a silent failure of this script.
    library=$(ldconfig -p | awk -v so="$soname" '$1 == so && !found { print $NF; found = 1 }')
    [ -n "$library" ] || fail "$(basename "$program") needs $soname, which is not installed here"
    owner=$(dpkg -S "$(readlink -f "$library")" 2>/dev/null | awk -F: 'NR == 1 { print $1 }') ||
      owner=$(dpkg -S "$library" | awk -F: 'NR == 1 { print $1 }')
    grep -qxF "$owner" <<<"$packages" ||
      fail "$(basename "$program") needs $soname from $owner, which Depends lacks: $depends"
  done
done
grep -q libqt6widgets6 <<<"$depends" || fail "Depends lacks Qt 6 Widgets: $depends"
dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/applications/veldrin-zip.desktop |
  grep -x 'MimeType=application/zip;' >/dev/null || fail "the desktop entry does not offer itself for zip files"
if command -v desktop-file-validate >/dev/null; then
  dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/applications/veldrin-zip.desktop \
    >"$out/veldrin-zip.desktop"
  desktop-file-validate "$out/veldrin-zip.desktop" || fail "the desktop entry is not valid"
fi
echo "package: $(basename "$deb") holds both programs; Depends: $depends"
