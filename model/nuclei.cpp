// Nuclei and the dipolar constant of the observed pair.
#include <string>

#include "model/paar.h"

namespace {

struct Nucleus {
  char const* name;
  double gamma;
};
// Compared in this order, whole and case-sensitively.
const Nucleus kNuclei[] = {{"C13", gC}, {"N15", gN}, {"D2", gD}, {"H2", gD},
                           {"F19", gF}, {"P31", gP}, {"H1", gH}};

bool find_gamma(std::string const& name, double& gamma) {
  for (auto const& n : kNuclei) {
    if (name == n.name) {
      gamma = n.gamma;
      return true;
    }
  }
  return false;
}

}  // namespace

void Paar::lookup_nuclei() {
  if (!find_gamma(detect_nucleus, gamma_x)) fatal_exit("detect nucleus (X) not recognized\n", 1);
  if (!find_gamma(dephase_nucleus, gamma_y)) fatal_exit("dephasing nucleus (Y) not recognized\n", 1);
  // Coupling in Hz of a pair 1 Angstrom apart: gamma_x gamma_y hbar mu0/4pi / r^3,
  // the powers of ten (10^7 twice, 10^-34, 10^-7, 10^30) gathered in 1000.
  dipolar_constant = gamma_x * gamma_y * hbar * 1000 / pi2;
}
