// SPDX-License-Identifier: GPL-3.0-or-later
// A failure that a reaction reports to the user: a number and a description, shown as
// "Fehler: <number> - <description>".
#pragma once

#include <exception>
#include <string>

namespace klangdorn
{

namespace ErrorNumber
{
inline constexpr int InvalidArgument = 5;
inline constexpr int SubscriptOutOfRange = 9;
inline constexpr int FileNotFound = 53;
inline constexpr int PathFileAccess = 75;
inline constexpr int DialogCancelled = 32755;
} // namespace ErrorNumber

class RuntimeError : public std::exception
{
public:
    // The description is the standard German one for the number.
    explicit RuntimeError(int number);
    // `detail` follows the standard description, e.g. the path that failed.
    RuntimeError(int number, const std::string& detail);
    // An operating-system failure that has no number of its own: its own message.
    static RuntimeError fromOs(int number, std::string osMessage);

    int number() const noexcept { return m_number; }
    const std::string& description() const noexcept { return m_description; }
    // "Fehler: " + number + " - " + description
    std::string message() const;
    const char* what() const noexcept override { return m_description.c_str(); }

private:
    RuntimeError(int number, std::string description, bool);
    int m_number;
    std::string m_description;
};

// The standard German description of a known error number; empty for an unknown one.
std::string standardDescription(int number);

} // namespace klangdorn
