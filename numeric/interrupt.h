// SIGINT and SIGTERM end a run at its next safe point instead of at once:
// the handler only records the signal; the annealing and the Monte Carlo
// look at the flag between steps, and the entry point writes what is done.
#ifndef REDORDIST_NUMERIC_INTERRUPT_H
#define REDORDIST_NUMERIC_INTERRUPT_H

#include <atomic>

void install_interrupt_handlers();

// The flag the long loops poll (true once a signal came).
std::atomic<bool> const* interrupt_flag();

// The signal that came (SIGINT, SIGTERM), or 0.
int interrupt_signal();

// "SIGINT" or "SIGTERM".
char const* interrupt_signal_name();

#endif
