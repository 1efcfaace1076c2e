#!/usr/bin/env bash
# check-corpus.sh GENERATOR COMMITTED GENERATED WORK: writes the seeds anew into GENERATED
# (and makes the fuzzer's WORK directory), then fails when the committed corpus differs.
set -u
generator=$1 committed=$2 generated=$3 work=$4
rm -rf "$generated"
"$generator" "$generated" "$work" || exit 1
if ! diff -r "$committed" "$generated" >/dev/null; then
    echo "fuzz/corpus/$(basename "$committed") is out of date: run scripts/make-fuzz-seeds.sh" >&2
    diff -rq "$committed" "$generated" >&2
    exit 1
fi
