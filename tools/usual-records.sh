#!/bin/sh
# Writes 9,999 usual records ("13437.29 4237.32 5 12.76", random but the same
# on every run) and a closing record to standard output, for the checks that
# compare a program's answers with the native ones (test-cross,
# test-x86-64-baseline). A layout may be named: the same records with tabs,
# CR LF line ends, one value per line, aligned columns, signs, three
# decimals, %e or %.18e exports, or blank lines between them.
#
#   tools/usual-records.sh [single-spaces|tabs|crlf|one-per-line|aligned|signs|
#                           three-decimals|exponents|long-exponents|blank-lines]
exec awk -v layout="${1:-single-spaces}" 'BEGIN {
    amount = "%.2f"; separator = " "; line_end = "\n"; years = "%d"; sign = ""
    if (layout == "tabs") separator = "\t"
    if (layout == "crlf") line_end = "\r\n"
    if (layout == "one-per-line") separator = "\n"
    if (layout == "blank-lines") line_end = "  \n\n"
    if (layout == "signs") sign = "+"
    if (layout == "three-decimals") amount = "%.3f"
    if (layout == "exponents") amount = "%e"
    if (layout == "long-exponents") amount = "%.18e"
    srand(7)
    for (i = 0; i < 9999; i++) {
        base = rand() * 99999 + 1; monthly = rand() * 9999 + 1
        count = int(rand() * 40) + 1; percent = rand() * 99 + 1
        if (layout == "aligned")
            printf "%12.2f %10.2f %4d %7.2f\n", base, monthly, count, percent
        else
            printf sign amount separator sign amount separator \
                (layout == "signs" && i % 4 == 3 ? "-" : sign) years \
                separator sign amount line_end, base, monthly, count, percent
    }
    print "0 0 0 0" }'
