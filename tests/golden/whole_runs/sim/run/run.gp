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
set yrange [0.15:1]
set x2range [0:*]
set x2tics
set xtics nomirror
set ylabel 'S/So (blue/purple) integral (green)'
set y2range [-0.0042:0.042]
set xrange [2.5:6]
plot './run/run.me' u 23:24 axes x1y2 w l lw 2 t 'density',\
'' u ($9*0.2):12:13 w yerrorbars ls 2 axes x2y1 t 'data',\
'' u ($20*0.2):21 w l axes x2y1 t 'redor sim',\
'' u ($9*0.2):16 w boxes ls 4 axes x2y2 t 'residual',\
0.2 lt 0
