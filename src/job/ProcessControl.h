// SPDX-License-Identifier: GPL-3.0-or-later
// Starting the transcoder and waiting for its end, behind an interface: the platform layer
// gives the real launcher, the tests give fakes that end as scripted.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace klangdorn
{

// How a process ended: with an exit code, killed by a signal (POSIX only), or unknown (its
// status was collected elsewhere): then only what it left behind tells.
struct ProcessEnd {
    enum class Kind { Exited, Signalled, Unknown };
    Kind kind = Kind::Exited;
    long long code = 0; // the exit code, or the number of the signal

    static ProcessEnd exited(long long exitCode) { return {Kind::Exited, exitCode}; }
    static ProcessEnd signalled(int signal) { return {Kind::Signalled, signal}; }
    static ProcessEnd unknown() { return {Kind::Unknown, 0}; }
    bool succeeded() const { return kind == Kind::Exited && code == 0; }
    friend bool operator==(const ProcessEnd&, const ProcessEnd&) = default;
};

// A started process. Destroying it never kills the process; only stop() ends it.
class RunningProcess
{
public:
    virtual ~RunningProcess() = default;
    virtual long long processId() const = 0;
    // The end of what the program wrote to its standard output and error, once it has
    // ended; nothing when the launcher does not collect it (on Windows the transcoder writes
    // into a console of its own).
    virtual std::optional<std::string> lastOutput() const { return std::nullopt; }
    // The bundled transcoder's warnings over all it wrote, once it has ended, each without its
    // prefix; empty when the launcher does not collect them.
    virtual std::vector<std::string> warnings() const { return {}; }
    // Asks the process to end (SIGTERM on POSIX; on Windows it is terminated) and returns at
    // once; the wait then sees its end. False when it had ended on its own already: then its
    // end is its own, not the stop's.
    virtual bool stop() = 0;
};

class ProcessLauncher
{
public:
    virtual ~ProcessLauncher() = default;

    // Starts the program arguments[0] with the other arguments and returns at once.
    // `commandLine` is the same list as one quoted line (what Windows takes); `showWindow`
    // says whether the transcoder's output is shown. Throws RuntimeError 53 naming the path
    // when the program (or the runner it needs) does not exist, and the operating system's
    // reason when it cannot be started otherwise; nothing is left running then.
    virtual std::unique_ptr<RunningProcess> launch(const std::vector<std::string>& arguments,
                                                   const std::string& commandLine,
                                                   bool showWindow) = 0;

    // Returns once the process has ended, handling the window's events meanwhile.
    virtual ProcessEnd fAppControl(RunningProcess& process) = 0;
};

} // namespace klangdorn
