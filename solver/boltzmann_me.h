// The Boltzmann maximum-entropy solver: simulated annealing of the Lagrange
// multipliers (chi2 is the energy), and the Monte Carlo estimate of the
// distribution's uncertainty. Stateless: every operation takes the model.
#ifndef REDORDIST_SOLVER_BOLTZMANN_ME_H
#define REDORDIST_SOLVER_BOLTZMANN_ME_H

#include <string>
#include <vector>

#include <gsl/gsl_rng.h>

#include "model/paar.h"

// A Monte Carlo annealing that met a non-finite chi2: what its message shows.
struct McBang {
  bool happened = false;
  double temp = 0.0;
  double avgdev = 0.0;
  std::vector<double> multipliers;
};

// Outcome of the Monte Carlo estimate, for the entry point's exit status.
enum McStatus { kMcDone = 0, kMcNotFinite = 1, kMcTooManyRejections = 2 };

// Runs in a row rejected for MAX MC CHI2 after which the estimate stops.
const int kMaxRejectionsInRow = 1000;

class BoltzmannME {
 public:
  explicit BoltzmannME(Paar& model);
  int Lagrange_siman(Paar& model);
  // Returns a McStatus.
  int MC_error(Paar& model);
  // One annealing with the ERR schedule; prints the BANG message and ends the
  // process when a trial's chi2 is not finite.
  int Lagrange_siman_MC(Paar& model);
};

// One annealing trial: trial takes the multipliers of current (the rest of
// its evaluation state is recomputed), each multiplier j in order is moved by
// (u + u) S - S with its own uniform draw u, and the trial is evaluated.
// Returns its chi2. current and trial must be copies of the same model.
double try_move(Paar& trial, Paar const& current, gsl_rng* r, double S);

// The ERR-schedule annealing behind Lagrange_siman_MC; on a non-finite chi2
// it fills bang and returns false without printing anything.
bool anneal_mc(Paar& work, McBang& bang);

// The text Lagrange_siman_MC prints for a non-finite chi2.
std::string bang_message(McBang const& bang);

// Adds one block of 12 x n_data noise draws to the data of work.
void add_noise(Paar& work, gsl_rng const* noise);

#endif
