#!/usr/bin/env bash
# The body of `make bench`: measures screening against the scanf-based
# reference and two floors (read-only, fill-and-write) on generated inputs,
# prints markdown tables and writes them to docs/bench.md, and draws
# docs/bench.png.
#
#   bench/run_bench.sh [BUILD_DIR]     (default build-bench, built with -DSCREENING_BENCH=ON)
#
# BENCH_RUNS sets the number of timed runs per program and input (21),
# BENCH_TYPICAL_RUNS that for the typical list, whose ratio is a target (301),
# and BENCH_LAYOUT_RUNS that for the same records in other layouts (101): a
# virtual machine's wall times scatter by several percent from run to run.
# Needs valgrind and gnuplot: apt-get install valgrind gnuplot-nox.
set -euo pipefail

source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=$(cd "${1:-$source_dir/build-bench}" && pwd)
runs=${BENCH_RUNS:-21}
typical_runs=${BENCH_TYPICAL_RUNS:-301}
layout_runs=${BENCH_LAYOUT_RUNS:-101}

ours=$build_dir/screening
reference=$build_dir/bench/screening_reference
read_only=$build_dir/bench/screening_read_only
fill_write=$build_dir/bench/screening_fill_write
microbench=$build_dir/bench/screening_microbench
make_inputs=$build_dir/bench/bench_inputs
timer=$build_dir/bench/bench_timer

for tool in valgrind callgrind_annotate gnuplot; do
    if ! command -v "$tool" > /dev/null; then
        echo "make bench needs $tool: apt-get install valgrind gnuplot-nox" >&2
        exit 1
    fi
done
for program in "$ours" "$reference" "$read_only" "$fill_write" "$microbench" "$make_inputs" "$timer"; do
    if [[ ! -x $program ]]; then
        echo "missing $program: configure $build_dir with -DSCREENING_BENCH=ON and build it" >&2
        exit 1
    fi
done

inputs=$build_dir/bench-inputs
work=$build_dir/bench-results
docs=$source_dir/docs
mkdir -p "$inputs" "$work" "$docs"

"$make_inputs" "$inputs" > "$work/manifest.tsv"

# Instructions of the whole process, start-up and dynamic linking included.
instructions() {
    valgrind --tool=callgrind --callgrind-out-file=/dev/null "$1" < "$2" > /dev/null \
        2> "$work/callgrind.log" || true
    sed -n 's/^==[0-9]*== Collected : \([0-9]*\)$/\1/p' "$work/callgrind.log"
}

