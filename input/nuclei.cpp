#include "input/nuclei.h"

#include "input/text_lines.h"
#include "numeric/fatal.h"

namespace {

struct Nucleus {
  char const* name;
  double gamma;
};
// Compared in this order, whole and case-sensitively.
const Nucleus kNuclei[] = {{"C13", gC}, {"N15", gN}, {"D2", gD}, {"H2", gD},
                           {"F19", gF}, {"P31", gP}, {"H1", gH}};

}  // namespace

bool find_gamma(std::string const& name, double& gamma) {
  for (auto const& n : kNuclei) {
    if (name == n.name) {
      gamma = n.gamma;
      return true;
    }
  }
  return false;
}

void lookup_nuclei(std::string const& detect, std::string const& dephase, double& gamma_x,
                   double& gamma_y) {
  std::string names;
  for (auto const& n : kNuclei) names += std::string(" ") + n.name;
  if (!find_gamma(detect, gamma_x))
    fatal_exit("detect nucleus (X) not recognized: XN is " + quote_token(detect) +
                   "; accepted:" + names + "\n",
               1);
  if (!find_gamma(dephase, gamma_y))
    fatal_exit("dephasing nucleus (Y) not recognized: YN is " + quote_token(dephase) +
                   "; accepted:" + names + "\n",
               1);
}

double dipolar_constant_of(double gamma_x, double gamma_y) {
  // gamma_x gamma_y hbar mu0/4pi / r^3 / 2pi, the powers of ten (10^7 twice,
  // 10^-34, 10^-7, 10^30) gathered in 1000.
  return gamma_x * gamma_y * hbar * 1000 / pi2;
}
