// SPDX-License-Identifier: GPL-3.0-or-later
// Measures the transcoder's launch and wait: how long after the child's end fAppControl
// returns (median of 20 runs of a child that ends at once), and how much CPU time this
// process spends while a child runs for 2 s. Usage: bench_launch_wait <child program>
#include "platform/PosixProcessLauncher.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <vector>

using namespace klangdorn;

namespace
{

long long monotonicNs()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1'000'000'000LL + now.tv_nsec;
}

double cpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Run {
    double endToReturnMs;
    double wallSeconds;
    double cpuSeconds;
};

Run runOnce(PosixProcessLauncher& launcher, const std::string& child, const std::string& stampFile)
{
    std::remove(stampFile.c_str());
    const double cpuBefore = cpuSeconds();
    const long long start = monotonicNs();
    auto process = launcher.launch({child}, child, false);
    launcher.fAppControl(*process);
    const long long returned = monotonicNs();
    const double cpuAfter = cpuSeconds();
    long long childEnd = 0;
    std::ifstream(stampFile) >> childEnd;
    return {static_cast<double>(returned - childEnd) / 1e6,
            static_cast<double>(returned - start) / 1e9, cpuAfter - cpuBefore};
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <child program>\n", argv[0]);
        return 2;
    }
    if (!std::getenv("QT_QPA_PLATFORM"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const std::string child = argv[1];
    QTemporaryDir dir;
    const std::string stampFile = dir.filePath("stamp").toStdString();
    ::setenv("FAKE_STAMP", stampFile.c_str(), 1);

    // The wait indicator's timer ticks during a real run; so it does here.
    QTimer tick;
    tick.start(100);

    PosixProcessLauncher launcher;
    std::vector<double> latencies;
    for (int i = 0; i < 20; ++i)
        latencies.push_back(runOnce(launcher, child, stampFile).endToReturnMs);
    std::printf("child that ends at once, 20 runs: end -> fAppControl return  median %.3f ms  "
                "min %.3f ms  max %.3f ms\n",
                median(latencies), *std::min_element(latencies.begin(), latencies.end()),
                *std::max_element(latencies.begin(), latencies.end()));

    ::setenv("FAKE_SLEEP_MS", "2000", 1);
    for (int i = 0; i < 3; ++i) {
        const Run run = runOnce(launcher, child, stampFile);
        std::printf("child that runs 2 s: wait %.3f s  CPU %.2f ms (%.3f %% of the wait)  "
                    "end -> return %.3f ms\n",
                    run.wallSeconds, run.cpuSeconds * 1e3, 100.0 * run.cpuSeconds / run.wallSeconds,
                    run.endToReturnMs);
    }
    return 0;
}
