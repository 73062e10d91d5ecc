// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/frmMain.h"

#include "job/CodeTables.h"
#include "job/FileChoices.h"
#include "job/RuntimeError.h"
#include "platform/Appearance.h"
#include "platform/BundledTranscoder.h"
#include "platform/ConsoleFramedLauncher.h"
#include "platform/DesktopShell.h"
#include "platform/NativeProcessLauncher.h"
#include "platform/WindowStacking.h"
#include "ui/AfterFirstPaint.h"
#include "ui/ConsoleWindow.h"
#include "ui/DeferredConsole.h"
#include "ui/DesktopRunReport.h"
#include "ui/WaitBarBox.h"
#include "ui/WholeAreaControls.h"
#include "ui/frmMainTables.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QSlider>
#include <QStyle>
#include <QTimer>
#include <QUrl>
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

// The selected position while the edit text is the selected item's text, else -1: typed
// text leaves Qt's index where it was.
int selectedPosition(const QComboBox& combo)
{
    const int index = combo.currentIndex();
    return index >= 0 && combo.currentText() == combo.itemText(index) ? index : -1;
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

std::int16_t checkState(const QCheckBox& box)
{
    return box.isChecked() ? 1 : 0;
}

QString fromStd(const std::string& text)
{
    return QString::fromStdString(text);
}

// The one local file that a drag carries first, in the platform's own spelling; nothing
// for a folder, a URL of another kind or text without a URL.
std::optional<std::string> draggedFile(const QMimeData* data)
{
    if (!data || !data->hasUrls() || data->urls().isEmpty())
        return std::nullopt;
    const QUrl url = data->urls().constFirst();
    if (!url.isLocalFile())
        return std::nullopt;
    const QString path = url.toLocalFile();
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    return QDir::toNativeSeparators(path).toStdString();
}

// Takes the drop as a copy or a link, never as a move, which would let the file manager
// delete the dropped file. False when the drag offers neither.
bool acceptWithoutMoving(QDropEvent& event)
{
    for (const Qt::DropAction action : {Qt::CopyAction, Qt::LinkAction}) {
        if (event.possibleActions().testFlag(action)) {
            event.setDropAction(action);
            event.accept();
            return true;
        }
    }
    event.ignore();
    return false;
}

} // namespace

QString normalizeLevelText(int position)
{
    return QStringLiteral("Normalisierungslevel (") + QString::number(position) +
           QStringLiteral("%)  ");
}

frmMain::frmMain(SettingsStore& settings, MessageBoxes& messages, FileDialogBackend& fileDialog,
                 WindowStacking& stacking, ProcessLauncher* launcher, QWidget* parent)
    : QMainWindow(parent), m_settings(settings), m_messages(messages), m_stacking(stacking),
      m_commonDialog(fileDialog)
{
    // The console is made once the window has been painted, or when a run needs it first.
    m_console = std::make_unique<DeferredConsole>(*this);
    RunAfterFirstPaint(*this, [this] { m_console->window(); });
    m_desktopShell = MakeSessionDesktopShell();
    RunAfterFirstPaint(*this, [this] { m_desktopShell->reach(); });
    m_desktopReport = std::make_unique<DesktopRunReport>(
        *this, [this] { return m_picWaitBar; }, *m_desktopShell);
    if (!launcher) {
        m_nativeLauncher = MakeNativeProcessLauncher(*m_console, m_desktopReport.get());
        launcher = m_nativeLauncher.get();
    }
    m_framedLauncher = std::make_unique<ConsoleFramedLauncher>(*launcher, *m_console);
    m_run = std::make_unique<TranscodeRun>(*this, m_settings, m_messages, m_commonDialog,
                                           *m_framedLauncher, m_files);
    m_run->setRunEndObserver(m_desktopReport.get());
    m_run->setBundledTranscoder(BundledTranscoder);

    // Before any control exists: Qt makes a control's accessible interface at its first change.
    installSliderAccessibility();
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Klangdorn [Besweet]"));
    // The menu needs no font to be made: made first, while the font system may still start.
    buildMenu();
    setFont(windowFont());
    {
        const ApplicationFontWhile building(windowFont());
        buildControls();
    }
    describeControls();
    setTabOrderOfControls();
    connectReactions();
    load();
}

frmMain::~frmMain() = default;

ConsoleWindow& frmMain::console()
{
    return m_console->window();
}

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

