// SPDX-License-Identifier: GPL-3.0-or-later
// The program's one window: the source and target rows, the options of a RAW PCM source, the
// output options, the wait indicator and "Transcode", and the menu "Optionen". It reads and
// writes each setting at the moment a choice changes; dialogs, settings and window stacking
// come in from outside, so the tests drive the window with fakes.
#pragma once

#include "job/FileChoices.h"
#include "job/FileQuery.h"
#include "job/ProcessControl.h"
#include "job/TranscodeRun.h"
#include "job/TranscodeWindow.h"
#include "job/UserDialogs.h"
#include "job/WaitIndicator.h"
#include "settings/SettingsStore.h"

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <memory>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QTimer;

namespace klangdorn
{

class ConsoleWindow;
class DeferredConsole;
class DesktopRunReport;
class DesktopShell;
class WaitBarBox;
class WindowStacking;

class frmMain : public QMainWindow, public TranscodeWindow
{
    Q_OBJECT
public:
    // Builds the window and runs its load step; the window is not shown yet. Without a
    // launcher of its own the window starts the transcoder natively, its output going to
    // the "BeSweet" console window.
    frmMain(SettingsStore& settings, MessageBoxes& messages, FileDialogBackend& fileDialog,
            WindowStacking& stacking, ProcessLauncher* launcher = nullptr,
            QWidget* parent = nullptr);
    ~frmMain() override;

    ControlValues readControls() const override;
    void setTranscodeEnabled(bool enabled) override;
    void setProgressTimerEnabled(bool enabled) override;
    void clearWaitBar() override;

    const WaitIndicator& waitIndicator() const { return m_waitIndicator; }
    // The "BeSweet" console window, made now if it is not yet (it follows the first paint).
    ConsoleWindow& console();

    // A source or target given otherwise than through the dialog (a drop, the command
    // line): the fields and settings change exactly as after choosing it in the dialog.
    void applySource(const std::string& path);
    void applyTarget(const std::string& path);

    // A close that stops a running transcode without asking (log-off, shutdown).
    void closeWithoutAsking();

public slots:
    void chkWriteLog_Click();
    void chkShowBesweet_Click();
    void chkResample_Click();
    void chkInputRAWPCM_Click();
    void cmdInput_Click();
    void cmdOutput_Click();
    void cmdTranscode_Click();
    void mnuAllocToolame_Click();
    void mnuSetToTop_Click();
    void sldNormalize_MouseMove();
    void tmrProgress_Timer();

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void describeControls();
    void buildMenu();
    void setTabOrderOfControls();
    void connectReactions();
    void load();
    void fillOptionLists();
    void showNormalizeLevel();
    void saveCheckBox(const QCheckBox& box, SettingKey key);
    void reportFailures(const std::function<void()>& reaction);
    void reportError(const RuntimeError& error);
    void showChosenPaths(const ChosenPaths& chosen);

    SettingsStore& m_settings;
    MessageBoxes& m_messages;
    WindowStacking& m_stacking;
    CommonDialog m_commonDialog;

    // Owned by the window through Qt's parent ownership.
    QLineEdit* m_txtInputFile = nullptr;
    QLineEdit* m_txtOutputFile = nullptr;
    QPushButton* m_cmdInput = nullptr;
    QPushButton* m_cmdOutput = nullptr;
    QCheckBox* m_chkInputRAWPCM = nullptr;
    QComboBox* m_cmbInputSamplerate = nullptr;
    QLabel* m_lblInputSamplerate = nullptr;
    QComboBox* m_cmbOutputBitrate = nullptr;
    QComboBox* m_cmbOutputChannelmode = nullptr;
    QCheckBox* m_chkResample = nullptr;
    QSlider* m_sldNormalize = nullptr;
    QLabel* m_lblNormalize = nullptr;
    QCheckBox* m_chkWriteLog = nullptr;
    QCheckBox* m_chkShowBesweet = nullptr;
    WaitBarBox* m_picWaitBar = nullptr;
    QPushButton* m_cmdTranscode = nullptr;
    QAction* m_mnuAllocToolame = nullptr;
    QAction* m_mnuSetToTop = nullptr;
    QTimer* m_tmrProgress = nullptr;
    QPointer<QWidget> m_focusMovedByRun; // where disabling "Transcode" put the focus
    bool m_askBeforeStopping = true;
    bool m_restoring = false; // the load step sets the remembered options

    std::unique_ptr<DeferredConsole> m_console;
    std::unique_ptr<DesktopShell> m_desktopShell;
    std::unique_ptr<DesktopRunReport> m_desktopReport; // progress and notice of each run
    std::unique_ptr<ProcessLauncher> m_nativeLauncher;
    std::unique_ptr<ProcessLauncher> m_framedLauncher; // frames each run in the console
    LocalFileQuery m_files;
    WaitIndicator m_waitIndicator;
    std::unique_ptr<TranscodeRun> m_run;
};

// The text of the level label for a slider position: "Normalisierungslevel (95%)  ".
QString normalizeLevelText(int position);

} // namespace klangdorn
