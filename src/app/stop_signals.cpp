#include "app/stop_signals.h"

#include <csignal>

namespace {

// NOTE: a handler may only write a lock-free atomic or a volatile sig_atomic_t
volatile std::sig_atomic_t caughtSignal = 0;

extern "C" void noteStopSignal(int signal)
{
    caughtSignal = signal;
}

} // namespace

namespace StopSignals {

void catchThem()
{
    std::signal(SIGINT, noteStopSignal);
    std::signal(SIGTERM, noteStopSignal);
#ifdef SIGHUP
    std::signal(SIGHUP, noteStopSignal);
#endif
}

int caught()
{
    return caughtSignal;
}

void reset()
{
    caughtSignal = 0;
}

} // namespace StopSignals
