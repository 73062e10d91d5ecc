// SPDX-License-Identifier: GPL-3.0-or-later
// What users of desktop programs take for granted: dropping a file on the window, names for
// screen readers, and whole controls that react to the mouse.
#include "WindowFixture.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QWindow>

using namespace klangdorn;
using namespace klangdorn::test;

namespace
{

// ---- Dropping files -------------------------------------------------------------------------

enum class DropPlace { Window, SourceField, TargetField };

struct DropCase {
    const char* what;
    DropPlace place;
    std::vector<const char*> items; // "file:NAME", "dir:NAME", or a URL as it stands
    bool accepted;
    bool asTarget;
};

void PrintTo(const DropCase& c, std::ostream* os)
{
    *os << c.what;
}

class Drops : public WindowFixture, public testing::WithParamInterface<DropCase>
{
protected:
    QTemporaryDir folder;
    QString recordings; // a folder with a blank in its name

    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        recordings = folder.path() + "/Meine Aufnahmen";
        ASSERT_TRUE(QDir().mkpath(recordings + "/Sammlung"));
        for (const char* name : {"konzert.wav", "probe.mpa"}) {
            QFile file(recordings + "/" + name);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        }
        start();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    QUrl urlOf(const std::string& item) const
    {
        if (item.starts_with("file:") || item.starts_with("dir:"))
            return QUrl::fromLocalFile(recordings + "/" +
                                       QString::fromStdString(item.substr(item.find(':') + 1)));
        return QUrl(QString::fromStdString(item));
    }

    QPoint pointOf(DropPlace place)
    {
        QWidget* target = nullptr;
        switch (place) {
        case DropPlace::Window:
            target = control<QWidget>("fmrOutput");
            break;
        case DropPlace::SourceField:
            target = control<QWidget>("txtInputFile");
            break;
        case DropPlace::TargetField:
            target = control<QWidget>("txtOutputFile");
            break;
        }
        return target->mapTo(window.get(), QPoint(8, target->height() / 2));
    }

    // Drags the data over the window's native window as the platform would and drops it
    // there when the window takes it; true when it was taken.
    bool drop(QMimeData& data, DropPlace place)
    {
        QWindow* native = window->windowHandle();
        const QPoint point = pointOf(place);
        // Shift asks the file manager for a move; Klangdorn only ever takes a copy.
        const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
        QDragEnterEvent enter(point, actions, &data, Qt::LeftButton, Qt::ShiftModifier);
        QApplication::sendEvent(native, &enter);
        if (!enter.isAccepted()) {
            QDragLeaveEvent leave;
            QApplication::sendEvent(native, &leave);
            return false;
        }
        EXPECT_EQ(enter.dropAction(), Qt::CopyAction);
        QDropEvent dropped(point, actions, &data, Qt::LeftButton, Qt::ShiftModifier);
        QApplication::sendEvent(native, &dropped);
        EXPECT_EQ(dropped.dropAction(), Qt::CopyAction) << "a move would delete the dropped file";
        return dropped.isAccepted();
    }

