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

// How the transcoder says, in each language it speaks, that a normalised track missed the level
// asked: "<lead><delivered> dBFS<delivered word>, <asked> dBFS<asked word>: <reason>".
struct LevelWarningForm {
    std::string_view lead;
    std::string_view delivered;
    std::string_view asked;
};

inline constexpr std::array levelWarningForms{
    LevelWarningForm{"level: ", " delivered, ", " asked: "},
    LevelWarningForm{"Pegel: ", " geliefert, ", " verlangt: "},
};

// A reason the transcoder gives for the level it kept, and the window's words for it; "%d"
// stands for a count.
struct LevelReason {
    std::string_view said;
    std::string_view shown;
};

inline constexpr std::array levelReasons{
    LevelReason{"the highest level that does not clip", "der höchste Pegel ohne Übersteuern"},
    LevelReason{"der höchste Pegel, der nicht übersteuert", "der höchste Pegel ohne Übersteuern"},
    LevelReason{"the nearest of %d encodes", "der nächste von %d Versuchen"},
    LevelReason{"der nächste von %d Kodierungen", "der nächste von %d Versuchen"},
};

// The warning in the window's words. A missed level speaks as the slider does, in percent:
// "Normalisierungslevel: 95 % verlangt, 88 % geliefert (der höchste Pegel ohne Übersteuern)".
// Elsewhere the mend clause is the one that holds an option the window sets: from the last ": "
// before it up to the end of the warning or of the parenthesis around the clause. A warning
// without either stays as it is.
std::string InWindowWords(std::string_view warning);

} // namespace klangdorn
