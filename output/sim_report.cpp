#include "output/sim_report.h"

#include <cstdio>

#include "input/text_lines.h"
#include "model/prescribed_stats.h"

void report_simulation(Paar& m) {
  char b[300];
  std::snprintf(b, sizeof b, "Simulation chi2: %.4f for %d points (%.4f per point)\n", m.chi2,
                m.setup->n_data, m.chi2 / m.setup->n_data);
  m.report().out() << b;
  PrescribedStats p = prescribed_stats(*m.setup);
  if (!p.defined) {
    m.report().warn("warning: MODE is sim but DISTDIST " + printable(m.setup->distdist_file) +
                    " prescribes no distance with a fraction above 0: nothing dephases in the simulation, whose "
                    "curve is the constant 1 - SCALING; give DISTDIST a file of distances and fractions");
    return;
  }
  std::snprintf(b, sizeof b,
                "Simulated distribution: mean %.4f Angstrom, sd %.4f Angstrom, effective distance "
                "%.4f Angstrom (<r^-6>^(-1/6))\n",
                p.mean, p.sd, p.effective);
  m.report().out() << b;
}

nlohmann::json simulation_json(Paar const& m) {
  PrescribedStats p = prescribed_stats(*m.setup);
  if (!p.defined) return nullptr;
  return {{"mean", p.mean},         {"sd", p.sd},
          {"skewness", p.skewness}, {"excess_kurtosis", p.excess_kurtosis},
          {"effective", p.effective}, {"share", p.share},
          {"unit", "Angstrom"}};
}
