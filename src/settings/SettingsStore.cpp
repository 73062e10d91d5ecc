// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/SettingsStore.h"

#include "common/TextCase.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <utility>

namespace klangdorn
{

namespace
{

constexpr std::array settingTable{
    SettingDefinition{SettingKey::WriteLog, "WriteLog", "0", SettingForm::CheckState},
    SettingDefinition{SettingKey::ShowBesweet, "ShowBesweet", "0", SettingForm::CheckState},
    SettingDefinition{SettingKey::Normalize, "Normalize", "95", SettingForm::Level},
    SettingDefinition{SettingKey::Upsampling, "Upsampling", "1", SettingForm::CheckState},
    SettingDefinition{SettingKey::AlwaysOnTop, "AlwaysOnTop", "1", SettingForm::TruthValue},
    SettingDefinition{SettingKey::InputDir, "InputDir", "", SettingForm::Text},
    SettingDefinition{SettingKey::OutputType, "OutputType", "ac3", SettingForm::Text},
    SettingDefinition{SettingKey::OutputDir, "OutputDir", "", SettingForm::Text},
    SettingDefinition{SettingKey::Besweet, "Besweet", "", SettingForm::Text},
};

} // namespace

std::optional<long long> parseDecimal(std::string_view text)
{
    text = Trimmed(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::optional<bool> parseTruthValue(std::string_view text)
{
    if (EqualsIgnoringCase(Trimmed(text), "true"))
        return true;
    if (EqualsIgnoringCase(Trimmed(text), "false"))
        return false;
    if (const auto number = parseDecimal(text))
        return *number != 0;
    return std::nullopt;
}

const SettingDefinition& definitionOf(SettingKey key)
{
    return *std::ranges::find(settingTable, key, &SettingDefinition::key);
}

SettingsStore::SettingsStore(SettingsBackend& backend, std::function<std::string()> applicationName)
    : m_backend(backend), m_applicationName(std::move(applicationName))
{
}

std::optional<std::string> SettingsStore::stored(SettingKey key) const
{
    return m_backend.get(m_applicationName(), std::string(SettingsSection),
                         std::string(definitionOf(key).name));
}

std::string SettingsStore::readRaw(SettingKey key) const
{
    return stored(key).value_or(std::string(definitionOf(key).defaultText));
}

void SettingsStore::saveRaw(SettingKey key, const std::string& value)
{
    m_backend.save(m_applicationName(), std::string(SettingsSection),
                   std::string(definitionOf(key).name), value);
}

std::int16_t SettingsStore::readCheckState(SettingKey key) const
{
    const auto value = parseDecimal(readRaw(key));
    if (value == 0 || value == 1)
        return static_cast<std::int16_t>(*value);
    return static_cast<std::int16_t>(*parseDecimal(definitionOf(key).defaultText));
}

int SettingsStore::readNormalize() const
{
    const auto value = parseDecimal(readRaw(SettingKey::Normalize));
    if (!value)
        return static_cast<int>(*parseDecimal(definitionOf(SettingKey::Normalize).defaultText));
    return static_cast<int>(std::clamp(*value, 0LL, 100LL));
}

bool SettingsStore::readAlwaysOnTop() const
{
    return parseTruthValue(readRaw(SettingKey::AlwaysOnTop))
        .value_or(*parseTruthValue(definitionOf(SettingKey::AlwaysOnTop).defaultText));
}

std::string SettingsStore::readText(SettingKey key) const
{
    return readRaw(key);
}

void SettingsStore::saveCheckState(SettingKey key, std::int16_t state)
{
    saveRaw(key, std::to_string(state));
}

void SettingsStore::saveNormalize(int level)
{
    saveRaw(SettingKey::Normalize, std::to_string(level));
}

void SettingsStore::saveAlwaysOnTop(bool onTop)
{
    saveRaw(SettingKey::AlwaysOnTop, onTop ? "True" : "False");
}

void SettingsStore::saveText(SettingKey key, const std::string& value)
{
    saveRaw(key, value);
}

} // namespace klangdorn
