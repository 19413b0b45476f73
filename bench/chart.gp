# Wall time and instructions of screening, the scanf reference and the
# read-only floor against the number of records. run_bench.sh sets `data`
# (columns: records, wall ms of ours, reference, read-only, then millions of
# instructions in the same order), `output` and `wall_target` (ms).
set terminal pngcairo size 1400,560 font "sans,12" linewidth 1.5
set output output
set multiplot layout 1,2 title "screening on typical records (each list ends with a closing record)" font "sans,14"

set logscale xy
set grid xtics ytics mxtics mytics lc rgb "#dddddd"
set key top left box opaque
set xlabel "records before the closing record"
set xrange [0.7:15000]
set format y "%g"

set title "Median wall time of the whole process"
set ylabel "milliseconds"
plot data using 1:2 with linespoints pt 7 ps 1.2 lc rgb "#1f77b4" title "screening", \
     data using 1:3 with linespoints pt 5 ps 1.2 lc rgb "#d62728" title "reference (scanf)", \
     data using 1:4 with linespoints pt 9 ps 1.2 dt 2 lc rgb "#555555" title "read-only floor", \
     sprintf("<echo 9999 %f", wall_target) using 1:2 with points pt 6 ps 2.5 lw 2 lc rgb "#2ca02c" \
         title "target: 1.3 × floor at 9,999"

set title "Instructions of the whole process (callgrind)"
set ylabel "millions of instructions"
plot data using 1:5 with linespoints pt 7 ps 1.2 lc rgb "#1f77b4" title "screening", \
     data using 1:6 with linespoints pt 5 ps 1.2 lc rgb "#d62728" title "reference (scanf)", \
     data using 1:7 with linespoints pt 9 ps 1.2 dt 2 lc rgb "#555555" title "read-only floor", \
     "<echo 9999 2.0" using 1:2 with points pt 6 ps 2.5 lw 2 lc rgb "#2ca02c" \
         title "target: 2.0 M at 9,999"

unset multiplot
