#include "job/FileQuery.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

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
    EXPECT_TRUE(query.isSameExistingFile(at("Übung 1.wav"), at("Übung 1.wav")));
    EXPECT_TRUE(query.isSameExistingFile(at("Übung 1.wav"), at("Ordner.ac3/../Übung 1.wav")));
#ifndef _WIN32
    EXPECT_TRUE(query.isSameExistingFile(at("Übung 1.wav"), at("verweis.wav")));
#endif
    EXPECT_TRUE(query.isSameExistingFile(at("zweiter Name.wav"), at("Übung 1.wav")));
    EXPECT_FALSE(query.isSameExistingFile(at("Übung 1.wav"), at("ziel.ac3")));
    EXPECT_FALSE(query.isSameExistingFile(at("fehlt.wav"), at("fehlt.wav")));
    EXPECT_FALSE(query.isSameExistingFile(at("Übung 1.wav"), at("fehlt.wav")));
}

} // namespace

TEST_F(FileQueryTest, AFileWrittenAnewHasANewStamp)
{
#ifdef _WIN32
    GTEST_SKIP() << "MinGW's std::filesystem gives modification times in whole seconds: "
                    "size and time alone cannot tell a new file within the same second";
#endif
    const auto before = query.stampOf(at("ziel.ac3"));
    ASSERT_TRUE(before);
    EXPECT_EQ(query.stampOf(at("ziel.ac3")), before);
    // Written through a temporary and renamed over it, as the transcoder does, same size.
    write("ziel.tmp");
    fs::last_write_time(folder / "ziel.tmp",
                        fs::last_write_time(folder / "ziel.ac3") + std::chrono::milliseconds(5));
    fs::rename(folder / "ziel.tmp", folder / "ziel.ac3");
    EXPECT_NE(query.stampOf(at("ziel.ac3")), before);
    EXPECT_EQ(query.stampOf(at("Ordner.ac3")), std::nullopt);
    EXPECT_EQ(query.stampOf(at("fehlt.ac3")), std::nullopt);
}
