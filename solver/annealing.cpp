// Simulated annealing of the Lagrange multipliers with a Metropolis rule,
// over the tries of the schedule in the parameter file.
#include <cmath>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <string>

#include <gsl/gsl_rng.h>

#include "solver/boltzmann_me.h"
#include "solver/numeric.h"

namespace {

void backspaces62() { std::cout << std::string(62, '\b'); }

}  // namespace

double try_move(Paar& trial, Paar const& current, gsl_rng* r, double S) {
  // The evaluation overwrites everything copy_min would bring but the
  // multipliers; data, scaling and the prescribed share are the same in all
  // copies of one annealing.
  trial.take_multipliers(current);
  gsl_vector* l = trial.lagrange;
  for (int j = 0; j < trial.n_data; j++) {
    double u = gsl_rng_uniform(r);
    double& x = l->data[j * l->stride];
    x = x + ((u + u) * S - S);
  }
  return trial.calc_state_dataonly_nosim();
}

BoltzmannME::BoltzmannME(Paar& /*model*/) {}

int BoltzmannME::Lagrange_siman(Paar& model) {
  model.timestamp = std::time(nullptr);
  model.log << "Beginning Boltzmann ME: " << std::ctime(&model.timestamp) << "\n";
  std::cout << "Beginning Boltzmann ME:\n";

  gsl_rng_env_setup();
  gsl_rng* r = gsl_rng_alloc(gsl_rng_taus2);

  std::string trace_name = model.stem() + ".sa";
  std::FILE* trace = std::fopen(trace_name.c_str(), "w");
  if (!trace) {
    std::cout << "could not write the annealing trace " << trace_name << std::endl;
    model.output_failed = true;
  } else {
    std::fprintf(trace, "#%4s %7s %12s %10s %4s %4s %4s\n", "iter", "evals", "temp", "chi2", "#lss",
                 "#acc", "$rej");
  }

  Paar current(model), trial(model), best(model);
  double e_cur = model.calc_state_dataonly_nosim();
  double e_best = e_cur;
  // The best state's temperature before any replacement: the first try's
  // start, so that a later try starting at 0 continues from there.
  double t_best = model.ntries > 0 ? gvg(model.init_temp, 0) : 0.0;
  int step = 0, evals = 0;
  char line[1024];

  for (int i = 0; i < model.ntries; i++) {
    int iters = static_cast<int>(gvg(model.iters_at_temp, i));
    double B = gvg(model.boltzmann, i);
    double S = gvg(model.max_step_size, i);
    double a = gvg(model.atten_temp, i);
    double tmin = gvg(model.min_temp, i);
    double T = gvg(model.init_temp, i);
    if (std::fabs(T) < 1e-12) T = t_best;
    if (std::fabs(a) < 1.2e-11) a = gvg(model.atten_temp, 0);
    if (std::fabs(S) < 1.2e-11) S = gvg(model.max_step_size, 0);
    if (std::fabs(B) < 1.2e-11) B = gvg(model.boltzmann, 0);
    if (std::fabs(tmin) < 1.2e-11) tmin = gvg(model.min_temp, 0);
    if (iters == 0) iters = static_cast<int>(gvg(model.iters_at_temp, 0));

    std::snprintf(line, sizeof line, "\n%5d/%d B %8.2e S %8.2e Temp: %8.2e-%8.2e by %11.5e\n", iters,
                  i, B, S, T, tmin, a);
    model.log << line;
    std::cout << line;

    while (true) {
      int down = 0, acc = 0, rej = 0;
      for (int it = 0; it < iters; it++) {
        double e = try_move(trial, current, r, S);
        if (!std::isfinite(e)) {
          backspaces62();
          std::cout << "BANG. Chi2 is not finite at temp " << T;
          rej++;
          continue;
        }
        if (e <= e_best) {
          best.copy_min(trial);
          e_best = e;
          t_best = T;
        }
        evals++;
        // Taking the trial: current and trial exchange their states (the
        // next trial takes the multipliers afresh), which is a copy_min
        // without the copying.
        if (e < e_cur) {
          current.swap_state(trial);
          e_cur = e;
          down++;
        } else {
          double u2 = gsl_rng_uniform(r);
          if (std::exp(-(e - e_cur) / (B * T)) > u2) {
            current.swap_state(trial);
            e_cur = e;
            acc++;
          } else {
            rej++;
          }
        }
      }
      if (trace) {
        std::fprintf(trace, "%5d %7d %12g %10.8f %4.2f %4.2f %4.2f ", step, evals, T, current.chi2,
                     100.0 * down / iters, 100.0 * acc / iters, 100.0 * rej / iters);
        for (int j = 0; j < model.n_data; j++) std::fprintf(trace, "%10.7le ", gvg(current.lagrange, j));
        std::fprintf(trace, "\n");
        std::fflush(trace);
      }
      if (step % 5 == 0) {
        backspaces62();
        std::snprintf(line, sizeof line, "Temp %10.8f Current E %14.6g Best E %14.6g", T, e_cur, e_best);
        std::cout << line << std::flush;
      }
      T = T / a;
      step++;
      if (T < tmin) break;
    }
  }

  model.copy_min(best);
  model.calc_state_dataonly_nosim();
  std::cout << "\n";
  model.log << "CHI2   " << model.chi2 << "\n";
  model.log << "AVGDEV " << model.avgdev << "\n";
  model.log << "SCALING " << model.scaling << "\n";
  std::cout << "CHI2   " << model.chi2 << "\n";
  std::cout << "AVGDEV " << model.avgdev << "\n";
  std::cout << "SCALING " << model.scaling << "\n";
  model.log.flush();
  std::cout.flush();
  if (trace) {
    bool bad = std::ferror(trace) != 0;
    if (std::fclose(trace) != 0 || bad) {
      std::cout << "could not write the annealing trace " << trace_name << std::endl;
      model.output_failed = true;
    }
  }
  gsl_rng_free(r);
  return 0;
}
