// The first dephasing cycle of the run's kernel. A pair's S/S0 falls from 1
// to a first minimum (near lambda_D 0.95 on the exact curve) and rises again;
// a distance whose curve has not reached that minimum by the longest
// dephasing time of the data shows only a monotonic fall, which a smaller
// SCALING (fewer dephasable pairs) imitates. Mass beyond the distance that
// completes one cycle is therefore not told apart from a lower SCALING.
#ifndef REDORDIST_MODEL_DEPHASING_CYCLE_H
#define REDORDIST_MODEL_DEPHASING_CYCLE_H

#include <vector>

#include "model/run_setup.h"

// lambda_D of the first minimum of S/S0 with the run's kernel (the universal
// curve, the closed form or the powder average), searched from 0.3 to 3 in
// steps of 0.002 and refined by a parabola through the three lowest points;
// NaN when the kernel has no minimum there (a short universal curve).
double first_minimum_lambda(RunSetup const& setup);

// The longest distance (Angstrom) whose S/S0 passes its first minimum by the
// largest rotor-cycle count of the data: lambda_D = (N_c / 2) D / (r^3 MAS)
// equal to lambda_min. NaN when lambda_min is NaN.
double full_cycle_distance(RunSetup const& setup, double lambda_min);

// The share of distribution p (on distances r) beyond distance r_limit, and
// (in *where, when given) its mean distance.
double share_beyond(std::vector<double> const& r, std::vector<double> const& p, double r_limit,
                    double* where = nullptr);

#endif
