// besweet: Klangdorn's bundled command-line transcoder. Reads the command line, refuses an
// output that would overwrite the input or cannot be written, runs the transcode and reports the
// outcome as one line on standard error and as the exit code.
#include "Av.h"
#include "ExitCode.h"
#include "Interrupt.h"
#include "Options.h"
#include "RunLog.h"
#include "Transcoder.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavutil/log.h>
}

namespace
{

using namespace besweet;

RunLog* g_log = nullptr;

// FFmpeg's own warnings go into the run log, not onto the console: standard error carries
// one line per failure.
extern "C" void logFfmpeg(void* context, int level, const char* format, va_list args)
{
    if (level > AV_LOG_WARNING || !g_log)
        return;
    char text[1024];
    int prefix = 1;
    av_log_format_line2(context, level, format, args, text, sizeof text, &prefix);
    std::string line = std::string("ffmpeg: ") + text;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    g_log->line(line);
}

bool sameFile(const std::string& a, const std::string& b)
{
    struct stat first {
    };
    struct stat second {
    };
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// Refuses a run that would write over its own input (or its output with the log); the
// command line is at fault, so it is a usage error.
std::optional<int> refuseOverwritingInput(const Options& options)
{
    const auto refuse = [](const std::string& path, const char* what) {
        std::cerr << "besweet: " << path << ": " << what << '\n';
        return ExitUsage;
    };
    if (sameFile(options.input, options.output))
        return refuse(options.output, "is the input file; choose another output");
    if (!options.logfile.empty() && sameFile(options.input, options.logfile))
        return refuse(options.logfile, "is the input file; choose another log file");
    if (!options.logfile.empty() &&
        (options.logfile == options.output || sameFile(options.output, options.logfile)))
        return refuse(options.logfile, "is the output file; choose another log file");
    return std::nullopt;
}

// Refuses, before any work, a target that cannot be written: a folder, or a name in a folder
// that does not exist or cannot be written to.
std::optional<int> refuseUnwritableTarget(const Options& options)
{
    const auto refuse = [&](const std::string& why) {
        std::cerr << "besweet: " << options.output << ": " << why << '\n';
        return ExitFailure;
    };
    struct stat info {
    };
    if (::stat(options.output.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        return refuse("is a folder; give a file name for the output");
    std::string folder = std::filesystem::path(options.output).parent_path().string();
    if (folder.empty())
        folder = ".";
    if (::stat(folder.c_str(), &info) != 0)
        return refuse("cannot write in '" + folder + "': " + std::strerror(errno));
    if (!S_ISDIR(info.st_mode))
        return refuse("cannot write in '" + folder + "': it is not a folder");
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        return refuse("cannot write in '" + folder + "': " + std::strerror(errno));
    return std::nullopt;
}

std::string localTime()
{
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return text;
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
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    Options options;
    if (const auto exitCode = parseArguments(arguments, options, std::cout, std::cerr))
        return *exitCode;
    if (const auto exitCode = refuseOverwritingInput(options))
        return *exitCode;
    if (const auto exitCode = refuseUnwritableTarget(options))
        return *exitCode;

    installInterruptHandlers();
    RunLog log;
    if (!options.logfile.empty() && !log.open(options.logfile))
        std::cerr << "besweet: " << options.logfile << ": cannot write the log; going on without\n";
    g_log = &log;
    av_log_set_callback(logFfmpeg);

    const auto started = std::chrono::steady_clock::now();
    const auto elapsed = [&] {
        const std::chrono::duration<double> taken = std::chrono::steady_clock::now() - started;
        char text[32];
        std::snprintf(text, sizeof text, "%.2f s", taken.count());
        return std::string(text);
    };
    log.line("besweet " BESWEET_VERSION " started " + localTime());
    log.line("command line: " + commandLine(options));

    int signal = 0;
    std::string failure;
    try {
        transcode(options, log);
    } catch (const WorkError& error) {
        failure = error.what();
    } catch (const Interrupted& interrupted) {
        signal = interrupted.signal;
        failure = options.output + ": interrupted by signal " + std::to_string(signal) +
                  "; nothing written";
    } catch (const std::exception& error) {
        failure = options.output + ": " + error.what();
    }

    if (failure.empty()) {
        log.line("output: " + options.output + ", " + outputSize(options.output));
        log.line("result: done in " + elapsed());
        return ExitSuccess;
    }
    std::fflush(stdout);
    std::cerr << "besweet: " << failure << '\n';
    log.line("result: failed after " + elapsed() + ": " + failure);
    g_log = nullptr;
    if (signal != 0)
        dieOfSignal(signal);
    return ExitFailure;
}
