// The real message boxes and the file dialog speak German, also in Qt's own texts.
#include "platform/GermanTranslation.h"
#include "platform/QtFileDialog.h"
#include "platform/QtMessageBoxes.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
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
