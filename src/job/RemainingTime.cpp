// SPDX-License-Identifier: GPL-3.0-or-later
#include "job/RemainingTime.h"

#include "job/RunProgress.h"

#include <array>
#include <cmath>
#include <utility>

namespace klangdorn
{

namespace
{

using Seconds = std::chrono::duration<double>;

// Before this much of the run and this much time, a rate says little.
constexpr int LeastPercent = 5;
constexpr Seconds LeastTime{3.0};
// The rate is that of the pass's last half minute.
constexpr Seconds RecentPart{30.0};

// The steps in minutes; 0 stands for less than a minute, the last for more than an hour.
constexpr std::array stepMinutes{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 15, 20, 30, 45, 60, 61};
constexpr int LastStep = static_cast<int>(stepMinutes.size()) - 1;
// Beyond this the time left is "more than an hour".
constexpr double MostMinutesOfAnHour = 75.0;

} // namespace

RemainingTime::RemainingTime(SteadyClock clock) : m_clock(std::move(clock))
{
    start();
}

void RemainingTime::start()
{
    m_samples.assign(1, Sample{m_clock(), 0});
    m_pass = 1;
    m_told.reset();
}

void RemainingTime::take(int percent, int pass)
{
    const SteadyTime now = m_clock();
    if (pass != m_pass) {
        m_pass = pass;
        m_samples.assign(1, Sample{now, percent});
        return;
    }
    // The start is kept; of the others only the last one older than the recent part.
    while (m_samples.size() > 2 && now - m_samples[2].at >= RecentPart)
        m_samples.erase(m_samples.begin() + 1);
    m_samples.push_back({now, percent});
    if (const auto seconds = secondsLeft())
        tell(RemainingStep(*seconds));
}

std::optional<double> RemainingTime::secondsLeft() const
{
    const Sample& start = m_samples.front();
    const Sample& now = m_samples.back();
    if (now.percent < LeastPercent || now.at - start.at < LeastTime)
        return std::nullopt;
    // The latest sample at least the recent part old, else the start.
    const Sample* from = &start;
    for (const Sample& sample : m_samples)
        if (now.at - sample.at >= RecentPart)
            from = &sample;
    const double done = now.percent - from->percent;
    const double seconds = std::chrono::duration_cast<Seconds>(now.at - from->at).count();
    if (done <= 0.0 || seconds <= 0.0)
        return std::nullopt;
    return (100 - now.percent) * seconds / done;
}

void RemainingTime::tell(int step)
{
    if (!m_told || step < *m_told)
        m_told = step;
    else if (step >= *m_told + 2)
        m_told = step - 1;
}

std::string RemainingTime::words() const
{
    return m_told ? RemainingWords(*m_told) : std::string();
}

int RemainingStep(double seconds)
{
    const double minutes = seconds / 60.0;
    if (minutes < 1.0)
        return 0;
    if (minutes > MostMinutesOfAnHour)
        return LastStep;
    int nearest = 1;
    for (int step = 1; step < LastStep; ++step)
        if (std::fabs(stepMinutes[step] - minutes) < std::fabs(stepMinutes[nearest] - minutes))
            nearest = step;
    return nearest;
}

std::string RemainingWords(int step)
{
    if (step <= 0)
        return "noch weniger als eine Minute";
    if (step >= LastStep)
        return "noch mehr als eine Stunde";
    const int minutes = stepMinutes[static_cast<std::size_t>(step)];
    if (minutes == 1)
        return "noch etwa eine Minute";
    if (minutes == 60)
        return "noch etwa eine Stunde";
    return "noch etwa " + std::to_string(minutes) + " Minuten";
}

std::string RunningWords(int percent, const std::string& remaining)
{
    std::string words = PercentText(percent);
    if (!remaining.empty())
        words += ", " + remaining;
    return words;
}

} // namespace klangdorn
