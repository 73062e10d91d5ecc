// SPDX-License-Identifier: GPL-3.0-or-later
// Starting the transcoder on POSIX systems with posix_spawn, never through a shell; a
// program whose name ends in ".exe" runs through `wine` from PATH, given Windows paths. Its
// standard output and error go into one pipe that is read while it runs, so the program never
// blocks on a full pipe: into the console when the output is to be shown, and always into a
// small tail that says what the program last wrote. The process gets standard input, output and
// error and no other descriptor, and a session of its own; Klangdorn ends it only when asked to
// stop it.
#pragma once

#include "job/ProcessControl.h"
#include "platform/ProcessOutputView.h"

#include <optional>
#include <string>
#include <vector>

namespace klangdorn
{

class PosixProcessLauncher final : public ProcessLauncher
{
public:
    // `console` receives the output of runs that show it; without one it is discarded.
    // `watcher` receives the output of every run, shown or not.
    explicit PosixProcessLauncher(ProcessOutputView* console = nullptr,
                                  ProcessOutputView* watcher = nullptr)
        : m_console(console), m_watcher(watcher)
    {
    }

    // The transcoder that came with the program: started so that it speaks German.
    void setBundledTranscoder(std::optional<std::string> path) { m_bundled = std::move(path); }

    std::unique_ptr<RunningProcess> launch(const std::vector<std::string>& arguments,
                                           const std::string& commandLine,
                                           bool showWindow) override;

    // Returns when the process has ended and is reaped. Meanwhile the window's events are
    // handled; the end wakes the wait at once (pidfd, or a 100 ms poll where there is none).
    // Also goes on when the application has been asked to quit, so the output is read to
    // the program's end.
    ProcessEnd fAppControl(RunningProcess& process) override;

private:
    ProcessOutputView* m_console;
    ProcessOutputView* m_watcher;
    std::optional<std::string> m_bundled;
};

// What is actually started: the program, its argument vector and, when it is not the
// program's own, its environment; for a Windows program, the code page its output is in.
struct SpawnPlan {
    std::string program;
    std::vector<std::string> argv;
    std::optional<std::vector<std::string>> environment;
    std::optional<unsigned> outputCodePage;
};

// The plan for an argument list: as it is, or through wine for a ".exe" in any letter case,
// with the program and path arguments as the Windows paths of the current wine prefix.
// Throws RuntimeError 53 for a missing ".exe" (naming it) or a missing wine (saying that
// wine is needed for a Windows program), and 75 naming a path Windows cannot open.
// The bundled transcoder (`bundled`) gets an environment in which it speaks German; any other
// program the user's environment unchanged.
SpawnPlan PlanSpawn(const std::vector<std::string>& arguments,
                    const std::optional<std::string>& bundled = std::nullopt);

// True when the program must run through wine.
bool NeedsWine(const std::string& program);

// The first executable file `name` in the folders of PATH.
std::optional<std::string> FindOnPath(const std::string& name);

} // namespace klangdorn
