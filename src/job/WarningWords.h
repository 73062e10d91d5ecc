// SPDX-License-Identifier: GPL-3.0-or-later
// The transcoder's warnings in the window's words: where a warning's mend is an option of the
// command line that a control of the window sets, the mend names that control instead. The
// option is found by its command-line form, which reads the same in every language the
// transcoder speaks.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace klangdorn
{

struct WarningMend {
    std::string_view fragment; // the option as the command line spells it
    std::string_view control;  // the window's control that sets it
    std::string_view mend;     // what the user does there
};

// Only options that a warning of the bundled transcoder really names as its mend: a clause that
// merely mentions an option ("raw PCM (-fs) ignored") is no mend and stays as it is.
inline constexpr std::array warningMends{
    WarningMend{"-ssrc(", "chkResample", "„Resample auf 48 kHz“ ankreuzen"},
    WarningMend{"-norm", "sldNormalize", "„Normalisierungslevel“ auf 95 % stellen"},
};

// The warning with its mend clause in the window's words. The mend clause is the one that
// holds the option: from the last ": " before it up to the end of the warning or of the
// parenthesis around the clause. A warning without such a clause stays as it is.
std::string InWindowWords(std::string_view warning);

} // namespace klangdorn
