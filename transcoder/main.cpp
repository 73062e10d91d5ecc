// SPDX-License-Identifier: GPL-3.0-or-later
// besweet: Klangdorn's bundled command-line transcoder. Reads the command line, refuses an
// output that would overwrite the input or cannot be written, runs the transcode and reports the
// outcome as one line on standard error and as the exit code.
#include "Transcoder.h"
#include "cli/ExitCode.h"
#include "cli/Interrupt.h"
#include "cli/Options.h"
#include "common/SameFile.h"
#include "core/Av.h"
#include "core/Text.h"
#include "output/LogFile.h"
#include "output/OutputFile.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <iostream>
#include <new>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

using namespace besweet;

bool sameFile(const std::string& a, const std::string& b)
{
    return klangdorn::IsSameExistingFile(a, b);
}

// Two paths for the same file, whether it exists yet or not: the same file, or the same name in
// the same folder ("o.mpa" and "./o.mpa").
bool samePlace(const std::string& a, const std::string& b)
{
    return sameFile(a, b) || (nameOf(a) == nameOf(b) && sameFile(folderOf(a), folderOf(b)));
}

// Refuses a run that would write over its own input (or its output with the log); the
// command line is at fault, so it is a usage error.
std::optional<int> refuseOverwritingInput(const Options& options)
{
    const auto refuse = [](const Text& why) {
        std::cerr << "besweet: " << why.local << '\n';
        return ExitUsage;
    };
    if (sameFile(options.input, options.output))
        return refuse(text("%s: is the input file; choose another output", options.output));
    if (!options.logfile.empty() && sameFile(options.input, options.logfile))
        return refuse(text("%s: is the input file; choose another log file", options.logfile));
    if (!options.logfile.empty() && (samePlace(options.logfile, options.output) ||
                                     samePlace(options.logfile, resolveLinks(options.output))))
        return refuse(text("%s: is the output file; choose another log file", options.logfile));
    return std::nullopt;
}

// Refuses, before any work, a target that cannot be written.
std::optional<int> refuseUnwritableTarget(const Options& options)
{
    const auto why = whyTargetUnwritable(options.output);
    if (!why)
        return std::nullopt;
    std::cerr << "besweet: " << text("%s: %s", options.output, *why).local << '\n';
    return ExitFailure;
}

// Puts the log in place; says so on standard error when it could not be written whole.
void closeLog(LogFile& log, const Options& options)
{
    sendLibraryMessagesTo(nullptr);
    if (const auto problem = log.close())
        std::cerr << "besweet: "
                  << (log.keptPrevious()
                          ? text("%s: the new log could not be written whole, the previous log is "
                                 "kept: %s",
                                 options.logfile, *problem)
                      : log.inPlace()
                          ? text("%s: the log is incomplete: %s", options.logfile, *problem)
                          : text("%s: no log could be written: %s", options.logfile, *problem))
                         .local
                  << '\n';
}

// Started with a standard descriptor closed (as daemons and some scripts do), the first file
// opened would take its number: progress text would go into the track. /dev/null fills the gaps
// before anything else is opened; false when it cannot.
bool fillClosedStandardDescriptors()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF)
            continue;
        const int opened = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (opened != fd)
            return false;
    }
    return true;
}

std::string localTime()
{
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    char stamp[64];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &parts);
    return stamp;
}

std::string commandLine(const Options& options)
{
    std::string line = "besweet";
    for (const auto& argument : options.arguments)
        line += ' ' + (argument.find_first_of(" \t") == std::string::npos ? argument
                                                                          : '"' + argument + '"');
    return line;
}

std::string outputSize(const std::string& path)
{
    struct stat info {
    };
    if (::stat(path.c_str(), &info) != 0)
        return "unknown";
    return std::to_string(info.st_size) + " bytes";
}

} // namespace

int main(int argc, char** argv)
{
    if (!fillClosedStandardDescriptors())
        return ExitFailure;
    useUserLanguage();
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    Options options;
    if (const auto exitCode = parseArguments(arguments, options, std::cout, std::cerr))
        return *exitCode;
    if (const auto exitCode = refuseOverwritingInput(options))
        return *exitCode;
    if (const auto exitCode = refuseUnwritableTarget(options))
        return *exitCode;

    installInterruptHandlers();
    LogFile log;
    if (!options.logfile.empty() && !log.open(options.logfile))
        std::cerr << "besweet: "
                  << text("%s: cannot write the log (%s); going on without", options.logfile,
                          log.problem())
                         .local
                  << '\n';
    sendLibraryMessagesTo(&log);

    const auto started = std::chrono::steady_clock::now();
    const auto elapsed = [&] {
        const std::chrono::duration<double> taken = std::chrono::steady_clock::now() - started;
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.2f s", taken.count());
        return std::string(seconds);
    };
    log.line("besweet " BESWEET_VERSION " started " + localTime());
    log.line("command line: " + commandLine(options));

    int signal = 0;
    std::optional<Text> failure;
    try {
        transcode(options, log);
    } catch (const WorkError& error) {
        failure = error.message();
        // A failure of no file's own (memory, an encoder missing) is the output's: not made.
        if (!failure->english.starts_with(escapedControls(options.input) + ": ") &&
            !failure->english.starts_with(escapedControls(options.output) + ": "))
            failure = text("%s: %s", options.output, *failure);
    } catch (const Interrupted& interrupted) {
        signal = interrupted.signal;
        failure = text("%s: interrupted by signal %d; nothing written", options.output, signal);
    } catch (const std::bad_alloc&) {
        failure = text("%s: out of memory; nothing written", options.output);
    } catch (const std::system_error& error) {
        failure = text("%s: %s", options.output, reasonOf(error));
    } catch (const std::exception& error) {
        // A fault of this program's own: the person gets a plain reason, the log its detail.
        failure = text("%s: an internal error of this program; nothing written", options.output);
        failure->english += std::string(" (") + error.what() + ")";
    }

    if (!failure) {
        log.line("output: " + options.output + ", " + outputSize(options.output));
        log.line("result: done in " + elapsed());
        closeLog(log, options);
        return ExitSuccess;
    }
    std::fflush(stdout);
    // The failure comes last: a reader takes the last line as the cause, and a log that the
    // same full disk left incomplete is its follow-on.
    log.line("result: failed after " + elapsed() + ": " + failure->english);
    closeLog(log, options);
    std::cerr << "besweet: " << failure->local << '\n';
    if (signal != 0)
        dieOfSignal(signal);
    return ExitFailure;
}
