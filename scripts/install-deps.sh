#!/usr/bin/env bash
# Installs the Debian 12 packages the project needs, only those still missing.
# Runs as root, or through sudo when it is there.
set -euo pipefail

packages=(
    # the build
    build-essential cmake pkg-config
    juce-modules-source libjpeg62-turbo-dev libpng-dev
    libx11-dev libxrandr-dev libxinerama-dev libxcursor-dev libxext-dev libfreetype-dev
    fonts-dejavu-core
    # the tests
    libgtest-dev libgmock-dev python3 python3-pytest python3-pytest-xdist python3-pytest-timeout python3-pil
    xvfb openbox wmctrl xdotool xclip x11-utils imagemagick
    clang libclang-rt-14-dev
    # ---- Windows build and Wine checks (maintained with the Windows build) ----
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    libz-mingw-w64-dev dpkg-dev wine64 icoutils
    # ---- the Windows install packages (CPack's NSIS generator) and the check that lists them ----
    nsis p7zip-full
    # ---- signing a release, and the throwaway certificate the test command signs with ----
    osslsigncode openssl
    # ---- benchmarks ----
    libbenchmark-dev
    # ---- static analysis, memcheck and the debugger the shutdown tests hold a thread with ----
    clang-tidy valgrind gdb
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi

echo "Installing: ${missing[*]}"
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
