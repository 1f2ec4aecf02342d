// What the printed figure needs to know of a run beyond its result table:
// names, the ranges gnuplot cannot find by itself, and where the data or
// the solver's own model shape the distribution.
#ifndef REDORDIST_OUTPUT_FIGURE_INFO_H
#define REDORDIST_OUTPUT_FIGURE_INFO_H

#include "model/paar.h"
#include "output/paper_figure.h"

FigureInfo figure_info(Paar const& m);

#endif
