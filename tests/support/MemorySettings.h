// SPDX-License-Identifier: GPL-3.0-or-later
// A settings backend that keeps its values in memory, keyed by application, section and key.
#pragma once

#include "settings/SettingsBackend.h"

#include <map>
#include <optional>
#include <string>
#include <tuple>

namespace klangdorn::test
{

class MemorySettings : public SettingsBackend
{
public:
    std::map<std::tuple<std::string, std::string, std::string>, std::string> values;

    std::optional<std::string> get(const std::string& application, const std::string& section,
                                   const std::string& key) override
    {
        const auto it = values.find({application, section, key});
        if (it == values.end())
            return std::nullopt;
        return it->second;
    }
    void save(const std::string& application, const std::string& section, const std::string& key,
              const std::string& value) override
    {
        values[{application, section, key}] = value;
    }
};

} // namespace klangdorn::test
