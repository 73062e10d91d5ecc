// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/frmMain.h"

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
#include "ui/DroppedFile.h"
#include "ui/WaitBarBox.h"
#include "ui/WholeAreaControls.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDropEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QSlider>
#include <QTimer>

namespace klangdorn
{

namespace
{

// The selected position while the edit text is the selected item's text, else -1: typed
// text leaves Qt's index where it was.
int selectedPosition(const QComboBox& combo)
{
    const int index = combo.currentIndex();
    return index >= 0 && combo.currentText() == combo.itemText(index) ? index : -1;
}

std::int16_t checkState(const QCheckBox& box)
{
    return box.isChecked() ? 1 : 0;
}

QString fromStd(const std::string& text)
{
    return QString::fromStdString(text);
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
    m_desktopShell = MakeSessionDesktopShell(m_messages);
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
