#include "numeric/parabola_vertex.h"

#include <algorithm>

double parabola_vertex(double x0, double y0, double x1, double y1, double x2, double y2) {
  if (y1 < y0 || y1 < y2) return x1;
  // With a = x1 - x0 and b = x1 - x2, the vertex lies at
  // x1 - (a^2 (y1 - y2) - b^2 (y1 - y0)) / (2 (a (y1 - y2) - b (y1 - y0))).
  double a = x1 - x0, b = x1 - x2;
  double den = a * (y1 - y2) - b * (y1 - y0);
  if (!(den > 0.0)) return x1;
  double x = x1 - 0.5 * (a * a * (y1 - y2) - b * b * (y1 - y0)) / den;
  return std::min(x2, std::max(x0, x));
}
