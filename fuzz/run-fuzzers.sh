#!/usr/bin/env bash
# Runs every fuzz target for the given number of seconds and prints
# libFuzzer's final figures. New corpus entries and crash artifacts stay in
# the build directory (BUILD/fuzz-runs/TARGET/), never in fuzz/corpus; a later
# run goes on from the corpus an earlier one grew.
#
#   fuzz/run-fuzzers.sh BUILD_DIR SECONDS [TARGET...]
#
# Exit status 1 when any target found a problem (its log and the input are
# named in the output).
set -uo pipefail

build=${1:?build directory}
seconds=${2:?seconds per target}
shift 2
source_dir=$(cd "$(dirname "$0")/.." && pwd)
targets=("$@")
((${#targets[@]} > 0)) || targets=(scanner run)

failed=()
for target in "${targets[@]}"; do
    binary=$build/fuzz/${target}_fuzz
    work=$build/fuzz-runs/$target
    mkdir -p "$work/corpus" "$work/artifacts"
    log=$work/last-run.log
    echo "== fuzz target $target: $seconds s"
    # The scanner's inputs start with four bytes of piece sizes; 4 KiB leaves
    # room for tokens longer than the 128 digits the conversion keeps.
    "$binary" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 -max_len=4096 \
        -dict="$source_dir/fuzz/numbers.dict" -artifact_prefix="$work/artifacts/" \
        "$work/corpus" "$source_dir/fuzz/corpus/$target" >"$log" 2>&1
    status=$?
    grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)|^Done [0-9]+ runs|^stat::|hexadecimal faults overruled' "$log"
    if ((status != 0)) || [[ -n $(ls -A "$work/artifacts") ]]; then
        echo "fuzz target $target FOUND A PROBLEM (exit status $status); log: $log"
        grep -E 'disagrees|check failed|ERROR: |runtime error|^artifact_prefix|Test unit written' "$log" | head -20
        ls -l "$work/artifacts"
        failed+=("$target")
    fi
done

if ((${#failed[@]} > 0)); then
    echo "fuzz: problems found by: ${failed[*]}"
    exit 1
fi
echo "fuzz: nothing found"
