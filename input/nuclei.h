// The nuclei a run may name (XN, YN) and their gyromagnetic ratios.
#ifndef REDORDIST_INPUT_NUCLEI_H
#define REDORDIST_INPUT_NUCLEI_H

#include <string>

// Gyromagnetic ratios in 10^7 rad s^-1 T^-1, hbar in 10^-34 J s.
const double gC = 6.7283;
const double gN = 2.712;
const double gD = 4.1066;
const double gF = 25.181;
const double gP = 10.841;
const double gH = 26.7522205;
const double hbar = 1.05457168;
const double pi = 3.14159265359;
const double pi2 = 6.28318530718;

// The gyromagnetic ratio of a nucleus named as in the parameter file
// (C13 N15 D2 H2 F19 P31 H1, whole and case-sensitively); false when the
// name is not one of them.
bool find_gamma(std::string const& name, double& gamma);

// Looks up both nuclei of a run; an unknown name ends the process with a
// message naming the nucleus (X or Y), status 1.
void lookup_nuclei(std::string const& detect, std::string const& dephase, double& gamma_x,
                   double& gamma_y);

// Coupling in Hz of a pair 1 Angstrom apart (Hz Angstrom^3).
double dipolar_constant_of(double gamma_x, double gamma_y);

#endif
