#!/usr/bin/env bash
# The untar benchmark: untar_bench.exe makes the archive and times untarArchive under Wine,
# then GNU tar unpacks the same archive natively, as many rounds; prints both medians and
# their ratio.  untar_bench.sh UNTAR_BENCH_EXE BUILD_DIR [ROUNDS]
set -euo pipefail
exe=$1
build=$2
rounds=${3:-3}
work="$build/bench_untar"
rm -rf "$work"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT

out=$(SLDK_BUILD_DIR="$build" "$(dirname "$0")/../../../cmake/wine-run.sh" "$exe" "Z:${work//\//\\}" "$rounds")
echo "$out"
ours=$(echo "$out" | tr -d '\r' | sed -n 's/^untarArchive median: \([0-9]*\) ms$/\1/p')

times=()
for ((i = 1; i <= rounds; i++)); do
    rm -rf "$work/tar" && mkdir "$work/tar"
    start=$(date +%s%N)
    tar xzf "$work/runtime.tar.gz" -C "$work/tar"
    ms=$(( ($(date +%s%N) - start) / 1000000 ))
    echo "GNU tar xzf round $i: $ms ms"
    times+=("$ms")
done
theirs=$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(( (rounds + 1) / 2 ))p")
echo "GNU tar xzf median: $theirs ms"
awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "ratio untarArchive / GNU tar: %.2f\n", a / b }'