void frmMain::connectReactions()
{
    // Check boxes react to every change of state: mouse, keyboard and program alike.
    connect(m_chkWriteLog, &QCheckBox::toggled, this, &frmMain::chkWriteLog_Click);
    connect(m_chkShowBesweet, &QCheckBox::toggled, this, &frmMain::chkShowBesweet_Click);
    connect(m_chkResample, &QCheckBox::toggled, this, &frmMain::chkResample_Click);
    connect(m_chkInputRAWPCM, &QCheckBox::toggled, this, &frmMain::chkInputRAWPCM_Click);
    connect(m_cmdInput, &QPushButton::clicked, this, &frmMain::cmdInput_Click);
    connect(m_cmdOutput, &QPushButton::clicked, this, &frmMain::cmdOutput_Click);
    connect(m_cmdTranscode, &QPushButton::clicked, this, &frmMain::cmdTranscode_Click);
    connect(m_mnuAllocToolame, &QAction::triggered, this, &frmMain::mnuAllocToolame_Click);
    connect(m_mnuSetToTop, &QAction::triggered, this, &frmMain::mnuSetToTop_Click);
    connect(m_tmrProgress, &QTimer::timeout, this, &frmMain::tmrProgress_Timer);
    // The level label follows the slider however it moves, and on pointer movement over it.
    connect(m_sldNormalize, &QSlider::valueChanged, this, &frmMain::showNormalizeLevel);
    m_sldNormalize->setMouseTracking(true);
    m_sldNormalize->installEventFilter(this);
}

void frmMain::load()
{
    const QScopedValueRollback restoring(m_restoring, true);
    fillOptionLists();
    m_chkInputRAWPCM->setChecked(false);
    m_chkWriteLog->setChecked(m_settings.readCheckState(SettingKey::WriteLog) == 1);
    m_chkShowBesweet->setChecked(m_settings.readCheckState(SettingKey::ShowBesweet) == 1);
    m_sldNormalize->setValue(m_settings.readNormalize());
    showNormalizeLevel();
    m_waitIndicator.setStep(1);
    m_chkResample->setChecked(m_settings.readCheckState(SettingKey::Upsampling) == 1);
    m_mnuSetToTop->setChecked(m_settings.readAlwaysOnTop());
    if (m_mnuSetToTop->isChecked())
        m_stacking.setTopMost(*this, true);
    m_console->setStaysOnTop(m_mnuSetToTop->isChecked());
}

void frmMain::fillOptionLists()
{
    fillOptionList(*m_cmbInputSamplerate, arrInputSamplerate, InitialInputSamplerate);
    fillOptionList(*m_cmbOutputBitrate, arrOutputBitrate, InitialOutputBitrate);
    fillOptionList(*m_cmbOutputChannelmode, arrOutputChannelmode, InitialOutputChannelmode);
}

void frmMain::showNormalizeLevel()
{
    m_lblNormalize->setText(normalizeLevelText(m_sldNormalize->value()));
}

void frmMain::reportFailures(const std::function<void()>& reaction)
{
    try {
        reaction();
    } catch (const RuntimeError& error) {
        reportError(error);
    }
}

void frmMain::reportError(const RuntimeError& error)
{
    if (error.number() != ErrorNumber::DialogCancelled)
        m_messages.show(ErrorMessage(error));
}

void frmMain::saveCheckBox(const QCheckBox& box, SettingKey key)
{
    reportFailures([&] {
        // A restored box stores the state just read: where the store holds that very text
        // already, it is left alone, so an ordinary start writes nothing to the disk.
        if (m_restoring && m_settings.stored(key) == std::to_string(checkState(box)))
            return;
        m_settings.saveCheckState(key, checkState(box));
    });
}

void frmMain::chkWriteLog_Click()
{
    saveCheckBox(*m_chkWriteLog, SettingKey::WriteLog);
}

void frmMain::chkShowBesweet_Click()
{
    saveCheckBox(*m_chkShowBesweet, SettingKey::ShowBesweet);
}

void frmMain::chkResample_Click()
{
    saveCheckBox(*m_chkResample, SettingKey::Upsampling);
}

void frmMain::chkInputRAWPCM_Click()
{
    const bool rawPcm = m_chkInputRAWPCM->isChecked();
    m_cmbInputSamplerate->setEnabled(rawPcm);
    m_lblInputSamplerate->setEnabled(rawPcm);
}

void frmMain::sldNormalize_MouseMove()
{
    showNormalizeLevel();
}

void frmMain::mnuSetToTop_Click()
{
    // The action has toggled its check mark already.
    const bool onTop = m_mnuSetToTop->isChecked();
    m_stacking.setTopMost(*this, onTop);
    m_console->setStaysOnTop(onTop);
    reportFailures([&] { m_settings.saveAlwaysOnTop(onTop); });
}

void frmMain::showChosenPaths(const ChosenPaths& chosen)
{
    if (chosen.source)
        m_txtInputFile->setText(fromStd(*chosen.source));
    if (chosen.target)
        m_txtOutputFile->setText(fromStd(*chosen.target));
    if (chosen.failure)
        reportError(*chosen.failure);
}

