// Where a sampled curve peaks between its grid points: the vertex of the
// parabola through a grid maximum and its two neighbours. A peak quoted at
// the grid point is off by up to half a grid step; the vertex follows the
// shape of the top (exact for a parabolic top, within a small fraction of a
// step for a Gaussian a few steps wide).
#ifndef REDORDIST_NUMERIC_PARABOLA_VERTEX_H
#define REDORDIST_NUMERIC_PARABOLA_VERTEX_H

// The abscissa of the vertex of the parabola through (x0, y0), (x1, y1),
// (x2, y2), x0 < x1 < x2 (any spacing), kept within [x0, x2]. x1 itself
// when y1 is not the largest of the three or the three are equal (no top).
double parabola_vertex(double x0, double y0, double x1, double y1, double x2, double y2);

#endif
