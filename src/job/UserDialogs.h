// SPDX-License-Identifier: GPL-3.0-or-later
// Message boxes and the one file dialog, behind small interfaces: the window gives the real
// Qt ones, the tests give fakes that record what was shown and answer as scripted.
#pragma once

#include "job/RuntimeError.h"

#include <optional>
#include <string>
#include <utility>

namespace klangdorn
{

// The caption of every message box without one of its own.
inline constexpr const char* ApplicationTitle = "Klangdorn_d";

// Two-line messages join their lines with a carriage return and a line feed.
inline constexpr const char* LineBreak = "\r\n";

enum class MessageButtons { Ok, YesNo };
enum class MessageIcon { None, Exclamation };
enum class MessageAnswer { Ok, Yes, No };

struct Message {
    std::string text;
    MessageButtons buttons = MessageButtons::Ok;
    MessageIcon icon = MessageIcon::None;
    std::string caption = ApplicationTitle;
    // Shown below the text, smaller; lines joined with "\n". Empty: none.
    std::string detail{};
    friend bool operator==(const Message&, const Message&) = default;
};

class MessageBoxes
{
public:
    virtual ~MessageBoxes() = default;
    // Shows the box modally; Yes is the default button of a Yes/No box.
    virtual MessageAnswer show(const Message& message) = 0;
};

// The one message of every error exit: "Fehler: N - description", OK only, no icon, the
// application's title.
inline Message ErrorMessage(const RuntimeError& error)
{
    return Message{error.message()};
}

enum class FileDialogMode { Open, Save };

// Where the dialog opens when no initial folder is set.
enum class StartFolder { ProgramFolder, HomeFolder };

// What the file dialog is set to. The filter is "description|pattern;pattern|...".
struct FileDialogSettings {
    std::string filter;
    std::string fileName; // a preset on the way in
    std::string title;
    std::string initDir;
    std::string defaultExt;
    int filterIndex = 0; // the filter entry shown first, counted from 0
    StartFolder withoutInitDir = StartFolder::ProgramFolder;
    friend bool operator==(const FileDialogSettings&, const FileDialogSettings&) = default;
};

struct FileChoice {
    std::string fullPath;
    std::string bareName; // the file name without its folder
};

// Shows the platform's dialog; nothing when the user cancelled. Never asks about
// overwriting. A Save dialog appends to a typed name without an extension the extension of
// the file type the user picked, or defaultExt while the type is the one preset.
class FileDialogBackend
{
public:
    virtual ~FileDialogBackend() = default;
    virtual std::optional<FileChoice> show(FileDialogMode mode,
                                           const FileDialogSettings& settings) = 0;
};

// The window's one file dialog. Each use sets only some settings; the others keep what the
// previous use left in them. After a choice the file name holds the chosen full path.
class CommonDialog
{
public:
    explicit CommonDialog(FileDialogBackend& backend) : m_backend(backend) {}

    // A new filter list shows the entry `index` first (its first one unless said).
    void setFilter(std::string filter, int index = 0)
    {
        m_settings.filter = std::move(filter);
        m_settings.filterIndex = index;
    }
    void setFileName(std::string fileName) { m_settings.fileName = std::move(fileName); }
    void setTitle(std::string title) { m_settings.title = std::move(title); }
    void setInitDir(std::string initDir) { m_settings.initDir = std::move(initDir); }
    void setStartFolder(StartFolder folder) { m_settings.withoutInitDir = folder; }
    void setDefaultExt(std::string defaultExt) { m_settings.defaultExt = std::move(defaultExt); }

    const FileDialogSettings& settings() const { return m_settings; }
    const std::string& fileName() const { return m_settings.fileName; }
    const std::string& fileTitle() const { return m_fileTitle; }

    // True when a file was chosen. A cancel leaves every setting as it was.
    bool showOpen() { return show(FileDialogMode::Open); }
    bool showSave() { return show(FileDialogMode::Save); }

private:
    bool show(FileDialogMode mode)
    {
        auto choice = m_backend.show(mode, m_settings);
        if (!choice || choice->fullPath.empty())
            return false;
        m_settings.fileName = std::move(choice->fullPath);
        m_fileTitle = std::move(choice->bareName);
        return true;
    }

    FileDialogBackend& m_backend;
    FileDialogSettings m_settings;
    std::string m_fileTitle;
};

} // namespace klangdorn
