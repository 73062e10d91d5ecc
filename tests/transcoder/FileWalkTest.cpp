// SPDX-License-Identifier: GPL-3.0-or-later
// Walking a file's structure as the system and the formats define it: a header's chunks with
// the pad byte after an odd-sized one, and a target's links as the kernel follows them.
#include "input/ContainerLength.h"
#include "output/OutputFile.h"
#include "support/AudioFiles.h"

#include <climits>
#include <cstdint>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <unistd.h>

namespace besweet::test
{
namespace
{

namespace fs = std::filesystem;

std::string sizeBytes(std::uint32_t size, bool bigEndian)
{
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[static_cast<std::size_t>(i)] = static_cast<char>(size >> 8 * (bigEndian ? 3 - i : i));
    return bytes;
}

// A chunk: its name, its size, its content and the pad byte an odd size is followed by.
std::string chunk(const std::string& name, const std::string& content, bool bigEndian)
{
    const auto size = static_cast<std::uint32_t>(content.size());
    return name + sizeBytes(size, bigEndian) + content + (size % 2 ? std::string(1, '\0') : "");
}

struct ChunkCase {
    const char* name;
    bool bigEndian;
    std::string head;    // before the first chunk
    std::string before;  // the chunks before the audio
    std::string audio;   // the audio chunk's name, and the bytes before its samples
    std::string skipped; // in the audio chunk before the samples
    const char* container;
};

void PrintTo(const ChunkCase& c, std::ostream* os)
{
    *os << c.name;
}

class ChunkWalk : public testing::TestWithParam<ChunkCase>
{
};

// The samples are found behind chunks of odd size, however many; 1000 bytes of them declared.
TEST_P(ChunkWalk, StepsOverThePadByteAfterAnOddChunk)
{
    const ChunkCase& c = GetParam();
    ScratchFolder folder;
    const std::string samples(1000, '\x11');
    const std::string front = c.head + c.before;
    const std::string audio = chunk(c.audio, c.skipped + samples, c.bigEndian);
    writeBytes(folder / "in", front + audio);
    const auto found = declaredLength((folder / "in").string());
    ASSERT_TRUE(found.has_value());
    EXPECT_STREQ(found->container, c.container);
    EXPECT_EQ(found->offset, front.size() + 8 + c.skipped.size());
    EXPECT_EQ(found->bytes, samples.size());
}

const std::string wavFormat = chunk("fmt ", std::string(16, '\x01'), false);
const std::string aiffCommon = chunk("COMM", std::string(18, '\x01'), true);

// clang-format off
INSTANTIATE_TEST_SUITE_P(Containers, ChunkWalk, testing::Values(
    ChunkCase{"wav_odd_list", false, "RIFF" + sizeBytes(0, false) + "WAVE",
              wavFormat + chunk("LIST", "INFOabc", false), "data", "", "RIFF WAV"},
    ChunkCase{"wav_two_odd_chunks", false, "RIFF" + sizeBytes(0, false) + "WAVE",
              chunk("JUNK", "a", false) + wavFormat + chunk("bext", std::string(33, ' '), false),
              "data", "", "RIFF WAV"},
    ChunkCase{"aiff_odd_name", true, "FORM" + sizeBytes(0, true) + "AIFF",
              aiffCommon + chunk("NAME", "Take 1", true) + chunk("ANNO", "odd", true), "SSND",
              std::string(8, '\0'), "AIFF"}),
    [](const testing::TestParamInfo<ChunkCase>& info) { return std::string(info.param.name); });
// clang-format on

// The name the kernel gives what it finds at path, following every link; empty when it finds
// nothing.
std::string kernelName(const fs::path& path)
{
    struct Opened {
        int fd;
        ~Opened()
        {
            if (fd >= 0)
                ::close(fd);
        }
    } const opened{::open(path.c_str(), O_PATH | O_CLOEXEC)};
    if (opened.fd < 0)
        return {};
    std::string name(PATH_MAX, '\0');
    const ssize_t length = ::readlink(("/proc/self/fd/" + std::to_string(opened.fd)).c_str(),
                                      name.data(), name.size());
    name.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    return name;
}

struct LinkCase {
    const char* name;
    // Makes the target (folder/o.ac3) and what it leads to in the folder.
    std::function<void(const fs::path& folder)> make;
    bool followed;       // false: refused with a reason
    const char* landsOn; // the file written, below the folder (empty: as the kernel names it)
};

void PrintTo(const LinkCase& c, std::ostream* os)
{
    *os << c.name;
}

class LinkTargetTest : public testing::TestWithParam<LinkCase>
{
};

// A chain of links to a file, each through a link to a folder: the kernel counts each
// link it follows and gives up past 40, so such a target is refused as the kernel refuses it.
void chainThroughFolderLinks(const fs::path& folder, int links)
{
    fs::create_directory(folder / "real");
    fs::create_directory_symlink("real", folder / "via");
    writeBytes(folder / "real" / "end.ac3", "old");
    for (int i = links - 1; i >= 0; --i) {
        const std::string next = i + 1 == links ? "end.ac3" : "l" + std::to_string(i + 1);
        fs::create_symlink("../via/" + next, folder / "real" / ("l" + std::to_string(i)));
    }
    fs::create_symlink("via/l0", folder / "o.ac3");
}

// The target names the file the kernel reaches, whatever the link's text is made of.
TEST_P(LinkTargetTest, IsWhatTheKernelFollowsTo)
{
    const LinkCase& c = GetParam();
    ScratchFolder folder;
    c.make(folder.path());
    const fs::path target = folder / "o.ac3";
    const LinkTarget found = linkTarget(target.string());
    if (!c.followed) {
        EXPECT_TRUE(found.problem.has_value()) << found.path;
        return;
    }
    ASSERT_FALSE(found.problem.has_value()) << found.problem->english;
    const std::string kernel = kernelName(target);
    if (*c.landsOn) {
        EXPECT_EQ(found.path, (folder / c.landsOn).string());
    } else {
        ASSERT_FALSE(kernel.empty());
        EXPECT_EQ(found.path, kernel);
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Besweet, LinkTargetTest, testing::Values(
    LinkCase{"plain_file", [](const fs::path& f) { writeBytes(f / "o.ac3", "old"); }, true,
             "o.ac3"},
    LinkCase{"through_a_folder_link_and_back", [](const fs::path& f) {
                 fs::create_directories(f / "deep" / "er");
                 fs::create_directory_symlink("deep/er", f / "short");
                 writeBytes(f / "deep" / "t.ac3", "old");
                 fs::create_symlink("short/../t.ac3", f / "o.ac3");
             }, true, ""},
    LinkCase{"a_chain_the_kernel_follows", [](const fs::path& f) { chainThroughFolderLinks(f, 12); },
             true, ""},
    LinkCase{"a_chain_too_long_for_the_kernel",
             [](const fs::path& f) { chainThroughFolderLinks(f, 30); }, false, ""},
    LinkCase{"pointing_nowhere_yet", [](const fs::path& f) {
                 fs::create_symlink("new.ac3", f / "o.ac3");
             }, true, "new.ac3"}),
    [](const testing::TestParamInfo<LinkCase>& info) { return std::string(info.param.name); });
// clang-format on

} // namespace
} // namespace besweet::test
