// The products of a kernel with one vector of bin masses at every data
// point, g_d = sum_j K(d, j) m_j over the bins [lo, hi), with exactly the bits
// of dot_two_sums on each row (two running sums, even and odd bins, the last
// odd-count term joining the first), but several data points at a time: the
// kernel is held transposed, so the values of neighbouring data points at
// one bin lie side by side.
#ifndef REDORDIST_NUMERIC_KERNEL_DOTS_H
#define REDORDIST_NUMERIC_KERNEL_DOTS_H

#include <vector>

// K (n_data x n_bins, row-major) transposed: n_bins x n_data, row-major.
std::vector<double> transposed(std::vector<double> const& k, int n_data, int n_bins);

// g[d] = sum over j in [lo, hi) of kt[j * n_data + d] * m[j], for every d < n_data.
void kernel_dots(double const* kt, int n_data, double const* m, int lo, int hi, double* g);

#endif
