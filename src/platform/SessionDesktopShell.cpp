// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DesktopShell.h"

#if KLANGDORN_HAS_DBUS
#include "platform/DBusDesktopShell.h"
#include "platform/ProgramIdentity.h"
#endif

namespace klangdorn
{

namespace
{

class NoDesktopShell final : public DesktopShell
{
public:
    void showProgress(std::optional<int>) override {}
    void notify(const std::string&, const std::string&) override {}
};

} // namespace

std::unique_ptr<DesktopShell> MakeSessionDesktopShell()
{
#if KLANGDORN_HAS_DBUS
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected())
        return std::make_unique<DBusDesktopShell>(bus, applicationId());
#endif
    return std::make_unique<NoDesktopShell>();
}

} // namespace klangdorn
