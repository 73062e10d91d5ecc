// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SystemReason.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <optional>
#include <string>

// glibc keeps the translations it found; this counter tells it LANGUAGE has changed.
extern "C" int _nl_msg_cat_cntr;

using namespace klangdorn;

namespace
{

constexpr int CommonErrors[] = {EPERM,   ENOENT, EIO,     E2BIG,        ENOEXEC, EAGAIN, ENOMEM,
                                EACCES,  EEXIST, ENOTDIR, EISDIR,       EINVAL,  ENFILE, EMFILE,
                                ETXTBSY, ENOSPC, EROFS,   ENAMETOOLONG, ELOOP};

// The table alone, so it is tested where the C library could answer in German as well.
TEST(SystemReason, TheTableHoldsGermanForTheCommonReasons)
{
    EXPECT_EQ(TabledSystemReason(EACCES), "Keine Berechtigung");
    EXPECT_EQ(TabledSystemReason(ENOEXEC), "Fehler im Format der Programmdatei");
    for (const int error : CommonErrors) {
        EXPECT_FALSE(TabledSystemReason(error).empty()) << error;
        EXPECT_NE(TabledSystemReason(error), std::strerror(error)) << "English for " << error;
    }
    EXPECT_TRUE(TabledSystemReason(EDOM).empty());
}

// The user's language preference decides nothing: the reason is German or only a number.
class LanguagePreferenceTest : public testing::TestWithParam<const char*>
{
protected:
    void SetUp() override
    {
        if (const char* saved = std::getenv("LANGUAGE"))
            m_saved = saved;
        if (GetParam())
            ::setenv("LANGUAGE", GetParam(), 1);
        else
            ::unsetenv("LANGUAGE");
        ++_nl_msg_cat_cntr;
    }
    void TearDown() override
    {
        if (m_saved)
            ::setenv("LANGUAGE", m_saved->c_str(), 1);
        else
            ::unsetenv("LANGUAGE");
        ++_nl_msg_cat_cntr;
    }

private:
    std::optional<std::string> m_saved;
};

// A reason outside the table is the C library's German, where its German locale is installed,
// or the number; never English or French, whichever the user prefers.
TEST_P(LanguagePreferenceTest, ReasonsStayGerman)
{
    EXPECT_EQ(SystemReason(EACCES), "Keine Berechtigung");
    EXPECT_THAT(SystemReason(EDOM),
                testing::AnyOf("Das numerische Argument ist außerhalb des Definitionsbereiches",
                               "Systemfehler " + std::to_string(EDOM)));
}

INSTANTIATE_TEST_SUITE_P(Preferences, LanguagePreferenceTest,
                         testing::Values(nullptr, "en_US:en", "fr", "fr:de", "de_AT:en", "dexx"));

// Which LANGUAGE lists let the C library answer in German: only those that start with German.
TEST(SystemReason, OnlyALanguageListLedByGermanLeadsToGerman)
{
    const struct {
        const char* language;
        bool german;
    } cases[] = {
        {nullptr, true},    {"", true},        {"de", true},        {"de_AT:en", true},
        {"de.UTF-8", true}, {"de@euro", true}, {"en_US:de", false}, {"fr", false},
        {"dexx", false},    {"d", false},      {":de", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LanguageListLeadsToGerman(c.language), c.german)
            << (c.language ? c.language : "unset");
}

// The table speaks as the C library does, so a message reads the same on every machine.
TEST(SystemReason, TheTableMatchesTheLibrarysTranslation)
{
    if (TranslatedSystemReason(EACCES).empty())
        GTEST_SKIP() << "no German locale installed (locale-gen de_DE.UTF-8)";
    for (const int error : CommonErrors)
        EXPECT_EQ(TabledSystemReason(error), TranslatedSystemReason(error)) << error;
    EXPECT_EQ(SystemReason(EDOM), TranslatedSystemReason(EDOM));
}

TEST(SystemReason, AnUnknownNumberIsNamed)
{
    const std::string reason = SystemReason(98765);
    EXPECT_NE(reason.find("98765"), std::string::npos) << reason;
    EXPECT_EQ(reason.find("Unknown"), std::string::npos) << reason;
}

} // namespace
