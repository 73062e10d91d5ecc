// SPDX-License-Identifier: GPL-3.0-or-later
// The real message boxes and the file dialog speak German, also in Qt's own texts.
#include "job/FileChoices.h"
#include "platform/GermanTranslation.h"
#include "platform/QtFileDialog.h"
#include "platform/QtMessageBoxes.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

using namespace klangdorn;

namespace
{

struct ShownBox {
    QString title;
    QString text;
    QStringList buttons;
    QString defaultButton;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString informativeText;
    bool informativeShownAsTyped = false; // no markup is interpreted
};

// Shows the message, records the box and clicks the button captioned `answer`.
std::pair<MessageAnswer, ShownBox> showAndClick(const Message& message, const QString& answer)
{
    ShownBox shown;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        shown.title = box->windowTitle();
        shown.text = box->text();
        shown.icon = box->icon();
        shown.informativeText = box->informativeText();
        for (const QLabel* label : box->findChildren<QLabel*>()) {
            if (label->text() == shown.informativeText && !shown.informativeText.isEmpty())
                shown.informativeShownAsTyped = label->textFormat() == Qt::PlainText;
        }
        if (box->defaultButton())
            shown.defaultButton = box->defaultButton()->text();
        QAbstractButton* toClick = nullptr;
        for (QAbstractButton* button : box->buttons()) {
            shown.buttons << button->text();
            if (button->text() == answer)
                toClick = button;
        }
        ASSERT_NE(toClick, nullptr);
        toClick->click();
    });
    QtMessageBoxes boxes;
    const MessageAnswer result = boxes.show(message);
    return {result, shown};
}

TEST(QtMessageBoxes, OkBoxShowsTwoLinesUnderTheApplicationTitle)
{
    const auto [answer, shown] =
        showAndClick(Message{std::string("Fehler: 75 - Zugriff") + LineBreak + "zweite Zeile"},
                     QStringLiteral("OK"));
    EXPECT_EQ(answer, MessageAnswer::Ok);
    EXPECT_EQ(shown.title, "Klangdorn_d");
    EXPECT_EQ(shown.text, "Fehler: 75 - Zugriff\nzweite Zeile");
    EXPECT_EQ(shown.buttons, QStringList{"OK"});
    EXPECT_EQ(shown.icon, QMessageBox::NoIcon);
}

TEST(QtMessageBoxes, DetailGoesBelowTheLinesAsTyped)
{
    Message failure{std::string("BeSweet wurde mit Fehlercode 2 beendet.") + LineBreak +
                        "Bitte die Ausgabe oder das Log prüfen.",
                    MessageButtons::Ok, MessageIcon::Exclamation, "Transcode fehlgeschlagen"};
    failure.detail = "besweet: <b>kein</b> Audio & mehr\nzweite Zeile";
    const auto [answer, shown] = showAndClick(failure, QStringLiteral("OK"));
    EXPECT_EQ(shown.text,
              "BeSweet wurde mit Fehlercode 2 beendet.\nBitte die Ausgabe oder das Log prüfen.");
    EXPECT_EQ(shown.informativeText, "besweet: <b>kein</b> Audio & mehr\nzweite Zeile");
    EXPECT_TRUE(shown.informativeShownAsTyped);

    const auto [plainAnswer, plain] = showAndClick(Message{"Fehler: 53"}, QStringLiteral("OK"));
    EXPECT_TRUE(plain.informativeText.isEmpty());
}

TEST(QtMessageBoxes, YesNoWarningHasJaAsDefaultAndAnswersAsClicked)
{
    const Message question{"Überschreiben?", MessageButtons::YesNo, MessageIcon::Exclamation,
                           "Datei existiert"};
    const auto [no, shownNo] = showAndClick(question, QStringLiteral("Nein"));
    EXPECT_EQ(no, MessageAnswer::No);
    EXPECT_EQ(shownNo.title, "Datei existiert");
    EXPECT_EQ(shownNo.icon, QMessageBox::Warning);
    EXPECT_EQ(shownNo.defaultButton, "Ja");
    EXPECT_EQ(shownNo.buttons.size(), 2);
    EXPECT_TRUE(shownNo.buttons.contains("Ja") && shownNo.buttons.contains("Nein"));

    const auto [yes, shownYes] = showAndClick(question, QStringLiteral("Ja"));
    EXPECT_EQ(yes, MessageAnswer::Yes);
}

TEST(GermanTranslation, FileDialogSpeaksGerman)
{
    ASSERT_TRUE(installGermanTranslation(*QCoreApplication::instance()));
    QStringList buttons;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        for (auto* box : dialog->findChildren<QDialogButtonBox*>())
            for (QAbstractButton* button : box->buttons())
                buttons << button->text().remove(QLatin1Char('&'));
        dialog->reject();
    });
    QtFileDialog backend;
    backend.show(FileDialogMode::Save,
                 {"Dolby Digital 2.0 (*.ac3)|*.ac3", "", "Speichern", "", ""});
    EXPECT_TRUE(buttons.contains("Abbrechen")) << buttons.join(',').toStdString();
    EXPECT_TRUE(buttons.contains("Speichern")) << buttons.join(',').toStdString();
}

} // namespace

