// SPDX-License-Identifier: GPL-3.0-or-later
// A main window over the real settings store under an application name of its own, with
// fake dialogs and a fake window stacking.
#pragma once

#include "platform/QtSettingsBackend.h"
#include "platform/WindowStacking.h"
#include "settings/SettingsStore.h"
#include "support/FakeDialogs.h"
#include "ui/frmMain.h"

#include <QDir>
#include <QWidget>
#include <array>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace klangdorn::test
{

class FakeStacking : public WindowStacking
{
public:
    std::vector<bool> calls;
    void setTopMost(QWidget&, bool topMost) override { calls.push_back(topMost); }
};

inline constexpr std::array allKeys{
    SettingKey::WriteLog,   SettingKey::ShowBesweet, SettingKey::Normalize,
    SettingKey::Upsampling, SettingKey::AlwaysOnTop, SettingKey::InputDir,
    SettingKey::OutputType, SettingKey::OutputDir,   SettingKey::Besweet,
};

using StoredKeys = std::map<std::string, std::optional<std::string>>;

class WindowFixture : public testing::Test
{
protected:
    // Each test has its own application name: tests never see each other's values.
    static std::string uniqueApplication()
    {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        std::string name =
            std::string("Klangdorn_ui_") + info->test_suite_name() + "_" + info->name();
        for (char& c : name)
            if (c == '/')
                c = '_';
        return name;
    }

    void start()
    {
        window = std::make_unique<frmMain>(settings, messages, dialog, stacking, launcher);
    }
    void restart()
    {
        window.reset();
        start();
    }

    template <typename Control> Control* control(const char* name)
    {
        auto* found = window->findChild<Control*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    void store(SettingKey key, const std::string& value) { settings.saveText(key, value); }
    std::optional<std::string> stored(SettingKey key) const { return settings.stored(key); }
    StoredKeys storedKeys() const
    {
        StoredKeys all;
        for (SettingKey key : allKeys)
            all[std::string(definitionOf(key).name)] = stored(key);
        return all;
    }

    // The store's file turned into a folder: every write fails as a real one would.
    void makeStoreUnwritable()
    {
        const QString file = qEnvironmentVariable("XDG_CONFIG_HOME") + "/" + OrganizationName +
                             "/" + QString::fromStdString(application) + ".conf";
        QDir().remove(file);
        ASSERT_TRUE(QDir().mkpath(file));
    }

    std::string application = uniqueApplication();
    QtSettingsBackend backend;
    SettingsStore settings{backend, [this] { return application; }};
    FakeMessageBoxes messages;
    FakeFileDialog dialog;
    FakeStacking stacking;
    ProcessLauncher* launcher = nullptr; // the native one when none is set
    std::unique_ptr<frmMain> window;
};

} // namespace klangdorn::test
