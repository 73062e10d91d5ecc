// SPDX-License-Identifier: GPL-3.0-or-later
// Fakes of the message boxes and the file dialog: they record what was shown and answer
// as the test scripted (Ok/Yes by default, a cancel when no file choice is scripted).
#pragma once

#include "job/FileChoiceRules.h"
#include "job/UserDialogs.h"

#include <deque>
#include <functional>
#include <vector>

namespace klangdorn::test
{

class FakeMessageBoxes : public MessageBoxes
{
public:
    std::vector<Message> shown;
    std::deque<MessageAnswer> answers;              // scripted; empty means Ok or Yes
    std::function<void(const Message&)> whileShown; // e.g. what a modal box would run

    MessageAnswer show(const Message& message) override
    {
        shown.push_back(message);
        if (whileShown)
            whileShown(message);
        if (!answers.empty()) {
            const MessageAnswer answer = answers.front();
            answers.pop_front();
            return answer;
        }
        return message.buttons == MessageButtons::YesNo ? MessageAnswer::Yes : MessageAnswer::Ok;
    }
};

class FakeFileDialog : public FileDialogBackend
{
public:
    struct Shown {
        FileDialogMode mode;
        FileDialogSettings settings;
    };
    std::vector<Shown> shown;
    std::deque<std::optional<FileChoice>> choices; // scripted; empty means cancel

    std::optional<FileChoice> show(FileDialogMode mode, const FileDialogSettings& settings) override
    {
        shown.push_back({mode, settings});
        if (choices.empty())
            return std::nullopt;
        auto choice = choices.front();
        choices.pop_front();
        return choice;
    }

    // Scripts a choice of `path`; the bare name is what follows the last separator.
    void choose(const std::string& path)
    {
        choices.push_back(FileChoice{path, std::string(bareNameOf(path))});
    }
    void cancel() { choices.push_back(std::nullopt); }
};

} // namespace klangdorn::test
