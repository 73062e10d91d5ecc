// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the real besweet as a child process and collects what it printed and how it ended.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace besweet::test
{

struct RunResult {
    int exitCode = -1; // -1 when ended by a signal
    int signal = 0;
    std::string out;
    std::string err;

    // Standard error without besweet's warnings: what it said of a failure, if anything.
    [[nodiscard]] std::string errors() const;
};

// Runs in the child just before besweet starts (a lower file size limit, another user).
using ChildSetup = std::function<void()>;

// "-core( -input IN -output OUT [-logfile LOG] )" and the sections after it.
std::vector<std::string> besweetArguments(const std::filesystem::path& input,
                                          const std::filesystem::path& output,
                                          const std::vector<std::string>& sections,
                                          const std::filesystem::path& log = {});

// In the child (a ChildSetup): its standard input becomes a pipe that a process of its own fills
// from the file.
void feedStandardInput(const std::filesystem::path& file);

// Runs besweet with the arguments (without the program name) and waits for it.
RunResult runBesweet(const std::vector<std::string>& arguments, const ChildSetup& setup = {});

// A besweet started and not yet waited for, to be signalled.
class RunningBesweet
{
public:
    // stdoutFd: where its standard output goes instead of a file (the child gets a copy).
    explicit RunningBesweet(const std::vector<std::string>& arguments, int stdoutFd = -1,
                            const ChildSetup& setup = {});
    RunningBesweet(const RunningBesweet&) = delete;
    RunningBesweet& operator=(const RunningBesweet&) = delete;
    ~RunningBesweet();

    void signal(int number) const;
    // What it has printed on standard output so far.
    [[nodiscard]] std::string outputSoFar() const;
    RunResult wait();

private:
    pid_t pid_ = -1;
    std::string outPath_;
    std::string errPath_;
};

} // namespace besweet::test
