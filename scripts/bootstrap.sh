#!/bin/bash
# Installs what building and testing the setup program needs on Debian 12,
# and fetches the libpng source package into a cache outside the tree.
# Idempotent: every step first checks whether its work is already done.
set -euo pipefail

CACHE_DIR="${TALVERA_CACHE:-/var/cache/talvera-build}"
say() { echo "[bootstrap] $*"; }

need_root() {
    if [ "$(id -u)" != 0 ]; then
        echo "[bootstrap] must run as root to install: $*" >&2
        exit 1
    fi
}

# Packages and why they are needed.
PACKAGES=(
    wine wine32:i386 fonts-wine          # the Win32 implementation the program is proven in
    g++-mingw-w64-i686-posix binutils-mingw-w64-i686  # the i686 cross compiler (posix threads: std::mutex for GoogleTest)
    libz-mingw-w64-dev                   # static zlib for i686, used by libpng
    xvfb xdotool imagemagick x11-utils   # a display, window lookup and screenshots
    googletest                           # GoogleTest sources, built natively and for Windows
    cmake ninja-build g++ clang libclang-rt-14-dev  # host build, libFuzzer, ASan and UBSan
    zlib1g-dev xz-utils                  # the compression benchmark's references
    python3                              # the scripts that draw the banners, icons and sound
    dpkg-dev                             # apt-get source
    base-files                           # /usr/share/common-licenses/GPL-2
)

missing=()
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    need_root "i386 multiarch"
    say "adding the i386 architecture (wine32 is an i386 package)"
    dpkg --add-architecture i386
    APT_UPDATED=
fi
for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
        missing+=("$p")
    fi
done

# libpng's source needs a deb-src line for the mirror apt already uses.
SRC_LIST=/etc/apt/sources.list.d/talvera-deb-src.sources
if ! grep -rqs "^Types:.*deb-src\|^deb-src" /etc/apt/sources.list /etc/apt/sources.list.d/; then
    need_root "a deb-src entry"
    say "adding deb-src entries for the configured mirror (libpng's source package)"
    : > "$SRC_LIST.tmp"
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] || continue
        awk 'BEGIN{RS=""; ORS="\n\n"} /Types:[^\n]*deb/ { sub(/Types:[^\n]*/, "Types: deb-src"); print }' "$f" >> "$SRC_LIST.tmp"
    done
    if [ -f /etc/apt/sources.list ]; then
        grep -E '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' > /etc/apt/sources.list.d/talvera-deb-src.list || true
    fi
    if [ -s "$SRC_LIST.tmp" ]; then mv "$SRC_LIST.tmp" "$SRC_LIST"; else rm -f "$SRC_LIST.tmp"; fi
    missing+=(--refresh)
fi

if [ ${#missing[@]} -gt 0 ]; then
    need_root "${missing[*]}"
    say "apt-get update"
    apt-get update -qq
    pk=()
    for p in "${missing[@]}"; do [ "$p" = --refresh ] || pk+=("$p"); done
    if [ ${#pk[@]} -gt 0 ]; then
        say "installing: ${pk[*]}"
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${pk[@]}"
    fi
else
    say "all packages present"
fi

# libpng source, unpacked once into the cache with Debian's patches applied.
# Versions are tried newest first: a security update's source can lag behind
# its binaries on some mirrors.
PNG_DIR="$CACHE_DIR/libpng"
if [ ! -f "$PNG_DIR/png.c" ]; then
    mkdir -p "$CACHE_DIR" && chmod 777 "$CACHE_DIR"
    say "fetching libpng's source package into $CACHE_DIR"
    fetched=
    for v in $(apt-cache showsrc libpng1.6 | awk '/^Version:/{print $2}' | sort -rV); do
        rm -rf "$CACHE_DIR/dl" && mkdir -p "$CACHE_DIR/dl" && chmod 777 "$CACHE_DIR/dl"
        if ( cd "$CACHE_DIR/dl" && apt-get source -qq --download-only "libpng1.6=$v" ) >/dev/null 2>&1; then
            fetched=$v; break
        fi
        say "libpng1.6 $v could not be fetched, trying an older version"
    done
    [ -n "$fetched" ] || { echo "[bootstrap] no libpng1.6 source could be fetched" >&2; exit 1; }
    rm -rf "$PNG_DIR"
    dpkg-source --no-check -x "$CACHE_DIR"/dl/libpng1.6_*.dsc "$PNG_DIR" >/dev/null
    rm -rf "$CACHE_DIR/dl"
    say "libpng1.6 $fetched unpacked in $PNG_DIR"
else
    say "libpng source present in $PNG_DIR"
fi
