// SPDX-License-Identifier: GPL-3.0-or-later
// The signal note and its handlers.
#include "cli/Interrupt.h"

#include <csignal>
#include <cstdlib>
#include <initializer_list>

namespace besweet
{

namespace
{

volatile std::sig_atomic_t g_signal = 0;

extern "C" void noteSignal(int signal)
{
    g_signal = signal;
}

} // namespace

void installInterruptHandlers()
{
    struct sigaction action {
    };
    action.sa_handler = noteSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
        sigaction(signal, &action, nullptr);
    // A reader of the progress that went away must not end the run: the writes fail instead
    // (see Progress).
    std::signal(SIGPIPE, SIG_IGN);
    // A file size limit (ulimit -f) must fail the write, which ends the run cleanly, rather than
    // kill the process and leave its temporary file.
    std::signal(SIGXFSZ, SIG_IGN);
}

int receivedSignal()
{
    return g_signal;
}

void stopWhenInterrupted()
{
    if (g_signal != 0)
        throw Interrupted{g_signal};
}

void dieOfSignal(int signal)
{
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    std::_Exit(128 + signal);
}

} // namespace besweet
