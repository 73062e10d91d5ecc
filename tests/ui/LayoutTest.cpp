// SPDX-License-Identifier: GPL-3.0-or-later
// The window's layout as it renders: sizes, tab order, and every text fitting its control in
// the font it is drawn in.
#include "WindowFixture.h"
#include "platform/Appearance.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QStyleOption>
#include <QTest>

using namespace klangdorn;
using namespace klangdorn::test;

namespace
{

class Layout : public WindowFixture
{
protected:
    static void SetUpTestSuite() { useProgramStyle(); }
};

int textWidth(const QWidget& widget, const QString& text)
{
    return QFontMetrics(widget.font()).horizontalAdvance(text);
}

TEST_F(Layout, ClientAreaIsFixedBelowTheMenuBar)
{
    start();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    const QWidget* client = window->centralWidget();
    EXPECT_EQ(client->size(), QSize(374, 299));
    EXPECT_EQ(client->y(), window->menuBar()->height());
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_EQ(control<QWidget>("cmdTranscode")->geometry(), QRect(296, 268, 73, 25));
    EXPECT_EQ(control<QWidget>("lblNormalize")->geometry(), QRect(144, 88, 209, 17));
    EXPECT_EQ(control<QWidget>("lblNormalize")->parentWidget(), control<QWidget>("fmrOutput"));
}

TEST_F(Layout, FocusMovesThroughTheControlsInTabOrder)
{
    start();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    control<QCheckBox>("chkInputRAWPCM")->setChecked(true); // the sample-rate box takes focus then
    const QStringList expected{"txtInputFile", "txtOutputFile",      "cmdInput",
                               "cmdOutput",    "cmbOutputBitrate",   "cmbOutputChannelmode",
                               "cmdTranscode", "cmbInputSamplerate", "chkInputRAWPCM",
                               "sldNormalize", "chkWriteLog",        "chkShowBesweet",
                               "picWaitBar",   "chkResample",        "txtInputFile"};
    QStringList visited;
    QWidget* widget = control<QWidget>("txtInputFile");
    for (int step = 0; step < expected.size(); ++step) {
        visited << widget->objectName();
        do
            widget = widget->nextInFocusChain();
        while (!(widget->focusPolicy() & Qt::TabFocus) || !widget->isEnabled() ||
               !widget->isVisible() || widget->objectName().isEmpty());
    }
    EXPECT_EQ(visited, expected);
}

TEST_F(Layout, EveryTextFitsItsControlInTheFontItIsDrawnIn)
{
    start();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    control<QSlider>("sldNormalize")->setValue(100); // the widest level text
    const QStyle* style = window->style();
    const QString family = QFontInfo(window->font()).family();
    SCOPED_TRACE(("drawn in " + family).toStdString());

    for (const QLabel* label : window->findChildren<QLabel*>()) {
        SCOPED_TRACE(label->objectName().toStdString());
        EXPECT_LE(textWidth(*label, label->text()), label->contentsRect().width());
        EXPECT_LE(label->fontMetrics().height(), label->height());
    }
    for (const QCheckBox* box : window->findChildren<QCheckBox*>()) {
        SCOPED_TRACE(box->objectName().toStdString());
        QStyleOptionButton option;
        option.initFrom(box);
        option.text = box->text();
        const QRect text = style->subElementRect(QStyle::SE_CheckBoxContents, &option, box);
        const QRect indicator = style->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
        EXPECT_LE(textWidth(*box, box->text()), text.width());
        EXPECT_LE(box->fontMetrics().height(), box->height());
        EXPECT_TRUE(box->rect().contains(indicator));
    }
    for (const QPushButton* button : window->findChildren<QPushButton*>()) {
        SCOPED_TRACE(button->objectName().toStdString());
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const QRect text = style->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        EXPECT_LE(textWidth(*button, button->text()), text.width());
    }
    for (const QComboBox* combo : window->findChildren<QComboBox*>()) {
        SCOPED_TRACE(combo->objectName().toStdString());
        QStyleOptionComboBox option;
        option.initFrom(combo);
        option.editable = true;
        const QRect field = style->subControlRect(QStyle::CC_ComboBox, &option,
                                                  QStyle::SC_ComboBoxEditField, combo);
        for (int i = 0; i < combo->count(); ++i)
            EXPECT_LE(textWidth(*combo, combo->itemText(i)), field.width()) << i;
    }
    for (const QGroupBox* frame : window->findChildren<QGroupBox*>()) {
        SCOPED_TRACE(frame->objectName().toStdString());
        EXPECT_TRUE(frame->font().bold());
        QStyleOptionGroupBox option;
        option.initFrom(frame);
        option.text = frame->title();
        option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
        option.textAlignment = frame->alignment();
        const QRect title =
            style->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, frame);
        EXPECT_TRUE(frame->rect().contains(title));
        // The title's blanks at its end carry no ink: what must fit runs to its last letter.
        QString visible = frame->title();
        while (visible.endsWith(QLatin1Char(' ')))
            visible.chop(1);
        EXPECT_LE(textWidth(*frame, visible), title.width());
        for (const QWidget* inside : frame->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            EXPECT_GE(inside->y(), title.bottom()) << inside->objectName().toStdString();
            EXPECT_FALSE(inside->font().bold()) << inside->objectName().toStdString();
        }
    }
}

} // namespace
