// SPDX-License-Identifier: GPL-3.0-or-later
// The window's file choices: the source, the target and the transcoder, with the texts of
// their dialogs. A source or target given otherwise than through the dialog (dropped on the
// window, named on the command line) is applied by the same steps as a chosen one.
#pragma once

#include "job/RuntimeError.h"
#include "job/UserDialogs.h"
#include "settings/SettingsStore.h"

#include <optional>
#include <string>
#include <string_view>

namespace klangdorn
{

namespace FileChoiceTexts
{
inline constexpr const char* SourceFilter =
    "Wave-Audio (*.wav)|*.wav|MPEG-Audio (*.mp2, *.mpa, *.mp3)|*.mp2;*.mpa;*.mp3|"
    "Dolby Digital (*.ac3)|*.ac3|RAW PCM (*.pcm;*.raw)|*.pcm;*.raw|Alle Dateien (*.*)|*.*";
inline constexpr const char* SourceTitle = "Quelldatei (Audio) öffnen (WAV, MP3, AC3)";
inline constexpr const char* TargetFilter =
    "MPEGI Layer II (*.mpa)|*.mpa|Dolby Digital 2.0 (*.ac3)|*.ac3";
inline constexpr const char* TargetTitle = "Ausgabedatei speichern unter...";
inline constexpr const char* BesweetFilter = "Ausführbare Dateien (*.exe)|besweet.exe";
// The run asks with three dots in the title; the menu entry's dialog has none.
inline constexpr const char* BesweetSearchTitle = "Besweet.exe suchen...";
inline constexpr const char* BesweetMenuTitle = "Besweet.exe suchen";

// The target choice's warning while the source field is empty.
Message chooseSourceFirst();
} // namespace FileChoiceTexts

// What a choice gives the window's two path fields. A choice stops at the first failure;
// what it did before stays done, so a field may be given together with a failure.
struct ChosenPaths {
    std::optional<std::string> source; // the new text of the source field
    std::optional<std::string> target; // the new text of the target field
    std::optional<RuntimeError> failure;
    bool empty() const { return !source && !target && !failure; }
};

// A source given by the user: its folder goes to InputDir, and the target proposed is the
// source with the stored output type as its extension.
ChosenPaths ApplySource(SettingsStore& settings, const std::string& source);

// A target given by the user: its folder goes to OutputDir and its extension, when it has
// one, to OutputType.
ChosenPaths ApplyTarget(SettingsStore& settings, const std::string& target);

// The source dialog in InputDir (the home folder when none is stored); nothing on a cancel.
ChosenPaths ChooseSource(CommonDialog& dialog, SettingsStore& settings);

// The Save dialog for the target, preset with the source less its extension, in OutputDir
// (the home folder when none is stored), the file type of the stored output type shown
// first. The caller warns about an empty source instead (chooseSourceFirst).
ChosenPaths ChooseTarget(CommonDialog& dialog, SettingsStore& settings, const std::string& source);

// Lets the user pick the transcoder with the shared dialog (no preset file name, the
// program's folder when no folder is set) and stores the chosen path under Besweet at once;
// nothing on a cancel.
std::optional<std::string> ChooseTranscoder(CommonDialog& dialog, SettingsStore& settings,
                                            const char* title);

// The entry of a "description|patterns|..." filter list whose patterns hold "*.extension"
// (in any letter case); 0 when none does.
int filterIndexOf(std::string_view filter, std::string_view extension);

// The extension that the filter entry `index` stands for: that of its first pattern when it
// is "*.extension" without wildcards; nothing for "*.*", a bare file name or no such entry.
std::optional<std::string> extensionOfFilterEntry(std::string_view filter, int index);

} // namespace klangdorn
