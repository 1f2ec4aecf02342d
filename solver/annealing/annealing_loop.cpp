#include "solver/annealing/annealing_loop.h"

#include <cmath>

double try_move(Paar& trial, Paar const& current, gsl_rng* r, double S) {
  // The evaluation overwrites everything copy_min would bring but the
  // multipliers; data, scaling and the prescribed share are the same in all
  // copies of one annealing.
  trial.take_multipliers(current);
  gsl_vector* l = trial.lagrange;
  for (int j = 0; j < trial.setup->n_data; j++) {
    double u = gsl_rng_uniform(r);
    double& x = l->data[j * l->stride];
    x = x + ((u + u) * S - S);
  }
  return trial.calc_state_dataonly_nosim();
}

Annealer::Annealer(Paar& model, double t_best)
    : current_(model), trial_(model), best_(model), t_best_(t_best) {
  e_cur_ = model.calc_state_dataonly_nosim();
  e_best_ = e_cur_;
}

AnnealEnd Annealer::run(AnnealSchedule const& s, gsl_rng* r, AnnealHooks const& hooks) {
  double T = s.start == 0.0 ? t_best_ : s.start;
  while (true) {
    AnnealStep st;
    for (int it = 0; it < s.iters; it++) {
      double e = try_move(trial_, current_, r, s.step);
      if (!std::isfinite(e)) {
        if (hooks.on_not_finite && hooks.on_not_finite(T, trial_)) return AnnealEnd::kNotFinite;
        st.rej++;
        continue;
      }
      if (e <= e_best_) {
        best_.copy_min(trial_);
        e_best_ = e;
        t_best_ = T;
      }
      evals_++;
      // Taking the trial: current and trial exchange their states (the next
      // trial takes the multipliers afresh), a copy_min without the copying.
      if (e < e_cur_) {
        current_.swap_state(trial_);
        e_cur_ = e;
        st.down++;
      } else if (std::exp(-(e - e_cur_) / (s.boltzmann * T)) > gsl_rng_uniform(r)) {
        current_.swap_state(trial_);
        e_cur_ = e;
        st.acc++;
      } else {
        st.rej++;
      }
    }
    if (hooks.on_step) {
      st.step = step_;
      st.evals = evals_;
      st.temp = T;
      st.iters = s.iters;
      st.e_cur = e_cur_;
      st.e_best = e_best_;
      st.current = &current_;
      hooks.on_step(st);
    }
    T = T / s.divisor;
    step_++;
    if (T < s.end) return AnnealEnd::kDone;
    if (hooks.cancel && hooks.cancel->load(std::memory_order_relaxed)) return AnnealEnd::kCancelled;
  }
}

void Annealer::finish(Paar& model) {
  model.copy_min(best_);
  model.calc_state_dataonly_nosim();
}
