// The transform matrices that map a population over distances onto a REDOR
// curve, the curve of the prescribed distribution, and the matrix dump.
#include <cmath>
#include <cstdio>
#include <vector>

#include <gsl/gsl_blas.h>

#include "model/exact_kernel.h"
#include "model/run_setup.h"
#include "numeric/interrupt.h"
#include "numeric/numeric.h"

namespace {

// The progress counter of a fill: " Of LAST: i" with the index in width w.
void show_counter(Report& rep, int last, int w, int i) {
  char b[64];
  std::snprintf(b, sizeof b, " Of %d: %*i", last, w, i);
  rep.progress(b);
}

// Computes cell(j, i) for every cycle row j < rows and column i < cols, the
// cells shared out over all threads. The progress counter advances in row
// order as rows complete, so a terminal sees the same sequence as from a
// one-thread fill that shows each row while computing it. Each cell is
// computed once by the same code whatever the thread count, so the matrix is
// the same too.
template <class Cell>
void fill_by_rows(Report& rep, int rows, int cols, Cell cell) {
  if (rows <= 0) return;
  std::vector<int> left(rows, cols);  // cells of each row still to compute
  std::vector<char> done(rows, cols <= 0);
  int shown = 0;  // rows whose counter has been shown and passed
  show_counter(rep, rows - 1, 4, 0);
  auto advance = [&]() {
    while (shown < rows && done[shown])
      if (++shown < rows) show_counter(rep, rows - 1, 4, shown);
  };
  advance();
  long total = cols > 0 ? static_cast<long>(rows) * cols : 0;
  std::atomic<bool> const* stop = interrupt_flag();
#pragma omp parallel for schedule(dynamic, 4)
  for (long k = 0; k < total; k++) {
    if (stop->load(std::memory_order_relaxed)) continue;  // a signal: the run ends after the fill
    int j = static_cast<int>(k / cols), i = static_cast<int>(k % cols);
    cell(j, i);
    int remaining;
#pragma omp atomic capture
    remaining = --left[j];
    if (remaining == 0) {
#pragma omp critical(redordist_fill_progress)
      {
        done[j] = 1;
        advance();
      }
    }
  }
}

}  // namespace

double RunSetup::kernel_value(PowderTables const& tables, int j, double coupling) const {
  if (have_curve) return kernel_interpolate(curve, j * coupling / mas);
  if (tables.per_2pi == 0) return redor_exact(j * coupling / mas);
  return kernel_powder(tables, j, coupling);
}

void RunSetup::fill_adjust_powder(PowderTables const& tables, Report& rep) {
  rep.out() << "Filling transform matrix elements for data adjustment. " << std::endl;
  std::vector<double> couplings(n_adj > 0 ? n_adj : 0);
  for (int p = 0; p < n_adj; p++)
    couplings[p] = dipolar_constant / std::pow(gvg(adj_distances, p), 3.0);
  fill_by_rows(rep, n_cycles, n_adj, [&](int j, int p) {
    gsl_matrix_set(transform_adjust, j, p, kernel_value(tables, j, couplings[p]));
  });
}

void RunSetup::fill_cycles_powder(PowderTables const& tables, Report& rep) {
  rep.out() << "Filling transform matrix elements. " << std::endl;
  fill_by_rows(rep, n_cycles, n_grid, [&](int j, int i) {
    gsl_matrix_set(transform_cycles, j, i, kernel_value(tables, j, gvg(dipolar_couplings, i)));
  });
}

void RunSetup::build_transforms(Report& rep) {
  double lambda_max = max_lambda_d();
  rep.out() << "maximum lambdaD value in analysis set-up: " << lambda_max << std::endl;
  rep.log() << "maximum lambdaD value in analysis set-up: " << lambda_max << std::endl;
  if (have_curve) {
    fill_from_curve(rep);
  } else {
    if (per_2pi > 0) powder = powder_tables();
    if (n_adj > 0) {
      rep.log() << std::endl << " * * * * * * * * RAW DATA * * * * * * * * \n";
      fill_adjust_powder(powder, rep);
    }
    if (mode != "sim") fill_cycles_powder(powder, rep);
    // In mode "sim" without a curve the grid matrix stays zero: the
    // simulation takes its curves from the prescribed distribution alone.
  }
  if (interrupt_flag()->load()) return;  // the matrices are incomplete: no result follows
  adjust_and_select(rep);
}

void RunSetup::fill_from_curve(Report& rep) {
  std::ostream& out = rep.out();
  out << "reading matrix values from file\n";
  out << "Size of input universal dephasing vector: " << curve.lambda.size() << std::endl;
  if (n_adj > 0) {
    out << "Filling transform matrix elements for forced distances." << std::endl;
    for (int p = 0; p < n_adj && !interrupt_flag()->load(); p++) {
      show_counter(rep, n_adj - 1, 5, p);
      double D = dipolar_constant / std::pow(gvg(adj_distances, p), 3.0);
      for (int j = 0; j < n_cycles; j++)
        gsl_matrix_set(transform_adjust, j, p, kernel_interpolate(curve, j * D / mas));
    }
  }
  rep.out() << "Filling transform matrix elements (distance,cycles). " << std::endl;
  for (int i = 0; i < n_grid && !interrupt_flag()->load(); i++) {
    show_counter(rep, n_grid - 1, 5, i);
    double D = gvg(dipolar_couplings, i);
    for (int j = 0; j < n_cycles; j++)
      gsl_matrix_set(transform_cycles, j, i, kernel_interpolate(curve, j * D / mas));
  }
}

// The curve of the prescribed distribution at the data points, and the rows
// of the grid matrix at the data points' cycle counts.
void RunSetup::adjust_and_select(Report& rep) {
  fit_adjust = GslVec(n_data);
  if (n_adj > 0) {
    gsl_blas_dgemv(CblasNoTrans, 1.0, transform_adjust, adj_density, 0.0, smooth_adjust);
    rep.out() << "adjustment calculated: totaladjustdensity " << total_adjust_density << std::endl;
    // Data point k lies at 2j rotor cycles, j = N_c / 2.
    for (int k = 0; k < n_data; k++)
      gsl_vector_set(fit_adjust, k, gvg(smooth_adjust, static_cast<int>(gvg(cycles, k)) / 2));
  }
  transform_data = GslMat(n_data, n_grid);
  for (int k = 0; k < n_data; k++) {
    int j = static_cast<int>(gvg(cycles, k)) / 2;
    for (int i = 0; i < n_grid; i++) gsl_matrix_set(transform_data, k, i, gmg(transform_cycles, j, i));
  }
}
