// SPDX-License-Identifier: GPL-3.0-or-later
// The window's controls made from its tables (frmMainTables.h): each control with its place,
// the menu, the focus order, the names and tool tips, and the option lists' items.
#include "job/CodeTables.h"
#include "platform/Appearance.h"
#include "ui/WaitBarBox.h"
#include "ui/WholeAreaControls.h"
#include "ui/frmMain.h"
#include "ui/frmMainTables.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QTimer>
#include <array>

namespace klangdorn
{

namespace
{

using namespace frmMainTables;

// The control's place in logical pixels. A check box lower than its style's indicator grows
// to the indicator's height about the same middle, so the box is drawn whole.
QRect geometryOf(const ControlDefinition& definition, const QWidget& control)
{
    QRect geometry(px(definition.left), px(definition.top), px(definition.width),
                   px(definition.height));
    if (definition.kind == Kind::CheckBox) {
        const int indicator =
            control.style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, &control);
        if (geometry.height() < indicator) {
            geometry.translate(0, -(indicator - geometry.height()) / 2);
            geometry.setHeight(indicator);
        }
    }
    return geometry;
}

QWidget* makeControl(const ControlDefinition& definition, QWidget* parent)
{
    const QString caption = QString::fromUtf8(definition.caption);
    QWidget* control = nullptr;
    switch (definition.kind) {
    case Kind::Label:
        control = new QLabel(caption, parent);
        break;
    case Kind::TextBox:
        control = new QLineEdit(caption, parent);
        break;
    case Kind::Button: {
        auto* button = new QPushButton(caption, parent);
        button->setAutoDefault(true); // Enter clicks the focused button, as Space does
        control = button;
        break;
    }
    case Kind::CheckBox:
        control = new WholeAreaCheckBox(caption, parent);
        break;
    case Kind::ComboBox: {
        auto* combo = new QComboBox(parent);
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setCompleter(nullptr); // typed text stays as typed
        control = combo;
        break;
    }
    case Kind::Frame: {
        auto* frame = new QGroupBox(caption, parent);
        frame->setFont(frameTitleFont());
        control = frame;
        break;
    }
    case Kind::Slider: {
        auto* slider = new WholeAreaSlider(Qt::Horizontal, parent);
        slider->setRange(0, 100);
        slider->setSingleStep(1);
        slider->setPageStep(10);
        slider->setTickPosition(QSlider::TicksBelow);
        slider->setTickInterval(10);
        slider->setValue(95);
        control = slider;
        break;
    }
    case Kind::WaitBar: {
        auto* box = new WaitBarBox(parent);
        box->setFont(waitBarFont());
        control = box;
        break;
    }
    }
    control->setObjectName(QString::fromLatin1(definition.name));
    control->setGeometry(geometryOf(definition, *control));
    // Frames show their titles in bold; what they hold keeps the window's font.
    if (definition.container && definition.kind != Kind::WaitBar)
        control->setFont(windowFont());
    return control;
}

template <typename Control> Control* child(const QObject& window, const char* name)
{
    auto* control = window.findChild<Control*>(QString::fromLatin1(name));
    Q_ASSERT(control);
    return control;
}

template <std::size_t N>
void fillOptionList(QComboBox& combo, const std::array<OptionEntry, N>& table, int initial)
{
    for (std::size_t i = 0; i < N; ++i)
        combo.insertItem(
            static_cast<int>(i),
            QString::fromUtf8(table[i].item.data(), static_cast<qsizetype>(table[i].item.size())));
    combo.setCurrentIndex(initial);
}

} // namespace

