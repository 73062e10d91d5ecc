// SPDX-License-Identifier: GPL-3.0-or-later
// A stand-in for the transcoder in tests and the benchmark. It does what its environment
// says, in this order:
//   FAKE_HELPER=file      start a helper process that sleeps a minute (as wine starts its
//                         server), and write the helper's process id to file
//   FAKE_RECORD=file      write its arguments (after argv[0]) to file, each ended by a NUL
//   FAKE_FDS=file         write the numbers of its open descriptors to file, one a line
//   FAKE_RELEASE=file     wait until file exists (gives up after 20 s with exit code 99)
//   FAKE_SLEEP_MS=n       sleep n milliseconds
//   FAKE_IGNORE_TERM=1    ignore SIGTERM
//   FAKE_OUTPUT_BYTES=n   write n bytes to standard output and n to standard error
//   FAKE_SAY=text         write text and a line feed to standard error
//   FAKE_WRITE_TARGET=1   write the file named after "-output"
//   FAKE_DONE=file        create file, to show it ran to its end
//   FAKE_STAMP=file       write CLOCK_MONOTONIC in nanoseconds to file, just before ending
//   FAKE_SIGNAL=n         kill itself with signal n; otherwise
//   FAKE_EXIT=n           exit with code n (0 without it)
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{

const char* setting(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value ? value : nullptr;
}

long number(const char* name)
{
    const char* value = setting(name);
    return value ? std::strtol(value, nullptr, 10) : 0;
}

bool exists(const char* path)
{
    struct stat status {
    };
    return ::stat(path, &status) == 0;
}

void recordArguments(int argc, char* argv[])
{
    if (const char* file = setting("FAKE_RECORD")) {
        std::ofstream out(file, std::ios::binary);
        for (int i = 1; i < argc; ++i)
            out << argv[i] << '\0';
    }
}

// Asked before any file of its own is opened.
void recordDescriptors()
{
    const char* file = setting("FAKE_FDS");
    if (!file)
        return;
    std::vector<int> open;
    for (int fd = 0; fd < 4096; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1)
            open.push_back(fd);
    }
    std::ofstream out(file);
    for (const int fd : open)
        out << fd << '\n';
}

// The helper keeps none of the standard descriptors, so only its own end matters.
void startHelper()
{
    const char* file = setting("FAKE_HELPER");
    if (!file)
        return;
    const pid_t helper = ::fork();
    if (helper == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        for (int fd = 0; fd <= 2; ++fd)
            ::dup2(null, fd);
        std::this_thread::sleep_for(std::chrono::minutes(1));
        ::_exit(0);
    }
    std::ofstream(file) << helper;
}

void say()
{
    if (const char* text = setting("FAKE_SAY")) {
        const std::string line = std::string(text) + '\n';
        if (::write(STDERR_FILENO, line.data(), line.size()) < 0)
            std::exit(98);
    }
}

bool waitForRelease()
{
    const char* file = setting("FAKE_RELEASE");
    if (!file)
        return true;
    for (int i = 0; i < 4000; ++i) {
        if (exists(file))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

void writeOutput(long bytes)
{
    const std::string line = "Fortschritt: 0123456789 abcdefghijklmnopqrstuvwxyz äöü\n";
    for (long written = 0; written < bytes;) {
        const auto chunk = static_cast<std::size_t>(
            std::min<long>(bytes - written, static_cast<long>(line.size())));
        if (::write(STDOUT_FILENO, line.data(), chunk) < 0 ||
            ::write(STDERR_FILENO, line.data(), chunk) < 0)
            std::exit(98);
        written += static_cast<long>(chunk);
    }
}

void writeTarget(int argc, char* argv[])
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "-output") == 0)
            std::ofstream(argv[i + 1], std::ios::binary) << "AC3";
    }
}

void touch(const char* name)
{
    if (const char* file = setting(name))
        std::ofstream(file) << "fertig\n";
}

void stamp()
{
    if (const char* file = setting("FAKE_STAMP")) {
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        std::ofstream(file) << (static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
    }
}

} // namespace

int main(int argc, char* argv[])
{
    if (number("FAKE_IGNORE_TERM") == 1)
        std::signal(SIGTERM, SIG_IGN);
    recordDescriptors();
    startHelper();
    recordArguments(argc, argv);
    if (!waitForRelease())
        return 99;
    if (const long ms = number("FAKE_SLEEP_MS"))
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    if (const long bytes = number("FAKE_OUTPUT_BYTES"))
        writeOutput(bytes);
    say();
    if (number("FAKE_WRITE_TARGET") == 1)
        writeTarget(argc, argv);
    touch("FAKE_DONE");
    stamp();
    if (const long signal = number("FAKE_SIGNAL"))
        std::raise(static_cast<int>(signal));
    return static_cast<int>(number("FAKE_EXIT"));
}
