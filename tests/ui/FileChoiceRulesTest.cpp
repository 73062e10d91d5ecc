// SPDX-License-Identifier: GPL-3.0-or-later
#include "job/FileChoiceRules.h"

#include <gtest/gtest.h>
#include <optional>

using namespace klangdorn;

namespace
{

struct PathCase {
    PathStyle style;
    const char* path;
    const char* folder;
    const char* withoutExtension;
    const char* proposedWithAc3;
};

constexpr PathStyle Windows = PathStyle::Windows;
constexpr PathStyle Posix = PathStyle::Posix;

class PathRules : public testing::TestWithParam<PathCase>
{
};

TEST_P(PathRules, FolderPresetAndProposalComeFromTheBareName)
{
    const PathCase& c = GetParam();
    EXPECT_EQ(folderOf(c.path, c.style), c.folder);
    EXPECT_EQ(withoutExtension(c.path, c.style), c.withoutExtension);
    EXPECT_EQ(proposedTarget(c.path, "ac3", c.style), c.proposedWithAc3);
}

INSTANTIATE_TEST_SUITE_P(
    WindowsAndPosixPaths, PathRules,
    testing::Values(
        PathCase{Windows, R"(D:\Audio\clip.wav)", R"(D:\Audio)", R"(D:\Audio\clip)",
                 R"(D:\Audio\clip.ac3)"},
        PathCase{Windows, R"(D:\Audio\live.set.wav)", R"(D:\Audio)", R"(D:\Audio\live.set)",
                 R"(D:\Audio\live.set.ac3)"},
        PathCase{Windows, R"(D:\my.takes\clip)", R"(D:\my.takes)", R"(D:\my.takes\clip)",
                 R"(D:\my.takes\clip.ac3)"},
        PathCase{Windows, R"(D:\Audio\clip.ac3)", R"(D:\Audio)", R"(D:\Audio\clip)",
                 R"(D:\Audio\clip.ac3)"},
        PathCase{Windows, R"(C:\clip.wav)", "C:", R"(C:\clip)", R"(C:\clip.ac3)"},
        PathCase{Windows, R"(D:\Audio\.hidden)", R"(D:\Audio)", R"(D:\Audio\.hidden)",
                 R"(D:\Audio\.hidden.ac3)"},
        PathCase{Windows, R"(D:\Audio\clip.)", R"(D:\Audio)", R"(D:\Audio\clip)",
                 R"(D:\Audio\clip.ac3)"},
        PathCase{Windows, R"(D:\mixed/dir\x.mp3)", R"(D:\mixed/dir)", R"(D:\mixed/dir\x)",
                 R"(D:\mixed/dir\x.ac3)"},
        PathCase{Windows, "/home/a/clip.wav", "/home/a", "/home/a/clip", "/home/a/clip.ac3"},
        PathCase{Posix, "/home/a/clip.wav", "/home/a", "/home/a/clip", "/home/a/clip.ac3"},
        PathCase{Posix, "/home/a.b/clip", "/home/a.b", "/home/a.b/clip", "/home/a.b/clip.ac3"},
        PathCase{Posix, "/clip.wav", "/", "/clip", "/clip.ac3"},
        PathCase{Posix, "clip.wav", "", "clip", "clip.ac3"},
        // On POSIX a "\" belongs to the name: it separates no folder.
        PathCase{Posix, R"(/d/we\ird.wav)", "/d", R"(/d/we\ird)", R"(/d/we\ird.ac3)"},
        PathCase{Posix, R"(/d/a.b\c)", "/d", R"(/d/a)", R"(/d/a.ac3)"},
        PathCase{Posix, R"(D:\Audio\clip.wav)", "", R"(D:\Audio\clip)", R"(D:\Audio\clip.ac3)"}));

struct ExtensionCase {
    const char* bareName;
    std::optional<std::string> extension;
};

class Extensions : public testing::TestWithParam<ExtensionCase>
{
};

TEST_P(Extensions, OnlyTheLastDotOfANameThatDoesNotStartWithItCounts)
{
    EXPECT_EQ(extensionOf(GetParam().bareName), GetParam().extension);
}

INSTANTIATE_TEST_SUITE_P(
    BareNames, Extensions,
    testing::Values(ExtensionCase{"clip.MPA", "MPA"}, ExtensionCase{"live.set.ac3", "ac3"},
                    ExtensionCase{"clip.", ""}, ExtensionCase{"clip", std::nullopt},
                    ExtensionCase{".hidden", std::nullopt}, ExtensionCase{"", std::nullopt}));

TEST(ProposedTarget, KeepsTheOutputTypeInItsOwnLetterCase)
{
    EXPECT_EQ(proposedTarget(R"(E:\Out\clip.wav)", "MPA", Windows), R"(E:\Out\clip.MPA)");
    EXPECT_EQ(proposedTarget("/x/clip.wav", ""), "/x/clip.");
}

} // namespace
