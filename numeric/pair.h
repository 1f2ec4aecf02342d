// Two doubles side by side through GCC's and Clang's vector extension (SSE2
// on x86-64, NEON on ARM, plain code elsewhere). Element-wise operations on
// pairs give the bits of the same operations one at a time (without
// contraction into fused multiply-adds, which the build forbids).
#ifndef REDORDIST_NUMERIC_PAIR_H
#define REDORDIST_NUMERIC_PAIR_H

#include <cstring>

typedef double Pair __attribute__((vector_size(16)));

inline Pair load_pair(double const* p) {
  Pair v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

inline void store_pair(double* p, Pair v) { std::memcpy(p, &v, sizeof v); }

#endif
