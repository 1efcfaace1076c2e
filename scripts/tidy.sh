#!/usr/bin/env bash
# scripts/tidy.sh [BUILD]: clang-tidy with the checks of .clang-tidy over every Windows-free
# source (launchcore, setuplauncher, servicelauncher, natives, sldkpack), from the native
# build's compile_commands.json (default build/native). Any finding fails.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/native}
[ -f "$build/compile_commands.json" ] || { echo "tidy: no $build/compile_commands.json (configure the native build)" >&2; exit 1; }
cd "$root"
files=$(ls launchcore/*.cpp setuplauncher/*.cpp servicelauncher/*.cpp natives/*.cpp tools/sldkpack/*.cpp \
    tools/sldkpack/cli/*.cpp)
tidy=$(command -v run-clang-tidy || command -v run-clang-tidy-14)
# run-clang-tidy takes regular expressions: anchor each file's full path.
patterns=$(for file in $files; do printf '^%s$ ' "$root/$file"; done)
output=$("$tidy" -quiet -p "$build" -j "$(nproc)" $patterns 2>&1)
status=$?
echo "$output" | grep -E "warning:|error:" | grep -v "warnings generated" || true
[ $status -eq 0 ] && echo "tidy: $(echo "$files" | wc -w) sources clean"
exit $status
