#!/usr/bin/env bash
# Writes the committed seed corpora (fuzz/corpus/NAME) from their generators
# (fuzz/NAME_seeds.cpp), built in the native tree. Run it after changing a generator or a
# format the seeds follow; fuzz.NAME.seeds in the native tests fails until it is run.
set -euo pipefail
cd "$(dirname "$0")/.."
[ -d build/native ] || cmake --preset native >/dev/null
names=$(ls fuzz/*_seeds.cpp | sed 's|fuzz/\(.*\)_seeds.cpp|\1|')
cmake --build --preset native --target $(for name in $names; do echo "${name}_seeds"; done)
for name in $names; do
    rm -rf "fuzz/corpus/$name"
    "build/native/bin/${name}_seeds" "fuzz/corpus/$name"
    echo "fuzz/corpus/$name: $(ls "fuzz/corpus/$name" | wc -l) seeds"
done
