// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/NativeProcessLauncher.h"

#ifdef _WIN32
#include "platform/WindowsProcessLauncher.h"

#include <QCoreApplication>
#else
#include "platform/BundledTranscoder.h"
#include "platform/PosixProcessLauncher.h"
#endif

namespace klangdorn
{

std::unique_ptr<ProcessLauncher>
MakeNativeProcessLauncher([[maybe_unused]] ProcessOutputView& console,
                          [[maybe_unused]] ProcessOutputView* watcher)
{
#ifdef _WIN32
    return std::make_unique<WindowsProcessLauncher>([] { QCoreApplication::processEvents(); });
#else
    auto launcher = std::make_unique<PosixProcessLauncher>(&console, watcher);
    launcher->setBundledTranscoder(BundledTranscoder());
    return launcher;
#endif
}

} // namespace klangdorn
