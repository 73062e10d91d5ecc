#include "platform/QtSettingsBackend.h"

#include "job/RuntimeError.h"
#include "settings/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace klangdorn;

namespace
{

QString configHome()
{
    return qEnvironmentVariable("XDG_CONFIG_HOME");
}

QString storeFile(const std::string& application)
{
    return configHome() + "/Klangdorn/" + QString::fromStdString(application) + ".conf";
}

// Each test has its own application name, so tests never see each other's values.
std::string uniqueApplication()
{
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    return std::string("Klangdorn_test_") + info->name();
}

} // namespace

TEST(QtSettingsBackend, RoundTripsEveryKeyThroughTheConfFile)
{
    QtSettingsBackend backend;
    const std::string application = uniqueApplication();
    SettingsStore store(backend, [&] { return application; });

    store.saveCheckState(SettingKey::WriteLog, 1);
    store.saveCheckState(SettingKey::ShowBesweet, 1);
    store.saveCheckState(SettingKey::Upsampling, 0);
    store.saveNormalize(40);
    store.saveAlwaysOnTop(false);
    store.saveText(SettingKey::InputDir, "/home/anna/Aufnahmen, live");
    store.saveText(SettingKey::OutputType, "MPA");
    store.saveText(SettingKey::OutputDir, "/media/DVD Projekt/ü");
    store.saveText(SettingKey::Besweet, R"(C:\Tools\BeSweet\BeSweet.exe)");

    ASSERT_TRUE(QFile::exists(storeFile(application))) << storeFile(application).toStdString();
    QtSettingsBackend other;
    SettingsStore reread(other, [&] { return application; });
    EXPECT_EQ(reread.readCheckState(SettingKey::WriteLog), 1);
    EXPECT_EQ(reread.readCheckState(SettingKey::ShowBesweet), 1);
    EXPECT_EQ(reread.readCheckState(SettingKey::Upsampling), 0);
    EXPECT_EQ(reread.readNormalize(), 40);
    EXPECT_FALSE(reread.readAlwaysOnTop());
    EXPECT_EQ(reread.readText(SettingKey::InputDir), "/home/anna/Aufnahmen, live");
    EXPECT_EQ(reread.readText(SettingKey::OutputType), "MPA");
    EXPECT_EQ(reread.readText(SettingKey::OutputDir), "/media/DVD Projekt/ü");
    EXPECT_EQ(reread.readText(SettingKey::Besweet), R"(C:\Tools\BeSweet\BeSweet.exe)");

    QSettings raw(storeFile(application), QSettings::IniFormat);
    EXPECT_EQ(raw.value("Settings/AlwaysOnTop").toString(), "False");
    EXPECT_EQ(raw.value("Settings/Normalize").toString(), "40");
}

TEST(QtSettingsBackend, MissingKeyAndApplicationAreNotErrors)
{
    QtSettingsBackend backend;
    EXPECT_EQ(backend.get(uniqueApplication(), "Settings", "Normalize"), std::nullopt);
    EXPECT_FALSE(QFile::exists(storeFile(uniqueApplication()))) << "reading creates nothing";
}

TEST(QtSettingsBackend, SeesAWriteOfAnotherProcessAtTheNextRead)
{
    QtSettingsBackend backend;
    const std::string application = uniqueApplication();
    backend.save(application, "Settings", "Normalize", "40");
    EXPECT_EQ(backend.get(application, "Settings", "Normalize"), "40");

    // Another copy of the program rewrites the file behind our back.
    QFile file(storeFile(application));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[Settings]\nNormalize=7\nWriteLog=1\nInputDir=/home/a/live, 2026\n");
    file.close();
    EXPECT_EQ(backend.get(application, "Settings", "Normalize"), "7");
    EXPECT_EQ(backend.get(application, "Settings", "WriteLog"), "1");
    EXPECT_EQ(backend.get(application, "Settings", "InputDir"), "/home/a/live, 2026");
}

TEST(QtSettingsBackend, ARenamedExecutableHasItsOwnSet)
{
    QtSettingsBackend backend;
    const std::string application = uniqueApplication();
    backend.save(application, "Settings", "OutputType", "mpa");
    EXPECT_EQ(backend.get(application + "_copy", "Settings", "OutputType"), std::nullopt);
    EXPECT_EQ(backend.get(application, "Settings", "OutputType"), "mpa");
}

TEST(QtSettingsBackend, AnUnwritableStoreIsError75NamingThePath)
{
    // A config folder below a regular file cannot be created, even by root.
    QTemporaryDir dir;
    QFile blocker(dir.filePath("blocker"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString unwritable = dir.filePath("blocker/config");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, unwritable);

    QtSettingsBackend backend;
    try {
        backend.save(uniqueApplication(), "Settings", "WriteLog", "1");
        ADD_FAILURE() << "the write did not fail";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.number(), 75);
        EXPECT_NE(error.message().find("Fehler: 75 - Fehler beim Zugriff auf Pfad/Datei"),
                  std::string::npos);
        EXPECT_NE(error.description().find(unwritable.toStdString()), std::string::npos)
            << error.description();
    }
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, configHome());
}

TEST(QtSettingsBackend, AFailedWriteLeavesTheStoreFileWhole)
{
    QtSettingsBackend backend;
    const std::string application = uniqueApplication();
    backend.save(application, "Settings", "Normalize", "40");
    backend.save(application, "Settings", "Besweet", "/opt/besweet");
    QFile file(storeFile(application));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();

    // The folder becomes a file: the rename over the store can no longer happen.
    const QString folder = configHome() + "/Klangdorn";
    const QString moved = configHome() + "/Klangdorn.moved";
    ASSERT_TRUE(QDir().rename(folder, moved));
    QFile blocker(folder);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_THROW(backend.save(application, "Settings", "Normalize", "41"), RuntimeError);
    ASSERT_TRUE(QFile::remove(folder));
    ASSERT_TRUE(QDir().rename(moved, folder));

    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);
}