void frmMain::applySource(const std::string& path)
{
    showChosenPaths(ApplySource(m_settings, path));
}

void frmMain::applyTarget(const std::string& path)
{
    showChosenPaths(ApplyTarget(m_settings, path));
}

void frmMain::cmdInput_Click()
{
    showChosenPaths(ChooseSource(m_commonDialog, m_settings));
}

void frmMain::cmdOutput_Click()
{
    if (m_txtInputFile->text().isEmpty()) {
        m_messages.show(FileChoiceTexts::chooseSourceFirst());
        return;
    }
    showChosenPaths(ChooseTarget(m_commonDialog, m_settings, m_txtInputFile->text().toStdString()));
}

void frmMain::mnuAllocToolame_Click()
{
    reportFailures(
        [&] { ChooseTranscoder(m_commonDialog, m_settings, FileChoiceTexts::BesweetMenuTitle); });
}

void frmMain::cmdTranscode_Click()
{
    // Closing the window during a run must not end the program before the run has ended
    // and reported how: the program ends after the run instead.
    const bool quitOnClose = QGuiApplication::quitOnLastWindowClosed();
    const bool shownAtStart = isVisible();
    QGuiApplication::setQuitOnLastWindowClosed(false);
    m_run->cmdTranscode_Click();
    QGuiApplication::setQuitOnLastWindowClosed(quitOnClose);
    if (quitOnClose && shownAtStart && !isVisible())
        QCoreApplication::quit();
}

void frmMain::tmrProgress_Timer()
{
    m_waitIndicator.tick(*m_picWaitBar);
}

void frmMain::closeWithoutAsking()
{
    m_askBeforeStopping = false;
    close();
    m_askBeforeStopping = true;
}

// A running transcode is stopped before the window goes, when the user agrees.
void frmMain::closeEvent(QCloseEvent* event)
{
    if (m_run->isRunning()) {
        if (m_askBeforeStopping &&
            m_messages.show(TranscodeMessages::stopRunningTranscode()) == MessageAnswer::No) {
            event->ignore();
            return;
        }
        m_run->stop();
    }
    reportFailures([&] { m_settings.saveNormalize(m_sldNormalize->value()); });
    event->accept();
}

void frmMain::dragEnterEvent(QDragEnterEvent* event)
{
    if (draggedFile(event->mimeData()))
        acceptWithoutMoving(*event);
    else
        event->ignore();
}

// On the target field the file is the target; anywhere else in the window, the source.
void frmMain::dropEvent(QDropEvent* event)
{
    const auto file = draggedFile(event->mimeData());
    if (!file) {
        event->ignore();
        return;
    }
    if (!acceptWithoutMoving(*event))
        return;
    if (childAt(event->position().toPoint()) == m_txtOutputFile)
        applyTarget(*file);
    else
        applySource(*file);
}

bool frmMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_sldNormalize && event->type() == QEvent::MouseMove)
        sldNormalize_MouseMove();
    return QMainWindow::eventFilter(watched, event);
}

ControlValues frmMain::readControls() const
{
    ControlValues values;
    values.inputFile = m_txtInputFile->text().toStdString();
    values.outputFile = m_txtOutputFile->text().toStdString();
    values.writeLog = m_chkWriteLog->isChecked();
    values.showBesweet = m_chkShowBesweet->isChecked();
    values.inputRawPcm = m_chkInputRAWPCM->isChecked();
    values.resample = m_chkResample->isChecked();
    values.normalize = m_sldNormalize->value();
    values.inputSamplerate = selectedPosition(*m_cmbInputSamplerate);
    values.outputChannelmode = selectedPosition(*m_cmbOutputChannelmode);
    values.outputBitrate = selectedPosition(*m_cmbOutputBitrate);
    return values;
}

// Disabling the button moves the focus on; after the run it comes back, unless the user has
// put it elsewhere meanwhile.
void frmMain::setTranscodeEnabled(bool enabled)
{
    if (!enabled) {
        const bool hadFocus = focusWidget() == m_cmdTranscode;
        m_cmdTranscode->setEnabled(false);
        m_focusMovedByRun = hadFocus ? focusWidget() : nullptr;
        return;
    }
    m_cmdTranscode->setEnabled(true);
    if (m_focusMovedByRun && focusWidget() == m_focusMovedByRun)
        m_cmdTranscode->setFocus(Qt::OtherFocusReason);
    m_focusMovedByRun = nullptr;
}

void frmMain::setProgressTimerEnabled(bool enabled)
{
    if (enabled)
        m_tmrProgress->start();
    else
        m_tmrProgress->stop();
}

void frmMain::clearWaitBar()
{
    m_picWaitBar->clear();
}

} // namespace klangdorn
