#!/usr/bin/env bash
# Builds the JPEG and PNG libraries that JUCE's image loaders need, for 64-bit Windows,
# from Debian's own sources, into <BUILD_DIR>/mingw-deps (static libraries, headers and
# pkg-config files). zlib comes from Debian's libz-mingw-w64-dev.
#
#   scripts/build-mingw-deps.sh build/win
#
# A second run finds its stamp and does nothing. Needs root the first time, to enable
# Debian's source archive and fetch the sources.
set -euo pipefail

if [ $# -ne 1 ]; then
    echo "usage: $0 BUILD_DIR" >&2
    exit 2
fi

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
mkdir -p "$1"
build_dir="$(cd "$1" && pwd)"
prefix="$build_dir/mingw-deps"
cache="$build_dir/mingw-deps-src"
triple=x86_64-w64-mingw32
sysroot="/usr/$triple"
toolchain="$repo/cmake/mingw-w64-x86_64.cmake"
# Bump when the way the libraries are built changes, so old builds are made again.
recipe=3
stamp="$prefix/.built-$recipe"

if [ -f "$stamp" ]; then
    echo "MinGW dependencies already built in $prefix"
    exit 0
fi

for tool in "$triple-gcc-posix" "$triple-g++-posix" cmake dpkg-source; do
    if ! command -v "$tool" > /dev/null; then
        echo "$tool is missing: run scripts/install-deps.sh first" >&2
        exit 1
    fi
done

if [ ! -f "$sysroot/lib/libz.a" ]; then
    echo "$sysroot/lib/libz.a is missing: install libz-mingw-w64-dev" >&2
    exit 1
fi

jobs="${VESK2_JOBS:-2}"

# --- Sources --------------------------------------------------------------------------

have_deb_src() {
    grep -rqsE '^[[:space:]]*(deb-src[[:space:]]|Types:.*deb-src)' \
        /etc/apt/sources.list /etc/apt/sources.list.d/
}

enable_deb_src() {
    local deb822=/etc/apt/sources.list.d/debian.sources
    local ours=/etc/apt/sources.list.d/vesk2-deb-src.sources

    if [ -f "$deb822" ]; then
        # The same archives as the binary packages, for sources only.
        sed -E 's/^Types:.*/Types: deb-src/' "$deb822" > "$ours"
    elif [ -f /etc/apt/sources.list ]; then
        grep -E '^[[:space:]]*deb[[:space:]]' /etc/apt/sources.list \
            | sed -E 's/^([[:space:]]*)deb[[:space:]]/\1deb-src /' \
            > /etc/apt/sources.list.d/vesk2-deb-src.list
    else
        echo "No apt sources found to add deb-src entries to" >&2
        exit 1
    fi
}

fetch_source() {
    local package="$1"
    local dir

    dir="$(find "$cache" -maxdepth 1 -mindepth 1 -type d -name "$package-*" | head -n 1)"

    if [ -z "$dir" ]; then
        if ! have_deb_src; then
            enable_deb_src
            apt-get update -qq
        fi

        # apt drops its privileges to the _apt user for downloads where it can; the cache
        # folder must then be writable by it. A mirror may lack the newest upload of a
        # source (a security update's files, say): older versions of it are tried next.
        local version
        local fetched=no
        for version in "" $(apt-cache showsrc "$package" | sed -nE 's/^Version: //p' | sort -r -V); do
            if (cd "$cache" && apt-get source -qq "$package${version:+=$version}" > "$cache/fetch.log" 2>&1); then
                fetched=yes
                break
            fi
        done
        if [ "$fetched" = no ]; then
            cat "$cache/fetch.log" >&2
            echo "Could not fetch the source of $package" >&2
            exit 1
        fi
        dir="$(find "$cache" -maxdepth 1 -mindepth 1 -type d -name "$package-*" | head -n 1)"
    fi

    if [ -z "$dir" ]; then
        echo "Could not unpack the source of $package" >&2
        exit 1
    fi

    echo "$dir"
}

mkdir -p "$cache" "$prefix"
chmod 0777 "$cache"

jpeg_src="$(fetch_source libjpeg-turbo)"
png_src="$(fetch_source libpng1.6)"

# --- libjpeg-turbo ----------------------------------------------------------------------

cmake -S "$jpeg_src" -B "$cache/build-jpeg" \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DCMAKE_INSTALL_LIBDIR=lib \
    -DENABLE_SHARED=OFF \
    -DENABLE_STATIC=ON \
    -DWITH_SIMD=OFF \
    -DWITH_TURBOJPEG=OFF \
    -DWITH_JPEG8=OFF \
    > "$cache/jpeg-configure.log"
cmake --build "$cache/build-jpeg" --target jpeg-static -j "$jobs" > "$cache/jpeg-build.log"

mkdir -p "$prefix/include" "$prefix/lib/pkgconfig"
cp "$cache/build-jpeg/libjpeg.a" "$prefix/lib/libjpeg.a"
cp "$cache/build-jpeg/jconfig.h" "$jpeg_src/jpeglib.h" "$jpeg_src/jmorecfg.h" \
   "$jpeg_src/jerror.h" "$prefix/include/"
# JUCE includes jpeglib.h with JPEG_INTERNALS defined, which pulls these in too.
cp "$cache/build-jpeg/jconfigint.h" "$jpeg_src/jpegint.h" "$prefix/include/"

# The Windows jconfig.h leaves `boolean` to <rpcndr.h> once that has been read. JUCE
# includes the JPEG headers inside a namespace of its own, after <windows.h>, so the
# library's names would then lack `boolean` there. Declaring it always, as the same type
# rpcndr.h and the library's own build use, keeps the ABI and completes the namespace.
python3 - "$prefix/include/jconfig.h" <<'PYTHON'
import re
import sys

path = sys.argv[1]
text = open(path).read()
guarded = re.compile(r"#ifndef __RPCNDR_H__[^\n]*\n(typedef unsigned char boolean;)\n#endif\n")
text, count = guarded.subn(r"\1\n", text)
if count != 1 or "typedef unsigned char boolean;" not in text:
    sys.exit(path + ": the guarded boolean typedef was not found")
open(path, "w").write(text)
PYTHON

jpeg_version="$(sed -nE 's/^#define LIBJPEG_TURBO_VERSION[[:space:]]+([0-9.]+).*/\1/p' "$prefix/include/jconfig.h")"
cat > "$prefix/lib/pkgconfig/libjpeg.pc" <<EOF
prefix=$prefix
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: libjpeg
Description: libjpeg-turbo JPEG codec (static, $triple)
Version: ${jpeg_version:-0}
Libs: -L\${libdir} -ljpeg
Cflags: -I\${includedir}
EOF

# --- zlib ----------------------------------------------------------------------------------

# Only the static archive, so nothing can pick the DLL's import library instead.
cp "$sysroot/lib/libz.a" "$prefix/lib/libz.a"
cp "$sysroot/include/zlib.h" "$sysroot/include/zconf.h" "$prefix/include/"
zlib_version="$(sed -nE 's/^#define ZLIB_VERSION "([^"]+)".*/\1/p' "$prefix/include/zlib.h")"
cat > "$prefix/lib/pkgconfig/zlib.pc" <<EOF
prefix=$prefix
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: zlib
Description: zlib compression library (static, $triple)
Version: ${zlib_version:-0}
Libs: -L\${libdir} -lz
Cflags: -I\${includedir}
EOF

# --- libpng -----------------------------------------------------------------------------

cmake -S "$png_src" -B "$cache/build-png" \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DCMAKE_INSTALL_LIBDIR=lib \
    -DPNG_SHARED=OFF \
    -DPNG_STATIC=ON \
    -DPNG_TESTS=OFF \
    -DPNG_EXECUTABLES=OFF \
    -DPNG_BUILD_ZLIB=OFF \
    -DZLIB_LIBRARY="$prefix/lib/libz.a" \
    -DZLIB_INCLUDE_DIR="$prefix/include" \
    > "$cache/png-configure.log"
cmake --build "$cache/build-png" -j "$jobs" > "$cache/png-build.log"
cmake --install "$cache/build-png" > "$cache/png-install.log"

# libpng installs its own libpng.pc; make it name the static archive and zlib beside it.
png_lib="$(cd "$prefix/lib" && ls libpng16*.a | head -n 1)"
png_name="${png_lib#lib}"
png_name="${png_name%.a}"
png_version="$(sed -nE 's/^#define PNG_LIBPNG_VER_STRING "([^"]+)".*/\1/p' "$prefix/include/png.h")"
rm -f "$prefix/lib/pkgconfig/libpng.pc" "$prefix/lib/pkgconfig/libpng16.pc"
cat > "$prefix/lib/pkgconfig/libpng.pc" <<EOF
prefix=$prefix
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: libpng
Description: PNG reference library (static, $triple)
Version: ${png_version:-0}
Requires: zlib
Libs: -L\${libdir} -l$png_name
Cflags: -I\${includedir}
EOF

touch "$stamp"
echo "MinGW dependencies built in $prefix"
