#!/usr/bin/env bash
# scripts/bench.sh [BUILD]: runs every benchmark of the Windows build (default build/windows;
# the CTest entries labelled "bench") and prints one table: each figure, the baseline measured
# in the same run, and their ratio. The full output of every benchmark is kept in
# BUILD/bench.log. The machine is shared and noisy: read the ratios, not the milliseconds.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/windows}
log=$build/bench.log
cd "$root"
cmake --build "$build" || exit 1
"$root/cmake/wine-server.sh" start "$build" || exit 1
(cd "$build" && ctest -L bench -V --timeout 1800) >"$log" 2>&1
status=$?
"$root/cmake/wine-server.sh" stop "$build"

# The first number after the text, on the first line holding it.
figure() { tr -d '\r' <"$log" | grep -F -m1 -- "$1" | sed -E "s/.*$(printf '%s' "$1" | sed 's/[][().*/]/\\&/g')[^0-9]*([0-9]+(\.[0-9]+)?).*/\1/"; }
row() {
    local what=$1 value=$2 baseline_what=$3 baseline=$4
    local ratio=-
    [ -n "$value" ] && [ -n "$baseline" ] && ratio=$(awk -v a="$value" -v b="$baseline" 'BEGIN { printf "%.2f", a / b }')
    printf '| %s | %s ms | %s | %s | %s |\n' "$what" "${value:--}" "$baseline_what" "${baseline:+$baseline ms}" "$ratio"
}

echo "| benchmark | figure | baseline (same run) | baseline | ratio |"
echo "|---|---|---|---|---|"
row "servicelauncher /run, warm cache" "$(figure 'servicelauncher /run, warm cache, median:')" \
    "do-nothing program" "$(figure 'do-nothing program, median wall time:')"
row "payload extraction" "$(figure 'extraction:')" "CopyFileW of the same bytes" "$(figure 'file copy:')"
row "integrity check" "$(figure 'check:')" "plain read of the same bytes" "$(figure 'plain read:')"
row "runtime download" "$(figure 'installer (16 KiB reads, to disk):')" "plain socket client" \
    "$(figure 'plain socket (discarded):')"
row "untar of the runtime archive" "$(figure 'untarArchive median:')" "GNU tar xzf" "$(figure 'GNU tar xzf median:')"
row "service stop latency" "$(figure 'service stop latency (control sent to STOPPED): median')" \
    "a service that only stops" "$(figure 'stop latency of a service that only stops: median')"
echo
echo "(full output: $log)"
exit $status
