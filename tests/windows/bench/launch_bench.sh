#!/usr/bin/env bash
# The launch benchmark with its phase breakdown: Wine writes the relay trace of the traced
# launcher runs to the standard error of the Wine process tree, so it goes to a file here,
# which launch_bench.exe reads after each run.  launch_bench.sh LAUNCH_BENCH_EXE BUILD_DIR [RUNS]
set -euo pipefail
exe=$1
build=$2
runs=${3:-21}
trace="$build/launch_bench_trace.txt"
: > "$trace"
trap 'rm -f "$trace"' EXIT
SLDK_BUILD_DIR="$build" "$(dirname "$0")/../../../cmake/wine-run.sh" "$exe" "$runs" "Z:${trace//\//\\}" 2>"$trace"
