#include "ui/frmMain.h"

namespace klangdorn
{

frmMain::frmMain(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Klangdorn [Besweet]"));
}

} // namespace klangdorn
