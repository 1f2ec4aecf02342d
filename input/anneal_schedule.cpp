#include "input/anneal_schedule.h"

#include <cmath>

namespace {

double or_first(std::vector<double> const& list, int i) {
  return std::fabs(list[i]) < kUnsetTryValue ? list[0] : list[i];
}

}  // namespace

AnnealSchedule try_schedule(RunParams const& p, int i) {
  AnnealSchedule s;
  s.iters = static_cast<int>(p.iters_at_temp[i]);
  if (s.iters == 0) s.iters = static_cast<int>(p.iters_at_temp[0]);
  s.step = or_first(p.max_step_size, i);
  s.boltzmann = or_first(p.boltzmann, i);
  s.start = std::fabs(p.init_temp[i]) < kContinueTemp ? 0.0 : p.init_temp[i];
  s.divisor = or_first(p.atten_temp, i);
  s.end = or_first(p.min_temp, i);
  return s;
}

AnnealSchedule mc_schedule(RunParams const& p) {
  return {p.err_iters_at_temp, p.err_max_step_size, p.err_boltzmann,
          p.err_init_temp,     p.err_atten_temp,    p.err_min_temp};
}

double schedule_steps(double start, double divisor, double end) {
  if (!(start >= end)) return 1.0;
  // The step at temperature T runs while T >= end: T = start / divisor^k.
  return std::floor(std::log(start / end) / std::log(divisor)) + 1.0;
}

double fit_trials_bound(RunParams const& p) {
  double total = 0.0, highest = 0.0;
  for (int i = 0; i < p.ntries; i++) {
    AnnealSchedule s = try_schedule(p, i);
    if (s.start > highest) highest = s.start;
    double start = s.start == 0.0 ? highest : s.start;
    total += s.iters * schedule_steps(start, s.divisor, s.end);
  }
  return total;
}

double mc_trials_bound(RunParams const& p) {
  AnnealSchedule s = mc_schedule(p);
  return s.iters * schedule_steps(s.start, s.divisor, s.end);
}
