#!/usr/bin/env bash
# scripts/fuzz-all.sh MINUTES [JOBS]: runs every libFuzzer target for MINUTES each (JOBS at a
# time, default 2) in a build tree of its own (build/fuzz), from the committed seed corpora,
# and prints a table of executions and coverage per target. New inputs stay in
# build/fuzz/fuzz/corpus; a finding fails the run and leaves its crash file in build/fuzz.
set -uo pipefail
cd "$(dirname "$0")/.."
minutes=${1:?usage: scripts/fuzz-all.sh MINUTES [JOBS]}
jobs=${2:-2}
seconds=$(awk -v m="$minutes" 'BEGIN { print int(m * 60) }')
build=build/fuzz
log=$build/fuzz-all.log

cmake --preset native -B "$build" -DSLDK_FUZZ_SECONDS=$seconds >/dev/null || exit 1
cmake --build "$build" --target $(ls fuzz/*_fuzz.cpp | sed 's|fuzz/\(.*\)\.cpp|\1|') \
    $(ls fuzz/*_seeds.cpp | sed 's|fuzz/\(.*\)\.cpp|\1|') || exit 1
(cd "$build" && ctest -R '^fuzz\.' -j "$jobs" -V --timeout $((seconds + 300))) >"$log" 2>&1
status=$?

printf '%-18s %14s %10s %10s %8s\n' target executions coverage features result
for name in $(ls fuzz/*_fuzz.cpp | sed 's|fuzz/\(.*\)_fuzz\.cpp|\1|'); do
    number=$(grep -E "Test +#[0-9]+: fuzz\.$name( |$)" "$log" | head -1 | sed -E 's/.*#([0-9]+):.*/\1/')
    lines=$(grep -E "^$number: " "$log")
    executions=$(echo "$lines" | sed -nE 's/.*stat::number_of_executed_units: ([0-9]+).*/\1/p' | tail -1)
    coverage=$(echo "$lines" | sed -nE 's/.* cov: ([0-9]+) ft: ([0-9]+).*/\1 \2/p' | tail -1)
    result=$(grep -E "fuzz\.$name \.+" "$log" | grep -oE 'Passed|Failed|\*\*\*[A-Za-z]+' | tail -1)
    printf '%-18s %14s %10s %10s %8s\n' "$name" "${executions:--}" "${coverage% *}" "${coverage#* }" "${result:--}"
done
exit $status
