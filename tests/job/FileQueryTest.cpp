// SPDX-License-Identifier: GPL-3.0-or-later
#include "job/FileQuery.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif

using namespace klangdorn;
namespace fs = std::filesystem;

namespace
{

// The query takes UTF-8; a narrow path on Windows would be the ANSI code page.
fs::path fromUtf8(const std::string& text)
{
    return fs::path(std::u8string(text.begin(), text.end()));
}

class FileQueryTest : public testing::Test
{
protected:
    fs::path folder;
    LocalFileQuery query;

    void SetUp() override
    {
        folder = fs::temp_directory_path() /
                 ("klangdorn-files-" +
                  std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                  testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder / "Ordner.ac3");
        write("ziel.ac3");
        write(".versteckt.ac3");
        write("Übung 1.wav");
#ifndef _WIN32 // symbolic links need a privilege there
        fs::create_symlink(folder / fromUtf8("Übung 1.wav"), folder / "verweis.wav");
#endif
        fs::create_hard_link(folder / fromUtf8("Übung 1.wav"), folder / "zweiter Name.wav");
    }
    void TearDown() override
    {
        fs::remove_all(folder);
    }
    void write(const std::string& name)
    {
        std::ofstream(folder / fromUtf8(name)) << "x";
    }
    std::string at(const std::string& name) const
    {
        const auto path = (folder / fromUtf8(name)).u8string();
        return std::string(path.begin(), path.end());
    }
};

TEST_F(FileQueryTest, ExactlyAnExistingNonFolderCountsAsFile)
{
    EXPECT_TRUE(query.existsAsFile(at("ziel.ac3")));
    EXPECT_TRUE(query.existsAsFile(at(".versteckt.ac3")));
    EXPECT_TRUE(query.existsAsFile(at("Übung 1.wav")));
    EXPECT_FALSE(query.existsAsFile(at("Ordner.ac3")));
    EXPECT_FALSE(query.existsAsFile(at("fehlt.ac3")));
    EXPECT_FALSE(query.existsAsFile(at("*.ac3")));
    EXPECT_FALSE(query.existsAsFile(at("ziel.ac?")));
    EXPECT_FALSE(query.existsAsFile(""));
}

TEST_F(FileQueryTest, SameFileWhateverItsPathIsSpelled)
{
    EXPECT_TRUE(query.isSameFile(at("Übung 1.wav"), at("Übung 1.wav")));
    EXPECT_TRUE(query.isSameFile(at("Übung 1.wav"), at("Ordner.ac3/../Übung 1.wav")));
#ifndef _WIN32
    EXPECT_TRUE(query.isSameFile(at("Übung 1.wav"), at("verweis.wav")));
#endif
    EXPECT_TRUE(query.isSameFile(at("zweiter Name.wav"), at("Übung 1.wav")));
    EXPECT_FALSE(query.isSameFile(at("Übung 1.wav"), at("ziel.ac3")));
    EXPECT_FALSE(query.isSameFile(at("Übung 1.wav"), at("fehlt.wav")));
    EXPECT_FALSE(query.isSameFile("", ""));
}

// A target not there yet is still the source when both paths lead to the same place.
TEST_F(FileQueryTest, SamePathOfAFileNotThereYet)
{
    EXPECT_TRUE(query.isSameFile(at("fehlt.wav"), at("fehlt.wav")));
    EXPECT_TRUE(query.isSameFile(at("fehlt.wav"), at("Ordner.ac3/../fehlt.wav")));
    EXPECT_TRUE(query.isSameFile(at("fehlt.wav"), at("./neu/../fehlt.wav")));
#ifndef _WIN32 // symbolic links need a privilege there
    fs::create_directory_symlink(folder / "Ordner.ac3", folder / "Verweisordner");
    EXPECT_TRUE(query.isSameFile(at("Ordner.ac3/fehlt.wav"), at("Verweisordner/fehlt.wav")));
#endif

    const fs::path before = fs::current_path();
    fs::current_path(folder);
    EXPECT_TRUE(query.isSameFile("fehlt.wav", at("fehlt.wav")));
    EXPECT_TRUE(query.isSameFile("fehlt.wav", "./fehlt.wav"));
    EXPECT_FALSE(query.isSameFile("fehlt.wav", at("Ordner.ac3/fehlt.wav")));
    fs::current_path(before);

    EXPECT_FALSE(query.isSameFile(at("fehlt.wav"), at("fehlt.ac3")));
}

// Written through a temporary and renamed over it, as the transcoder does: same size, and the
// same time where the clock is coarse.
void replaceWithSameSizeAndTime(const fs::path& file)
{
    const fs::path temporary = file.string() + ".tmp";
    std::ofstream(temporary) << "y";
    fs::last_write_time(temporary, fs::last_write_time(file));
    fs::rename(temporary, file);
}

TEST_F(FileQueryTest, AFileWrittenAnewHasANewStamp)
{
    const auto before = query.stampOf(at("ziel.ac3"));
    ASSERT_TRUE(before);
    EXPECT_EQ(query.stampOf(at("ziel.ac3")), before);
    replaceWithSameSizeAndTime(folder / "ziel.ac3");
    EXPECT_NE(query.stampOf(at("ziel.ac3")), before);
    EXPECT_EQ(query.stampOf(at("Ordner.ac3")), std::nullopt);
    EXPECT_EQ(query.stampOf(at("fehlt.ac3")), std::nullopt);
}

// A target written just before the launch and rewritten in place to the same size, its time
// stamp unchanged as on a clock of whole seconds: only its content tells.
struct InPlaceCase {
    const char* name;
    const char* contentAfter; // nothing: left as it was
    bool written;
};

class TargetWatchTest : public FileQueryTest, public testing::WithParamInterface<InPlaceCase>
{
};

TEST_P(TargetWatchTest, AnInPlaceRewriteOfAFreshTargetIsSeen)
{
    const fs::path target = folder / "frisch.ac3";
    std::ofstream(target) << "AC3 alt";
    const auto stamp = fs::last_write_time(target);
    const TargetWatch watch(query, target.string());
    if (GetParam().contentAfter) {
        std::ofstream(target, std::ios::in | std::ios::out) << GetParam().contentAfter;
        fs::last_write_time(target, stamp);
    }
    EXPECT_EQ(watch.written(), GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(Rewrites, TargetWatchTest,
                         testing::Values(InPlaceCase{"SameSize", "AC3 neu", true},
                                         InPlaceCase{"Untouched", nullptr, false}),
                         [](const auto& info) { return std::string(info.param.name); });

#ifndef _WIN32
// A real file system with one-second stamps: ext2 with 128-byte inodes, in a loop-mounted
// image. Needs root and mkfs.ext2; skipped where either is missing.
class CoarseClockTest : public testing::Test
{
protected:
    fs::path image;
    fs::path mountPoint;
    bool mounted = false;

    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "mounting needs root";
        if (std::system("command -v mkfs.ext2 >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "mkfs.ext2 is not installed";
        const auto base = fs::temp_directory_path() /
                          ("klangdorn-coarse-" + std::to_string(::getpid()) + "-" +
                           std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
        image = base.string() + ".img";
        mountPoint = base;
        fs::create_directories(mountPoint);
        const std::string make = "truncate -s 2M '" + image.string() +
                                 "' && mkfs.ext2 -q -F -I 128 '" + image.string() +
                                 "' >/dev/null 2>&1";
        const std::string mount =
            "mount -o loop '" + image.string() + "' '" + mountPoint.string() + "' 2>/dev/null";
        if (std::system(make.c_str()) != 0 || std::system(mount.c_str()) != 0)
            GTEST_SKIP() << "no loop mount here";
        mounted = true;
    }
    void TearDown() override
    {
        if (mounted) [[maybe_unused]]
            const int status = std::system(("umount '" + mountPoint.string() + "'").c_str());
        std::error_code ignored;
        fs::remove(mountPoint, ignored);
        fs::remove(image, ignored);
    }
};

TEST_F(CoarseClockTest, ATargetRenamedIntoPlaceWithinTheSameSecondIsNew)
{
    LocalFileQuery query;
    const fs::path target = mountPoint / "ziel.ac3";
    const fs::path temporary = mountPoint / "ziel.ac3.tmp";
    // Retried when a second boundary falls between the two writes.
    for (int attempt = 0; attempt < 5; ++attempt) {
        std::ofstream(target) << "AC3";
        const auto before = query.stampOf(target.string());
        ASSERT_TRUE(before);
        std::ofstream(temporary) << "AC3";
        if (fs::last_write_time(temporary) != fs::last_write_time(target))
            continue;
        fs::rename(temporary, target);
        const auto after = query.stampOf(target.string());
        ASSERT_TRUE(after);
        ASSERT_EQ(after->size, before->size);
        ASSERT_EQ(after->modified, before->modified) << "the clock is not coarse here";
        EXPECT_NE(after, before);
        return;
    }
    GTEST_SKIP() << "every attempt crossed a second boundary";
}
#endif

} // namespace
