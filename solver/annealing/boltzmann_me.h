// The Boltzmann maximum-entropy solver: simulated annealing of the Lagrange
// multipliers (chi2 is the energy), and the Monte Carlo estimate of the
// distribution's uncertainty. Every operation takes the model.
#ifndef REDORDIST_SOLVER_BOLTZMANN_ME_H
#define REDORDIST_SOLVER_BOLTZMANN_ME_H

#include <functional>

#include "model/paar.h"


// Runs in a row rejected for MAX MC CHI2 after which the estimate stops.
const int kMaxRejectionsInRow = 1000;

class BoltzmannME {
 public:
  explicit BoltzmannME(Paar& model);
  // The fit: anneals the tries of the schedule, leaves the best state in model.
  int Lagrange_siman(Paar& model);
  // Returns how the estimate ended.
  McStatus MC_error(Paar& model);
  // One annealing with the ERR schedule; prints the BANG message and ends the
  // process when a trial's chi2 is not finite.
  int Lagrange_siman_MC(Paar& model);

  // Called by MC_error after every block from the fifth on, with the
  // estimates so far stored in the model: the caller writes its results.
  std::function<void(Paar&)> write_results;
};

#endif
