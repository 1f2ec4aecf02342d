#set term postscript enhanced solid color
#set out './run/run.ps'
set style line 2 lw 1 lt 3 pt 6 ps 2
set style line 3 lw 1 lt 3 pt 8 ps 2
set style line 4 lw 1 lt 7 pt 0 ps 2
set xlabel 'Angstroms (red/green)'
set x2label 'Dephasing Time (ms) (blue/purple/aqua)'
set y2tics
set y2label 'density (red) residual (aqua)'
set ytics nomirror
set mxtics 10
set mx2tics 10
set mytics 10
set xrange [2.5:6]
set yrange [-0.05:1]
set x2range [0:*]
set x2tics
set xtics nomirror
set ylabel 'S/So (blue/purple) integral (green)'
set y2range [-0.0311652:0.311652]
plot './run/run.me' u 1:3 axes x1y2 w l lw 2 t 'normalized density',\
'' u 1:4 w l axes x1y1 t 'density integral',\
'' u ($9*0.2):18:13 w yerrorbars ls 2 axes x2y1 t 'data H-',\
'' u ($9*0.2):19:13 w yerrorbars ls 3 axes x2y1 t 'data H+',\
'' u ($20*0.2):($21*1 +$22) w l axes x2y1 t 'ME reconstruction',\
'' u ($9*0.2):16 w boxes ls 4 axes x2y2 t 'residual',\
0 lt 0,\
'' u 1:5:7 w yerrorbars axes x1y2 t 'Monte Carlo error'
