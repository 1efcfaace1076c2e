#!/usr/bin/env bash
# Builds and tests every layer: the native build (Windows-free code under sanitizers,
# fuzzers, sldkpack), then the Windows cross build with its tests under Wine.
set -uo pipefail
cd "$(dirname "$0")/.."

status=0
cmake --workflow --preset native || status=1
cmake --workflow --preset windows || status=1
# The Wine prefix's server is the run's own; nothing of it outlives the run.
cmake/wine-server.sh stop "$PWD/build/windows"
exit $status
