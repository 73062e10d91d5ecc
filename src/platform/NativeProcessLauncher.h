// SPDX-License-Identifier: GPL-3.0-or-later
// The process launcher of the platform the program runs on.
#pragma once

#include "job/ProcessControl.h"
#include "platform/ProcessOutputView.h"

#include <memory>

namespace klangdorn
{

// On POSIX the transcoder's output goes to `console` when it is to be shown, and to `watcher`
// always; on Windows the transcoder has a console window of its own and neither is used.
std::unique_ptr<ProcessLauncher> MakeNativeProcessLauncher(ProcessOutputView& console,
                                                           ProcessOutputView* watcher = nullptr);

} // namespace klangdorn
