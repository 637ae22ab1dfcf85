#!/usr/bin/env bash
# Builds static 64-bit Windows libraries of bzip2, xz-utils (liblzma) and zstd with mingw-w64,
# from Debian's own source packages, for the Windows build to link against; and zlib, which only
# the tests link (an oracle).
# Usage: scripts/windows-deps.sh [OUT_DIR]     (default build/windows/deps)
# Leaves OUT_DIR/include (bzlib.h, lzma.h + lzma/, zstd.h, zstd_errors.h, zdict.h),
# OUT_DIR/lib (libbz2.a, liblzma.a, libzstd.a, libz.a; zlib.h and zconf.h) and OUT_DIR/stamp (the versions built).
# Sources are kept in OUT_DIR/src: a second run with the same script does nothing, and a
# rebuild (stamp or libraries removed) reuses the sources there without fetching them again.
# Delete OUT_DIR/src to take newer Debian versions.
#
# The sources are fetched with apt-get from deb-src entries derived from the machine's own
# apt sources, through a private source list, list folder and cache under OUT_DIR/apt: the
# machine's apt configuration is left as it is.
#
# Consumers: define LZMA_API_STATIC when compiling against lzma.h (it declares dllimport
# otherwise). bzlib.h includes <windows.h> on Windows (with its min/max macros unless NOMINMAX).
set -euo pipefail
cd "$(dirname "$0")/.."
here=$PWD
out=$(realpath -m "${1:-build/windows/deps}")
CC=${CC_WIN:-x86_64-w64-mingw32-gcc-posix}
host=x86_64-w64-mingw32
AR=$host-ar
RANLIB=$host-ranlib
CFLAGS_WIN="-O2"
pkgs=(bzip2 xz-utils libzstd zlib)

# What the stamp must say for the libraries to be current: this script and the compiler.
recipe="recipe $(sha256sum "$here/scripts/windows-deps.sh" | cut -c1-16) $($CC -dumpversion 2>/dev/null || echo none)"
stamp=$out/stamp
if [ -f "$stamp" ] && [ "$(head -n1 "$stamp")" = "$recipe" ] \
   && [ -f "$out/lib/libbz2.a" ] && [ -f "$out/lib/liblzma.a" ] && [ -f "$out/lib/libzstd.a" ] \
   && [ -f "$out/lib/libz.a" ]; then
  echo "windows-deps: up to date in $out ($(tail -n +2 "$stamp" | tr '\n' ' '))"
  exit 0
fi

t0=$(date +%s)
step() { # step NAME: prints how long the previous step took and starts the next one
  local now; now=$(date +%s)
  [ -n "${step_name:-}" ] && echo "windows-deps: $step_name took $((now - step_start)) s"
  step_name=$1; step_start=$now
  [ -n "$1" ] && echo "windows-deps: $1..."
  return 0
}

