#include "platform/ExecutableName.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace klangdorn
{

std::string ExecutableBaseName()
{
    // Taken afresh at each access: a renamed copy has its own settings.
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName().toStdString();
}

} // namespace klangdorn
