// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SystemReason.h"

#include <array>
#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <string_view>

namespace klangdorn
{

namespace
{

struct Reason {
    int error;
    const char* text;
};

// The C library's German wording, so the reason reads the same with or without its locale.
constexpr std::array reasons{
    Reason{EPERM, "Die Operation ist nicht erlaubt"},
    Reason{ENOENT, "Datei oder Verzeichnis nicht gefunden"},
    Reason{EIO, "Eingabe-/Ausgabefehler"},
    Reason{E2BIG, "Die Argumentliste ist zu lang"},
    Reason{ENOEXEC, "Fehler im Format der Programmdatei"},
    Reason{EAGAIN, "Die Ressource ist zur Zeit nicht verfügbar"},
    Reason{ENOMEM, "Nicht genügend Hauptspeicher verfügbar"},
    Reason{EACCES, "Keine Berechtigung"},
    Reason{EEXIST, "Die Datei existiert bereits"},
    Reason{ENOTDIR, "Ist kein Verzeichnis"},
    Reason{EISDIR, "Ist ein Verzeichnis"},
    Reason{EINVAL, "Das Argument ist ungültig"},
    Reason{ENFILE, "Zu viele offene Dateien im System"},
    Reason{EMFILE, "Zu viele offene Dateien"},
    Reason{ETXTBSY, "Das Programm kann nicht ausgeführt oder verändert werden (busy)"},
    Reason{ENOSPC, "Auf dem Gerät ist kein Speicherplatz mehr verfügbar"},
    Reason{EROFS, "Das Dateisystem ist nur lesbar"},
    Reason{ENAMETOOLONG, "Der Dateiname ist zu lang"},
    Reason{ELOOP, "Zu viele Ebenen aus symbolischen Links"},
};

// Only UTF-8 locales: the translation comes in the locale's character set.
constexpr std::array germanLocales{"de_DE.UTF-8", "de_DE.utf8", "de_AT.UTF-8", "de_CH.UTF-8"};

// A German locale of the C library, made once; null when none is installed.
class GermanLocale
{
public:
    GermanLocale()
    {
        for (const char* name : germanLocales) {
            m_locale = ::newlocale(LC_MESSAGES_MASK | LC_CTYPE_MASK, name, nullptr);
            if (m_locale)
                return;
        }
    }
    ~GermanLocale()
    {
        if (m_locale)
            ::freelocale(m_locale);
    }
    GermanLocale(const GermanLocale&) = delete;
    GermanLocale& operator=(const GermanLocale&) = delete;
    locale_t get() const { return m_locale; }

private:
    locale_t m_locale = nullptr;
};

} // namespace

bool LanguageListLeadsToGerman(const char* language)
{
    if (!language || !*language)
        return true;
    const std::string_view first(language, std::strcspn(language, ":"));
    return first.starts_with("de") &&
           (first.size() == 2 || first[2] == '_' || first[2] == '.' || first[2] == '@');
}

std::string TabledSystemReason(int error)
{
    for (const auto& reason : reasons) {
        if (reason.error == error)
            return reason.text;
    }
    return {};
}

std::string TranslatedSystemReason(int error)
{
#if defined(__GLIBC__)
    static const GermanLocale german;
    // The C library looks into LANGUAGE before the locale it is given: another language
    // first there would answer in that language.
    if (!german.get() || !LanguageListLeadsToGerman(std::getenv("LANGUAGE")))
        return {};
    return ::strerror_l(error, german.get());
#else
    (void)error;
    return {};
#endif
}

std::string SystemReason(int error)
{
    if (auto tabled = TabledSystemReason(error); !tabled.empty())
        return tabled;
    if (auto translated = TranslatedSystemReason(error); !translated.empty())
        return translated;
    return "Systemfehler " + std::to_string(error);
}

} // namespace klangdorn
