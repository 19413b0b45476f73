#!/usr/bin/env bash
# The body of `make bench`: measures screening against the scanf-based
# reference and two floors (read-only, fill-and-write) on generated inputs,
# counts the instructions of the program built for each kernel on the layouts
# and the mixed lists, prints markdown tables and writes them to
# docs/bench.md, and draws docs/bench.png.
#
#   bench/run_bench.sh [BUILD_DIR]     (default build-bench, built with -DSCREENING_BENCH=ON)
#
# BENCH_RUNS sets the number of timed runs per program and input (21),
# BENCH_TYPICAL_RUNS that for the typical list, whose ratio is a target (301),
# and BENCH_LAYOUT_RUNS that for the same records in other layouts (101): a
# virtual machine's wall times scatter by several percent from run to run.
# Needs valgrind and gnuplot: apt-get install valgrind gnuplot-nox.
#
# With aarch64-linux-gnu-g++ and qemu-aarch64 (apt-get install
# g++-aarch64-linux-gnu qemu-user) the program is also cross-built for arm64
# in BUILD_DIR/cross-arm64 and its instructions counted under qemu; with
# qemu-x86_64, the native program's under -cpu Nehalem as a cross-check of
# the SSE2 build. Each run under qemu takes 10 to 30 seconds, about ten
# minutes in all: BENCH_QEMU=0 leaves both out, BENCH_QEMU_NEHALEM=0 the
# second alone.
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

# The program with one kernel forced (bench/CMakeLists.txt), for the
# per-kernel table and the mixed lists. The AVX2 build does not ask the
# processor, so it runs only where /proc/cpuinfo has every feature it uses.
cpu_flags=" $(awk -F': ' '/^flags/ && !found { print $2; found = 1 }' /proc/cpuinfo) "
has_flags() {
    local flag
    for flag in "$@"; do [[ $cpu_flags == *" $flag "* ]] || return 1; done
}
kernel_columns=()
kernel_notes=()
declare -A kernel_programs
for kernel in avx2 sse2 neon portable; do
    program=$build_dir/bench/screening_$kernel
    [[ -x $program ]] || continue
    if [[ $kernel == avx2 ]] &&
        ! { has_flags avx2 bmi1 bmi2 popcnt && { has_flags abm || has_flags lzcnt; }; }; then
        kernel_notes+=("AVX2 left out: this processor lacks one of avx2, bmi1, bmi2, lzcnt, popcnt.")
        continue
    fi
    kernel_columns+=("$kernel")
    kernel_programs[$kernel]=$program
done

# arm64 through qemu-user, cross-built here, and the native program under
# qemu-x86_64 -cpu Nehalem (no AVX2, so it picks SSE2) as a cross-check of
# the SSE2 column. BENCH_QEMU=0 leaves both out, BENCH_QEMU_NEHALEM=0 the
# second: they take about ten minutes.
arm64_program=
nehalem_program=
if [[ ${BENCH_QEMU:-1} == 0 ]]; then
    kernel_notes+=("arm64 left out: BENCH_QEMU=0.")
elif [[ $(uname -m) == aarch64 ]]; then
    : # the NEON build runs natively
elif ! command -v aarch64-linux-gnu-g++ > /dev/null || ! command -v qemu-aarch64 > /dev/null; then
    packages="apt-get install g++-aarch64-linux-gnu qemu-user"
    kernel_notes+=("arm64 left out: needs aarch64-linux-gnu-g++ and qemu-aarch64 ($packages).")
else
    # Built first, so that a broken cross build stops the run before the long part.
    echo "building screening for arm64" >&2
    cross_dir=$build_dir/cross-arm64
    if ! {
        cmake -S "$source_dir" -B "$cross_dir" -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/cross.cmake" \
            -DSCREENING_TARGET_TRIPLET=aarch64-linux-gnu -DSCREENING_TARGET_PROCESSOR=aarch64 \
            -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF &&
            cmake --build "$cross_dir" -j 2 --target screening
    } > "$work/cross-arm64.log" 2>&1; then
        echo "the arm64 build failed; its log:" >&2
        cat "$work/cross-arm64.log" >&2
        exit 1
    fi
    arm64_program=$cross_dir/screening
