# The study's figure; made by redordist, run it in the directory that holds run/:  gnuplot run-study.gp
set encoding utf8
set datafile separator comma
set grid lc rgb '#dddddd'
# curve index, effective distance (Å), its sd (0 in mode fit), width determined (1) or not (0)
$eff << EOD
0,2.97942,0,0
1,2.52186,0,0
2,3.04566,0,0
EOD
do for [fmt in 'pdf png'] {
  if (fmt eq 'pdf') {
    set terminal pdfcairo enhanced color size 8in,7in font 'sans,9' linewidth 1.5
    set output 'run-study.pdf'
  } else {
    set terminal pngcairo enhanced color size 1400,1220 font 'sans,14' linewidth 2
    set output 'run-study.png'
  }
  set multiplot
unset title
set origin 0, 0.545455
set size 1, 0.454545
set xrange [-0.5:2.5]
set yrange [*:*]
set offsets 0, 0, graph 0.1, graph 0.1
stats $eff using 2 nooutput
if (STATS_max - STATS_min < 1e-3) { set yrange [STATS_min - 0.1:STATS_max + 0.1] }
set xtics rotate by -30 noenhanced ('a' 0, 'b' 1, 'c' 2)
set xlabel ''
set ylabel 'effective distance (Å)'
set key top left noenhanced
plot $eff using 1:2:3 with yerrorbars pt 7 ps 1.5 lc rgb '#1f77b4' title 'effective distance ±1 sd', \
     $eff using 1:($4 == 0 ? $2 : NaN) with points pt 6 ps 3.5 lw 2 lc rgb '#d62728' title 'width not determined', \
     NaN with linespoints dt 2 pt 4 lw 1.5 lc rgb '#2ca02c' title 'the shared fit (in each panel)'
set xtics norotate autofreq
unset xrange
set autoscale x
set offsets 0, 0, graph 0.05, graph 0.05
set xlabel 'dephasing time (ms)'
set ylabel 'S/S_0'
unset key
set origin 0, 0.272727
set size 0.5, 0.272727
set title 'a' noenhanced
plot 'run/a/a-curve.csv' skip 1 using 2:3:4 with yerrorbars pt 7 ps 0.8 lc rgb 'black', \
     'run/a/a-curve-smooth.csv' skip 1 using 2:3 with lines lw 2 lc rgb '#d62728', \
     'run-shared.csv' skip 1 using 3:(strcol(1) eq 'a' ? $6 : NaN) with linespoints dt 2 pt 4 ps 0.6 lw 1.5 lc rgb '#2ca02c'
set origin 0.5, 0.272727
set size 0.5, 0.272727
set title 'b' noenhanced
plot 'run/b/b-curve.csv' skip 1 using 2:3:4 with yerrorbars pt 7 ps 0.8 lc rgb 'black', \
     'run/b/b-curve-smooth.csv' skip 1 using 2:3 with lines lw 2 lc rgb '#d62728', \
     'run-shared.csv' skip 1 using 3:(strcol(1) eq 'b' ? $6 : NaN) with linespoints dt 2 pt 4 ps 0.6 lw 1.5 lc rgb '#2ca02c'
set origin 0, 0
set size 0.5, 0.272727
set title 'c' noenhanced
plot 'run/c/c-curve.csv' skip 1 using 2:3:4 with yerrorbars pt 7 ps 0.8 lc rgb 'black', \
     'run/c/c-curve-smooth.csv' skip 1 using 2:3 with lines lw 2 lc rgb '#d62728', \
     'run-shared.csv' skip 1 using 3:(strcol(1) eq 'c' ? $6 : NaN) with linespoints dt 2 pt 4 ps 0.6 lw 1.5 lc rgb '#2ca02c'
  unset multiplot
  set output
}
