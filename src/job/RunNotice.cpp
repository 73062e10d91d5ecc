// SPDX-License-Identifier: GPL-3.0-or-later
#include "job/RunNotice.h"

#include "job/FileChoiceRules.h"

namespace klangdorn
{

namespace
{

// The box's first line and its detail, as the reason.
std::string reasonOf(const Message& failure)
{
    std::string reason = failure.text.substr(0, failure.text.find(LineBreak));
    if (!failure.detail.empty())
        reason += '\n' + failure.detail;
    return reason;
}

} // namespace

std::optional<DesktopNotice> RunEndNotice(bool windowActive, const std::string& target,
                                          const std::optional<Message>& failure,
                                          const std::string& summary)
{
    if (windowActive)
        return std::nullopt;
    if (failure)
        return DesktopNotice{"Transcode fehlgeschlagen", reasonOf(*failure), {}};
    std::string body(bareNameOf(target));
    if (!summary.empty())
        body += '\n' + summary;
    return DesktopNotice{"Transcode beendet", body, folderOf(target), target};
}

} // namespace klangdorn
