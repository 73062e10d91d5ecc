// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/QtSettingsBackend.h"

#include "job/RuntimeError.h"
#include "platform/ExecutableName.h"
#include "settings/SettingsStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <sys/resource.h>

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

void writeStoreFile(const std::string& application, const QByteArray& content)
{
    QDir().mkpath(configHome() + "/Klangdorn");
    QFile file(storeFile(application));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
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

    // Another copy of the program, or a hand, rewrites the file behind our back.
    writeStoreFile(application, "[Settings]\nNormalize=7\nWriteLog=1\n"
                                "InputDir=/home/a/live,2026\nOutputDir=/media/a ,  b\n");
    EXPECT_EQ(backend.get(application, "Settings", "Normalize"), "7");
    EXPECT_EQ(backend.get(application, "Settings", "WriteLog"), "1");
    EXPECT_EQ(backend.get(application, "Settings", "InputDir"), "/home/a/live,2026");
    EXPECT_EQ(backend.get(application, "Settings", "OutputDir"), "/media/a ,  b");
}

// Saving another key writes the whole file again; hand-edited values keep their text.
TEST(QtSettingsBackend, AHandEditedValueWithACommaIsSavedAsWritten)
{
    QtSettingsBackend backend;
    const std::string application = uniqueApplication();
    writeStoreFile(application, "[Settings]\nInputDir=/home/a/live,2026\n");
    backend.save(application, "Settings", "Normalize", "40");

    EXPECT_EQ(backend.get(application, "Settings", "InputDir"), "/home/a/live,2026");
    EXPECT_EQ(backend.get(application, "Settings", "Normalize"), "40");
    QSettings raw(storeFile(application), QSettings::IniFormat);
    EXPECT_EQ(raw.value("Settings/InputDir").toString(), "/home/a/live,2026");
}

// Only a ".exe" ending is an extension: a copy named with another dot has its own set.
TEST(QtSettingsBackend, ARenamedExecutableHasItsOwnSet)
{
    QtSettingsBackend backend;
    const std::string folder = "/opt/" + uniqueApplication() + "/";
    const auto program = [&](const char* file) { return ExecutableBaseNameOf(folder + file); };
    SettingsStore original(backend, [&] { return program("Klangdorn_d"); });
    SettingsStore copy(backend, [&] { return program("Klangdorn_d.test"); });
    SettingsStore windows(backend, [&] { return program("Klangdorn_d.EXE"); });

    original.saveText(SettingKey::OutputType, "mpa");
    EXPECT_EQ(copy.stored(SettingKey::OutputType), std::nullopt);
    EXPECT_EQ(windows.readText(SettingKey::OutputType), "mpa");
    copy.saveText(SettingKey::OutputType, "ac3");
    EXPECT_EQ(original.readText(SettingKey::OutputType), "mpa");
    EXPECT_TRUE(QFile::exists(storeFile("Klangdorn_d.test")));
}

struct NameCase {
    const char* path;
    const char* name;
};

class ExecutableNameTest : public testing::TestWithParam<NameCase>
{
};

