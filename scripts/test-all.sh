#!/usr/bin/env bash
# Builds and tests every layer: the native build (Windows-free code under sanitizers,
# fuzzers, sldkpack), then the Windows cross build with its tests under Wine.
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/install-packages.sh --if-missing || exit 1

status=0
cmake --workflow --preset native || status=1

windows_build="$PWD/build/windows"
if cmake --preset windows && cmake --build --preset windows; then
    # The Wine prefix is made before CTest lists the tests (listing runs the test programs
    # under Wine, and a new prefix takes a while).
    cmake/wine-server.sh start "$windows_build" || status=1
    # Now and then Wine fails to start a test program at all (it ends at once, printing
    # nothing); such a test gets one more run, and CTest's summary still names it.
    ctest --preset windows --repeat until-pass:2 || status=1
else
    status=1
fi
# The Wine prefix's server is the run's own; nothing of it outlives the run.
cmake/wine-server.sh stop "$windows_build"
exit $status
