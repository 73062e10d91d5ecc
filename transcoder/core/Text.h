// SPDX-License-Identifier: GPL-3.0-or-later
// What besweet says to a person, in two languages: English for the log (it is for bug reports)
// and the user's language for the screen. A message is made from an English format that
// xgettext finds, text("%s: cannot open: %s", path, reason); the format is looked up in the
// catalogue "besweet", and both forms are filled with the same arguments. An argument that is a
// Text itself goes in as its English form into the English text and as its translation into
// the translated one.
#pragma once

#include <array>
#include <concepts>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

namespace besweet
{

struct Text {
    std::string english; // for the log
    std::string local;   // for the screen: the user's language, English without a catalogue
};

// The words with each control character written out as an escape (a line break as a backslash
// and n, the escape character as a backslash and x1b): one line whatever a name holds.
[[nodiscard]] std::string escapedControls(std::string_view words);

namespace text_format
{

enum class Kind { Words, Number };

template <typename T> consteval Kind kindOf()
{
    using Plain = std::remove_cvref_t<T>;
    if constexpr (std::integral<Plain> && !std::same_as<Plain, bool> && !std::same_as<Plain, char>)
        return Kind::Number;
    else
        return Kind::Words;
}

// One conversion of a format: "%s" or "%d", or numbered, "%2$s" (translations may reorder).
struct Conversion {
    std::size_t length = 0; // of the whole conversion, '%' included; 0: not a conversion
    std::size_t index = 0;  // 1-based argument number; 0: the next one
    Kind kind = Kind::Words;
};

// The conversion that starts at format[at] (a '%' that is not "%%").
constexpr Conversion conversionAt(std::string_view format, std::size_t at)
{
    std::size_t i = at + 1;
    std::size_t number = 0;
    while (i < format.size() && format[i] >= '0' && format[i] <= '9')
        number = number * 10 + static_cast<std::size_t>(format[i++] - '0');
    if (i > at + 1) {
        if (i >= format.size() || format[i] != '$' || number == 0)
            return {};
        ++i;
    }
    if (i >= format.size() || (format[i] != 's' && format[i] != 'd'))
        return {};
    return {i + 1 - at, number, format[i] == 'd' ? Kind::Number : Kind::Words};
}

// True when the format's conversions take exactly the arguments of these kinds: each in turn,
// or each by its number at least once; "%%" is a percent sign.
constexpr bool conversionsMatch(std::string_view format, std::span<const Kind> kinds)
{
    std::size_t next = 0;
    bool numbered = false;
    std::array<bool, 16> used{};
    if (kinds.size() > used.size())
        return false;
    for (std::size_t at = 0; at < format.size(); ++at) {
        if (format[at] != '%')
            continue;
        if (at + 1 < format.size() && format[at + 1] == '%') {
            ++at;
            continue;
        }
        const Conversion conversion = conversionAt(format, at);
        if (conversion.length == 0)
            return false;
        const std::size_t index = conversion.index == 0 ? next++ : conversion.index - 1;
        numbered = numbered || conversion.index != 0;
        if (index >= kinds.size() || kinds[index] != conversion.kind ||
            (numbered && conversion.index == 0))
            return false;
        used[index] = true;
        at += conversion.length - 1;
    }
    for (std::size_t i = 0; i < kinds.size(); ++i)
        if (!used[i])
            return false;
    return true;
}

// Not constexpr: calling it in a constant expression stops the compilation there.
void formatDoesNotMatchItsArguments();

// An English format checked at compile time against the arguments that fill it: "%s" takes
// text (strings, Text), "%d" a whole number.
template <typename... Args> class Format
{
public:
    template <std::size_t Size> consteval Format(const char (&format)[Size]) : format_(format)
    {
        constexpr std::array<Kind, sizeof...(Args)> kinds{kindOf<Args>()...};
        if (!conversionsMatch(format_, kinds))
            formatDoesNotMatchItsArguments();
    }
    [[nodiscard]] const char* get() const { return format_; }

private:
    const char* format_;
};

inline Text piece(const Text& text)
{
    return text;
}
// Words (most often a file name) go in with their control characters written out, so that a
// name holding a line break cannot make one message two lines.
inline Text piece(std::string_view words)
{
    std::string escaped = escapedControls(words);
    return {escaped, escaped};
}
template <std::integral Number>
requires(kindOf<Number>() == Kind::Number) Text piece(Number number)
{
    std::string digits = std::to_string(number);
    return {digits, digits};
}

// The format looked up in the catalogue and both forms filled.
Text fill(const char* format, std::span<const Text> pieces);

} // namespace text_format

// The message in English and in the user's language. The format is marked for xgettext by the
// name of this function (po/CMakeLists.txt).
template <typename... Args>
[[nodiscard]] Text text(text_format::Format<std::type_identity_t<Args>...> format,
                        const Args&... args)
{
    const std::array<Text, sizeof...(Args)> pieces{text_format::piece(args)...};
    return text_format::fill(format.get(), pieces);
}

// The format's translation into the user's language (the format itself without one).
[[nodiscard]] const char* translated(const char* format);

// Fills a format (English or translated) with the arguments' strings; a conversion it cannot
// fill stays as it is.
[[nodiscard]] std::string filled(std::string_view format, std::span<const std::string> arguments);

// The C library's reason for an error number, in English and in the user's language.
[[nodiscard]] Text systemReason(int error);

// Takes the user's language for messages from the environment (LC_ALL, LC_MESSAGES, LANG and
// LANGUAGE, as gettext reads them) and finds the catalogues beside the executable: in "locale"
// next to it in the build tree, in ../share/locale when installed. Numbers, the log and
// FFmpeg keep the C locale.
void useUserLanguage();

} // namespace besweet
