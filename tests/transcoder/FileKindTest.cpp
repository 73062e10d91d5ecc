// SPDX-License-Identifier: GPL-3.0-or-later
// What an input path names: a file, a folder, a pipe or device, or nothing, links followed.
#include "FileKind.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace besweet
{
namespace
{

TEST(FileKind, TellsFilesFromFoldersStreamsAndNothing)
{
    const auto folder =
        std::filesystem::temp_directory_path() / ("filekind-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "empty.wav").close();
    ASSERT_EQ(::mkfifo((folder / "pipe").c_str(), 0600), 0);
    std::filesystem::create_symlink(folder / "empty.wav", folder / "link");
    const std::pair<std::filesystem::path, FileKind> cases[] = {
        {folder / "empty.wav", FileKind::Regular}, {folder, FileKind::Folder},
        {folder / "pipe", FileKind::Stream},       {folder / "link", FileKind::Regular},
        {"/dev/null", FileKind::Stream},           {folder / "missing", FileKind::Missing},
    };
    for (const auto& [path, kind] : cases)
        EXPECT_EQ(kindOf(path.string()), kind) << path;
    std::filesystem::remove_all(folder);
}

} // namespace
} // namespace besweet
