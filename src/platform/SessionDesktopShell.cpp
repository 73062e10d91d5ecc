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
    void notify(const DesktopNotice&) override {}
};

} // namespace

std::unique_ptr<DesktopShell> MakeSessionDesktopShell([[maybe_unused]] MessageBoxes& messages)
{
#if KLANGDORN_HAS_DBUS
    return std::make_unique<DBusDesktopShell>([] { return QDBusConnection::sessionBus(); },
                                              applicationId(), messages);
#else
    return std::make_unique<NoDesktopShell>();
#endif
}

} // namespace klangdorn
