#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12 (run as root).
#   scripts/install-packages.sh               install (or update) every package
#   scripts/install-packages.sh --if-missing  install only when one is missing (demo.sh and
#                                             test-all.sh start with this)
set -euo pipefail
packages=(
    cmake ninja-build clang libclang-rt-14-dev g++
    g++-mingw-w64-x86-64-posix mingw-w64-tools libz-mingw-w64-dev zlib1g-dev
    wine wine64 xvfb xauth
    googletest libgtest-dev libtomlplusplus-dev libcli11-dev
    default-jdk-headless util-linux procps python3
    openssl osslsigncode
)

if [ "${1:-}" = "--if-missing" ]; then
    missing=()
    for package in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && exit 0
    echo "== installing the missing packages: ${missing[*]}"
    if [ "$(id -u)" -ne 0 ]; then
        echo "install-packages: run as root (or: sudo $0)" >&2
        exit 1
    fi
fi

export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${packages[@]}"
