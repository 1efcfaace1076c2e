#!/usr/bin/env bash
# The launch benchmark with its phase breakdown: Wine writes the relay trace of the traced
# launcher runs to the standard error of the Wine process tree, so it goes to a file here,
# which launch_bench.exe reads after each run.  launch_bench.sh LAUNCH_BENCH_EXE BUILD_DIR [RUNS]
# With LAUNCH_BENCH_EARLIER naming a folder that holds the two launchers of an earlier build,
# those run in the same rounds (as earlier_*.exe beside the benchmark).
set -euo pipefail
exe=$1
build=$2
runs=${3:-21}
trace="$build/launch_bench_trace.txt"
bin=$(dirname "$exe")
: > "$trace"
trap 'rm -f "$trace" "$bin"/earlier_servicelauncher.exe "$bin"/earlier_setuplauncher.exe' EXIT
if [ -n "${LAUNCH_BENCH_EARLIER:-}" ]; then
    cp "$LAUNCH_BENCH_EARLIER/servicelauncher.exe" "$bin/earlier_servicelauncher.exe"
    cp "$LAUNCH_BENCH_EARLIER/setuplauncher.exe" "$bin/earlier_setuplauncher.exe"
fi
SLDK_BUILD_DIR="$build" "$(dirname "$0")/../../../cmake/wine-run.sh" "$exe" "$runs" "Z:${trace//\//\\}" 2>"$trace"
