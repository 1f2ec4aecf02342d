#include "driver/study.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <sstream>

#include "driver/run_one.h"
#include "driver/study_inputs.h"
#include "driver/study_shared.h"
#include "numeric/format.h"
#include "numeric/gsl_errors.h"
#include "numeric/interrupt.h"
#include "output/atomic_file.h"
#include "output/compare_report.h"
#include "output/determined_report.h"
#include "output/gnuplot_run.h"
#include "output/study_figure.h"
#include "output/study_table.h"

namespace fs = std::filesystem;

namespace {

const char* const kStudySuffixes[] = {"-study.csv", "-study.json", "-study.gp", "-study.png", "-study.pdf",
                                      "-shared.csv"};

// Each curve's lines in the order of the study file, every curve's as one
// block, printed as soon as the curves before it are done.
class OrderedConsole {
 public:
  explicit OrderedConsole(size_t n) : text_(n), done_(n, false) {}
  void finish(size_t i, std::string text) {
#pragma omp critical(redordist_study_console)
    {
      text_[i] = std::move(text);
      done_[i] = true;
      while (next_ < done_.size() && done_[next_]) std::cout << text_[next_++] << std::flush;
    }
  }

 private:
  std::vector<std::string> text_;
  std::vector<bool> done_;
  size_t next_ = 0;
};

// Runs every curve whose inputs were accepted; status by curve (1 for a refused one).
std::vector<int> run_curves(StudyRequest const& q, StudyInputs const& st) {
  long n = static_cast<long>(st.curves.size());
  std::vector<int> status(st.curves.size(), -1);  // -1: not run
  OrderedConsole console(st.curves.size());
  if (!have_display() && claim_display_note())
    std::cout << "note: no display (DISPLAY and WAYLAND_DISPLAY are unset); each curve's .gp is written but not shown\n";
#pragma omp parallel for schedule(dynamic, 1) if (n > 1)
  for (long i = 0; i < n; i++) {
    StudyCurveInputs const& c = st.curves[i];
    std::ostringstream out;
    out << (i ? "\n" : "") << "=== curve " << c.name << ": " << st.path << st.base << "/" << c.name << "/ ===\n"
        << c.console;
    if (!c.reason.empty()) out << "refused: " << c.reason << "\n";
    else if (interrupt_signal() == 0)
      status[i] = run_one({c.inputs, q.solver, q.param_file, q.command, c.warnings, q.fit_scaling, &out});
    console.finish(i, out.str());
  }
  return status;
}

// The reason a curve failed, or "".
std::string failure(StudyCurveInputs const& c, int status, std::string const& dir) {
  if (!c.reason.empty()) return c.reason;
  if (status == 0) return "";
  if (status < 0) return "not run: the study was interrupted";
  if (status >= 128) return std::string("interrupted by ") + interrupt_signal_name() + "; the results so far are written";
  return "the run ended with status " + std::to_string(status) + "; see " + dir + c.name + ".log";
}

// The table, its JSON and the figure; false when one could not be written.
bool write_study_files(StudyResult const& r, int status, nlohmann::json const& shared) {
  std::string stem = r.path + r.base + "-study";
  bool ok = true;
  nlohmann::json j = study_json(r, status);
  if (!shared.is_null()) j["shared"] = shared;
  if (!write_file_atomically(stem + ".csv", study_csv(r)) ||
      !write_file_atomically(stem + ".json", j.dump(2) + "\n")) {
    std::cout << "could not write the study's table " << stem << ".csv and .json\n";
    ok = false;
  }
  if (!render_study_figure(r)) ok = false;
  std::cout << "Study files: " << stem << ".csv, " << stem << ".json";
  if (fs::exists(stem + ".png")) std::cout << ", " << stem << ".png and .pdf";
  std::cout << std::endl;
  return ok;
}

// What the curves determine together: the shared distribution's effective
// distance, mean and sd, each starred when the single Gaussians the curves
// allow leave it open, and those Gaussians' widths.
std::string together_line(StackedAssessment const& t) {
  if (!t.width.computed) return "";
  WidthAllowed const& w = t.width;
  std::string peaks = "; peaks" + peak_list(t.peaks, t.supported_peaks, "curves");
  if (!t.one_gaussian_fits)
    return format("  Together: no single Gaussian fits these curves (chi2 %.1f at best), so the shared fit's "
                  "effective distance %.3f Angstrom, mean %.3f and sd %.3f are not judged%s\n",
                  w.best_chi2, t.effective, t.mean, t.sd, peaks.c_str());
  auto star = [](bool determined) { return determined ? "" : "*"; };
  bool open = !(t.effective_determined && t.mean_determined && t.sd_determined && t.width_determined);
  return format("  Together: effective distance %.3f%s Angstrom (single Gaussians %.3f to %.3f), mean %.3f%s, "
                "sd %.3f%s; widths allowed %.3f to %.3f Angstrom%s%s%s\n",
                t.effective, star(t.effective_determined), w.effective_lo, w.effective_hi, t.mean,
                star(t.mean_determined), t.sd, star(t.sd_determined), w.width_lo, w.width_hi,
                star(t.width_determined), peaks.c_str(),
                open ? " (*: not determined by these curves)" : "");
}

// The shared fit's lines on standard output; its summary for the study's JSON.
nlohmann::json shared_fit(StudyInputs const& st, StudyResult const& r, bool fit_scaling) {
  SharedFit f = fit_shared(st, r.rows, r.solver, fit_scaling);
  if (!f.failure.empty()) {
    std::cout << "No shared fit: " << f.failure << "\n";
    return shared_json(f);
  }
  char b[400];
  if (f.solver == "gaussians")  // k Gaussians: 3k - 1 parameters
    std::snprintf(b, sizeof b, "Shared fit of %zu curves (gaussians): chi2 %.4f, %zu Gaussian%s; AIC %.2f shared, %.2f separate\n",
                  f.curves.size(), f.chi2_total, f.components.size(), f.components.size() == 1 ? "" : "s", f.aic_shared,
                  f.aic_separate);
  else if (f.solver == "annealing")  // one multiplier per point, shared or not: no parameters counted
    std::snprintf(b, sizeof b, "Shared fit of %zu curves (annealing): chi2 %.4f; AIC %.2f shared, %.2f separate\n",
                  f.curves.size(), f.chi2_total, f.aic_shared, f.aic_separate);
  else
    std::snprintf(b, sizeof b, "Shared fit of %zu curves (maxent): chi2 %.4f, G %.2f; AIC %.2f shared, %.2f separate\n",
                  f.curves.size(), f.chi2_total, f.g, f.aic_shared, f.aic_separate);
  std::cout << b;
  if (f.scaling_fitted) {
    std::snprintf(b, sizeof b,
                  "  SCALING fitted by curve (%d round%s), its range at the shared distribution (chi2 within 4); "
                  "all scaled together by %.3f to %.3f with the distribution refitted (AIC within 4)\n",
                  f.rounds, f.rounds == 1 ? "" : "s", f.factor_lo4, f.factor_hi4);
    std::cout << b;
  }
  for (size_t c = 0; c < f.curves.size(); c++) {
    std::snprintf(b, sizeof b, "  %-16s chi2 per point %.4f shared, %.4f alone", f.curves[c].c_str(),
                  f.chi2[c] / f.points[c], f.separate_chi2[c] / f.points[c]);
    std::cout << b;
    if (f.scaling_fitted) {
      std::snprintf(b, sizeof b, "; SCALING %.4f (%.4f to %.4f), alone %.4f", f.scaling[c], f.scaling_lo4[c],
                    f.scaling_hi4[c], f.separate_scaling[c]);
      std::cout << b;
    }
    std::cout << "\n";
  }
  std::cout << together_line(f.together);
  if (!shared_rounds_warning(f).empty()) std::cout << shared_rounds_warning(f) << "\n";
  if (!shared_trap_warning(f).empty()) std::cout << shared_trap_warning(f) << "\n";
  std::string w = shared_warning(f);
  if (!w.empty()) std::cout << w << "\n";
  std::string table = st.path + st.base + "-shared.csv";
  if (!write_file_atomically(table, shared_csv(f))) std::cout << "could not write the shared fit's table " << table << "\n";
  return shared_json(f);
}

}  // namespace

