#include "output/matrix_dump.h"

#include <cstdio>
#include <iostream>
#include <string>

#include "numeric/numeric.h"
#include "output/safe_files.h"

namespace {

// Writes the matrix (rows x cols of value(row, col)) in "%10.6le " cells.
template <class Value>
bool write_matrix(std::string const& name, int rows, int cols, Value value) {
  remove_planted_link(name);
  std::FILE* f = std::fopen(name.c_str(), "w");
  if (!f) return false;
  for (int a = 0; a < rows; a++) {
    for (int b = 0; b < cols; b++) std::fprintf(f, "%10.6le ", value(a, b));
    std::fprintf(f, "\n");
  }
  bool bad = std::ferror(f) != 0;
  return std::fclose(f) == 0 && !bad;
}

}  // namespace

void write_matrix_dumps(Paar& model) {
  gsl_matrix const* K = model.setup->transform_data;
  std::string mx = model.stem() + ".mx";
  if (!write_matrix(mx, model.setup->n_data, model.setup->n_grid, [&](int k, int i) { return gmg(K, k, i); })) {
    model.report().out() << "could not write the matrix dump " << mx << std::endl;
    model.results.output_failed = true;
  }
  std::string mxt = mx + "T";
  if (!write_matrix(mxt, model.setup->n_grid, model.setup->n_data, [&](int i, int k) { return gmg(K, k, i); })) {
    model.report().out() << "could not write the matrix dump " << mxt << std::endl;
    model.results.output_failed = true;
  }
}
