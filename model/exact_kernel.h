// The exact powder-averaged REDOR dephasing curve for an isolated spin pair
// with ideal pulses:
//     S/S0 = (sqrt(2) pi / 4) J_{1/4}(x) J_{-1/4}(x),   x = 2 sqrt(2) lambda_D,
// with lambda_D = j D / MAS (cycle index j = N_c / 2, coupling D and spinning
// rate in Hz). This is the limit of the tabulated powder average of
// model/redor_kernel.cpp (amplitude 4 sqrt(2) lambda_D) for infinitely many
// crystallite orientations.
#ifndef REDORDIST_MODEL_EXACT_KERNEL_H
#define REDORDIST_MODEL_EXACT_KERNEL_H

// S/S0 at dimensionless dephasing lambda_d >= 0 (the caller refuses negative
// values; the curve is even, and this returns the value at |lambda_d|).
// 1 at 0; absolute error below 1e-12 up to lambda_d 50 and beyond.
double redor_exact(double lambda_d);

#endif
