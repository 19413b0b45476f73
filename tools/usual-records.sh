#!/bin/sh
# Writes 9,999 usual records ("13437.29 4237.32 5 12.76", random but the same
# on every run) and a closing record to standard output, for the checks that
# compare a program's answers with the native ones (test-cross,
# test-x86-64-baseline).
exec awk 'BEGIN { srand(7); for (i = 0; i < 9999; i++) printf "%.2f %.2f %d %.2f\n",
    rand() * 99999 + 1, rand() * 9999 + 1, int(rand() * 40) + 1, rand() * 99 + 1;
    print "0 0 0 0" }'
