// SPDX-License-Identifier: GPL-3.0-or-later
// The per-user settings store on QSettings in the native format: organization "Klangdorn",
// application = the executable's base name. Linux: $XDG_CONFIG_HOME/Klangdorn/<name>.conf;
// Windows: HKEY_CURRENT_USER\Software\Klangdorn\<name>.
#pragma once

#include "settings/SettingsBackend.h"

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

} // namespace klangdorn
