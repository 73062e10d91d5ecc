// SPDX-License-Identifier: GPL-3.0-or-later
// Starts the program: German texts, the program's look, the real services and the window.
#include "platform/Appearance.h"
#include "platform/ExecutableName.h"
#include "platform/GermanTranslation.h"
#include "platform/ProgramIdentity.h"
#include "platform/QtFileDialog.h"
#include "platform/QtMessageBoxes.h"
#include "platform/QtSettingsBackend.h"
#include "platform/TopMostWindow.h"
#include "platform/WindowSystemStart.h"
#include "settings/SettingsStore.h"
#include "ui/AfterFirstPaint.h"
#include "ui/ProgramArguments.h"
#include "ui/frmMain.h"
#ifndef _WIN32
#include "platform/FontSystemWarmUp.h"
#include "platform/SessionBusCheck.h"
#include "platform/TerminationSignals.h"
#endif

#include <QApplication>
#include <QScopeGuard>
#include <chrono>
#include <cstdio>

namespace
{

#ifndef _WIN32
// A bus on this machine answers its greeting in well under a millisecond, within a few under
// heavy load; one that has not answered by then is taken as stalled.
constexpr std::chrono::milliseconds BusAnswerLimit{25};
#endif

QStringList argumentsOf(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

} // namespace

int main(int argc, char* argv[])
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    // Help, version and a wrong command line need no display: answered before the window
    // system is reached, Qt's own options (-platform, -style) set aside for Qt.
    if (const auto early = klangdorn::parseProgramArguments(
            klangdorn::withoutToolkitOptions(argumentsOf(argc, argv)), out, err);
        early.exitCode)
        return *early.exitCode;

#ifndef _WIN32
    // Settled before Qt starts (a platform theme may reach the bus while it is built) and
    // before any thread of ours reads the environment that the answer may change.
    const klangdorn::BusAnswer bus = klangdorn::SettleSessionBus(BusAnswerLimit);
    klangdorn::FontSystemWarmUp fontSystem;
#endif
    // The menu stays in the window, whose layout counts it in: a desktop's global menu bar is
    // not looked for, which would ask the session bus on the window's thread and wait.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeMenuBar);
    klangdorn::WindowSystemStart windowSystem(klangdorn::ExecutableBaseNameOf(argv[0]));
    QApplication app(argc, argv);
    windowSystem.reached();
#ifndef _WIN32
    fontSystem.thenRun(klangdorn::FillFontDatabase); // needs the application
    const auto fontSystemEndsBeforeTheApplication = qScopeGuard([&] { fontSystem.finish(); });
#endif
    klangdorn::installGermanTranslation(app);
    klangdorn::useProgramStyle();
    klangdorn::nameProgramDesktopFile();
    const klangdorn::StartRequest request =
        klangdorn::parseProgramArguments(app.arguments(), out, err);
    if (request.exitCode)
        return *request.exitCode;

#ifndef _WIN32
    // The window is built up to its first font while the font system starts; the family is
    // chosen here while the font system's thread fills Qt's font database.
    klangdorn::BeforeFirstFont([&fontSystem] {
        fontSystem.awaitStart();
        klangdorn::ChooseProgramFontFamily();
        fontSystem.finish();
    });
    if (bus == klangdorn::BusAnswer::Silent) {
        err << QString::fromStdString(klangdorn::SilentBusText(klangdorn::ExecutableBaseName()));
        err.flush();
    }
#endif
    // A store file that cannot be read is put aside before anything reads it.
    const auto setAside = klangdorn::SetAsideUnreadableStore(klangdorn::ExecutableBaseName());
    klangdorn::QtSettingsBackend settingsBackend;
    klangdorn::SettingsStore settings(settingsBackend, klangdorn::ExecutableBaseName);
    klangdorn::QtMessageBoxes messageBoxes;
    klangdorn::QtFileDialog fileDialog;
    klangdorn::TopMostWindow stacking;

    klangdorn::frmMain window(settings, messageBoxes, fileDialog, stacking);
    messageBoxes.setParentWidget(&window);
    fileDialog.setParentWidget(&window);
#ifndef _WIN32
    // Log-off, shutdown and Ctrl+C close the window, closing step included; a running
    // transcode is stopped without asking, since nobody may be there to answer.
    klangdorn::TerminationSignals closeOnSignal([&window] { window.closeWithoutAsking(); });
#endif
    // The icon is looked up in the desktop's theme on disk: it follows the first paint.
    klangdorn::RunAfterFirstPaint(window, klangdorn::showProgramIcon);
    klangdorn::ApplyStartRequest(window, messageBoxes, request);
    // Boxes of the start wait for the window to be on screen, so they stand over it.
    if (setAside)
        klangdorn::RunAfterFirstPaint(window, [&] {
            messageBoxes.show(klangdorn::Message{klangdorn::SetAsideText(*setAside),
                                                 klangdorn::MessageButtons::Ok,
                                                 klangdorn::MessageIcon::Exclamation});
        });
    window.show();
    return app.exec();
}
