// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SystemReason.h"

#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>

using namespace klangdorn;

namespace
{

constexpr int CommonErrors[] = {EPERM,   ENOENT, EIO,     E2BIG,        ENOEXEC, EAGAIN, ENOMEM,
                                EACCES,  EEXIST, ENOTDIR, EISDIR,       EINVAL,  ENFILE, EMFILE,
                                ETXTBSY, ENOSPC, EROFS,   ENAMETOOLONG, ELOOP};

TEST(SystemReason, CommonReasonsAreGermanWithOrWithoutTheLocale)
{
    EXPECT_EQ(SystemReason(EACCES), "Keine Berechtigung");
    EXPECT_EQ(SystemReason(ENOEXEC), "Fehler im Format der Programmdatei");
    for (const int error : CommonErrors) {
        EXPECT_FALSE(TabledSystemReason(error).empty()) << error;
        EXPECT_NE(SystemReason(error), std::strerror(error)) << "English for " << error;
    }
    EXPECT_TRUE(TabledSystemReason(EDOM).empty());
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
