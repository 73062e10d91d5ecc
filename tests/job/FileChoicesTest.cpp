// SPDX-License-Identifier: GPL-3.0-or-later
// The source, target and transcoder choices without widgets: what the shared dialog is set
// to, what a choice stores and gives the fields, and that a path given otherwise (a drop, the
// command line) is applied exactly as a chosen one.
#include "job/FileChoices.h"

#include "support/FakeDialogs.h"
#include "support/MemorySettings.h"

#include <gtest/gtest.h>

using namespace klangdorn;
using namespace klangdorn::test;

namespace
{

// Every write fails as a full disk would.
class UnwritableSettings : public MemorySettings
{
public:
    void save(const std::string&, const std::string&, const std::string&,
              const std::string&) override
    {
        throw RuntimeError(ErrorNumber::PathFileAccess, "Klangdorn_d.conf");
    }
};

class FileChoicesTest : public testing::Test
{
protected:
    MemorySettings backend;
    SettingsStore settings{backend, [] { return std::string("Klangdorn_d"); }};
    FakeFileDialog dialogBackend;
    CommonDialog dialog{dialogBackend};

    const FileDialogSettings& lastShown() const { return dialogBackend.shown.back().settings; }
};

bool operator==(const ChosenPaths& a, const ChosenPaths& b)
{
    return a.source == b.source && a.target == b.target &&
           a.failure.has_value() == b.failure.has_value();
}

TEST_F(FileChoicesTest, ASourceGivenOtherwiseActsAsOneChosenInTheDialog)
{
    settings.saveText(SettingKey::OutputType, "mpa");
    dialogBackend.choose("/Musik/Live/konzert.wav");
    const ChosenPaths chosen = ChooseSource(dialog, settings);
    const auto storedAfterChoice = backend.values;

    backend.values.clear();
    settings.saveText(SettingKey::OutputType, "mpa");
    const ChosenPaths given = ApplySource(settings, "/Musik/Live/konzert.wav");

    EXPECT_TRUE(chosen == given);
    EXPECT_EQ(backend.values, storedAfterChoice);
    EXPECT_EQ(given.source, "/Musik/Live/konzert.wav");
    EXPECT_EQ(given.target, "/Musik/Live/konzert.mpa");
    EXPECT_EQ(settings.stored(SettingKey::InputDir), "/Musik/Live");
}

TEST_F(FileChoicesTest, ATargetGivenOtherwiseActsAsOneChosenInTheDialog)
{
    dialogBackend.choose("/DVD/konzert.MPA");
    const ChosenPaths chosen = ChooseTarget(dialog, settings, "/Musik/konzert.wav");
    const auto storedAfterChoice = backend.values;

    backend.values.clear();
    const ChosenPaths given = ApplyTarget(settings, "/DVD/konzert.MPA");

    EXPECT_TRUE(chosen == given);
    EXPECT_EQ(backend.values, storedAfterChoice);
    EXPECT_EQ(given.source, std::nullopt);
    EXPECT_EQ(given.target, "/DVD/konzert.MPA");
    EXPECT_EQ(settings.stored(SettingKey::OutputDir), "/DVD");
    EXPECT_EQ(settings.stored(SettingKey::OutputType), "MPA");
}

TEST_F(FileChoicesTest, SourceAndTargetDialogsOpenAtHomeTheTranscoderDialogBesideTheProgram)
{
    dialogBackend.cancel();
    EXPECT_TRUE(ChooseSource(dialog, settings).empty());
    EXPECT_EQ(lastShown().withoutInitDir, StartFolder::HomeFolder);
    EXPECT_EQ(lastShown().initDir, "");

    dialogBackend.cancel();
    EXPECT_EQ(ChooseTranscoder(dialog, settings, FileChoiceTexts::BesweetMenuTitle), std::nullopt);
    EXPECT_EQ(lastShown().withoutInitDir, StartFolder::ProgramFolder);
    EXPECT_EQ(lastShown().filterIndex, 0);

    settings.saveText(SettingKey::OutputDir, "/DVD");
    dialogBackend.cancel();
    EXPECT_TRUE(ChooseTarget(dialog, settings, "/a.wav").empty());
    EXPECT_EQ(lastShown().withoutInitDir, StartFolder::HomeFolder);
    EXPECT_EQ(lastShown().initDir, "/DVD");
    EXPECT_TRUE(backend.values.size() == 1) << "a cancel stores nothing";
}

struct PresetTypeCase {
    const char* outputType; // nullptr: none stored
    int filterIndex;
};

class PresetType : public FileChoicesTest, public testing::WithParamInterface<PresetTypeCase>
{
};

TEST_P(PresetType, TheSaveDialogShowsTheStoredOutputTypeFirst)
{
    if (GetParam().outputType)
        settings.saveText(SettingKey::OutputType, GetParam().outputType);
    dialogBackend.cancel();
    ChooseTarget(dialog, settings, "/a.wav");
    EXPECT_EQ(lastShown().filterIndex, GetParam().filterIndex);
    EXPECT_EQ(lastShown().defaultExt, GetParam().outputType ? GetParam().outputType : "ac3");
}

INSTANTIATE_TEST_SUITE_P(OutputTypes, PresetType,
                         testing::Values(PresetTypeCase{nullptr, 1}, PresetTypeCase{"ac3", 1},
                                         PresetTypeCase{"AC3", 1}, PresetTypeCase{"mpa", 0},
                                         PresetTypeCase{"MPA", 0}, PresetTypeCase{"mp2", 0},
                                         PresetTypeCase{"", 0}));

TEST(FileChoicesFailure, AFailedWriteKeepsWhatWasDoneBeforeIt)
{
    UnwritableSettings backend;
    SettingsStore settings{backend, [] { return std::string("Klangdorn_d"); }};
    const ChosenPaths source = ApplySource(settings, "/in/a.wav");
    EXPECT_EQ(source.source, "/in/a.wav");
    EXPECT_EQ(source.target, std::nullopt) << "no proposal after the failed InputDir";
    ASSERT_TRUE(source.failure);
    EXPECT_EQ(source.failure->number(), ErrorNumber::PathFileAccess);

    const ChosenPaths target = ApplyTarget(settings, "/out/a.mpa");
    EXPECT_EQ(target.target, "/out/a.mpa");
    ASSERT_TRUE(target.failure);
}

struct FilterEntryCase {
    const char* filter;
    int index;
    std::optional<std::string> extension;
};

class FilterEntries : public testing::TestWithParam<FilterEntryCase>
{
};

TEST_P(FilterEntries, AnEntryStandsForTheExtensionOfItsFirstPlainPattern)
{
    const FilterEntryCase& c = GetParam();
    EXPECT_EQ(extensionOfFilterEntry(c.filter, c.index), c.extension);
    if (c.extension) {
        EXPECT_EQ(filterIndexOf(c.filter, *c.extension), c.index);
    }
}

INSTANTIATE_TEST_SUITE_P(
    DialogFilters, FilterEntries,
    testing::Values(FilterEntryCase{FileChoiceTexts::TargetFilter, 0, "mpa"},
                    FilterEntryCase{FileChoiceTexts::TargetFilter, 1, "ac3"},
                    FilterEntryCase{FileChoiceTexts::TargetFilter, 2, std::nullopt},
                    FilterEntryCase{FileChoiceTexts::TargetFilter, -1, std::nullopt},
                    FilterEntryCase{FileChoiceTexts::SourceFilter, 1, "mp2"},
                    FilterEntryCase{FileChoiceTexts::SourceFilter, 3, "pcm"},
                    FilterEntryCase{FileChoiceTexts::SourceFilter, 4, std::nullopt},
                    FilterEntryCase{FileChoiceTexts::BesweetFilter, 0, std::nullopt}));

} // namespace
