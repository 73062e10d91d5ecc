#include "ui/frmMain.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    klangdorn::frmMain window;
    window.show();
    return app.exec();
}
