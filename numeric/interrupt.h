// SIGINT, SIGTERM and SIGHUP. Until the run starts writing, a signal ends the process
// at once, as if no handler were installed (status 128 + signal in the
// shell): nothing is lost, and a read blocked on a FIFO or a terminal ends
// too. From then on a signal ends the run at its next safe point: the
// handler only records it; the kernel fill, the annealing and the Monte
// Carlo look at the flag, and the entry point writes what is done.
#ifndef REDORDIST_NUMERIC_INTERRUPT_H
#define REDORDIST_NUMERIC_INTERRUPT_H

#include <atomic>

// Catches both signals (an inherited "ignore" included); each ends the
// process at once until defer_interrupts() is called.
void install_interrupt_handlers();

// From here on a signal only sets the flag; one that came before has ended
// the process already.
void defer_interrupts();

// The flag the long loops poll (true once a signal came).
std::atomic<bool> const* interrupt_flag();

// The signal that came (SIGINT, SIGTERM, SIGHUP), or 0.
int interrupt_signal();

// "SIGINT", "SIGTERM" or "SIGHUP".
char const* interrupt_signal_name();

#endif
