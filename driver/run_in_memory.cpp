#include "driver/run_in_memory.h"

#include <memory>
#include <sstream>

#include "driver/solve_and_assess.h"
#include "model/paar.h"
#include "output/run_summary.h"

namespace {

// The estimates refresh the tables after each block; in memory there are none.
void no_tables(Paar&) {}

}  // namespace

MemoryRun run_in_memory(RunInputs const& inputs, std::string const& solver, bool fit_scaling,
                        std::vector<std::string> const& input_warnings) {
  MemoryRun run;
  auto setup = std::make_shared<RunSetup>(inputs);
  if (!setup->problem().empty()) {
    run.refusal = setup->problem();
    return run;
  }
  setup->write_traces = false;
  std::ostringstream console;
  Report report(&console, false);
  for (std::string const& w : input_warnings) report.keep_warning(w);
  Paar model(setup, report);
  model.results.solver = solver;
  setup->report_inputs(report);
  setup->build_transforms(report);
  // The order of run_one's run_mode, less the files.
  RunSummary summary;
  SolveOutcome o = solve_and_assess(model, solver, no_tables, fit_scaling, summary);
  bool failed = model.results.solver_failed || !o.finite ||
                (o.mc != McStatus::kDone && o.mc != McStatus::kInterrupted);
  model.calc_state();  // the full evaluation the result table makes
  std::string before = console.str();
  if (summary.fitted) report_result_lines(model, summary.assessment);
  run.result_lines = console.str().substr(before.size());
  summary.status = run.status = failed ? 1 : 0;
  run.summary = summary_json(model, summary);
  run.summary["files"] = nlohmann::json::array();
  run.warnings = report.warnings();
  run.console = console.str();
  return run;
}
