// SPDX-License-Identifier: GPL-3.0-or-later
// How long a run still takes, in coarse steps ("noch etwa 2 Minuten", "noch weniger als eine
// Minute"), told only once it can be told honestly: after 5 % of the run and 3 seconds of its
// pass, from the rate of the pass's recent part, since passes go at speeds of their own (the
// channel scan reads without decoding). What is told follows the estimate down at once, but up only
// when the estimate lies two steps above, and then to the step below the estimate: so it never
// wavers between neighbours, nor goes back up by more than a step after going down.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace klangdorn
{

using SteadyTime = std::chrono::steady_clock::time_point;
using SteadyClock = std::function<SteadyTime()>;

class RemainingTime
{
public:
    explicit RemainingTime(SteadyClock clock = std::chrono::steady_clock::now);

    // A run begins now, with nothing done.
    void start();
    // The whole run's share done, as it rises, and the pass it belongs to: a new pass is measured
    // afresh, while what was told stays.
    void take(int percent, int pass = 1);
    // The step told (see RemainingStep); nothing while the time left cannot be told honestly.
    std::optional<int> step() const { return m_told; }
    // Its words; empty while nothing is told.
    std::string words() const;

private:
    struct Sample {
        SteadyTime at;
        int percent;
    };
    std::optional<double> secondsLeft() const;
    void tell(int step);

    SteadyClock m_clock;
    std::vector<Sample> m_samples; // the pass's start, then its recent part
    int m_pass = 1;
    std::optional<int> m_told;
};

// The step nearest to a time left: 0 for less than a minute, then about 1 to 10 minutes, 15,
// 20, 30, 45 minutes, an hour, and more than an hour.
int RemainingStep(double seconds);
// "noch weniger als eine Minute", "noch etwa eine Minute", "noch etwa 2 Minuten", ...
std::string RemainingWords(int step);

// What the wait box tells during a run: "42 %", and the time left when it is known:
// "42 %, noch etwa 2 Minuten".
std::string RunningWords(int percent, const std::string& remaining);

} // namespace klangdorn
