// SPDX-License-Identifier: GPL-3.0-or-later
// The transcoding run itself: open the input, measure its peak when asked, then decode, mix,
// resample, encode and write the output, as one pipeline of small steps.
#pragma once

#include "cli/Options.h"
#include "cli/RunLog.h"

namespace besweet
{

// Throws WorkError when the work fails and Interrupted when a signal stops it; the output's
// temporary file is gone by then and an existing target untouched.
void transcode(const Options& options, RunLog& log);

} // namespace besweet
