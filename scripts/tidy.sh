#!/usr/bin/env bash
# scripts/tidy.sh [BUILD]: clang-tidy with the checks of .clang-tidy over every Windows-free
# source (launchcore, setuplauncher, servicelauncher, natives, sldkpack), from the native
# build's compile_commands.json (default build/native). Any finding fails.
# scripts/tidy.sh --windows [BUILD]: the same over the Windows sources, from the cross build's
# compile_commands.json (default build/windows), parsed by clang for the mingw target with
# the cross compiler's headers. Not part of the test run: it takes minutes.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
extra=()
if [ "${1:-}" = "--windows" ]; then
    build=${2:-$root/build/windows}
    files=$(find launchcore/windows setuplauncher/windows servicelauncher/windows natives/windows -name '*.cpp' | sort)
    gcc_include=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")/include
    extra=(-extra-arg-before=--target=x86_64-w64-mingw32 -extra-arg=-nostdinc++
           "-extra-arg=-isystem$gcc_include/c++" "-extra-arg=-isystem$gcc_include/c++/x86_64-w64-mingw32"
           "-extra-arg=-isystem$gcc_include/c++/backward" -extra-arg=-isystem/usr/x86_64-w64-mingw32/include)
else
    build=${1:-$root/build/native}
    files=$(ls launchcore/*.cpp setuplauncher/*.cpp servicelauncher/*.cpp natives/*.cpp tools/sldkpack/*.cpp \
        tools/sldkpack/cli/*.cpp)
fi
[ -f "$build/compile_commands.json" ] || { echo "tidy: no $build/compile_commands.json (configure the build)" >&2; exit 1; }
tidy=$(command -v run-clang-tidy || command -v run-clang-tidy-14)
# run-clang-tidy takes regular expressions: anchor each file's full path.
patterns=$(for file in $files; do printf '^%s$ ' "$root/$file"; done)
output=$("$tidy" -quiet -p "$build" -j "$(nproc)" "${extra[@]}" $patterns 2>&1)
status=$?
echo "$output" | grep -E "warning:|error:" | grep -v "warnings generated" || true
[ $status -eq 0 ] && echo "tidy: $(echo "$files" | wc -w) sources clean"
exit $status