    std::string inRecordings(const char* name) const
    {
        return QDir::toNativeSeparators(recordings + "/" + name).toStdString();
    }
};

TEST_P(Drops, ALocalFileActsAsAChoiceAndNothingElseIsTaken)
{
    const DropCase& c = GetParam();
    auto* source = control<QLineEdit>("txtInputFile");
    auto* target = control<QLineEdit>("txtOutputFile");
    source->setText("/alt/quelle.wav");
    target->setText("/alt/ziel.ac3");
    const StoredKeys before = storedKeys();

    // As file managers give it: the URLs, and the same as text.
    QMimeData data;
    QList<QUrl> urls;
    QStringList text;
    for (const char* item : c.items) {
        urls << urlOf(item);
        text << urls.back().toString();
    }
    data.setUrls(urls);
    data.setText(text.join('\n'));
    EXPECT_EQ(drop(data, c.place), c.accepted);

    StoredKeys expected = before;
    if (!c.accepted) {
        EXPECT_EQ(source->text(), "/alt/quelle.wav");
        EXPECT_EQ(target->text(), "/alt/ziel.ac3");
    } else if (c.asTarget) {
        EXPECT_EQ(source->text(), "/alt/quelle.wav");
        EXPECT_EQ(target->text().toStdString(), inRecordings("probe.mpa"));
        expected["OutputDir"] = inRecordings("").substr(0, inRecordings("").size() - 1);
        expected["OutputType"] = "mpa";
    } else {
        EXPECT_EQ(source->text().toStdString(), inRecordings("konzert.wav"));
        EXPECT_EQ(target->text().toStdString(), inRecordings("konzert.ac3"));
        expected["InputDir"] = inRecordings("").substr(0, inRecordings("").size() - 1);
    }
    EXPECT_EQ(storedKeys(), expected);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_TRUE(dialog.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(
    WhatAndWhere, Drops,
    testing::Values(
        DropCase{"file on the window", DropPlace::Window, {"file:konzert.wav"}, true, false},
        DropCase{"file on the source", DropPlace::SourceField, {"file:konzert.wav"}, true, false},
        DropCase{"file on the target", DropPlace::TargetField, {"file:probe.mpa"}, true, true},
        DropCase{"two files",
                 DropPlace::SourceField,
                 {"file:konzert.wav", "file:probe.mpa"},
                 true,
                 false},
        DropCase{"a folder", DropPlace::SourceField, {"dir:Sammlung"}, false, false},
        DropCase{"a folder first",
                 DropPlace::Window,
                 {"dir:Sammlung", "file:konzert.wav"},
                 false,
                 false},
        DropCase{"a missing file", DropPlace::TargetField, {"file:fehlt.wav"}, false, false},
        DropCase{"a web address",
                 DropPlace::SourceField,
                 {"http://example.org/konzert.wav"},
                 false,
                 false}));

TEST_F(Drops, TextWithoutAFileNeverLandsInAField)
{
    QMimeData data;
    data.setText(QUrl::fromLocalFile(recordings + "/konzert.wav").toString());
    EXPECT_FALSE(drop(data, DropPlace::SourceField));
    EXPECT_TRUE(control<QLineEdit>("txtInputFile")->text().isEmpty());
}

// ---- Screen readers -----------------------------------------------------------------------

QString accessibleText(QWidget* widget, QAccessible::Text kind)
{
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
    return face ? face->text(kind) : QStringLiteral("<none>");
}

class Accessibility : public WindowFixture
{
};

TEST_F(Accessibility, EveryControlIsNamedAfterItsCaptionOrPurpose)
{
    start();
    const std::vector<std::pair<const char*, QString>> names{
        {"txtInputFile", "Quelldatei:"},          {"txtOutputFile", "Zieldatei"},
        {"cmdInput", "Quelldatei wählen"},        {"cmdOutput", "Zieldatei wählen"},
        {"sldNormalize", "Normalisierungslevel"}, {"picWaitBar", "Fortschritt"},
        {"chkResample", "Resample auf 48 kHz"},   {"cmdTranscode", "Transcode"},
    };
    for (const auto& [name, expected] : names)
        EXPECT_EQ(accessibleText(control<QWidget>(name), QAccessible::Name), expected) << name;
}

// Qt names an editable combo box after its text on Linux and hands the label to the screen
// reader as the box's "labelled by" relation; elsewhere the label's text is its name.
TEST_F(Accessibility, ComboBoxesAreLabelledByTheLabelBesideThem)
{
    start();
    const std::vector<std::pair<const char*, QString>> labels{
        {"cmbOutputBitrate", "Bitrate (kbps)"},
        {"cmbOutputChannelmode", "Kanalmodus (nur MPA)"},
        {"cmbInputSamplerate", "Sample Rate"},
    };
    for (const auto& [name, expected] : labels) {
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(control<QWidget>(name));
        ASSERT_NE(face, nullptr) << name;
        QStringList labelTexts;
        for (const auto& [label, relation] : face->relations(QAccessible::Label))
            labelTexts << label->text(QAccessible::Name);
        // The label first; the frame's title follows as a label of everything in it.
        EXPECT_EQ(labelTexts.value(0), expected) << name;
        EXPECT_EQ(control<QWidget>(name)->accessibleName(), expected) << name;
    }
}

TEST_F(Accessibility, TheSliderTellsItsLevelAsAPercentage)
{
    start();
    auto* slider = control<QSlider>("sldNormalize");
    slider->setValue(73);
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(slider);
    ASSERT_NE(face, nullptr);
    EXPECT_EQ(face->role(), QAccessible::Slider);
    EXPECT_EQ(face->text(QAccessible::Value), "73%");
    ASSERT_NE(face->valueInterface(), nullptr);
    EXPECT_EQ(face->valueInterface()->currentValue().toInt(), 73);
    face->valueInterface()->setCurrentValue(40);
    EXPECT_EQ(slider->value(), 40);
    EXPECT_EQ(face->valueInterface()->maximumValue().toInt(), 100);
}

// ---- Mouse and keyboard -------------------------------------------------------------------

class ShownWindow : public WindowFixture
{
protected:
    void SetUp() override
    {
        start();
        window->show();
        QApplication::setActiveWindow(window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
};

TEST_F(ShownWindow, CheckBoxesReactAcrossTheirWholeWidth)
{
    for (const char* name : {"chkWriteLog", "chkShowBesweet", "chkResample", "chkInputRAWPCM"}) {
        auto* box = control<QCheckBox>(name);
        const bool before = box->isChecked();
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->width() - 2, box->height() - 2));
        EXPECT_NE(box->isChecked(), before) << name;
    }
}

// Where a label reaches over a control of its container. A new overlap of the layout joins
// this table, and so the clicks below.
const std::vector<std::pair<QString, QString>> labelOverlaps{
    {"chkResample", "lblOutputBitrate"},
};

std::vector<std::pair<QString, QString>> labelOverlapsOf(const QWidget& client)
{
    std::vector<std::pair<QString, QString>> found;
    for (const QLabel* label : client.findChildren<QLabel*>()) {
        for (const QObject* sibling : label->parentWidget()->children()) {
            const auto* control = qobject_cast<const QWidget*>(sibling);
            if (control && control != label && !qobject_cast<const QLabel*>(control) &&
                control->geometry().intersects(label->geometry()))
                found.emplace_back(control->objectName(), label->objectName());
        }
    }
    return found;
}

// The widget a real click reaches: it goes through the window as the window system sends it.
QWidget* pressedAt(QWidget& window, const QPoint& at)
{
    QWidget* pressed = nullptr;
    struct Recorder : QObject {
        QWidget*& pressed;
        explicit Recorder(QWidget*& target) : pressed(target) {}
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            if (event->type() == QEvent::MouseButtonPress && !pressed)
                pressed = qobject_cast<QWidget*>(watched);
            return false;
        }
    } recorder(pressed);
    qApp->installEventFilter(&recorder);
    QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, at);
    qApp->removeEventFilter(&recorder);
    return pressed;
}

TEST_F(ShownWindow, ControlsTakeClicksOnTheirWholeAreaWhereLabelsReachOverThem)
{
    EXPECT_EQ(labelOverlapsOf(*window->centralWidget()), labelOverlaps);
    for (const auto& [name, label] : labelOverlaps) {
        auto* overlapped = control<QWidget>(name.toLatin1().constData());
        const QRect area = overlapped->rect();
        for (const QPoint& edge : {area.topLeft(), area.bottomLeft(), area.topRight(),
                                   area.bottomRight(), QPoint(area.left(), area.center().y())}) {
            EXPECT_EQ(pressedAt(*window, overlapped->mapTo(window.get(), edge)), overlapped)
                << name.toStdString() << " under " << label.toStdString() << " at " << edge.x()
                << "," << edge.y();
        }
    }
}

TEST_F(ShownWindow, EnterAndSpaceClickTheFocusedButton)
{
    for (const char* name : {"cmdTranscode", "cmdInput", "cmdOutput"}) {
        auto* button = control<QPushButton>(name);
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
            button->setFocus();
            ASSERT_TRUE(button->hasFocus());
            QSignalSpy clicked(button, &QPushButton::clicked);
            QTest::keyClick(button, key);
            EXPECT_EQ(clicked.count(), 1) << name << " key " << key;
        }
    }
}

TEST_F(ShownWindow, TheSliderReactsOverItsTickMarksToo)
{
    auto* slider = control<QSlider>("sldNormalize");
    QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(4, slider->height() - 2));
    EXPECT_EQ(slider->value(), 85) << "a click on the track's row left of the handle: one page";
}

TEST_F(ShownWindow, TheWaitBoxShowsTheKeyboardFocus)
{
    auto* box = control<QWidget>("picWaitBar");
    const QImage unfocused = box->grab().toImage();
    control<QWidget>("chkShowBesweet")->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), box);
    EXPECT_NE(box->grab().toImage(), unfocused);
}

} // namespace
