#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12 (run as root).
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends \
    cmake ninja-build clang libclang-rt-14-dev g++ \
    g++-mingw-w64-x86-64-posix mingw-w64-tools libz-mingw-w64-dev zlib1g-dev \
    wine wine64 xvfb xauth \
    googletest libgtest-dev libtomlplusplus-dev libcli11-dev \
    default-jdk-headless util-linux procps python3 \
    openssl osslsigncode