void frmMain::buildControls()
{
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("clientArea"));
    client->setFixedSize(px(ClientWidth), px(ClientHeight));
    setCentralWidget(client);
    // The layout is fixed: the window keeps the size of its menu bar and client area.
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    for (const auto& definition : controlTable) {
        QWidget* container =
            definition.container ? child<QWidget>(*client, definition.container) : client;
        makeControl(definition, container);
    }
    // A label is drawn on its container beneath every control: where it reaches over one,
    // the control still takes the clicks on its whole area.
    for (const auto& definition : controlTable) {
        if (definition.kind == Kind::Label)
            child<QWidget>(*client, definition.name)->lower();
    }

    m_txtInputFile = child<QLineEdit>(*this, "txtInputFile");
    m_txtOutputFile = child<QLineEdit>(*this, "txtOutputFile");
    m_cmdInput = child<QPushButton>(*this, "cmdInput");
    m_cmdOutput = child<QPushButton>(*this, "cmdOutput");
    m_chkInputRAWPCM = child<QCheckBox>(*this, "chkInputRAWPCM");
    m_cmbInputSamplerate = child<QComboBox>(*this, "cmbInputSamplerate");
    m_lblInputSamplerate = child<QLabel>(*this, "lblInputSamplerate");
    m_cmbOutputBitrate = child<QComboBox>(*this, "cmbOutputBitrate");
    m_cmbOutputChannelmode = child<QComboBox>(*this, "cmbOutputChannelmode");
    m_chkResample = child<QCheckBox>(*this, "chkResample");
    m_sldNormalize = child<QSlider>(*this, "sldNormalize");
    m_lblNormalize = child<QLabel>(*this, "lblNormalize");
    m_chkWriteLog = child<QCheckBox>(*this, "chkWriteLog");
    m_chkShowBesweet = child<QCheckBox>(*this, "chkShowBesweet");
    m_picWaitBar = child<WaitBarBox>(*this, "picWaitBar");
    m_cmdTranscode = child<QPushButton>(*this, "cmdTranscode");

    // The RAW PCM option is ticked in the design; the load step clears it.
    m_chkInputRAWPCM->setChecked(true);

    m_tmrProgress = new QTimer(this);
    m_tmrProgress->setObjectName(QStringLiteral("tmrProgress"));
    m_tmrProgress->setInterval(100);
}

void frmMain::describeControls()
{
    for (const auto& help : helpTable) {
        auto* control = child<QWidget>(*this, help.name);
        if (help.buddy) {
            auto* label = child<QLabel>(*this, help.buddy);
            label->setBuddy(control);
            // Qt names a combo box on Linux by its text whatever is set; elsewhere this counts.
            if (qobject_cast<QComboBox*>(control))
                control->setAccessibleName(label->text());
        }
        if (help.accessibleName)
            control->setAccessibleName(QString::fromUtf8(help.accessibleName));
        if (help.toolTip)
            control->setToolTip(QString::fromUtf8(help.toolTip));
    }
    // A dropped file is taken by the window, never inserted into a field as text.
    setAcceptDrops(true);
    m_txtInputFile->setAcceptDrops(false);
    m_txtOutputFile->setAcceptDrops(false);
}

void frmMain::buildMenu()
{
    QMenu* options = menuBar()->addMenu(QStringLiteral("Optionen"));
    options->setObjectName(QStringLiteral("mnuOptions"));
    m_mnuAllocToolame = options->addAction(QStringLiteral("Pfad zu Besweet.exe"));
    m_mnuAllocToolame->setObjectName(QStringLiteral("mnuAllocToolame"));
    m_mnuSetToTop = options->addAction(QStringLiteral("immer im Vordergrund"));
    m_mnuSetToTop->setObjectName(QStringLiteral("mnuSetToTop"));
    m_mnuSetToTop->setCheckable(true);
    m_mnuSetToTop->setChecked(true);
}

void frmMain::setTabOrderOfControls()
{
    for (std::size_t i = 1; i < tabOrder.size(); ++i)
        setTabOrder(child<QWidget>(*this, tabOrder[i - 1]), child<QWidget>(*this, tabOrder[i]));
    m_txtInputFile->setFocus();
}

void frmMain::fillOptionLists()
{
    fillOptionList(*m_cmbInputSamplerate, arrInputSamplerate, InitialInputSamplerate);
    fillOptionList(*m_cmbOutputBitrate, arrOutputBitrate, InitialOutputBitrate);
    fillOptionList(*m_cmbOutputChannelmode, arrOutputChannelmode, InitialOutputChannelmode);
}

} // namespace klangdorn
