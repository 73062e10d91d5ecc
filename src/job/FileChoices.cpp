// SPDX-License-Identifier: GPL-3.0-or-later
#include "job/FileChoices.h"

#include "common/TextCase.h"
#include "job/FileChoiceRules.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace klangdorn
{

namespace FileChoiceTexts
{
Message chooseSourceFirst()
{
    return Message{"Please choose Input-File first!", MessageButtons::Ok, MessageIcon::Exclamation,
                   "Choose Input first"};
}
} // namespace FileChoiceTexts

namespace
{

// Runs the steps of a choice; a failure ends them and is kept with what was done before.
template <typename Steps> ChosenPaths applySteps(Steps steps)
{
    ChosenPaths chosen;
    try {
        steps(chosen);
    } catch (const RuntimeError& error) {
        chosen.failure = error;
    }
    return chosen;
}

// Sets up and shows the dialog; a chosen path goes on to `apply`, a cancel ends here.
template <typename Show, typename Apply> ChosenPaths showThenApply(Show show, Apply apply)
{
    std::optional<std::string> chosen;
    ChosenPaths shown = applySteps([&](ChosenPaths&) { chosen = show(); });
    if (shown.failure || !chosen)
        return shown;
    return apply(*chosen);
}

std::vector<std::string_view> split(std::string_view text, char separator)
{
    std::vector<std::string_view> parts;
    for (;;) {
        const auto end = text.find(separator);
        parts.push_back(text.substr(0, end));
        if (end == std::string_view::npos)
            return parts;
        text.remove_prefix(end + 1);
    }
}

// The patterns of each entry of a filter list, in order.
std::vector<std::vector<std::string_view>> patternsOfEntries(std::string_view filter)
{
    const auto parts = split(filter, '|');
    std::vector<std::vector<std::string_view>> entries;
    for (std::size_t i = 1; i < parts.size(); i += 2)
        entries.push_back(split(parts[i], ';'));
    return entries;
}

// "*.wav" gives "wav"; nothing for "*.*", "*.w?v" or "besweet.exe".
std::optional<std::string> plainExtensionOf(std::string_view pattern)
{
    pattern = Trimmed(pattern, " ");
    if (pattern.size() < 3 || !pattern.starts_with("*."))
        return std::nullopt;
    const auto extension = pattern.substr(2);
    if (extension.find_first_of("*?[.") != std::string_view::npos)
        return std::nullopt;
    return std::string(extension);
}

} // namespace

ChosenPaths ApplySource(SettingsStore& settings, const std::string& source)
{
    return applySteps([&](ChosenPaths& chosen) {
        chosen.source = source;
        settings.saveText(SettingKey::InputDir, folderOf(source));
        chosen.target = proposedTarget(source, settings.readText(SettingKey::OutputType));
    });
}

ChosenPaths ApplyTarget(SettingsStore& settings, const std::string& target)
{
    return applySteps([&](ChosenPaths& chosen) {
        chosen.target = target;
        settings.saveText(SettingKey::OutputDir, folderOf(target));
        // A name without an extension leaves the output type as it was.
        if (const auto outputType = extensionOf(bareNameOf(target)))
            settings.saveText(SettingKey::OutputType, *outputType);
    });
}

ChosenPaths ChooseSource(CommonDialog& dialog, SettingsStore& settings)
{
    return showThenApply(
        [&]() -> std::optional<std::string> {
            dialog.setFilter(FileChoiceTexts::SourceFilter);
            dialog.setTitle(FileChoiceTexts::SourceTitle);
            dialog.setInitDir(settings.readText(SettingKey::InputDir));
            dialog.setStartFolder(StartFolder::HomeFolder);
            return dialog.showOpen() ? std::optional(dialog.fileName()) : std::nullopt;
        },
        [&](const std::string& source) { return ApplySource(settings, source); });
}

ChosenPaths ChooseTarget(CommonDialog& dialog, SettingsStore& settings, const std::string& source)
{
    return showThenApply(
        [&]() -> std::optional<std::string> {
            const std::string outputType = settings.readText(SettingKey::OutputType);
            dialog.setFilter(FileChoiceTexts::TargetFilter,
                             filterIndexOf(FileChoiceTexts::TargetFilter, outputType));
            dialog.setTitle(FileChoiceTexts::TargetTitle);
            dialog.setFileName(withoutExtension(source));
            dialog.setDefaultExt(outputType);
            dialog.setInitDir(settings.readText(SettingKey::OutputDir));
            dialog.setStartFolder(StartFolder::HomeFolder);
            return dialog.showSave() ? std::optional(dialog.fileName()) : std::nullopt;
        },
        [&](const std::string& target) { return ApplyTarget(settings, target); });
}

std::optional<std::string> ChooseTranscoder(CommonDialog& dialog, SettingsStore& settings,
                                            const char* title)
{
    dialog.setFilter(FileChoiceTexts::BesweetFilter);
    dialog.setFileName("");
    dialog.setTitle(title);
    // The bundled transcoder lies beside the program.
    dialog.setStartFolder(StartFolder::ProgramFolder);
    if (!dialog.showOpen())
        return std::nullopt;
    settings.saveText(SettingKey::Besweet, dialog.fileName());
    return dialog.fileName();
}

int filterIndexOf(std::string_view filter, std::string_view extension)
{
    const auto entries = patternsOfEntries(filter);
    for (std::size_t i = 0; i < entries.size(); ++i)
        for (const auto pattern : entries[i])
            if (const auto patternExtension = plainExtensionOf(pattern))
                if (EqualsIgnoringCase(*patternExtension, extension))
                    return static_cast<int>(i);
    return 0;
}

std::optional<std::string> extensionOfFilterEntry(std::string_view filter, int index)
{
    const auto entries = patternsOfEntries(filter);
    if (index < 0 || static_cast<std::size_t>(index) >= entries.size())
        return std::nullopt;
    return plainExtensionOf(entries[static_cast<std::size_t>(index)].front());
}

} // namespace klangdorn
