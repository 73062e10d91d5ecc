// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/WindowSystemStart.h"

#include <QByteArray>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <utility>
#include <vector>

namespace klangdorn
{

namespace
{

struct HeldMessage {
    QtMsgType type;
    QByteArray category;
    QString text;
};

// One start at a time: the message handler is the process's. Another thread may tell too.
std::string g_program;
std::mutex g_heldLock;
std::vector<HeldMessage> g_held;

void holdOrEnd(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type == QtFatalMsg) {
        // The toolkit would abort next; what it said before is the reason's detail only.
        const std::string line = NoWindowSystemText(g_program);
        std::fwrite(line.data(), 1, line.size(), stderr);
        std::fflush(stderr);
        std::_Exit(NoWindowSystem);
    }
    const std::lock_guard lock(g_heldLock);
    g_held.push_back({type, QByteArray(context.category ? context.category : ""), text});
}

} // namespace

std::string NoWindowSystemText(const std::string& program)
{
    return program +
           ": Keine grafische Oberfläche erreichbar (DISPLAY oder WAYLAND_DISPLAY), das Fenster "
           "kann nicht öffnen. Bitte in einer grafischen Sitzung starten.\n";
}

WindowSystemStart::WindowSystemStart(std::string program)
{
    g_program = std::move(program);
    g_held.clear();
    m_previous = qInstallMessageHandler(holdOrEnd);
    m_watching = true;
}

WindowSystemStart::~WindowSystemStart()
{
    reached();
}

void WindowSystemStart::reached()
{
    if (!std::exchange(m_watching, false))
        return;
    qInstallMessageHandler(m_previous);
    std::vector<HeldMessage> held;
    {
        const std::lock_guard lock(g_heldLock);
        held = std::exchange(g_held, {});
    }
    for (const HeldMessage& message : held) {
        const QMessageLogContext context(nullptr, 0, nullptr, message.category.constData());
        if (m_previous)
            m_previous(message.type, context, message.text);
        else
            qt_message_output(message.type, context, message.text);
    }
}

} // namespace klangdorn
