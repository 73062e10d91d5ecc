// SPDX-License-Identifier: GPL-3.0-or-later
// How long the content fingerprint of a freshly written target takes (the file is in the
// cache, as it is right after a run): once before and once after a run whose old target is
// less than two seconds old.
#include "job/FileQuery.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    const std::string file = argc > 1 ? argv[1] : "bench_fingerprint.bin";
    const std::size_t megabytes = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 400;
    {
        std::ofstream out(file, std::ios::binary);
        std::mt19937_64 random(1);
        std::vector<std::uint64_t> block(1 << 17);
        for (std::size_t written = 0; written < megabytes; ++written) {
            for (auto& word : block)
                word = random();
            out.write(reinterpret_cast<const char*>(block.data()), 1 << 20);
        }
    }
    klangdorn::LocalFileQuery files;
    files.fingerprintOf(file); // into the cache
    const auto start = std::chrono::steady_clock::now();
    const auto fingerprint = files.fingerprintOf(file);
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    std::remove(file.c_str());
    if (!fingerprint)
        return 1;
    std::printf("%zu MB fingerprinted in %.0f ms (%.0f MB/s)\n", megabytes, took.count(),
                static_cast<double>(megabytes) / took.count() * 1000.0);
    return 0;
}
