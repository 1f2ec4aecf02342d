// The fit: simulated annealing of the Lagrange multipliers over the tries of
// the schedule in the parameter file, with its trace (".sa") and progress.
#include <cstdio>
#include <ctime>
#include <iostream>
#include <string>

#include <gsl/gsl_rng.h>

#include "numeric/interrupt.h"
#include "solver/annealing/annealing_loop.h"
#include "solver/annealing/boltzmann_me.h"

namespace {

// The trace: one row per temperature step with the multipliers of the
// current state.
void trace_row(std::FILE* trace, AnnealStep const& st, int n_data) {
  Paar const& c = *st.current;
  std::fprintf(trace, "%5d %7d %12g %10.8f %4.2f %4.2f %4.2f ", st.step, st.evals, st.temp, c.chi2,
               100.0 * st.down / st.iters, 100.0 * st.acc / st.iters, 100.0 * st.rej / st.iters);
  for (int j = 0; j < n_data; j++) std::fprintf(trace, "%10.7le ", gsl_vector_get(c.lagrange, j));
  std::fprintf(trace, "\n");
  std::fflush(trace);
}

// Every fifth temperature step, on a terminal only.
void progress_line(Report& rep, AnnealStep const& st) {
  if (st.step % 5 != 0) return;
  char line[128];
  std::snprintf(line, sizeof line, "Temp %10.8f Current E %14.6g Best E %14.6g", st.temp, st.e_cur,
                st.e_best);
  rep.progress(line);
}

std::FILE* open_trace(Paar& model, std::string const& name) {
  std::FILE* trace = std::fopen(name.c_str(), "w");
  if (!trace) {
    model.report().out() << "could not write the annealing trace " << name << std::endl;
    model.results.output_failed = true;
    return nullptr;
  }
  std::fprintf(trace, "#%4s %7s %12s %10s %4s %4s %4s\n", "iter", "evals", "temp", "chi2", "#lss",
               "#acc", "$rej");
  return trace;
}

void close_trace(Paar& model, std::FILE* trace, std::string const& name) {
  if (!trace) return;
  bool bad = std::ferror(trace) != 0;
  if (std::fclose(trace) != 0 || bad) {
    model.report().out() << "could not write the annealing trace " << name << std::endl;
    model.results.output_failed = true;
  }
}

void report_fit(Paar& model) {
  std::ostream& out = model.report().out();
  model.report().log() << "CHI2   " << model.chi2 << "\n";
  model.report().log() << "AVGDEV " << model.avgdev << "\n";
  model.report().log() << "SCALING " << model.scaling << "\n";
  out << "CHI2   " << model.chi2 << "\n";
  out << "AVGDEV " << model.avgdev << "\n";
  out << "SCALING " << model.scaling << "\n";
  model.report().log().flush();
  out.flush();
}

}  // namespace

BoltzmannME::BoltzmannME(Paar& /*model*/) {}

int BoltzmannME::Lagrange_siman(Paar& model) {
  Report& rep = model.report();
  rep.log() << "Beginning Boltzmann ME: " << clock_text() << "\n";
  rep.out() << "Beginning Boltzmann ME:\n";

  // Seeded from GSL's default seed, which the run's environment has set.
  gsl_rng* r = gsl_rng_alloc(gsl_rng_taus2);
  std::string trace_name = model.stem() + ".sa";
  std::FILE* trace = model.setup->write_traces ? open_trace(model, trace_name) : nullptr;

  AnnealHooks hooks;
  hooks.on_step = [&](AnnealStep const& st) {
    if (trace) trace_row(trace, st, model.setup->n_data);
    progress_line(rep, st);
  };
  hooks.cancel = interrupt_flag();
  hooks.on_not_finite = [&rep](double temp, Paar const&) {
    rep.out() << "BANG. Chi2 is not finite at temp " << temp << "\n";
    return false;
  };
  // The best state's temperature before any replacement: the first try's
  // start, so that a later try starting at 0 continues from there.
  Annealer annealer(model, model.setup->ntries > 0 ? model.setup->init_temp[0] : 0.0);
  for (int i = 0; i < model.setup->ntries; i++) {
    AnnealSchedule s = try_schedule(*model.setup, i);
    char line[1024];
    std::snprintf(line, sizeof line, "\n%5d/%d B %8.2e S %8.2e Temp: %8.2e-%8.2e by %11.5e\n",
                  s.iters, i, s.boltzmann, s.step, s.start == 0.0 ? annealer.best_temp() : s.start,
                  s.end, s.divisor);
    rep.log() << line;
    rep.out() << line + 1;  // on standard output without the blank line before it
    if (annealer.run(s, r, hooks) == AnnealEnd::kCancelled) break;
  }
  annealer.finish(model);
  report_fit(model);
  close_trace(model, trace, trace_name);
  gsl_rng_free(r);
  return 0;
}