fi
if [[ ${BENCH_QEMU:-1} != 0 && ${BENCH_QEMU_NEHALEM:-1} != 0 && $(uname -m) == x86_64 ]]; then
    if command -v qemu-x86_64 > /dev/null; then
        nehalem_program=$ours
    else
        kernel_notes+=("The Nehalem cross-check left out: needs qemu-x86_64 (apt-get install qemu-user).")
    fi
fi

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

# Guest instructions under qemu-user: with -singlestep every translated
# block is one instruction, and with nochain every run of a block is logged,
# one "Trace" line each. The log has tens of millions of lines, so it is
# counted as it streams. Arguments: input, answers file, program, emulator
# and its options.
guest_instructions() {
    local input=$1 answers=$2 program=$3
    shift 3
    "$@" -singlestep -d exec,nochain -D /dev/fd/3 "$program" < "$input" 3>&1 > "$answers" \
        2> "$work/qemu.log" | grep -c '^Trace' || true
}

# Each kernel on the layouts, the mixes and each mix's shapes alone; under
# qemu, the shapes alone only for arm64, whose mixes have a target. Files
# with the same bytes (a mix's shape is often a layout) are counted once.
# One line per input and kernel: name, kind, description, kernel,
# instructions, answers as screening's.
kernel_results=$work/kernels.tsv
: > "$kernel_results"
declare -A counted agreed
while IFS=$'\t' read -r name _ kind description <&3; do
    [[ $kind == layout || $kind == mix || $kind == mix-part ]] || continue
    input=$inputs/$name
    sum=$(md5sum < "$input")
    sum=${sum%% *}
    "$ours" < "$input" > "$work/ours.out" 2> /dev/null || true

    columns=("${kernel_columns[@]}")
    [[ -n $arm64_program ]] && columns+=(arm64)
    [[ -n $nehalem_program && $kind != mix-part ]] && columns+=(nehalem)
    for column in "${columns[@]}"; do
        key=$column:$sum
        if [[ -z ${counted[$key]:-} ]]; then
            case $column in
            arm64)
                echo "counting $name on arm64 (qemu)" >&2
                count=$(guest_instructions "$input" "$work/kernel.out" "$arm64_program" qemu-aarch64)
                ;;
            nehalem)
                echo "counting $name on x86-64 Nehalem (qemu)" >&2
                count=$(guest_instructions "$input" "$work/kernel.out" "$nehalem_program" \
                    qemu-x86_64 -cpu Nehalem)
                ;;
            *)
                "${kernel_programs[$column]}" < "$input" > "$work/kernel.out" 2> /dev/null || true
                count=$(instructions "${kernel_programs[$column]}" "$input")
                ;;
            esac
            if [[ -z $count || $count == 0 ]]; then
                echo "no instruction count for $name with $column; the last logs:" >&2
                cat "$work/callgrind.log" "$work/qemu.log" >&2 2> /dev/null || true
                exit 1
            fi
            counted[$key]=$count
            agreed[$key]=no
            cmp -s "$work/kernel.out" "$work/ours.out" && agreed[$key]=yes
        fi
        printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$name" "$kind" "$description" "$column" \
            "${counted[$key]}" "${agreed[$key]}" >> "$kernel_results"
    done
done 3< "$work/manifest.tsv"

# 1234567 as 1,234,567, for every table.
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
    printf "Targets on typical-9999: at most 1,500,000 instructions (now %s: %s); wall time at most 1.30 times the read-only program'\''s (now %.2f: %s; %.2f times the fill-and-write program'\''s).\n",
        grouped(typical_instructions), typical_instructions <= 1500000 ? "met" : "not met",
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
    # %e and %.18e exports: 6.5 M; the others: 1.5 M and 1.25 times the
    # read-only program.
    name = $1; ratio = $11 / $13
    if (name ~ /exponent-/) target = $8 <= 6500000 ? "at most 6.5 M: met" : "at most 6.5 M: not met"
    else target = ($8 <= 1500000 && ratio <= 1.25) ? "1.5 M, 1.25 ×: met" : "1.5 M, 1.25 ×: not met"
    printf "| %s | %.1f kB | %s | %s | %.2f | %.2f | %s | %s |\n", $4, $5 / 1000, grouped($8),
        grouped($9), ratio, $11 / $15, target, $7
}' "$results" > "$layout_table"

