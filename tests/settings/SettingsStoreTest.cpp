// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/SettingsStore.h"

#include "job/RuntimeError.h"
#include "support/MemorySettings.h"

#include <gtest/gtest.h>

using namespace klangdorn;

namespace
{

using test::MemorySettings;

class SettingsStoreTest : public testing::Test
{
protected:
    MemorySettings backend;
    std::string application = "Klangdorn_d";
    SettingsStore store{backend, [this] { return application; }};

    void put(const std::string& key, const std::string& value)
    {
        backend.values[{application, "Settings", key}] = value;
    }
};

} // namespace

TEST_F(SettingsStoreTest, EmptyStoreReadsDefaults)
{
    EXPECT_EQ(store.readCheckState(SettingKey::WriteLog), 0);
    EXPECT_EQ(store.readCheckState(SettingKey::ShowBesweet), 0);
    EXPECT_EQ(store.readCheckState(SettingKey::Upsampling), 1);
    EXPECT_EQ(store.readNormalize(), 95);
    EXPECT_TRUE(store.readAlwaysOnTop());
    EXPECT_EQ(store.readText(SettingKey::InputDir), "");
    EXPECT_EQ(store.readText(SettingKey::OutputDir), "");
    EXPECT_EQ(store.readText(SettingKey::OutputType), "ac3");
    EXPECT_EQ(store.readText(SettingKey::Besweet), "");
    EXPECT_TRUE(backend.values.empty()) << "reading never writes";
}

TEST_F(SettingsStoreTest, WritesUseTheKeyNamesSectionAndForms)
{
    store.saveCheckState(SettingKey::Upsampling, 1);
    store.saveCheckState(SettingKey::WriteLog, 0);
    store.saveNormalize(40);
    store.saveAlwaysOnTop(false);
    store.saveText(SettingKey::OutputType, "MPA");
    store.saveText(SettingKey::InputDir, "");
    using Row = std::tuple<std::string, std::string, std::string>;
    const std::map<Row, std::string> expected{
        {{"Klangdorn_d", "Settings", "Upsampling"}, "1"},
        {{"Klangdorn_d", "Settings", "WriteLog"}, "0"},
        {{"Klangdorn_d", "Settings", "Normalize"}, "40"},
        {{"Klangdorn_d", "Settings", "AlwaysOnTop"}, "False"},
        {{"Klangdorn_d", "Settings", "OutputType"}, "MPA"},
        {{"Klangdorn_d", "Settings", "InputDir"}, ""},
    };
    EXPECT_EQ(backend.values, expected);
    EXPECT_EQ(store.readText(SettingKey::OutputType), "MPA");
    EXPECT_EQ(store.readText(SettingKey::InputDir), "") << "a stored empty text is not the default";
}

TEST_F(SettingsStoreTest, AlwaysOnTopReadsNumbersAndWordsInAnyCase)
{
    const std::pair<const char*, bool> cases[] = {
        {"True", true}, {"false", false}, {"TRUE", true}, {"1", true},       {"0", false},
        {"-1", true},   {"", true},       {"abc", true},  {" False ", false}};
    for (const auto& [text, expected] : cases) {
        put("AlwaysOnTop", text);
        EXPECT_EQ(store.readAlwaysOnTop(), expected) << '"' << text << '"';
    }
}

TEST_F(SettingsStoreTest, BadCheckStatesReadAsTheKeysDefault)
{
    for (const char* text : {"2", "-1", "abc", "", "1.5", "99999999999999999999"}) {
        put("WriteLog", text);
        put("Upsampling", text);
        EXPECT_EQ(store.readCheckState(SettingKey::WriteLog), 0) << text;
        EXPECT_EQ(store.readCheckState(SettingKey::Upsampling), 1) << text;
    }
    put("ShowBesweet", "1");
    EXPECT_EQ(store.readCheckState(SettingKey::ShowBesweet), 1);
}

TEST_F(SettingsStoreTest, NormalizeIsClampedAndBadTextReadsAsDefault)
{
    const std::pair<const char*, int> cases[] = {
        {"40", 40}, {"0", 0},    {"150", 100},
        {"-5", 0},  {"abc", 95}, {"", 95},
        {"4x", 95}, {" 60", 60}, {"99999999999999999999", 95}};
    for (const auto& [text, expected] : cases) {
        put("Normalize", text);
        EXPECT_EQ(store.readNormalize(), expected) << '"' << text << '"';
    }
}

TEST_F(SettingsStoreTest, ApplicationNameIsTakenAtEachAccess)
{
    store.saveNormalize(60);
    application = "Klangdorn_copy";
    EXPECT_EQ(store.readNormalize(), 95);
    store.saveNormalize(10);
    application = "Klangdorn_d";
    EXPECT_EQ(store.readNormalize(), 60);
}