namespace
{

// Shows the real dialog; `act` plays the user on it before it is accepted.
std::optional<FileChoice> showAndAccept(FileDialogMode mode, const FileDialogSettings& settings,
                                        const std::function<void(QFileDialog&)>& act)
{
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        act(*dialog);
        QMetaObject::invokeMethod(dialog, "accept");
    });
    QtFileDialog backend;
    return backend.show(mode, settings);
}

QLineEdit& nameField(QFileDialog& dialog)
{
    auto* field = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    EXPECT_NE(field, nullptr);
    return *field;
}

FileDialogSettings targetSettings(const std::string& fileName, const std::string& outputType)
{
    FileDialogSettings settings;
    settings.filter = FileChoiceTexts::TargetFilter;
    settings.fileName = fileName;
    settings.defaultExt = outputType;
    settings.filterIndex = filterIndexOf(settings.filter, outputType);
    settings.withoutInitDir = StartFolder::HomeFolder;
    return settings;
}

enum class Opened { Home, ProgramFolder, Root };

struct StartCase {
    const char* initDir; // nullptr: none
    StartFolder withoutInitDir;
    Opened expected;
};

QString folderOf(Opened opened)
{
    switch (opened) {
    case Opened::Home:
        return QDir::homePath();
    case Opened::ProgramFolder:
        return QCoreApplication::applicationDirPath();
    case Opened::Root:
        break;
    }
    return QDir::rootPath();
}

class DialogStart : public testing::TestWithParam<StartCase>
{
};

TEST_P(DialogStart, OpensInTheGivenFolderElseAtHomeOrBesideTheProgram)
{
    FileDialogSettings settings{FileChoiceTexts::SourceFilter, "", "Quelle", "", "", 0,
                                GetParam().withoutInitDir};
    if (GetParam().initDir)
        settings.initDir = GetParam().initDir;
    QString opened;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        opened = dialog->directory().absolutePath();
        dialog->reject();
    });
    QtFileDialog backend;
    EXPECT_EQ(backend.show(FileDialogMode::Open, settings), std::nullopt);
    EXPECT_EQ(opened, QDir(folderOf(GetParam().expected)).absolutePath());
}

INSTANTIATE_TEST_SUITE_P(Folders, DialogStart,
                         testing::Values(StartCase{nullptr, StartFolder::HomeFolder, Opened::Home},
                                         StartCase{nullptr, StartFolder::ProgramFolder,
                                                   Opened::ProgramFolder},
                                         StartCase{"/", StartFolder::HomeFolder, Opened::Root}));

struct TypedNameCase {
    const char* outputType;
    int pickedFilter; // -1: the type shown first is kept
    const char* typed;
    const char* ending;
};

class TypedName : public testing::TestWithParam<TypedNameCase>
{
};

TEST_P(TypedName, TheStoredTypeIsShownFirstAndAPickedTypeDecidesTheExtension)
{
    const TypedNameCase& c = GetParam();
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QString shownFirst;
    QString afterPick;
    const auto choice = showAndAccept(
        FileDialogMode::Save, targetSettings((folder.path() + "/clip").toStdString(), c.outputType),
        [&](QFileDialog& dialog) {
            shownFirst = dialog.selectedNameFilter();
            nameField(dialog).setText(c.typed);
            if (c.pickedFilter >= 0)
                dialog.selectNameFilter(dialog.nameFilters().at(c.pickedFilter));
            QCoreApplication::processEvents();
            afterPick = nameField(dialog).text();
        });
    ASSERT_TRUE(choice);
    const QString firstExpected = filterIndexOf(FileChoiceTexts::TargetFilter, c.outputType) == 0
                                      ? QStringLiteral("MPEGI")
                                      : QStringLiteral("Dolby");
    EXPECT_TRUE(shownFirst.startsWith(firstExpected)) << shownFirst.toStdString();
    EXPECT_EQ(choice->fullPath, (folder.path() + "/" + c.ending).toStdString());
    EXPECT_FALSE(afterPick.contains('[')) << afterPick.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Types, TypedName,
                         testing::Values(TypedNameCase{"ac3", -1, "clip", "clip.ac3"},
                                         TypedNameCase{"mpa", -1, "clip", "clip.mpa"},
                                         TypedNameCase{"MPA", -1, "clip", "clip.MPA"},
                                         TypedNameCase{"ac3", 0, "clip", "clip.mpa"},
                                         TypedNameCase{"MPA", 1, "clip", "clip.ac3"},
                                         TypedNameCase{"ac3", 0, "clip.ac3", "clip.mpa"},
                                         TypedNameCase{"ac3", -1, "clip.wav.mp2", "clip.wav.mp2"}));

TEST(SaveDialogPreset, AFolderThatDoesNotExistYetKeepsTheWholePath)
{
    const std::string preset = "/tmp/klangdorn-gibt-es-nicht/neu/konzert";
    QString shown;
    const auto choice =
        showAndAccept(FileDialogMode::Save, targetSettings(preset, "ac3"),
                      [&](QFileDialog& dialog) { shown = nameField(dialog).text(); });
    EXPECT_EQ(shown.toStdString(), preset);
    ASSERT_TRUE(choice);
    EXPECT_EQ(choice->fullPath, preset + ".ac3");
    EXPECT_EQ(choice->bareName, "konzert.ac3");
}

} // namespace
