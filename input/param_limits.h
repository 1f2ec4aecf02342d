// Limits on what one run may ask for. They keep memory use and run time in
// proportion to a sensible analysis and let a mistyped value be refused with
// a message before any long computation starts.
#ifndef REDORDIST_INPUT_PARAM_LIMITS_H
#define REDORDIST_INPUT_PARAM_LIMITS_H

const int kMaxTries = 1000;          // annealing tries (NTRIES)
const long kMaxGrid = 100000;        // distances of the grid
const int kMaxDataPoints = 100000;   // data points (one multiplier each)
const int kMaxCycleCount = 100000;   // largest rotor-cycle count (LAST POINT or data N_c)
const int kMaxPer2pi = 100000;       // angle steps per turn of the powder average
// Cosine evaluations the powder-average fill may need (n_cycles x distances x
// P*P/2): about ten minutes on one core of a current machine.
const double kMaxPowderWork = 5e10;
// Elements of the largest transform matrix (n_cycles or n_data rows x n_grid).
const double kMaxMatrixElements = 5e7;
// Physical ranges: no bond is shorter than 0.5 Angstrom; magic-angle
// spinning runs between about 100 Hz and 1 MHz (a value outside is almost
// always a unit slip such as "5" meant as kHz).
const double kMinDistance = 0.5;  // Angstrom
const double kMinMas = 100.0, kMaxMas = 1e6;  // Hz
// Work: trials of one annealing (about an hour at 3 us a trial) and Monte
// Carlo runs of one estimate.
const double kMaxTrials = 1e9;
const double kMaxMcRuns = 1e6;
// Text values: lengths the output names are built from.
const size_t kMaxModeLen = 3, kMaxNucleusLen = 5, kMaxFileLen = 78, kMaxLambdaFileLen = 79,
             kMaxOutputLen = 157, kMaxRunDirLen = 179;

#endif
