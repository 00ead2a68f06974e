#!/bin/sh
# Runs one fuzzing target for a fixed number of inputs, starting from its
# seed corpus (text files, left untouched) and a fresh working corpus that
# the run may add to and that goes afterwards.
# Usage: run_fuzzer.sh TARGET SEED_DIR RUNS [libFuzzer options]
set -eu
target=$1
seeds=$2
runs=$3
shift 3
work=$(mktemp -d "${TMPDIR:-/tmp}/tw-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT
# -seed fixes the run, so a failure recurs; -timeout catches an input that
# hangs a reader.
"$target" -runs="$runs" -seed=1 -timeout=20 -print_final_stats=1 "$@" "$work" "$seeds"
