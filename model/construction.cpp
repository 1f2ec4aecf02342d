// Building the primary model from a parameter file, in the order the inputs
// depend on each other.
#include <cstdlib>
#include <iostream>

#include "model/paar.h"

FatalHandler fatal_handler = nullptr;

void fatal_exit(std::string const& msg, int status) {
  if (fatal_handler) fatal_handler(msg, status);
  std::cout << msg;
  std::cout.flush();
  std::exit(status);
}

Paar::Paar(Blank) {}

Paar::Paar(char const* param_file) : owner(true) {
  read_params(param_file);
  lookup_nuclei();
  scaling = scaling_a;
  check_params(param_file);
  setup_run_dir(param_file);
  write_log_head();
  n_data = -1;
  read_data();
  set_sim_grid();
  read_prescribed();
  build_grid();
  alloc_scratch();
  build_transforms();
}

void Paar::alloc_scratch() {
  scratch_exponent = gsl_vector_alloc(n_grid);
  scratch_weights = gsl_vector_alloc(n_grid);
  ones_grid = gsl_vector_alloc(n_grid);
  gsl_vector_set_all(ones_grid, 1.0);
  ones_data = gsl_vector_alloc(n_data);
  gsl_vector_set_all(ones_data, 1.0);
  scratch_weighted = gsl_vector_alloc(n_data);
}
