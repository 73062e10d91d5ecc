// SPDX-License-Identifier: GPL-3.0-or-later
// The per-user settings store on QSettings in the native format: organization "Klangdorn",
// application = the executable's base name. Linux: $XDG_CONFIG_HOME/Klangdorn/<name>.conf;
// Windows: HKEY_CURRENT_USER\Software\Klangdorn\<name>.
#pragma once

#include "settings/SettingsBackend.h"

#include <QByteArrayView>
#include <optional>
#include <string>

namespace klangdorn
{

inline constexpr const char* OrganizationName = "Klangdorn";

class QtSettingsBackend final : public SettingsBackend
{
public:
    std::optional<std::string> get(const std::string& application, const std::string& section,
                                   const std::string& key) override;
    void save(const std::string& application, const std::string& section, const std::string& key,
              const std::string& value) override;
};

// A store file larger than this was not written by the program (it writes a few hundred bytes).
inline constexpr qint64 LargestStoreFile = 1024 * 1024;

// True for text the store can have written: lines that are empty, a comment, a [section] or
// a key=value, and no NUL byte.
bool LooksLikeSettingsText(QByteArrayView content);

// A store file that could not be read was renamed, so the program starts with the defaults.
struct SetAsideStore {
    std::string file;    // the store's path
    std::string asideAs; // its new name; empty when it could not be renamed
    std::string reason;  // why it could not be read, in German
};

// Checks the store file of `application` before anything reads it: a folder or something else
// that is no file, a file larger than LargestStoreFile or one that is not settings text is put
// aside as "<store>.unlesbar" (then "-2", "-3", ... beside an older one). Nothing for a store
// that is fine or not there (the Windows registry has no such file).
std::optional<SetAsideStore> SetAsideUnreadableStore(const std::string& application);

// The German box text that tells what happened.
std::string SetAsideText(const SetAsideStore& setAside);

} // namespace klangdorn
