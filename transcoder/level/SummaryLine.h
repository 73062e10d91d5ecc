// SPDX-License-Identifier: GPL-3.0-or-later
// The line that ends a good run: what was delivered, in the units the window looks for.
#pragma once

#include "core/Text.h"
#include "level/LoudnessMeter.h"

namespace besweet
{

// "Delivered: 3:25.4, -23.1 LUFS, LRA 6.2 LU, -1.3 dBTP": what a good run delivered, in the
// units the window looks for (common/RunSummary.h). The true peak only of a track decoded
// (truePeak < 0: none).
[[nodiscard]] Text summaryLine(double seconds, const LoudnessFigures& figures, double truePeak);

} // namespace besweet
