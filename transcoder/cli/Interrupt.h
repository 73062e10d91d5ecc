// SPDX-License-Identifier: GPL-3.0-or-later
// SIGINT, SIGTERM, SIGHUP and SIGQUIT end a run cleanly: the handler only notes the signal, the
// pipeline checks the note between packets and unwinds, so the temporary output is removed on
// the way out. SIGPIPE is ignored: a run goes on without anyone reading its progress; SIGXFSZ
// too: a write beyond the file size limit fails instead.
#pragma once

namespace besweet
{

// Thrown by the pipeline when a signal asked it to stop.
struct Interrupted {
    int signal;
};

void installInterruptHandlers();

// The signal received, 0 when none.
[[nodiscard]] int receivedSignal();

// Throws Interrupted when a signal was received.
void stopWhenInterrupted();

// Ends the process the way the signal would have, once everything is cleaned up.
[[noreturn]] void dieOfSignal(int signal);

} // namespace besweet
