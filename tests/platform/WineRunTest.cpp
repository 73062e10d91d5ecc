// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/WineRun.h"

#include <QTemporaryDir>
#include <filesystem>
#include <gtest/gtest.h>

using namespace klangdorn;
namespace fs = std::filesystem;

namespace
{

// A prefix as wine lays it out, inside a temporary folder "@":
//   @/pfx/dosdevices/c: -> ../drive_c   d: -> @/Daten X   e: -> ../drive_c   z: -> /
//   @/Verweis -> @/pfx/drive_c
class WinePrefixTest : public testing::Test
{
protected:
    QTemporaryDir dir;
    std::string root = dir.path().toStdString();
    std::string prefix = root + "/pfx";
    fs::path previousFolder = fs::current_path();

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        fs::create_directories(prefix + "/dosdevices");
        fs::create_directories(prefix + "/drive_c/Musik");
        fs::create_directories(root + "/Daten X");
        fs::create_directory_symlink("../drive_c", prefix + "/dosdevices/c:");
        fs::create_directory_symlink(root + "/Daten X", prefix + "/dosdevices/d:");
        fs::create_directory_symlink("../drive_c", prefix + "/dosdevices/e:");
        fs::create_directory_symlink("/", prefix + "/dosdevices/z:");
        fs::create_symlink("/dev/null", prefix + "/dosdevices/com1");
        fs::create_directory_symlink(prefix + "/drive_c", root + "/Verweis");
    }
    void TearDown() override { fs::current_path(previousFolder); }

    // "@" in a path stands for the test folder; "@Z" for the test folder as a Z: path.
    std::string expand(std::string text) const
    {
        std::string zRoot = "Z:" + root;
        std::replace(zRoot.begin(), zRoot.end(), '/', '\\');
        for (auto [mark, value] : {std::pair{"@Z", zRoot}, std::pair{"@", root}}) {
            for (auto at = text.find(mark); at != std::string::npos; at = text.find(mark))
                text.replace(at, std::string(mark).size(), value);
        }
        return text;
    }
};

struct PathCase {
    const char* unixPath;
    const char* windowsPath;
};

void PrintTo(const PathCase& c, std::ostream* os)
{
    *os << c.unixPath;
}

class WindowsPathTest : public WinePrefixTest, public testing::WithParamInterface<PathCase>
{
};

TEST_P(WindowsPathTest, DeepestDriveGivesTheLetterTheRestFollowsWithBackslashes)
{
    const auto drives = WineDriveMap::read(prefix);
    EXPECT_EQ(drives.windowsPath(expand(GetParam().unixPath)), expand(GetParam().windowsPath));
}

INSTANTIATE_TEST_SUITE_P(
    Paths, WindowsPathTest,
    testing::Values(PathCase{"@/pfx/drive_c/Musik/Quelle ä.wav", "C:\\Musik\\Quelle ä.wav"},
                    PathCase{"@/pfx/drive_c", "C:\\"}, PathCase{"@/pfx/drive_c/", "C:\\"},
                    PathCase{"@/pfx/drive_c/neu/tiefer/Ziel ö.ac3", "C:\\neu\\tiefer\\Ziel ö.ac3"},
                    PathCase{"@/Daten X/b ö.wav", "D:\\b ö.wav"},
                    PathCase{"@/Verweis/x.wav", "C:\\x.wav"},
                    PathCase{"@/pfx/drive_c/Musik/../a.wav", "C:\\a.wav"},
                    PathCase{"@/pfx/drive_c/../x.wav", "@Z\\pfx\\x.wav"},
                    PathCase{"@//anders/./a.wav", "@Z\\anders\\a.wav"}, PathCase{"/", "Z:\\"}));

TEST_F(WinePrefixTest, RelativePathIsTakenFromTheCurrentFolder)
{
    fs::current_path(prefix + "/drive_c/Musik");
    const auto drives = WineDriveMap::read(prefix);
    EXPECT_EQ(drives.windowsPath("Quelle ä.wav"), "C:\\Musik\\Quelle ä.wav");
    EXPECT_EQ(drives.windowsPath("../b.wav"), "C:\\b.wav");
}

