// The nuclei a run may name (XN, YN) and their gyromagnetic ratios.
#ifndef REDORDIST_INPUT_NUCLEI_H
#define REDORDIST_INPUT_NUCLEI_H

#include <string>

#include "input/input_status.h"

// Gyromagnetic ratios in 10^7 rad s^-1 T^-1 (magnitudes: the sign plays no
// part in a dipolar coupling), hbar in 10^-34 J s. The six nuclei of the
// first versions keep their rounded values so that results compare bit for
// bit; the others are in nuclei.cpp.
const double gC = 6.7283;
const double gN = 2.712;
const double gD = 4.1066;
const double gF = 25.181;
const double gP = 10.841;
const double gH = 26.7522205;
const double hbar = 1.05457168;
const double pi = 3.14159265359;
const double pi2 = 6.28318530718;

// The gyromagnetic ratio of a nucleus named as spectroscopists write it,
// mass first or symbol first (13C or C13, 2H, H2 or D2), letter case as in
// the element symbol; false when the name is not a known spin-1/2 nucleus
// (or deuterium).
bool find_gamma(std::string const& name, double& gamma);

// The accepted names, mass first, for messages and help.
std::string accepted_nuclei();

// Looks up both nuclei of a run; an unknown name is refused with a message
// naming the nucleus (X or Y) and what is accepted.
InputStatus lookup_nuclei(std::string const& detect, std::string const& dephase, double& gamma_x,
                          double& gamma_y);

// Coupling in Hz of a pair 1 Angstrom apart (Hz Angstrom^3).
double dipolar_constant_of(double gamma_x, double gamma_y);

#endif
