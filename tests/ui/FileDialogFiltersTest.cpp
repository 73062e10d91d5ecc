// SPDX-License-Identifier: GPL-3.0-or-later
// The real file dialog: its filters, start folder, default extension and overwrite handling,
// driven while it is open.
#include "job/FileChoices.h"
#include "platform/QtFileDialog.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QSortFilterProxyModel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

using namespace klangdorn;

namespace
{

void touch(const QString& path)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
}

// Runs `whileOpen` once the dialog is shown; it must accept or reject the dialog.
void whenDialogOpens(std::function<void(QFileDialog&)> whileOpen)
{
    QTimer::singleShot(0, [whileOpen] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        whileOpen(*dialog);
    });
}

void typeAndAccept(QFileDialog& dialog, const QString& name)
{
    auto* nameField = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(nameField, nullptr);
    nameField->setText(name);
    QMetaObject::invokeMethod(&dialog, "accept");
}

TEST(FileDialogFilters, PatternsMatchFilesInAnyLetterCase)
{
    QTemporaryDir dir;
    for (const char* name : {"clip.wav", "LOUD.WAV", "take.Mp2", "song.mp3", "note.txt"})
        touch(dir.filePath(QString::fromLatin1(name)));

    const QStringList filters =
        nameFilters("Wave-Audio (*.wav)|*.wav|MPEG-Audio (*.mp2, *.mpa, *.mp3)|*.mp2;*.mpa;*.mp3");
    ASSERT_EQ(filters.size(), 2);
    const QDir folder(dir.path());
    EXPECT_EQ(folder.entryList(dialogPatterns("*.wav"), QDir::Files, QDir::Name),
              (QStringList{"LOUD.WAV", "clip.wav"}));
    EXPECT_EQ(folder.entryList(dialogPatterns("*.mp2;*.mpa;*.mp3"), QDir::Files, QDir::Name),
              (QStringList{"song.mp3", "take.Mp2"}));
}

TEST(FileDialogFilters, TheTranscoderPatternAlsoListsTheBundledTranscoder)
{
    QTemporaryDir dir;
    for (const char* name : {"BeSweet.EXE", "besweet", "besweet.dll", "other.exe"})
        touch(dir.filePath(QString::fromLatin1(name)));
    const QStringList listed =
        QDir(dir.path()).entryList(dialogPatterns("besweet.exe"), QDir::Files, QDir::Name);
#ifdef Q_OS_WIN
    EXPECT_EQ(listed, (QStringList{"BeSweet.EXE"}));
#else
    EXPECT_EQ(listed, (QStringList{"BeSweet.EXE", "besweet"}));
#endif
}

TEST(FileDialog, ShowsTheDescriptionsAndOpensInTheProgramFolderWithoutAnInitialFolder)
{
    QtFileDialog backend;
    QStringList shownFilters;
    QString shownFolder;
    QString shownTitle;
    whenDialogOpens([&](QFileDialog& dialog) {
        auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        for (int i = 0; types && i < types->count(); ++i)
            shownFilters << types->itemText(i);
        shownFolder = dialog.directory().absolutePath();
        shownTitle = dialog.windowTitle();
        dialog.reject();
    });
    const auto choice = backend.show(FileDialogMode::Open,
                                     {"Ausführbare Dateien (*.exe)|besweet.exe|Alle (*.*)|*.*", "",
                                      "Besweet.exe suchen", "", ""});

    EXPECT_FALSE(choice.has_value());
    EXPECT_EQ(shownFilters, (QStringList{"Ausführbare Dateien (*.exe)", "Alle (*.*)"}));
    EXPECT_EQ(shownFolder, QDir(QCoreApplication::applicationDirPath()).absolutePath());
    EXPECT_EQ(shownTitle, QStringLiteral("Besweet.exe suchen"));
}

TEST(FileDialog, SaveAppendsTheDefaultExtensionAndNeverAsksAboutAnExistingFile)
{
    QTemporaryDir dir;
    touch(dir.filePath("clip.ac3"));
    QtFileDialog backend;
    const FileDialogSettings settings{"Dolby Digital 2.0 (*.ac3)|*.ac3", "", "Speichern",
                                      dir.path().toStdString(), "ac3"};

    whenDialogOpens([](QFileDialog& dialog) { typeAndAccept(dialog, "clip"); });
    const auto typedWithout = backend.show(FileDialogMode::Save, settings);
    ASSERT_TRUE(typedWithout.has_value());
    EXPECT_EQ(typedWithout->fullPath,
              QDir::toNativeSeparators(dir.filePath("clip.ac3")).toStdString());
    EXPECT_EQ(typedWithout->bareName, "clip.ac3");

    whenDialogOpens([](QFileDialog& dialog) { typeAndAccept(dialog, "clip.MPA"); });
    const auto typedWith = backend.show(FileDialogMode::Save, settings);
    ASSERT_TRUE(typedWith.has_value());
    EXPECT_EQ(typedWith->bareName, "clip.MPA");
}

TEST(FileDialog, OpenKeepsANameWithoutExtensionAsItIs)
{
    QTemporaryDir dir;
    touch(dir.filePath("besweet"));
    QtFileDialog backend;
    whenDialogOpens([](QFileDialog& dialog) { typeAndAccept(dialog, "besweet"); });
    // A default extension left over from an earlier save must not hide the file.
    const auto choice =
        backend.show(FileDialogMode::Open, {"Ausführbare Dateien (*.exe)|besweet.exe", "",
                                            "Besweet.exe suchen", dir.path().toStdString(), "ac3"});
    ASSERT_TRUE(choice.has_value());
    EXPECT_EQ(choice->bareName, "besweet");
}

#ifndef Q_OS_WIN
// A transcoder built or installed by hand need not be called besweet.
TEST(FileDialog, TheTranscoderChoiceAlsoListsEveryProgram)
{
    QTemporaryDir dir;
    for (const char* name : {"besweet", "mein-transcoder", "notizen.txt"})
        touch(dir.filePath(QString::fromLatin1(name)));
    for (const char* name : {"besweet", "mein-transcoder"})
        QFile::setPermissions(dir.filePath(QString::fromLatin1(name)),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QStringList listed;
    whenDialogOpens([&](QFileDialog& dialog) {
        auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        ASSERT_NE(types, nullptr);
        ASSERT_EQ(types->count(), 2);
        types->setCurrentIndex(1);
        emit types->activated(1); // as when the user picks it
        auto* files = dialog.findChild<QFileSystemModel*>();
        ASSERT_NE(files, nullptr);
        QAbstractItemModel* shown = dialog.proxyModel();
        if (!shown)
            shown = files;
        const auto folder = [&] {
            const QModelIndex inFiles = files->index(dir.path());
            return dialog.proxyModel() ? dialog.proxyModel()->mapFromSource(inFiles) : inFiles;
        };
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return files->rowCount(files->index(dir.path())) == 3; }, 5000));
        for (int row = 0; row < shown->rowCount(folder()); ++row)
            listed << shown->index(row, 0, folder()).data().toString();
        dialog.reject();
    });
    QtFileDialog().show(FileDialogMode::Open, {FileChoiceTexts::BesweetFilter, "",
                                               "Besweet.exe suchen", dir.path().toStdString(), ""});
    listed.sort();
    EXPECT_EQ(listed, (QStringList{"besweet", "mein-transcoder"}))
        << listed.join(QLatin1Char(0x2c)).toStdString();
}
#endif

} // namespace
