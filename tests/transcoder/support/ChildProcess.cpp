// SPDX-License-Identifier: GPL-3.0-or-later
// Starting besweet with its standard output and error in files (a pipe for the program's
// purposes: not a terminal).
#include "support/ChildProcess.h"

#include "support/AudioFiles.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace besweet::test
{

std::string RunResult::errors() const
{
    std::string kept;
    std::istringstream lines(err);
    for (std::string line; std::getline(lines, line);)
        if (!line.starts_with("besweet: warning: "))
            kept += line + '\n';
    return kept;
}

namespace
{

std::string scratchFile(const char* what)
{
    std::string pattern =
        (std::filesystem::temp_directory_path() / (std::string("besweet-") + what + "-XXXXXX"))
            .string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        throw std::runtime_error("mkstemp failed");
    ::close(fd);
    return pattern;
}

} // namespace

RunningBesweet::RunningBesweet(const std::vector<std::string>& arguments, int stdoutFd,
                               const ChildSetup& setup)
    : outPath_(scratchFile("out")), errPath_(scratchFile("err"))
{
    std::vector<char*> argv;
    std::string program = BESWEET_PATH;
    argv.push_back(program.data());
    std::vector<std::string> copies = arguments;
    for (auto& argument : copies)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    pid_ = ::fork();
    if (pid_ < 0)
        throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        const int out = stdoutFd >= 0 ? stdoutFd : ::open(outPath_.c_str(), O_WRONLY | O_TRUNC);
        const int err = ::open(errPath_.c_str(), O_WRONLY | O_TRUNC);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        // English, whatever language the tester's desktop speaks; a test of another language
        // sets its own in setup.
        ::setenv("LC_ALL", "C", 1);
        ::unsetenv("LANGUAGE");
        if (setup)
            setup();
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
}

RunningBesweet::~RunningBesweet()
{
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    std::filesystem::remove(outPath_);
    std::filesystem::remove(errPath_);
}

void RunningBesweet::signal(int number) const
{
    ::kill(pid_, number);
}

std::string RunningBesweet::outputSoFar() const
{
    return readBytes(outPath_);
}

RunResult RunningBesweet::wait()
{
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    RunResult result;
    if (WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        result.signal = WTERMSIG(status);
    result.out = readBytes(outPath_);
    result.err = readBytes(errPath_);
    return result;
}

RunResult runBesweet(const std::vector<std::string>& arguments, const ChildSetup& setup)
{
    RunningBesweet child(arguments, -1, setup);
    return child.wait();
}

std::vector<std::string> besweetArguments(const std::filesystem::path& input,
                                          const std::filesystem::path& output,
                                          const std::vector<std::string>& sections,
                                          const std::filesystem::path& log)
{
    std::vector<std::string> arguments{"-core(", "-input", input.string(), "-output",
                                       output.string()};
    if (!log.empty())
        arguments.insert(arguments.end(), {"-logfile", log.string()});
    arguments.emplace_back(")");
    arguments.insert(arguments.end(), sections.begin(), sections.end());
    return arguments;
}

void feedStandardInput(const std::filesystem::path& file)
{
    int ends[2];
    if (::pipe(ends) != 0)
        ::_exit(126);
    if (::fork() == 0) {
        ::close(ends[0]);
        const int from = ::open(file.c_str(), O_RDONLY);
        char buffer[65536];
        for (ssize_t got; from >= 0 && (got = ::read(from, buffer, sizeof buffer)) > 0;)
            if (::write(ends[1], buffer, static_cast<std::size_t>(got)) != got)
                break;
        ::_exit(0);
    }
    ::dup2(ends[0], STDIN_FILENO);
    ::close(ends[0]);
    ::close(ends[1]);
}

} // namespace besweet::test