# --- tools -----------------------------------------------------------------------------------
need=()
command -v "$CC" >/dev/null || need+=(gcc-mingw-w64-x86-64-posix)
command -v "$host-ar" >/dev/null || need+=(binutils-mingw-w64-x86-64)
command -v make >/dev/null || need+=(make)
command -v dpkg-source >/dev/null || need+=(dpkg-dev)
command -v xz >/dev/null || need+=(xz-utils)
if [ ${#need[@]} -gt 0 ]; then
  step "installing ${need[*]}"
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${need[@]}"
fi

mkdir -p "$out/src" "$out/include" "$out/lib"
src=$out/src

# The unpacked source folder of a package (NAME-UPSTREAMVERSION beside its NAME_VERSION.dsc),
# the newest one when several were fetched.
srcdir() {
  local dsc upver best=""
  for dsc in "$src/$1"_*.dsc; do
    [ -f "$dsc" ] || continue
    upver=$(sed -n 's/^Version: //p' "$dsc" | sed 's/^[0-9]*://; s/-[^-]*$//')
    [ -d "$src/$1-$upver" ] || continue
    if [ -z "$best" ] || dpkg --compare-versions "$(dscver "$dsc")" gt "$(dscver "$best")"; then best=$dsc; fi
  done
  [ -n "$best" ] || return 1
  echo "$src/$1-$(dscver "$best" | sed 's/^[0-9]*://; s/-[^-]*$//')"
}
dscver() { sed -n 's/^Version: //p' "$1"; }
pkgver() { # the Debian version of the package that srcdir gives
  local d; d=$(srcdir "$1")
  for dsc in "$src/$1"_*.dsc; do
    if [ "$src/$1-$(dscver "$dsc" | sed 's/^[0-9]*://; s/-[^-]*$//')" = "$d" ]; then dscver "$dsc"; fi
  done | sort -V | tail -n1
}

# --- fetch ----------------------------------------------------------------------------------
missing=()
for p in "${pkgs[@]}"; do srcdir "$p" >/dev/null || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ]; then
  step "fetching ${missing[*]}"
  apt=$out/apt
  etc=${VZ_APT_ETC:-/etc/apt}   # the apt configuration to derive from (another one for testing)
  rm -rf "$apt"
  mkdir -p "$apt/sources.list.d" "$apt/lists/partial" "$apt/cache/archives/partial"
  # deb-src twins of the machine's Debian archive entries (the main archive and its security
  # archive), both the one-line and the deb822 formats. Entries of other archives are left out.
  {
    for f in "$etc/sources.list" "$etc"/sources.list.d/*.list; do
      [ -f "$f" ] || continue
      # "deb [opts] URI suite comps...": keep the options (signed-by, arch) and the rest as is.
      awk '
        /^[ \t]*deb[ \t]/ {
          line = $0; sub(/^[ \t]*deb[ \t]+/, "", line)
          opts = ""
          if (line ~ /^\[/) { opts = substr(line, 1, index(line, "]")); line = substr(line, index(line, "]") + 1); sub(/^[ \t]+/, "", line) }
          split(line, w, /[ \t]+/); uri = w[1]; sub(/\/+$/, "", uri)
          if (uri ~ /\/debian(-security)?$/) print "deb-src " (opts != "" ? opts " " : "") line
        }' "$f"
    done
  } > "$apt/sources.list"
  for f in "$etc"/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    # deb822 stanzas, split at blank lines; kept when enabled, of type deb, with Debian URIs only.
    awk '
      function flush(   i, k, n, u, keep, hasdeb) {
        if (nf == 0) return
        keep = 1; hasdeb = 0
        for (i = 1; i <= nf; i++) {
          k = tolower(key[i])
          if (k == "enabled" && tolower(val[i]) ~ /^(no|false|0)$/) keep = 0
          if (k == "types") { n = split(val[i], t, /[ \t]+/); for (j = 1; j <= n; j++) if (t[j] == "deb") hasdeb = 1 }
          if (k == "uris") {
            n = split(val[i], u, /[ \t]+/); val[i] = ""
            for (j = 1; j <= n; j++) { x = u[j]; sub(/\/+$/, "", x); if (x ~ /\/debian(-security)?$/) val[i] = val[i] (val[i] == "" ? "" : " ") u[j] }
            if (val[i] == "") keep = 0
          }
        }
        if (keep && hasdeb) {
          for (i = 1; i <= nf; i++) {
            if (tolower(key[i]) == "types") print "Types: deb-src"
            else if (cont[i] != "") printf "%s:%s\n%s", key[i], (val[i] == "" ? "" : " " val[i]), cont[i]
            else print key[i] ": " val[i]
          }
          print ""
        }
        nf = 0
      }
      /^[ \t]*#/ { next }
      /^[ \t]*$/ { flush(); next }
      /^[ \t]/ { cont[nf] = cont[nf] $0 "\n"; next }      # continuation line of a multi-line field
      { nf++; key[nf] = substr($0, 1, index($0, ":") - 1); v = substr($0, index($0, ":") + 1)
        sub(/^[ \t]+/, "", v); sub(/[ \t]+$/, "", v); val[nf] = v; cont[nf] = "" }
      END { flush() }' "$f" > "$apt/sources.list.d/$(basename "$f")"
    [ -s "$apt/sources.list.d/$(basename "$f")" ] || rm -f "$apt/sources.list.d/$(basename "$f")"
  done
  if [ ! -s "$apt/sources.list" ] && [ -z "$(ls "$apt/sources.list.d")" ]; then
    echo "windows-deps: no Debian archive found in the machine's apt sources to derive deb-src entries from" >&2
    exit 1
  fi
  aptopts=(-o "Dir::Etc::SourceList=$apt/sources.list" -o "Dir::Etc::SourceParts=$apt/sources.list.d"
           -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache"
           -o "APT::Sandbox::User=root")
  if ! apt-get "${aptopts[@]}" update -qq; then
    echo "windows-deps: apt-get update of the derived deb-src entries failed; they were:" >&2
    cat "$apt/sources.list" "$apt"/sources.list.d/* >&2 2>/dev/null || true
    exit 1
  fi
  if ! ls "$apt/lists/"*Sources* >/dev/null 2>&1; then
    echo "windows-deps: the mirror gave no source indexes (Sources) for the derived deb-src entries" >&2
    exit 1
  fi
  # The newest version first; an archive may list a version whose files it does not serve
  # (seen with a security archive's sources), so older versions are tried after it.
  for p in "${missing[@]}"; do
    vers=()
    for v in $(apt-cache "${aptopts[@]}" showsrc --only-source "$p" | sed -n 's/^Version: //p' | sort -u); do
      i=${#vers[@]}
      while [ "$i" -gt 0 ] && dpkg --compare-versions "$v" gt "${vers[$((i - 1))]}"; do
        vers[$i]=${vers[$((i - 1))]}; i=$((i - 1))
      done
      vers[$i]=$v
    done
    [ ${#vers[@]} -gt 0 ] || { echo "windows-deps: no source package $p in the derived deb-src entries" >&2; exit 1; }
    got=""
    for v in "${vers[@]}"; do
      if (cd "$src" && apt-get "${aptopts[@]}" source -qq "$p=$v" >"$apt/source-$p-$v.log" 2>&1); then
        got=$v; break
      fi
      echo "windows-deps: could not fetch source $p $v (an older version is tried next):" >&2
      grep -E '^(E|W):' "$apt/source-$p-$v.log" | head -n 3 >&2 || true
    done
    [ -n "$got" ] || { echo "windows-deps: no version of $p could be fetched (tried ${vers[*]})" >&2; exit 1; }
    srcdir "$p" >/dev/null || { echo "windows-deps: $p $got was not unpacked in $src" >&2; exit 1; }
    echo "windows-deps: fetched $p $got"
  done
  rm -rf "$apt/lists" "$apt/cache"   # the indexes are only needed to fetch
fi

# --- bzip2 ----------------------------------------------------------------------------------
step "building libbz2"
d=$(srcdir bzip2)
b=$out/build/bzip2
rm -rf "$b"; mkdir -p "$b"
names=(blocksort huffman crctable randtable compress decompress bzlib)
printf '%s\n' "${names[@]}" | xargs -P 2 -I{} "$CC" $CFLAGS_WIN -c "$d/{}.c" -o "$b/{}.o"
rm -f "$out/lib/libbz2.a"
(cd "$b" && $AR rcs "$out/lib/libbz2.a" "${names[@]/%/.o}")
cp "$d/bzlib.h" "$out/include/"

# --- xz-utils (liblzma only) ----------------------------------------------------------------
step "building liblzma"
d=$(srcdir xz-utils)
b=$out/build/xz
rm -rf "$b"; mkdir -p "$b"
# Debian's patches are applied to the files, not to the generated build system: keep make from
# trying to run automake because a patched file looks newer than what was made from it.
find "$d" \( -name configure -o -name 'Makefile.in' -o -name 'config.h.in' -o -name aclocal.m4 \) -exec touch {} +
(cd "$b" && "$d/configure" -q --host=$host --prefix="$b/inst" CC="$CC" AR="$AR" RANLIB="$RANLIB" \
   CFLAGS="$CFLAGS_WIN" --enable-static --disable-shared --disable-xz --disable-xzdec \
   --disable-lzmadec --disable-lzmainfo --disable-lzma-links --disable-scripts --disable-doc \
   --disable-nls >/dev/null)
make -C "$b/src/liblzma" -j2 -s >/dev/null
make -C "$b/src/liblzma" -s install >/dev/null
cp "$b/inst/lib/liblzma.a" "$out/lib/"
rm -rf "$out/include/lzma"
cp -r "$b/inst/include/lzma.h" "$b/inst/include/lzma" "$out/include/"

# --- zstd -----------------------------------------------------------------------------------
step "building libzstd"
d=$(srcdir libzstd)
b=$out/build/zstd
rm -rf "$b"; mkdir -p "$b"
cp -r "$d/lib" "$b/"
# Multi-threaded like Debian's libzstd (zstd's own Win32 threads; its static default is single).
make -C "$b/lib" -j2 -s libzstd.a-mt CC="$CC" AR="$AR" CFLAGS="$CFLAGS_WIN" ZSTD_LEGACY_SUPPORT=0 >/dev/null
cp "$b/lib/libzstd.a" "$out/lib/"
cp "$d/lib/zstd.h" "$d/lib/zstd_errors.h" "$d/lib/zdict.h" "$out/include/"

# --- zlib (the tests' oracle) ----------------------------------------------------------------
step "building libz"
d=$(srcdir zlib)
b=$out/build/zlib
rm -rf "$b"; mkdir -p "$b"
names=(adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback inffast inflate inftrees
       trees uncompr zutil)
printf '%s\n' "${names[@]}" | xargs -P 2 -I{} "$CC" $CFLAGS_WIN -c "$d/{}.c" -o "$b/{}.o"
rm -f "$out/lib/libz.a"
(cd "$b" && $AR rcs "$out/lib/libz.a" "${names[@]/%/.o}")
cp "$d/zlib.h" "$d/zconf.h" "$out/include/"

step ""
rm -rf "$out/build"
{
  echo "$recipe"
  for p in "${pkgs[@]}"; do echo "$p $(pkgver "$p")"; done
} > "$stamp"
echo "windows-deps: done in $(( $(date +%s) - t0 )) s: $(tail -n +2 "$stamp" | tr '\n' ' ')"