TEST_P(ExecutableNameTest, OnlyAnExeEndingIsCut)
{
    EXPECT_EQ(ExecutableBaseNameOf(GetParam().path), GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(Names, ExecutableNameTest,
                         testing::Values(NameCase{"/usr/bin/Klangdorn_d", "Klangdorn_d"},
                                         NameCase{"/usr/bin/Klangdorn_d.test", "Klangdorn_d.test"},
                                         NameCase{"/opt/a.b/Klangdorn_d", "Klangdorn_d"},
                                         NameCase{"C:/Programme/Klangdorn_d.exe", "Klangdorn_d"},
                                         NameCase{"/x/Klangdorn_d.test.ExE", "Klangdorn_d.test"},
                                         NameCase{"/x/Klangdorn_d.exe.bak", "Klangdorn_d.exe.bak"},
                                         NameCase{"/x/.exe", ".exe"},
                                         NameCase{"Klangdorn_d", "Klangdorn_d"}));

TEST(ExecutableName, TheRunningProgramIsNamedByTheSameRule)
{
    EXPECT_EQ(ExecutableBaseName(),
              ExecutableBaseNameOf(QCoreApplication::applicationFilePath().toStdString()));
    EXPECT_EQ(ExecutableBaseName(), "qt_settings_tests");
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

// A write that fails part way, as on a full disk: the file may grow no larger than it is, so
// a writer that truncated the store and wrote it anew in place would leave it cut short.
TEST(QtSettingsBackend, AFailedWriteLeavesTheStoreFileWhole)
{
    QtSettingsBackend backend;
    const std::string application = uniqueApplication();
    backend.save(application, "Settings", "Normalize", "40");
    backend.save(application, "Settings", "Besweet", "/opt/besweet/" + std::string(2000, 'b'));
    QFile file(storeFile(application));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();

    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = static_cast<rlim_t>(before.size());
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    bool failed = false;
    try {
        backend.save(application, "Settings", "InputDir", "/home/anna/Aufnahmen");
    } catch (const RuntimeError&) {
        failed = true;
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_TRUE(failed) << "the write did not fail";
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray after = file.readAll();
    EXPECT_EQ(after.size(), before.size());
    EXPECT_TRUE(after == before) << after.toStdString();
}

// A store the user made read-only: neither a changed key nor a new one may replace the file.
class ReadOnlyStoreTest : public testing::TestWithParam<const char*>
{
};

TEST_P(ReadOnlyStoreTest, ASaveIsError75AndTheFileStaysAsItWas)
{
    const std::string application = "Klangdorn_test_ReadOnly_" + std::string(GetParam());
    writeStoreFile(application, "[Settings]\nWriteLog=0\n");
    const QString file = storeFile(application);
    const auto readOnly = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;
    ASSERT_TRUE(QFile::setPermissions(file, readOnly));

    QtSettingsBackend backend;
    try {
        backend.save(application, "Settings", GetParam(), "1");
        ADD_FAILURE() << "the save did not fail";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.number(), 75);
    }
    // The owner's, group's and others' bits; the "user" ones say what this process may do.
    const QFileDevice::Permissions modeBits(0x7077);
    EXPECT_EQ(QFile::permissions(file) & modeBits, readOnly);
    QFile stored(file);
    ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
    EXPECT_EQ(stored.readAll(), QByteArray("[Settings]\nWriteLog=0\n"));
    EXPECT_FALSE(QFile::exists(file + ".neu"));
}

INSTANTIATE_TEST_SUITE_P(Keys, ReadOnlyStoreTest, testing::Values("WriteLog", "Normalize"));

namespace
{

// A store file the program cannot have written, or one it wrote: the first kind is put aside
// once under a name that says so, the program goes on with the defaults and leaves no stray
// file; the second stays as it is.
struct DamagedStoreCase {
    const char* name;
    std::function<void(const std::string& application)> make;
    bool setAside;
    int normalize = 95; // as read at the start
};

void PrintTo(const DamagedStoreCase& c, std::ostream* os)
{
    *os << c.name;
}

class DamagedStoreTest : public testing::TestWithParam<DamagedStoreCase>
{
};

TEST_P(DamagedStoreTest, IsPutAsideOnceAndTheProgramGoesOnWithTheDefaults)
{
    const std::string application = "Klangdorn_test_damaged_" +
                                    std::to_string(GetParam().setAside) + "_" +
                                    std::to_string(std::hash<std::string>()(GetParam().name));
    const QString file = storeFile(application);
    QDir folder(configHome() + "/Klangdorn");
    folder.mkpath(".");
    QDir(file).removeRecursively();
    QFile::remove(file);
    QFile::remove(file + ".unlesbar");
    GetParam().make(application);
    const qint64 sizeBefore = QFileInfo(file).size();

    const auto setAside = SetAsideUnreadableStore(application);
    ASSERT_EQ(setAside.has_value(), GetParam().setAside);
    QtSettingsBackend backend;
    SettingsStore store(backend, [&] { return application; });
    if (!GetParam().setAside) {
        EXPECT_EQ(store.readNormalize(), GetParam().normalize) << "a good store is read";
        return;
    }
    EXPECT_EQ(setAside->asideAs, (file + ".unlesbar").toStdString());
    EXPECT_EQ(QFileInfo(file + ".unlesbar").size(), sizeBefore) << "kept as it was";
    EXPECT_EQ(store.readNormalize(), GetParam().normalize) << "the default";
    store.saveNormalize(50);
    EXPECT_EQ(store.readNormalize(), 50);
    EXPECT_FALSE(SetAsideUnreadableStore(application)) << "put aside once";
    EXPECT_EQ(folder.entryList({QString::fromStdString(application) + ".conf*"}),
              QStringList({QString::fromStdString(application) + ".conf",
                           QString::fromStdString(application) + ".conf.unlesbar"}))
        << "no stray file";
    EXPECT_TRUE(SetAsideText(*setAside).starts_with("Die Einstellungsdatei " + file.toStdString() +
                                                    " ließ sich nicht lesen: "));
}

INSTANTIATE_TEST_SUITE_P(
    Stores, DamagedStoreTest,
    testing::Values(
        DamagedStoreCase{
            "10 MB of other data",
            [](const std::string& app) { writeStoreFile(app, QByteArray(10 << 20, 'x')); }, true},
        DamagedStoreCase{
            "a folder", [](const std::string& app) { QDir().mkpath(storeFile(app) + "/x"); }, true},
        DamagedStoreCase{"a NUL byte",
                         [](const std::string& app) {
                             writeStoreFile(app, QByteArray("[Settings]\nNormalize=40\n\0\n", 27));
                         },
                         true},
        DamagedStoreCase{
            "binary without NUL",
            [](const std::string& app) { writeStoreFile(app, "\x89PNG\r\n\x1a\n\xff"); }, true},
        DamagedStoreCase{"hand-edited settings",
                         [](const std::string& app) {
                             writeStoreFile(app, "; meine\n\n[Settings]\r\nNormalize = 40\r\n");
                         },
                         false, 40},
        DamagedStoreCase{"none", [](const std::string&) {}, false}));

} // namespace
