// SPDX-License-Identifier: GPL-3.0-or-later
// Messages in two languages. The user's locale is kept in a locale object and used only for
// the catalogue look-up (uselocale around dgettext, per thread), so the C locale stays in force
// for everything else: numbers in the log, FFmpeg's parsers, the C library's reasons in the log.
#include "core/Text.h"

#include <clocale>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <libintl.h>
#include <locale.h>
#include <memory>
#include <vector>

#ifndef BESWEET_LOCALE_FROM_BIN
#define BESWEET_LOCALE_FROM_BIN "../share/locale"
#endif
#ifndef BESWEET_LOCALE_DIR
#define BESWEET_LOCALE_DIR "/usr/share/locale"
#endif

namespace besweet
{

namespace
{

constexpr const char* Domain = "besweet";

struct LocaleDeleter {
    void operator()(locale_t locale) const { ::freelocale(locale); }
};
using LocalePtr = std::unique_ptr<std::remove_pointer_t<locale_t>, LocaleDeleter>;

// Set once at the start, before any thread runs; null: English.
LocalePtr g_userLocale;

locale_t englishLocale()
{
    static const LocalePtr english(::newlocale(LC_ALL_MASK, "C", nullptr));
    return english.get();
}

// The build tree keeps the compiled catalogues in "locale" beside besweet; an installed besweet
// finds them where the installation put them, relative to its own folder.
std::string catalogueFolder()
{
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path executable = fs::read_symlink("/proc/self/exe", error);
    if (error)
        return BESWEET_LOCALE_DIR;
    const fs::path folder = executable.parent_path();
    if (fs::is_directory(folder / "locale", error))
        return (folder / "locale").string();
    return (folder / BESWEET_LOCALE_FROM_BIN).lexically_normal().string();
}

} // namespace

namespace text_format
{

Text fill(const char* format, std::span<const Text> pieces)
{
    std::vector<std::string> english;
    std::vector<std::string> local;
    for (const Text& piece : pieces) {
        english.push_back(piece.english);
        local.push_back(piece.local);
    }
    return {filled(format, english), filled(translated(format), local)};
}

} // namespace text_format

std::string escapedControls(std::string_view words)
{
    static constexpr std::string_view hex = "0123456789abcdef";
    std::string escaped;
    escaped.reserve(words.size());
    for (const char c : words) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7f)
            escaped += c;
        else if (c == '\n')
            escaped += "\\n";
        else if (c == '\t')
            escaped += "\\t";
        else if (c == '\r')
            escaped += "\\r";
        else
            escaped += {'\\', 'x', hex[byte >> 4], hex[byte & 0xf]};
    }
    return escaped;
}

std::string filled(std::string_view format, std::span<const std::string> arguments)
{
    std::string result;
    std::size_t next = 0;
    for (std::size_t at = 0; at < format.size(); ++at) {
        if (format[at] != '%') {
            result += format[at];
            continue;
        }
        if (at + 1 < format.size() && format[at + 1] == '%') {
            result += '%';
            ++at;
            continue;
        }
        const auto conversion = text_format::conversionAt(format, at);
        const std::size_t index = conversion.index == 0 ? next++ : conversion.index - 1;
        if (conversion.length == 0 || index >= arguments.size()) {
            result += '%';
            continue;
        }
        result += arguments[index];
        at += conversion.length - 1;
    }
    return result;
}

const char* translated(const char* format)
{
    if (!g_userLocale || *format == '\0')
        return format;
    const locale_t previous = ::uselocale(g_userLocale.get());
    const char* translation = ::dgettext(Domain, format);
    ::uselocale(previous);
    return translation;
}

Text systemReason(int error)
{
    const locale_t local = g_userLocale ? g_userLocale.get() : englishLocale();
    return {::strerror_l(error, englishLocale()), ::strerror_l(error, local)};
}

void useUserLanguage()
{
    g_userLocale.reset(::newlocale(LC_MESSAGES_MASK | LC_CTYPE_MASK, "", nullptr));
    ::bindtextdomain(Domain, catalogueFolder().c_str());
}

} // namespace besweet
