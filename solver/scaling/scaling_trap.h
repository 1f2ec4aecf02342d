// Mass where the data see no full dephasing cycle against a lower SCALING:
// whenever the reported distribution holds more than kTrapShare beyond the
// distance that completes one cycle by the longest dephasing time, SCALING
// is profiled (silently) to show the other explanation of the same data.
#ifndef REDORDIST_SOLVER_SCALING_SCALING_TRAP_H
#define REDORDIST_SOLVER_SCALING_SCALING_TRAP_H

#include "model/paar.h"

// Above this share beyond the full-cycle distance the two explanations
// differ enough to say.
constexpr double kTrapShare = 0.05;

// The other explanation clears the far side: the allowed SCALING whose fit
// leaves less than half the share beyond the full-cycle distance.
inline bool trap_other_clears(ScalingTrap const& t) { return t.other.beyond < 0.5 * t.share; }

// The kernel's first minimum and the full-cycle distance, kept in
// model.results.scaling_trap; the distance (INFINITY when not known).
double watch_full_cycle(Paar& model);

// After the fit: the share beyond the full-cycle distance and, above
// kTrapShare, the profile over SCALING by fit (the one of --fit-scaling when
// SCALING was fitted) and the allowed SCALING whose fit leaves the least
// there. The trap holds (found) only when that SCALING differs from the
// model's by a scan step or more. Prints nothing.
void check_scaling_trap(Paar& model, SolverFit (*fit)(Paar const&));

#endif
