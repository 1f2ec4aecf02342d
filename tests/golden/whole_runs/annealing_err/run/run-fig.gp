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
S = 1    # SCALING
stats table using 9 name 'DATA' nooutput
stats table using 20 name 'CURVE' nooutput
tmax = K * (DATA_max > CURVE_max ? DATA_max : CURVE_max)
stats table using 1 name 'GRID' nooutput
rmin = GRID_min
rmax = GRID_max
rpad = 0.03 * (rmax > rmin ? rmax - rmin : 1)
do for [fmt in 'pdf png'] {
  if (fmt eq 'pdf') {
    set terminal pdfcairo enhanced color size 7in,8in font 'sans,10' linewidth 1.5
    set output 'run.pdf'
  } else {
    set terminal pngcairo enhanced color size 1400,1600 font 'sans,20' linewidth 2.5
    set output 'run.png'
  }
  set multiplot title (show_title ? 'run:  mode err,  solver annealing,  χ²/point 1.766 (9 points)' : '') noenhanced
  set lmargin at screen 0.13
  set rmargin at screen 0.88
  unset y2tics
  unset y2label
  set ytics mirror
  unset label
  unset object
  set offsets 0, 0, 0, 0
  set style textbox opaque noborder
  # (a) data and fitted curve
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
       table using ($20*K):21 with lines lw 2 lc rgb '#c00000' title 'fit'
  # (b) residuals
  set tmargin at screen 0.61
  set bmargin at screen 0.45
  set label 1 '(b)' at screen 0.015, screen 0.61
  set autoscale y
  set format x '% h'
  set xlabel 'dephasing time (ms)'
  set ylabel 'data − fit'
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
  dtop = 0.9971786346    # highest density drawn, 1/Å
  room = 0.27    # share of the panel kept free for the legend
  set yrange [0:dtop/(1-room)]
  set ylabel 'P(r) (1/Å)'
  set key top right nobox
  lmd = 6.14    # longest measurable distance, Å
  if (lmd < rmax) {
    set object 1 rect from first lmd, graph 0 to graph 1, graph 1 behind fc rgb '#f0f0f0' fs solid 1.0 noborder
    set label 3 'not measurable' at first lmd, graph 0.5 rotate by 90 offset char 1.2, 0 center front textcolor rgb 'gray40'
  }
  plot table using 1:((F*($5-$7)/G > dtop ? dtop : F*($5-$7)/G)):((F*($5+$7)/G > dtop ? dtop : F*($5+$7)/G)) with filledcurves fc rgb '#a0c0f0' fs solid 0.6 noborder title 'Monte Carlo ± 1 sd (noise only)', \
       table using 1:(F*$3/G) with lines lw 2 lc rgb '#c00000' title 'P(r)', \
       table using 1:((F*$5/G > dtop ? NaN : F*$5/G)) with lines lw 2 dt 2 lc rgb '#0040a0' title 'Monte Carlo mean'
  unset multiplot
  set output
}
