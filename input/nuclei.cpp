#include "input/nuclei.h"

#include "input/text_lines.h"

namespace {

struct Nucleus {
  int mass;
  char const* symbol;
  double gamma;  // 10^7 rad s^-1 T^-1, magnitude
};

// The six of the first versions (rounded values, kept so that results do not
// change), then the common spin-1/2 nuclei with the magnetogyric ratios of
// R. K. Harris, E. D. Becker, S. M. Cabral de Menezes, R. Goodfellow and
// P. Granger, "NMR nomenclature. Nuclear spin properties and conventions for
// chemical shifts (IUPAC Recommendations 2001)", Pure Appl. Chem. 73 (2001)
// 1795-1818, Table 1 (the IUPAC values NIST's and the Bruker tables quote).
const Nucleus kNuclei[] = {
    {1, "H", gH},
    {2, "H", gD},             // deuterium (spin 1), also written D2
    {13, "C", gC},
    {15, "N", gN},            // Harris: -2.71261804
    {19, "F", gF},
    {31, "P", gP},
    {29, "Si", 5.3190},       // Harris: -5.3190
    {77, "Se", 5.1253857},    // Harris: 5.1253857
    {89, "Y", 1.3162791},     // Harris: -1.3162791
    {103, "Rh", 0.8468},      // Harris: -0.8468
    {109, "Ag", 1.2518634},   // Harris: -1.2518634
    {113, "Cd", 5.9609155},   // Harris: -5.9609155
    {117, "Sn", 9.58879},     // Harris: -9.58879
    {119, "Sn", 10.0317},     // Harris: -10.0317
    {125, "Te", 8.5108404},   // Harris: -8.5108404
    {129, "Xe", 7.452103},    // Harris: -7.452103
    {183, "W", 1.1282403},    // Harris: 1.1282403
    {195, "Pt", 5.8385},      // Harris: 5.8385
    {199, "Hg", 4.8457916},   // Harris: 4.8457916
    {205, "Tl", 15.6921808},  // Harris: 15.6921808
    {207, "Pb", 5.58046},     // Harris: 5.58046
};

}  // namespace

bool find_gamma(std::string const& name, double& gamma) {
  for (auto const& n : kNuclei) {
    std::string mass = std::to_string(n.mass);
    if (name == mass + n.symbol || name == n.symbol + mass) {
      gamma = n.gamma;
      return true;
    }
  }
  if (name != "D2") return false;
  gamma = gD;
  return true;
}

std::string accepted_nuclei() {
  std::string names;
  for (auto const& n : kNuclei) names += " " + std::to_string(n.mass) + n.symbol;
  return names.substr(1) + " (or symbol first: C13; D2 for 2H)";
}

InputStatus lookup_nuclei(std::string const& detect, std::string const& dephase, double& gamma_x,
                          double& gamma_y) {
  if (!find_gamma(detect, gamma_x))
    return refused("detect nucleus (X) not recognized: XN is " + quote_token(detect) +
                   "; accepted: " + accepted_nuclei() + "\n");
  if (!find_gamma(dephase, gamma_y))
    return refused("dephasing nucleus (Y) not recognized: YN is " + quote_token(dephase) +
                   "; accepted: " + accepted_nuclei() + "\n");
  return std::nullopt;
}

double dipolar_constant_of(double gamma_x, double gamma_y) {
  // gamma_x gamma_y hbar mu0/4pi / r^3 / 2pi, the powers of ten (10^7 twice,
  // 10^-34, 10^-7, 10^30) gathered in 1000.
  return gamma_x * gamma_y * hbar * 1000 / pi2;
}
