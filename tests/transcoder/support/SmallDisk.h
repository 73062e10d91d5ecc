// SPDX-License-Identifier: GPL-3.0-or-later
// A small tmpfs mounted for a test that needs a disk that runs full (root only; mounted() tells).
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace besweet::test
{

class SmallDisk
{
public:
    explicit SmallDisk(const std::filesystem::path& where) : where_(where)
    {
        std::filesystem::create_directory(where_);
        const std::string command =
            "mount -t tmpfs -o size=64k tmpfs '" + where_.string() + "' 2>/dev/null";
        mounted_ = ::geteuid() == 0 && std::system(command.c_str()) == 0;
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;
    ~SmallDisk()
    {
        if (mounted_) [[maybe_unused]]
            const int status = std::system(("umount '" + where_.string() + "'").c_str());
    }
    [[nodiscard]] bool mounted() const { return mounted_; }

private:
    std::filesystem::path where_;
    bool mounted_ = false;
};

} // namespace besweet::test
