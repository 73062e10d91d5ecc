// SPDX-License-Identifier: GPL-3.0-or-later
// Whether the session bus answers, asked with a time limit before anything of Qt's or ours
// first reaches it. A bus that accepts connections and never answers
// would hold up every first call to it without end, the window's among them (Qt's
// accessibility bridge and menu bar ask it while the window is built); when it is silent, the
// process's bus address is turned to one that fails at once, so Qt and we go on without it;
// so is a missing one, which would have the bus library start a daemon that outlives us.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace klangdorn
{

enum class BusAnswer {
    Answers,   // the bus took the greeting and answered it
    Silent,    // it accepted the connection and said nothing in time, or took none
    Absent,    // nothing there: every call fails at once without help
    Unchecked, // an address of a kind not checked here (tcp:, autolaunch:), left as it is
};

// The socket name a bus address leads to first: a path, or an abstract name starting with
// '\0'. Nothing for an address without a local socket.
std::optional<std::string> BusSocketOf(std::string_view address);

// Connects to the socket and greets the bus as a client does (authentication, then the
// greeting call every connection starts with), waiting at most `limit` in all.
BusAnswer AskBus(const std::string& socket, std::chrono::milliseconds limit);

// The address the session bus is reached at: DBUS_SESSION_BUS_ADDRESS, else the user's bus
// socket in XDG_RUNTIME_DIR where there is one.
std::optional<std::string> SessionBusAddress();

// An address that fails at once, for a process that goes on without the bus.
inline constexpr const char* NoBusAddress = "unix:path=/dev/null/kein-sitzungsbus";

// An address that only starts a bus daemon of its own ("autolaunch:").
bool OnlyStartsADaemon(std::string_view address);

// Asks the session bus, at most `limit`, and leaves in the environment only a bus that
// answers: a silent bus, or none, is replaced by NoBusAddress, so nothing waits on it or starts
// a daemon; an address found as the user's bus socket is put there outright. It changes the
// environment: call it before Qt starts and before any other thread runs. Silent is answered
// once; asked again, the bus counts as absent.
BusAnswer SettleSessionBus(std::chrono::milliseconds limit);

// What the user is told once on standard error when the bus is silent.
std::string SilentBusText(std::string_view program);

} // namespace klangdorn
