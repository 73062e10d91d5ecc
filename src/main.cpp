// Starts the program: German texts, the program's look, the real services and the window.
#include "platform/Appearance.h"
#include "platform/ExecutableName.h"
#include "platform/GermanTranslation.h"
#include "platform/ProgramIdentity.h"
#include "platform/QtFileDialog.h"
#include "platform/QtMessageBoxes.h"
#include "platform/QtSettingsBackend.h"
#include "platform/TopMostWindow.h"
#include "settings/SettingsStore.h"
#include "ui/frmMain.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    klangdorn::installGermanTranslation(app);
    klangdorn::useProgramStyle();
    klangdorn::useProgramIdentity();

    klangdorn::QtSettingsBackend settingsBackend;
    klangdorn::SettingsStore settings(settingsBackend, klangdorn::ExecutableBaseName);
    klangdorn::QtMessageBoxes messageBoxes;
    klangdorn::QtFileDialog fileDialog;
    klangdorn::TopMostWindow stacking;

    klangdorn::frmMain window(settings, messageBoxes, fileDialog, stacking);
    messageBoxes.setParentWidget(&window);
    fileDialog.setParentWidget(&window);
    window.show();
    return app.exec();
}
