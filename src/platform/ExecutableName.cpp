// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ExecutableName.h"

#include "common/TextCase.h"
#include "job/FileChoiceRules.h"

#include <QCoreApplication>
#include <string_view>

namespace klangdorn
{

namespace
{
constexpr std::string_view ExeEnding = ".exe";
} // namespace

std::string ExecutableBaseNameOf(const std::string& path)
{
    std::string_view name = bareNameOf(path);
    if (name.size() > ExeEnding.size() && EndsWithIgnoringCase(name, ExeEnding))
        name.remove_suffix(ExeEnding.size());
    return std::string(name);
}

std::string ExecutableBaseName()
{
    // Taken afresh at each access: a renamed copy has its own settings.
    return ExecutableBaseNameOf(QCoreApplication::applicationFilePath().toStdString());
}

} // namespace klangdorn
