// SPDX-License-Identifier: GPL-3.0-or-later
// SIGTERM, SIGHUP and SIGINT (log-off, shutdown, a closed terminal, Ctrl+C) as a request to
// close the window, so its closing step runs. The handler only writes the signal's number into
// a socket pair; the window's thread reads it there and runs the reaction. Each signal is
// handled so once: a second one of the same kind ends the program at once.
#pragma once

#include "common/UniqueFd.h"

#include <QObject>
#include <array>
#include <csignal>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace klangdorn
{

class TerminationSignals final : public QObject
{
public:
    // Only one at a time. Throws RuntimeError 75 when the socket pair cannot be made.
    explicit TerminationSignals(std::function<void()> onSignal, QObject* parent = nullptr);
    // Restores the handlers that were there before.
    ~TerminationSignals() override;
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    static constexpr std::array Handled{SIGTERM, SIGHUP, SIGINT};

private:
    void readSignals();

    std::function<void()> m_onSignal;
    UniqueFd m_read;
    UniqueFd m_write;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::array<struct sigaction, Handled.size()> m_previous{};
};

} // namespace klangdorn