int run_study(StudyRequest const& q) {
  install_interrupt_handlers();
  gsl_errors_as_statuses();
  StudyInputs st;
  if (InputStatus refusal = read_study_inputs(q.param_file, q.study_file, q.solver, st)) {
    std::cout << refusal->message << std::flush;
    return refusal->status;
  }
  std::string dir = st.path + st.base;
  std::error_code ec;
  fs::create_directory(dir, ec);
  if (!fs::is_directory(dir)) {
    std::cout << "Can't create the study directory " << dir << "\n";
    return 1;
  }
  for (char const* suffix : kStudySuffixes) fs::remove(dir + suffix, ec);
  defer_interrupts();
  std::vector<int> status = run_curves(q, st);
  StudyResult r{st.path, st.base, q.param_file, q.study_file, q.solver, q.command, {}};
  for (size_t i = 0; i < st.curves.size(); i++) {
    std::string name = st.curves[i].name;
    // A curve not run has no summary (its directory may hold an earlier study's).
    r.rows.push_back({name, status[i] < 0 ? 1 : status[i],
                      failure(st.curves[i], status[i], dir + "/" + name + "/"),
                      status[i] < 0 ? nlohmann::json() : read_summary(dir + "/", name)});
  }
  size_t failed = failed_curves(r);
  int worst = interrupt_signal() != 0 ? 128 + interrupt_signal() : failed > 0 ? 1 : 0;
  std::cout << "\n" << study_console_table(r);
  if (failed > 0) std::cout << failed << " of " << r.rows.size() << " curves failed\n";
  nlohmann::json shared = q.shared && interrupt_signal() == 0 ? shared_fit(st, r, q.fit_scaling) : nlohmann::json();
  bool ok = write_study_files(r, worst, shared);
  return std::max(worst, ok ? 0 : 1);
}
