// SPDX-License-Identifier: GPL-3.0-or-later
// The program's nine settings: one table of keys with their defaults and forms, typed reads
// that never fail on a stored value, and typed writes. Every call goes to the backend.
#pragma once

#include "settings/SettingsBackend.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace klangdorn
{

enum class SettingKey {
    WriteLog,
    ShowBesweet,
    Normalize,
    Upsampling,
    AlwaysOnTop,
    InputDir,
    OutputType,
    OutputDir,
    Besweet,
};

enum class SettingForm {
    CheckState, // "0" or "1"
    Level,      // decimal integer 0..100
    TruthValue, // "True" or "False"
    Text,       // any text, the empty text included
};

struct SettingDefinition {
    SettingKey key;
    std::string_view name;
    std::string_view defaultText;
    SettingForm form;
};

const SettingDefinition& definitionOf(SettingKey key);

inline constexpr std::string_view SettingsSection = "Settings";

class SettingsStore
{
public:
    // `applicationName` is asked at each access (the running executable's base name).
    SettingsStore(SettingsBackend& backend, std::function<std::string()> applicationName);

    std::int16_t readCheckState(SettingKey key) const; // 0 or 1
    int readNormalize() const;                         // 0..100
    bool readAlwaysOnTop() const;
    std::string readText(SettingKey key) const;

    void saveCheckState(SettingKey key, std::int16_t state);
    void saveNormalize(int level);
    void saveAlwaysOnTop(bool onTop);
    void saveText(SettingKey key, const std::string& value);

    // The raw stored text, or nothing when the key was never written.
    std::optional<std::string> stored(SettingKey key) const;

private:
    std::string readRaw(SettingKey key) const;
    void saveRaw(SettingKey key, const std::string& value);

    SettingsBackend& m_backend;
    std::function<std::string()> m_applicationName;
};

// Conversions of stored text, exposed for their tests. Anything outside the key's form
// yields nothing.
std::optional<long long> parseDecimal(std::string_view text);
std::optional<bool> parseTruthValue(std::string_view text);

} // namespace klangdorn
