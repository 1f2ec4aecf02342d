set term postscript eps enhanced solid color
set out './run/run-ps.eps'
set style line 2 lw 1 lt 3 pt 6 ps 2
set style line 3 lw 1 lt 3 pt 8 ps 2
set style line 4 lw 1 lt 7 pt 0 ps 2
set mxtics 10
set mx2tics 10
set mytics 10
set yrange [0.15:1]
set size 1,1.5
unset key
#
set multiplot
# data/fit panel
set size 1,0.75
set origin 0,0.5
set xlabel 'dephasing time (ms)'
set ylabel 'S/S0'
set xrange [0:14.4]
set xtics mirror
plot './run/run.me'\
     u ($9*0.2):12:13 w yerrorbars ls 2 not,\
  '' u ($20*0.2):($21*0 +$22) w l ls 2 not,\
  0.2 lt 0 notitle
# distance distribution panel
set size 1.0,0.5
set origin 0.0,0.0
set xlabel 'distance (A)'
set ylabel 'intensity \& integral'
set xrange [2.5:6]
set yrange [0:1]
plot './run/run.me'\
     u 23:24 w impulses ls 2 not
# residuals panel
set size 1,0.25
set origin 0,1.25
set ylabel 'residual x 100'
unset xlabel
set mytics 2
set format x ''
set xrange [0:14.4]
set yrange [*:*]
plot './run/run.me'\
     u ($9*0.2):(100*$16) w boxes ls 2 not
