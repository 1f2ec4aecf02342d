// The peaks of a distribution on its grid: a peak is a stretch of the grid
// between two minima of the distribution holding at least a given share of
// it. The Monte Carlo estimate follows them run by run; the assessment
// judges whether the data support them.
#ifndef REDORDIST_MODEL_PEAKS_H
#define REDORDIST_MODEL_PEAKS_H

#include <array>
#include <cstddef>
#include <vector>

// A peak of the reported distribution: the share of the distribution
// between the minima on either side, the distance of its maximum, and
// whether the Gaussians that the data support put a component there.
struct PeakInfo {
  double position = 0.0;  // Angstrom
  double share = 0.0;
  bool supported = true;
  // In mode err: the runs (or replicates) of the estimate, those that have
  // this peak, and over those the spread (sd) of its position and share and
  // the 95 % intervals of both (noise and grid; see solver/uncertainty).
  size_t runs = 0, found = 0;
  double position_sd = 0.0, share_sd = 0.0;
  std::array<double, 2> position_interval{}, share_interval{};
  // Whether the peak models the data allow put this peak where it is (the
  // assessment's judgement), and the positions they give it (Angstrom).
  bool placed = true;
  std::array<double, 2> placed_range{};
};

constexpr double kPeakMinShare = 0.10;
// A minimum higher than this fraction of the lower of the two maxima beside
// it is a ripple, not a valley: it does not separate two peaks.
constexpr double kRippleDepth = 0.9;

// The peaks of p (n_grid masses on the ascending distances r), in order of
// distance, each at the vertex of the parabola through its largest grid
// mass and the two beside it (at the grid point on an end of the grid);
// every peak starts supported. A distribution without mass has none.
std::vector<PeakInfo> distribution_peaks(std::vector<double> const& r, std::vector<double> const& p,
                                         double min_share = kPeakMinShare);

#endif
