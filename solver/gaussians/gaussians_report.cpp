// Fixed-width report of the Gaussian mixture fits.
#include "solver/gaussians/gaussians_report.h"

#include <cstdio>

#include "model/gaussian_mixture.h"

namespace {

template <typename... A>
std::string fmt(char const* f, A... a) {
  char buf[160];
  std::snprintf(buf, sizeof buf, f, a...);
  return buf;
}

}  // namespace

std::vector<std::string> gaussian_report_lines(MixtureSelection const& sel, double near, double far) {
  std::vector<std::string> out;
  out.push_back(fmt("Gaussian distance models, each truncated to %.3f - %.3f Angstrom", near, far));
  out.push_back("  k          chi2           AIC");
  for (size_t i = 0; i < sel.fits.size(); i++) {
    MixtureFit const& f = sel.fits[i];
    if (!f.ok)
      out.push_back(fmt("%3d  not fitted (fewer data points than parameters)", f.k));
    else
      out.push_back(fmt("%3d  %12.4f  %12.4f%s", f.k, f.chi2, f.aic,
                        static_cast<int>(i) == sel.chosen ? "  chosen" : ""));
  }
  if (sel.chosen < 0) {
    out.push_back("No Gaussian model could be fitted");
    return out;
  }
  MixtureFit const& c = sel.fits[sel.chosen];
  out.push_back(fmt("Chosen: %d Gaussian%s, mean %.3f Angstrom, sd %.3f Angstrom", c.k,
                    c.k > 1 ? "s" : "", sel.mean, sel.sd));
  out.push_back("   weight   centre (Angstrom)   width (Angstrom)");
  for (GaussComponent const& g : c.comp) {
    std::string w = g.width_at_floor ? fmt("not determined by these data (at the %.2f Angstrom floor)", kWidthFloor)
                                     : fmt("%.3f", g.width);
    out.push_back(fmt("%9.3f   %17.3f   %s", g.weight, g.centre, w.c_str()));
  }
  return out;
}

std::vector<std::string> gaussian_bootstrap_lines(MixtureSpread const& s) {
  std::vector<std::string> out;
  out.push_back(fmt("Bootstrap: k = 1 chosen %d, k = 2 chosen %d, k = 3 chosen %d of %d replicates",
                    s.chosen_k[0], s.chosen_k[1], s.chosen_k[2], s.replicates));
  if (s.same_k < 2) return out;
  out.push_back(fmt("Over the %d replicates with the fit's k (mean +- sd):", s.same_k));
  out.push_back("   weight            centre (Angstrom)   width (Angstrom)");
  for (size_t c = 0; c < s.mean.size(); c++)
    out.push_back(fmt("%6.3f +- %.3f   %7.3f +- %.3f   %6.3f +- %.3f", s.mean[c].weight,
                      s.sd[c].weight, s.mean[c].centre, s.sd[c].centre, s.mean[c].width,
                      s.sd[c].width));
  return out;
}
