// SPDX-License-Identifier: GPL-3.0-or-later
// The per-user store under the settings: get and save one text value.
#pragma once

#include <optional>
#include <string>

namespace klangdorn
{

class SettingsBackend
{
public:
    virtual ~SettingsBackend() = default;
    // The stored text, or nothing when the application, section or key does not exist.
    virtual std::optional<std::string> get(const std::string& application,
                                           const std::string& section, const std::string& key) = 0;
    // Stores the text at once; throws RuntimeError 75 when the store cannot be written.
    virtual void save(const std::string& application, const std::string& section,
                      const std::string& key, const std::string& value) = 0;
};

} // namespace klangdorn
