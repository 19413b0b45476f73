#!/usr/bin/env bash
# Runs the program under valgrind's memcheck on every examples/*.txt. An
# example passes when valgrind reports no error and no leak, and the program
# gives the same output and exit status as without valgrind (some examples
# end with a message and status 1 on purpose).
#
# PROGRAM should be linked dynamically (preset tools): in a static program
# memcheck sees glibc's own start-up and exit code (_dl_early_allocate,
# __libc_setup_tls, _IO_cleanup) use memory it cannot know to be set, and
# reports errors that are none of ours.
#
#   tools/valgrind-examples.sh PROGRAM
set -uo pipefail

program=${1:?program}
source_dir=$(cd "$(dirname "$0")/.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

failed=0
for example in "$source_dir"/examples/*.txt; do
    name=$(basename "$example")
    "$program" <"$example" >"$scratch/native.out" 2>"$scratch/native.err"
    native_status=$?
    valgrind --error-exitcode=1 --leak-check=full --show-leak-kinds=all --errors-for-leak-kinds=all \
        --track-origins=yes --log-file="$scratch/valgrind.log" \
        "$program" <"$example" >"$scratch/checked.out" 2>"$scratch/checked.err"
    status=$?
    summary=$(grep -E 'ERROR SUMMARY' "$scratch/valgrind.log" | sed 's/^==[0-9]*== //')
    if ! grep -q 'ERROR SUMMARY: 0 errors' "$scratch/valgrind.log" || ((status != native_status)) ||
        ! cmp -s "$scratch/native.out" "$scratch/checked.out" || ! cmp -s "$scratch/native.err" "$scratch/checked.err"; then
        echo "valgrind: $name FAILED (status $status, without valgrind $native_status): $summary"
        cat "$scratch/valgrind.log"
        failed=1
    else
        echo "valgrind: $name clean (status $status): $summary"
    fi
done
exit $failed
