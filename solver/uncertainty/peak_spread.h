// The spread of the reported peaks over the runs of the Monte Carlo
// estimate (or the bootstrap replicates), matched run by run. The reported
// peaks split the distance axis into cells at the midpoints between them;
// a run's peak belongs to the cell it lies in. In each cell the run's peak
// nearest the reported one gives the position, and the shares of all the
// run's peaks there add up (a run that splits a peak in two keeps its
// share). A cell without a peak of the run is a miss: the run has merged
// that peak into a neighbour (or lost it below the 10 % share); it adds
// nothing to the position, and a share 0 to the share's percentiles.
#ifndef REDORDIST_SOLVER_UNCERTAINTY_PEAK_SPREAD_H
#define REDORDIST_SOLVER_UNCERTAINTY_PEAK_SPREAD_H

#include <vector>

#include "model/peaks.h"

// Per reported peak, the positions of the runs that have it and the share
// of every run (0 for a miss).
struct PeakSample {
  std::vector<double> position, share;
  size_t found = 0;
};
std::vector<PeakSample> match_run_peaks(std::vector<PeakInfo> const& reported,
                                        std::vector<std::vector<PeakInfo>> const& runs);

// Fills runs, found, the sds and the 95 % intervals of each reported peak
// (nothing before two runs). Position: the 2.5 and 97.5 percentiles over the
// runs that have the peak joined with position +- 1.96 sd, widened by half
// the grid step (the vertex between grid points is good to a fraction of a
// step, no better). Share: the percentiles over all runs joined with
// share +- 1.96 sd, within [0, 1].
void add_peak_spread(std::vector<PeakInfo>& peaks, std::vector<std::vector<PeakInfo>> const& runs, double step);

#endif
