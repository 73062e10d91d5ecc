// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/BundledTranscoder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <string_view>

namespace klangdorn
{

std::optional<std::string> BundledTranscoderIn(const std::string& folder)
{
#ifdef _WIN32
    (void)folder;
    return std::nullopt;
#else
    const QFileInfo file(QDir(QString::fromStdString(folder)), QStringLiteral("besweet"));
    if (!file.isFile() || !file.isExecutable())
        return std::nullopt;
    return QDir::toNativeSeparators(file.absoluteFilePath()).toStdString();
#endif
}

std::optional<std::string> BundledTranscoder()
{
    return BundledTranscoderIn(QCoreApplication::applicationDirPath().toStdString());
}

namespace
{

constexpr std::string_view Utf8Locale = "C.UTF-8";

// The value of `name`, nothing when it is not set or empty (as setlocale reads it).
std::optional<std::string_view> valueOf(const std::vector<std::string>& environment,
                                        std::string_view name)
{
    for (const std::string& entry : environment) {
        if (entry.size() > name.size() && entry.starts_with(name) && entry[name.size()] == '=')
            return std::string_view(entry).substr(name.size() + 1);
    }
    return std::nullopt;
}

void setVariable(std::vector<std::string>& environment, std::string_view name,
                 std::string_view value)
{
    std::erase_if(environment, [&](const std::string& entry) {
        return entry.starts_with(name) && entry.size() > name.size() && entry[name.size()] == '=';
    });
    environment.push_back(std::string(name) + "=" + std::string(value));
}

// The locale a category takes: LC_ALL, else its own variable, else LANG.
std::string_view localeOf(const std::vector<std::string>& environment, std::string_view category)
{
    for (const std::string_view name :
         {std::string_view("LC_ALL"), category, std::string_view("LANG")}) {
        if (const auto value = valueOf(environment, name))
            return *value;
    }
    return {};
}

bool isPlainC(std::string_view locale)
{
    return locale.empty() || locale == "C" || locale == "POSIX";
}

bool isUtf8(std::string_view locale)
{
    std::string lower(locale);
    std::ranges::transform(lower, lower.begin(), [](unsigned char c) { return std::tolower(c); });
    return lower.find("utf-8") != std::string::npos || lower.find("utf8") != std::string::npos;
}

} // namespace

std::vector<std::string> GermanSpeakingEnvironment(const std::vector<std::string>& current)
{
    std::vector<std::string> environment = current;
    setVariable(environment, "LANGUAGE", "de");
    const bool messagesPlain = isPlainC(localeOf(environment, "LC_MESSAGES"));
    const bool charactersLost = !isUtf8(localeOf(environment, "LC_CTYPE"));
    if (!messagesPlain && !charactersLost)
        return environment;
    // LC_ALL outweighs the others; the transcoder takes only these two categories from it.
    if (valueOf(environment, "LC_ALL")) {
        setVariable(environment, "LC_ALL", Utf8Locale);
        return environment;
    }
    if (messagesPlain)
        setVariable(environment, "LC_MESSAGES", Utf8Locale);
    if (charactersLost)
        setVariable(environment, "LC_CTYPE", Utf8Locale);
    return environment;
}

} // namespace klangdorn