# The per-kernel table and the mixed lists, from the same counts. A cell
# marks its target: ✓ met, ✓ aim also the aim met, ✗ not met.
kernel_table_md=$work/kernel-instructions.md
mix_table=$work/mixes.md
kernel_summary=$work/kernel-targets.md
awk -F'\t' -v kernel_table="$kernel_table_md" -v mix_table="$mix_table" \
    -v summary="$kernel_summary" "$grouped_function"'
function millions(n) { return sprintf("%.2f M", n / 1e6) }
# The mix'\''s record-weighted mean of its shapes'\'' own costs on one kernel,
# from the counts in its description ([shape=records,...]), -1 if a shape
# was not counted; the shapes'\'' costs are left in `parts` for the table.
function shapes_mean(mix, column,    list, shapes, count, i, pair, total, weighted) {
    list = descriptions[mix]
    if (!match(list, /\[[^]]*\]$/)) return -1
    list = substr(list, RSTART + 1, RLENGTH - 2)
    count = split(list, shapes, ",")
    parts = ""
    for (i = 1; i <= count; i++) {
        split(shapes[i], pair, "=")
        if (cost[mix "--" pair[1], column] == "") return -1
        total += pair[2]
        weighted += pair[2] * cost[mix "--" pair[1], column]
        parts = parts sprintf("%s%s %s (%s)", i == 1 ? "" : ", ", pair[1],
            millions(cost[mix "--" pair[1], column]), grouped(pair[2]))
    }
    return total > 0 ? weighted / total : -1
}
# "met", "aim met", "not met", or "" where no target is set.
function verdict(name, column,    value, exponent, mean) {
    value = cost[name, column]
    exponent = name ~ /^layout-exponent-(short|long)$/
    if (column == "avx2") {
        if (kinds[name] != "mix") return value <= (exponent ? 6500000 : 1500000) ? "met" : "not met"
        mean = shapes_mean(name, column)
        return mean < 0 ? "" : value <= mean + 200000 ? "met" : "not met"
    }
    if (exponent) return ""
    if (column == "sse2") return value <= 4000000 ? "met" : "not met"
    if (column == "arm64" || column == "neon")
        return value <= 2500000 ? "aim met" : value <= 3500000 ? "met" : "not met"
    return ""
}
BEGIN {
    title["avx2"] = "AVX2"; title["sse2"] = "SSE2"; title["neon"] = "NEON"
    title["portable"] = "portable"; title["arm64"] = "arm64 (NEON, qemu)"
    title["nehalem"] = "SSE2 cross-check (qemu -cpu Nehalem)"
    mark["met"] = " ✓"; mark["aim met"] = " ✓ aim"; mark["not met"] = " ✗"
}
{
    name = $1; sub(/\.txt$/, "", name)
    if (!(name in kinds)) {
        kinds[name] = $2; descriptions[name] = $3
        if ($2 != "mix-part") rows[++row_count] = name
        if ($2 == "mix") mixes[++mix_count] = name
    }
    if (!($4 in has_column)) { has_column[$4] = 1; columns[++column_count] = $4 }
    cost[name, $4] = $5
    if ($6 != "yes") differing = differing (differing == "" ? "" : ", ") name " (" title[$4] ")"
}
END {
    header = "| list |"; rule = "|---|"
    for (c = 1; c <= column_count; c++) { header = header " " title[columns[c]] " |"; rule = rule "--:|" }
    print header > kernel_table; print rule > kernel_table
    for (r = 1; r <= row_count; r++) {
        name = rows[r]
        # Mixes that hold %e records are held to the ordinary targets all the same.
        label = name
        if (kinds[name] == "mix" && descriptions[name] ~ /[[,]exponent-/) { label = name " ¹"; footnote = 1 }
        line = "| " label " |"
        for (c = 1; c <= column_count; c++) {
            column = columns[c]
            if (cost[name, column] == "") { line = line " – |"; continue }
            result = verdict(name, column)
            line = line " " grouped(cost[name, column]) (result == "" ? "" : mark[result]) " |"
            if (result != "") {
                judged[column]++
                if (result != "not met") met[column]++
                else missed[column] = missed[column] (missed[column] == "" ? "" : ", ") name
            }
        }
        print line > kernel_table
    }
    if (footnote) {
        print "" > kernel_table
        print "¹ holds records in `%e` (mix-layouts also in `%.18e`); held to the targets of the ordinary layouts all the same." > kernel_table
    }

    for (c = 1; c <= column_count; c++) {
        column = columns[c]
        if (!(column in judged)) continue
        printf "- %s: met on %d of %d%s.\n", title[column], met[column], judged[column],
            (missed[column] == "" ? "" : "; not met on " missed[column]) > summary
    }
    if (differing == "") print "- Answers: every kernel wrote the same lines as screening on every list." > summary
    else print "- Answers differ from screening'\''s on: " differing "." > summary

    print "| mix | kernel | mix | shapes alone, record-weighted mean | excess | target: at most the mean + 0.2 M | each shape alone (records) |" > mix_table
    print "|---|---|--:|--:|--:|---|---|" > mix_table
    for (m = 1; m <= mix_count; m++) {
        for (c = 1; c <= column_count; c++) {
            column = columns[c]; mix = mixes[m]
            mean = shapes_mean(mix, column)
            if (mean < 0 || cost[mix, column] == "") continue
            excess = sprintf("%.0f", cost[mix, column] - mean)
            excess = (excess > 0 ? "+" : "") grouped(excess)
            target = grouped(sprintf("%.0f", mean + 200000)) ": " \
                (cost[mix, column] <= mean + 200000 ? "met" : "not met")
            printf "| %s | %s | %s | %s | %s | %s | %s |\n", mix, title[column],
                grouped(cost[mix, column]), grouped(sprintf("%.0f", mean)), excess, target,
                parts > mix_table
        }
    }
}' "$kernel_results"

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
    echo "## Kernels"
    echo
    echo "The program built with each kernel forced (\`screening_avx2\`, ...: \`bench/CMakeLists.txt\`),"
    echo "instructions of the whole process on the layouts above and on the mixed lists below: callgrind"
    echo "for the kernels this processor runs; for arm64, the program cross-built statically and run"
    echo "under \`qemu-aarch64 -singlestep -d exec,nochain\`, counting one instruction per logged block."
    echo "Targets: AVX2 1.5 M on each layout, 6.5 M on \`%e\` and \`%.18e\` (exponent-short, -long),"
    echo "a mix at most its shapes' mean + 0.2 M (next table); SSE2 4.0 M on every other layout and"
    echo "every mix; arm64 3.5 M there, aim 2.5 M; portable none. ✓ met, ✓ aim the aim met too, ✗ not met."
    if [[ -n $nehalem_program ]]; then
        echo "The cross-check runs the program itself under \`qemu-x86_64 -cpu Nehalem\`, where it picks"
        echo "SSE2; it counts as the arm64 column does, and the C library takes its Nehalem paths there."
    fi
    echo "Lists with the same bytes (a mix's shape alone is often a layout) are counted once."
    echo
    cat "$kernel_table_md"
    echo
    cat "$kernel_summary"
    for note in "${kernel_notes[@]}"; do echo "- $note"; done
    echo
    echo "## Mixed lists"
    echo
    echo "Lists whose shape changes record by record (\`bench/input_text.hpp\`, \`record_mixes\`), against"
    echo "each of their shapes alone, in the same number of records: instructions of the whole process,"
    echo "counted as above. The mean weighs each shape by its records in the mix. The target is set"
    echo "for AVX2; the other kernels are held to the same rule for comparison."
    echo
    cat "$mix_table"
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
cat "$kernel_table_md"
echo
cat "$kernel_summary"
for note in "${kernel_notes[@]}"; do echo "- $note"; done
echo
cat "$mix_table"
echo
echo "Written: $docs/bench.md and $docs/bench.png" >&2