TEST_F(WinePrefixTest, PrefixNotYetCreatedMapsEverythingToZ)
{
    const auto drives = WineDriveMap::read(root + "/noch nicht da");
    EXPECT_EQ(drives.windowsPath(root + "/pfx/drive_c/a.wav"), expand("@Z\\pfx\\drive_c\\a.wav"));
}

TEST_F(WinePrefixTest, PathUnderNoDriveKeepsWinesUnixForm)
{
    fs::remove(prefix + "/dosdevices/z:");
    const auto drives = WineDriveMap::read(prefix);
    EXPECT_EQ(drives.windowsPath("/weg/b.ac3"), "\\\\?\\unix\\weg\\b.ac3");
}

TEST(WindowsArgumentsTest, ProgramAndPathsAfterThePathOptionsOnly)
{
    // A prefix that does not exist: z: is "/".
    const auto drives = WineDriveMap::read("/nicht/vorhanden");
    const std::vector<std::string> arguments{"/opt/Be Sweet/BeSweet.exe",
                                             "-core(",
                                             "-input",
                                             "/q/Quelle ä.wav",
                                             "-output",
                                             "/z/Ziel.ac3",
                                             "-logfile",
                                             "/z/Ziel.ac3.log",
                                             ")",
                                             "-ota(",
                                             "-norm",
                                             "0.95",
                                             ")",
                                             "/ssrc("};
    EXPECT_EQ(WindowsArguments(arguments, drives),
              (std::vector<std::string>{"Z:\\opt\\Be Sweet\\BeSweet.exe", "-core(", "-input",
                                        "Z:\\q\\Quelle ä.wav", "-output", "Z:\\z\\Ziel.ac3",
                                        "-logfile", "Z:\\z\\Ziel.ac3.log", ")", "-ota(", "-norm",
                                        "0.95", ")", "/ssrc("}));
}

struct EnvironmentCase {
    std::vector<std::string> current;
    std::vector<std::string> forWine;
};

void PrintTo(const EnvironmentCase& c, std::ostream* os)
{
    for (const auto& entry : c.current)
        *os << entry << ' ';
}

class WineEnvironmentTest : public testing::TestWithParam<EnvironmentCase>
{
};

TEST_P(WineEnvironmentTest, QuietWineThatReadsUtf8)
{
    EXPECT_EQ(WineEnvironment(GetParam().current), GetParam().forWine);
}

INSTANTIATE_TEST_SUITE_P(
    Environments, WineEnvironmentTest,
    testing::Values(EnvironmentCase{{"HOME=/h"}, {"HOME=/h", "WINEDEBUG=-all", "LC_CTYPE=C.UTF-8"}},
                    EnvironmentCase{{"WINEDEBUG=warn+all", "LANG=de_DE.UTF-8"},
                                    {"WINEDEBUG=warn+all", "LANG=de_DE.UTF-8"}},
                    EnvironmentCase{{"WINEDEBUG=", "LANG=C"},
                                    {"WINEDEBUG=", "LANG=C", "LC_CTYPE=C.UTF-8"}},
                    EnvironmentCase{{"WINEDEBUG=", "LANG=de_DE.utf8", "LC_ALL=C"},
                                    {"WINEDEBUG=", "LANG=de_DE.utf8", "LC_ALL=C.UTF-8"}},
                    EnvironmentCase{{"WINEDEBUG=", "LC_CTYPE=POSIX", "LANG=de_DE.UTF-8"},
                                    {"WINEDEBUG=", "LC_CTYPE=C.UTF-8", "LANG=de_DE.UTF-8"}},
                    EnvironmentCase{{"WINEDEBUG=", "LC_ALL=", "LANG=de_DE.UTF-8"},
                                    {"WINEDEBUG=", "LC_ALL=", "LANG=de_DE.UTF-8"}},
                    EnvironmentCase{{"WINEDEBUGX=1", "LANG=en_US.UTF-8"},
                                    {"WINEDEBUGX=1", "LANG=en_US.UTF-8", "WINEDEBUG=-all"}}));

} // namespace
