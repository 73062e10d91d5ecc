// SPDX-License-Identifier: GPL-3.0-or-later
#include "job/RuntimeError.h"

#include <array>
#include <utility>

namespace klangdorn
{

namespace
{
struct KnownError {
    int number;
    const char* description;
};

constexpr std::array knownErrors{
    KnownError{ErrorNumber::InvalidArgument, "Ungültiger Prozeduraufruf oder ungültiges Argument"},
    KnownError{ErrorNumber::SubscriptOutOfRange, "Index außerhalb des gültigen Bereichs"},
    KnownError{ErrorNumber::FileNotFound, "Datei nicht gefunden"},
    KnownError{ErrorNumber::PathFileAccess, "Fehler beim Zugriff auf Pfad/Datei"},
    KnownError{ErrorNumber::DialogCancelled, "Abbruch durch den Benutzer"},
};
} // namespace

std::string standardDescription(int number)
{
    for (const auto& known : knownErrors) {
        if (known.number == number)
            return known.description;
    }
    return {};
}

RuntimeError::RuntimeError(int number) : RuntimeError(number, standardDescription(number), true) {}

RuntimeError::RuntimeError(int number, const std::string& detail)
    : RuntimeError(number, standardDescription(number) + ": " + detail, true)
{
}

RuntimeError::RuntimeError(int number, std::string description, bool)
    : m_number(number), m_description(std::move(description))
{
}

RuntimeError RuntimeError::fromOs(int number, std::string osMessage)
{
    return RuntimeError(number, std::move(osMessage), true);
}

std::string RuntimeError::message() const
{
    return "Fehler: " + std::to_string(m_number) + " - " + m_description;
}

} // namespace klangdorn
