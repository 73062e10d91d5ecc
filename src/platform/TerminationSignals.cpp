// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/TerminationSignals.h"

#include "job/RuntimeError.h"
#include "platform/SystemReason.h"

#include <QSocketNotifier>
#include <cerrno>
#include <fcntl.h>
#include <sys/socket.h>

namespace klangdorn
{

namespace
{

// The write end for the handler; -1 while no TerminationSignals exists.
volatile std::sig_atomic_t signalWriteFd = -1;

extern "C" void writeSignalNumber(int signal)
{
    const int savedErrno = errno;
    const auto number = static_cast<char>(signal);
    // Never blocks: a full socket already holds a request to close.
    [[maybe_unused]] const auto written = ::write(signalWriteFd, &number, 1);
    errno = savedErrno;
}

} // namespace

TerminationSignals::TerminationSignals(std::function<void()> onSignal, QObject* parent)
    : QObject(parent), m_onSignal(std::move(onSignal))
{
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds) != 0)
        throw RuntimeError::fromOs(ErrorNumber::PathFileAccess,
                                   SystemReason(errno) + ": socketpair");
    m_read.reset(fds[0]);
    m_write.reset(fds[1]);
    signalWriteFd = m_write.get();

    m_notifier = std::make_unique<QSocketNotifier>(m_read.get(), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &TerminationSignals::readSignals);

    struct sigaction action {
    };
    action.sa_handler = writeSignalNumber;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (std::size_t i = 0; i < Handled.size(); ++i)
        ::sigaction(Handled[i], &action, &m_previous[i]);
}

TerminationSignals::~TerminationSignals()
{
    for (std::size_t i = 0; i < Handled.size(); ++i)
        ::sigaction(Handled[i], &m_previous[i], nullptr);
    signalWriteFd = -1;
}

void TerminationSignals::readSignals()
{
    char numbers[16];
    bool any = false;
    while (::read(m_read.get(), numbers, sizeof numbers) > 0)
        any = true;
    if (any && m_onSignal)
        m_onSignal();
}

} // namespace klangdorn
