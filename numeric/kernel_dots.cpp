// Each data point's two running sums see the same products added in the
// same order as in dot_two_sums, two data points to a pair.
#include "numeric/kernel_dots.h"

#include <cstddef>
#include "numeric/pair.h"

namespace {

double const* at(double const* kt, int nd, int j, int d) { return kt + static_cast<size_t>(j) * nd + d; }

// The data points d0 .. d0 + 7. (The sums are spelled out one by one: the
// compiler keeps named sums in registers, where an array of sums goes
// through memory.)
void eight(double const* kt, int nd, int d0, double const* m, int lo, int hi, double* g) {
  Pair a0 = {0.0, 0.0}, a1 = a0, a2 = a0, a3 = a0, b0 = a0, b1 = a0, b2 = a0, b3 = a0;
  int j = lo;
  for (; j + 1 < hi; j += 2) {
    double const* k0 = at(kt, nd, j, d0);
    double const* k1 = k0 + nd;
    double m0 = m[j], m1 = m[j + 1];
    a0 += load_pair(k0) * m0, a1 += load_pair(k0 + 2) * m0, a2 += load_pair(k0 + 4) * m0, a3 += load_pair(k0 + 6) * m0;
    b0 += load_pair(k1) * m1, b1 += load_pair(k1 + 2) * m1, b2 += load_pair(k1 + 4) * m1, b3 += load_pair(k1 + 6) * m1;
  }
  if (j < hi) {
    double const* k0 = at(kt, nd, j, d0);
    a0 += load_pair(k0) * m[j], a1 += load_pair(k0 + 2) * m[j], a2 += load_pair(k0 + 4) * m[j], a3 += load_pair(k0 + 6) * m[j];
  }
  store_pair(g + d0, a0 + b0), store_pair(g + d0 + 2, a1 + b1), store_pair(g + d0 + 4, a2 + b2), store_pair(g + d0 + 6, a3 + b3);
}

// The data points d0 and d0 + 1.
void two(double const* kt, int nd, int d0, double const* m, int lo, int hi, double* g) {
  Pair a = {0.0, 0.0}, b = a;
  int j = lo;
  for (; j + 1 < hi; j += 2) a += load_pair(at(kt, nd, j, d0)) * m[j], b += load_pair(at(kt, nd, j + 1, d0)) * m[j + 1];
  if (j < hi) a += load_pair(at(kt, nd, j, d0)) * m[j];
  store_pair(g + d0, a + b);
}

// The data point d alone.
void one(double const* kt, int nd, int d, double const* m, int lo, int hi, double* g) {
  double s0 = 0.0, s1 = 0.0;
  int j = lo;
  for (; j + 1 < hi; j += 2) s0 += *at(kt, nd, j, d) * m[j], s1 += *at(kt, nd, j + 1, d) * m[j + 1];
  if (j < hi) s0 += *at(kt, nd, j, d) * m[j];
  g[d] = s0 + s1;
}

}  // namespace

std::vector<double> transposed(std::vector<double> const& k, int n_data, int n_bins) {
  std::vector<double> t(k.size());
  for (int i = 0; i < n_data; i++)
    for (int j = 0; j < n_bins; j++) t[static_cast<size_t>(j) * n_data + i] = k[static_cast<size_t>(i) * n_bins + j];
  return t;
}

void kernel_dots(double const* kt, int n_data, double const* m, int lo, int hi, double* g) {
  int d = 0;
  for (; d + 8 <= n_data; d += 8) eight(kt, n_data, d, m, lo, hi, g);
  for (; d + 2 <= n_data; d += 2) two(kt, n_data, d, m, lo, hi, g);
  if (d < n_data) one(kt, n_data, d, m, lo, hi, g);
}
