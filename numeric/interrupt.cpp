#include "numeric/interrupt.h"

#include <csignal>

namespace {

std::atomic<bool> g_interrupted{false};
std::atomic<bool> g_deferred{false};
volatile std::sig_atomic_t g_signal = 0;

extern "C" void on_signal(int sig) {
  if (!g_deferred.load()) {
    // The default action (termination by this signal) once the handler
    // returns: the signal stays blocked until then.
    struct sigaction dfl = {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    sigaction(sig, &dfl, nullptr);
    raise(sig);
    return;
  }
  g_signal = sig;
  g_interrupted.store(true);
}

}  // namespace

void install_interrupt_handlers() {
  struct sigaction sa = {};
  sa.sa_handler = on_signal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  // A closed terminal or ssh session: stop as on SIGTERM, with the results
  // so far and a summary of this run (status 129).
  sigaction(SIGHUP, &sa, nullptr);
}

void defer_interrupts() { g_deferred.store(true); }

std::atomic<bool> const* interrupt_flag() { return &g_interrupted; }

int interrupt_signal() { return g_interrupted.load() ? static_cast<int>(g_signal) : 0; }

char const* interrupt_signal_name() {
  switch (interrupt_signal()) {
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return "SIGINT";
  }
}