results=$work/results.tsv
: > "$results"
while IFS=$'\t' read -r name records kind description <&3; do
    input=$inputs/$name
    echo "measuring $name" >&2
    bytes=$(stat -c %s "$input")

    status=0
    "$ours" < "$input" > "$work/ours.out" 2> "$work/ours.err" || status=$?
    "$reference" < "$input" > "$work/reference.out" 2> /dev/null || true
    agree=no
    cmp -s "$work/ours.out" "$work/reference.out" && agree=yes

    ours_instructions=$(instructions "$ours" "$input")
    reference_instructions=$(instructions "$reference" "$input")
    read_only_instructions=$(instructions "$read_only" "$input")
    if [[ -z $ours_instructions || -z $reference_instructions || -z $read_only_instructions ]]; then
        echo "callgrind gave no instruction count on $name; its last log:" >&2
        cat "$work/callgrind.log" >&2
        exit 1
    fi

    # One line per program, in the order given: path, median ns, min ns,
    # peak RSS KiB, failed runs.
    input_runs=$runs
    [[ $name == typical-9999.txt ]] && input_runs=$typical_runs
    [[ $kind == layout ]] && input_runs=$layout_runs
    mapfile -t timed < <("$timer" "$input_runs" "$input" "$ours" "$reference" "$read_only" \
        "$fill_write")
    if ((${#timed[@]} != 4)); then
        echo "bench_timer failed on $name" >&2
        exit 1
    fi
    read -r _ ours_ns _ ours_rss _ <<< "${timed[0]}"
    read -r _ reference_ns _ _ _ <<< "${timed[1]}"
    read -r _ read_only_ns _ _ _ <<< "${timed[2]}"
    read -r _ fill_write_ns _ _ _ <<< "${timed[3]}"

    printf '%s\t' "$name" "$records" "$kind" "$description" "$bytes" "$status" "$agree" \
        "$ours_instructions" "$reference_instructions" "$read_only_instructions" \
        "$ours_ns" "$reference_ns" "$read_only_ns" >> "$results"
    printf '%s\t%s\n' "$ours_rss" "$fill_write_ns" >> "$results"
done 3< "$work/manifest.tsv"

# 1234567 as 1,234,567, for both tables.
grouped_function='
function grouped(n,    text) {
    text = sprintf("%d", n)
    while (text ~ /[0-9][0-9][0-9][0-9]/) sub(/[0-9][0-9][0-9]($|,)/, ",&", text)
    return text
}
'

# The markdown table and the lines under it.
table=$work/table.md
awk -F'\t' "$grouped_function"'
function size(bytes) {
    if (bytes < 1000) return bytes " B"
    if (bytes < 1000000) return sprintf("%.1f kB", bytes / 1000)
    return sprintf("%.2f MB", bytes / 1000000)
}
function ms(ns) { return sprintf("%.3f", ns / 1e6) }
BEGIN {
    print "| input | records | size | instructions: ours | reference | read-only | reference / ours | wall ms: ours | reference | read-only | fill-and-write | ours / read-only | ours / fill-and-write | ours MB/s | ours MB/s beyond read-only | ours peak RSS |"
    print "|---|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|"
}
$3 == "layout" { next }
{
    name = $1; sub(/\.txt$/, "", name)
    throughput = $5 >= 100000 ? sprintf("%.0f", ($5 / 1e6) / ($11 / 1e9)) : "–"
    # The scanning alone: bytes over the time beyond starting and reading.
    beyond = $5 >= 100000 && $11 > $13 ? sprintf("%.0f", ($5 / 1e6) / (($11 - $13) / 1e9)) : "–"
    printf "| %s | %s | %s | %s | %s | %s | %.1f | %s | %s | %s | %s | %.2f | %.2f | %s | %s | %s KiB |\n",
        name, grouped($2), size($5), grouped($8), grouped($9), grouped($10), $9 / $8,
        ms($11), ms($12), ms($13), ms($15), $11 / $13, $11 / $15, throughput, beyond, grouped($14)
    if (name == "typical-9999") {
        typical_instructions = $8; typical_ratio = $11 / $13; typical_fill_ratio = $11 / $15
    }
    if ($3 == "shape") {
        shape_rate = ($5 / 1e6) / (($11 - $13) / 1e9)
        shapes = shapes sprintf("%s%s %.0f", shapes == "" ? "" : ", ", name, shape_rate)
        if (shape_rate < 500) slow_shapes = slow_shapes " " name
    }
    if ($7 != "yes") differing = differing " " name
    if ($6 != 0) failing = failing " " name "(" $6 ")"
}
END {
    print ""
    printf "Targets on typical-9999: at most 1,200,000 instructions, aim 1,000,000 (now %s: %s); wall time at most 1.30 times the read-only program'\''s (now %.2f: %s; %.2f times the fill-and-write program'\''s).\n",
        grouped(typical_instructions), typical_instructions <= 1000000 ? "aim met" : typical_instructions <= 1200000 ? "met" : "not met",
        typical_ratio, typical_ratio <= 1.30 ? "met" : "not met", typical_fill_ratio
    print ""
    printf "Degenerate inputs, MB/s beyond the read-only program (target 500): %s: %s.\n", shapes,
        slow_shapes == "" ? "met" : "not met on" slow_shapes
    print ""
    if (differing == "") print "Answers: screening and the reference wrote the same lines on every input."
    else print "Answers: screening and the reference differ on:" differing "."
    if (failing != "") { print ""; print "Exit status of screening not 0 on:" failing "." }
}' "$results" > "$table"

# The same typical records in every layout that users' exports write.
layout_table=$work/layouts.md
awk -F'\t' "$grouped_function"'
BEGIN {
    print "| layout | size | instructions: ours | reference | wall: ours / read-only | ours / fill-and-write | target | answers as the reference |"
    print "|---|--:|--:|--:|--:|--:|---|---|"
}
$3 == "layout" {
    # The benchmark'\''s own layout: 1.2 M; %.18e exports: 4.0 M; %e: none;
    # the others: 1.5 M and 1.25 times the read-only program.
    name = $1; ratio = $11 / $13
    if (name ~ /single-spaces/) target = $8 <= 1200000 ? "at most 1.2 M: met" : "at most 1.2 M: not met"
    else if (name ~ /exponent-long/) target = $8 <= 4000000 ? "at most 4.0 M: met" : "at most 4.0 M: not met"
    else if (name ~ /exponent-short/) target = "–"
    else target = ($8 <= 1500000 && ratio <= 1.25) ? "1.5 M, 1.25 ×: met" : "1.5 M, 1.25 ×: not met"
    printf "| %s | %.1f kB | %s | %s | %.2f | %.2f | %s | %s |\n", $4, $5 / 1000, grouped($8),
        grouped($9), ratio, $11 / $15, target, $7
}' "$results" > "$layout_table"

# Chart: the record-count series.
chart_data=$work/chart.dat
awk -F'\t' '$3 == "series" { printf "%s %.6f %.6f %.6f %.6f %.6f %.6f\n", $2, $11 / 1e6, $12 / 1e6, $13 / 1e6, $8 / 1e6, $9 / 1e6, $10 / 1e6 }' \
    "$results" > "$chart_data"
wall_target=$(awk '$1 == 9999 { printf "%.6f", 1.3 * $4 }' "$chart_data")
gnuplot -e "data='$chart_data'; output='$docs/bench.png'; wall_target=$wall_target" \
    "$source_dir/bench/chart.gp"

# Microbenchmarks: in-memory scanning, reading and answering.
echo "running the microbenchmarks" >&2
"$microbench" --benchmark_min_time=0.2 --benchmark_format=csv > "$work/microbench.csv" 2> /dev/null
micro_table=$work/microbench.md
awk -F',' '
BEGIN {
    print "| benchmark | time per iteration | MB/s | items per second (values scanned, or records) |"
    print "|---|--:|--:|--:|"
}
$1 ~ /^"/ && $1 !~ /^"read_records\// {
    name = $1; gsub(/"/, "", name)
    if ($9 == "true") { printf "| %s | failed: %s | | |\n", name, $10; next }
    rate = $6 == "" ? "–" : sprintf("%.0f", $6 / 1e6)
    items = $7 == "" ? "–" : sprintf("%.1f M", $7 / 1e6)
    printf "| %s | " ($3 >= 100 ? "%.0f" : "%.2f") " %s | %s | %s |\n", name, $3, $5, rate, items
}' "$work/microbench.csv" > "$micro_table"
# read_records/<layout>/<kernel>: one row per layout, one column per kernel.
kernel_table=$work/kernels.md
awk -F',' '
$1 ~ /^"read_records\// {
    name = $1; gsub(/"/, "", name); split(name, part, "/")
    if (!(part[2] in seen)) { seen[part[2]] = 1; layouts[++count] = part[2] }
    kernels[part[3]] = 1
    time[part[2], part[3]] = $9 == "true" ? "failed" : sprintf("%.0f", $3)
}
END {
    header = "| layout |"; rule = "|---|"
    split("portable sse2 avx2", order, " ")
    for (k = 1; k <= 3; k++) if (order[k] in kernels) { header = header " " order[k] " |"; rule = rule "--:|" }
    print header; print rule
    for (i = 1; i <= count; i++) {
        line = "| " layouts[i] " |"
        for (k = 1; k <= 3; k++) if (order[k] in kernels) line = line " " time[layouts[i], order[k]] " |"
        print line
    }
}' "$work/microbench.csv" > "$kernel_table"

# Where screening spends its instructions on the typical list.
valgrind --tool=callgrind --callgrind-out-file="$work/typical.callgrind" "$ours" \
    < "$inputs/typical-9999.txt" > /dev/null 2>&1 || true
profile=$work/profile.md
{
    echo '```'
    callgrind_annotate "$work/typical.callgrind" 2> /dev/null |
        awk '/file:function/ { listing = 1; getline; next }
             listing && NF == 0 { listing = 0 }
             listing && shown < 10 { shown++; print }' |
        sed -e 's/ \[[^]]*\]$//' -e 's/???://'
    echo '```'
} > "$profile"

commit=$(git -C "$source_dir" rev-parse --short HEAD 2> /dev/null || echo unknown)
if [[ -n $(git -C "$source_dir" status --porcelain -- src 2> /dev/null) ]]; then
    commit="$commit with uncommitted changes in src/"
fi
# Whole outputs are read (no early exit that could end a writer with SIGPIPE).
cpu=$(awk -F': ' '/^model name/ && !found { print $2; found = 1 }' /proc/cpuinfo)
compiler=$(c++ --version | sed -n 1p)
libc=$(ldd --version | sed -n 1p)

{
    echo "# Benchmark figures"
    echo
    echo "Written by \`make bench\` on $(date -u '+%Y-%m-%d %H:%M UTC'): source $commit;"
    echo "$cpu, $(nproc) cores; $compiler; $libc."
    echo
    echo "Instructions: \`valgrind --tool=callgrind\`, whole process. Wall time: median of $runs runs"
    echo "($typical_runs for typical-9999),"
    echo "the four programs taking turns, fork to wait, output to /dev/null. Two floors: the read-only"
    echo "program reads standard input to its end (\`bench/read_only.c\`); the fill-and-write program"
    echo "reads it too, then writes every page of a table as large as the record table and one"
    echo "answer line per input line in one write (\`bench/fill_write.c\`). MB/s: input bytes"
    echo "over the median wall time of the whole process, and over the part of it beyond the read-only"
    echo "program's (start-up and reading excluded). Peak RSS: ru_maxrss."
    echo
    cat "$table"
    echo
    echo "## Layouts"
    echo
    echo "The 9,999 typical records of typical-9999 written as users' exports write them"
    echo "(\`bench/input_text.hpp\`, \`layout_records\`). Wall time: median of $layout_runs runs."
    echo
    cat "$layout_table"
    echo
    echo "![Wall time and instructions against the number of records](bench.png)"
    echo
    echo "## Microbenchmarks (in memory, Google Benchmark)"
    echo
    cat "$micro_table"
    echo
    echo "read_records in memory with each kernel this processor runs, on the 9,999 records of each"
    echo "layout above: microseconds per list."
    echo
    cat "$kernel_table"
    echo
    echo "## Where the instructions go (screening on typical-9999)"
    echo
    cat "$profile"
} > "$docs/bench.md"

cat "$table"
echo
cat "$layout_table"
echo
echo "Written: $docs/bench.md and $docs/bench.png" >&2
