# Figure of the run run for papers: run.pdf and run.png
# from the result table run.me. Run it in the run directory:
#   gnuplot run-fig.gp
show_title = 0    # 1: a title line naming the run, mode, solver and chi2 above the panels
set encoding utf8
set datafile missing '?'
table = 'run.me'
K = 0.2    # ms per rotor cycle (1000 / MAS)
G = 0.1    # grid step, Angstrom
F = 1    # share of the population that is fitted
S = 0.8    # SCALING
stats table using 9 name 'DATA' nooutput
stats table using 20 name 'CURVE' nooutput
tmax = K * (DATA_max > CURVE_max ? DATA_max : CURVE_max)
stats table using 1 name 'GRID' nooutput
rmin = GRID_min
rmax = GRID_max
stats table using 23 name 'PRESCRIBED' nooutput
stats table using 24 name 'FRACTION' nooutput
rmin = PRESCRIBED_min < rmin ? PRESCRIBED_min : rmin
rmax = PRESCRIBED_max > rmax ? PRESCRIBED_max : rmax
rpad = 0.03 * (rmax > rmin ? rmax - rmin : 1)
do for [fmt in 'pdf png'] {
  if (fmt eq 'pdf') {
    set terminal pdfcairo enhanced color size 7in,8in font 'sans,10' linewidth 1.5
    set output 'run.pdf'
  } else {
    set terminal pngcairo enhanced color size 1400,1600 font 'sans,20' linewidth 2.5
    set output 'run.png'
  }
  set multiplot title (show_title ? 'run:  mode sim,  solver none,  χ²/point 75.32 (9 points)' : '') noenhanced
  set lmargin at screen 0.13
  set rmargin at screen 0.88
  unset y2tics
  unset y2label
  set ytics mirror
  unset label
  unset object
  set offsets 0, 0, 0, 0
  set style textbox opaque noborder
  # (a) data and simulated curve
  set tmargin at screen 0.94
  set bmargin at screen 0.62
  set label 1 '(a)' at screen 0.015, screen 0.95
  set xrange [-0.02*tmax:1.02*tmax]
  set yrange [0.14855:1.173156742]    # the top row for the legend
  set format x ''
  unset xlabel
  set ylabel 'S/S_0'
  set key top right horizontal nobox
  plot table using ($9*K):12:13 with yerrorbars pt 7 ps 0.6 lc rgb 'black' title 'data', \
       table using ($20*K):21 with lines lw 2 lc rgb '#c00000' title 'simulation'
  # (b) residuals
  set tmargin at screen 0.61
  set bmargin at screen 0.45
  set label 1 '(b)' at screen 0.015, screen 0.61
  set autoscale y
  set format x '% h'
  set xlabel 'dephasing time (ms)'
  set ylabel 'data − sim.'
  unset key
  set offsets 0, 0, graph 0.08, graph 0.08    # room for every error bar
  plot table using ($9*K):($12-$14):13 with yerrorbars pt 7 ps 0.6 lc rgb 'black', \
       0 with lines dt 2 lc rgb 'gray40'
  # (c) distance distribution
  set tmargin at screen 0.35
  set bmargin at screen 0.07
  set label 1 '(c)' at screen 0.015, screen 0.35
  set xrange [rmin-rpad:rmax+rpad]
  set xlabel 'distance r (Å)'
  dtop = 1    # highest density drawn, 1/Å
  room = 0.11    # share of the panel kept free for the legend
  set yrange [0:dtop/(1-room)]
  unset ytics
  set ylabel ''
  set y2range [0:0.7/(1-room)]
  set y2tics
  set y2label 'fraction of pairs'
  set key top right nobox
  plot table using 23:24 axes x1y2 with impulses lw 4 lc rgb '#0060c0' title 'prescribed distribution', \
       table using 23:24 axes x1y2 with points pt 7 lc rgb '#0060c0' notitle
  unset multiplot
  set output
}
