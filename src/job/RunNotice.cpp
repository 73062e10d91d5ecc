// SPDX-License-Identifier: GPL-3.0-or-later
#include "job/RunNotice.h"

#include "job/FileChoiceRules.h"
#include "job/WarningWords.h"

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
                                          const std::string& summary,
                                          const std::vector<std::string>& warnings)
{
    if (windowActive)
        return std::nullopt;
    if (failure)
        return DesktopNotice{NoticeTexts::Failed, reasonOf(*failure), {}};
    std::string body(bareNameOf(target));
    // The first warning, so that no success hides it; the box in the window tells them all.
    if (!warnings.empty())
        body += '\n' + InWindowWords(warnings.front());
    if (!summary.empty())
        body += '\n' + summary;
    return DesktopNotice{warnings.empty() ? NoticeTexts::EndedWell : NoticeTexts::EndedWithWarnings,
                         body, folderOf(target), target};
}

} // namespace klangdorn
