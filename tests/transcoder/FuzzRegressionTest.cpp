// SPDX-License-Identifier: GPL-3.0-or-later
// Every fuzz seed and every input that once made a fuzz target fail, run through the targets'
// own entries: a crash, a sanitizer report (in the sanitizer build) or a track whose length
// differs from a plain decode of its input by more than its warnings say fails the test.
#include "fuzz/FuzzEntries.h"
#include "fuzz/LengthOracle.h"
#include "support/AudioFiles.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace besweet::test
{
namespace
{

struct Case {
    std::string name;
    std::filesystem::path path;
    bool commandLine;
};

void PrintTo(const Case& c, std::ostream* os)
{
    *os << c.path;
}

std::vector<Case> casesIn(const std::filesystem::path& folder, const std::string& prefix,
                          bool commandLine)
{
    std::vector<Case> cases;
    if (!std::filesystem::is_directory(folder))
        return cases;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::string name = prefix + entry.path().filename().string();
        std::replace_if(
            name.begin(), name.end(),
            [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
        cases.push_back({name, entry.path(), commandLine});
    }
    std::sort(cases.begin(), cases.end(),
              [](const Case& a, const Case& b) { return a.name < b.name; });
    return cases;
}

std::vector<Case> allCases()
{
    const std::filesystem::path seeds = FUZZ_SEEDS_DIR;
    const std::filesystem::path regressions = FUZZ_REGRESSIONS_DIR;
    std::vector<Case> cases;
    for (const auto& [folder, prefix, commandLine] :
         {std::tuple{seeds / "input", "seed_input_", false},
          std::tuple{seeds / "command-line", "seed_command_line_", true},
          std::tuple{regressions / "input", "found_input_", false},
          std::tuple{regressions / "command-line", "found_command_line_", true}}) {
        const auto more = casesIn(folder, prefix, commandLine);
        cases.insert(cases.end(), more.begin(), more.end());
    }
    return cases;
}

class FuzzCase : public testing::TestWithParam<Case>
{
};

TEST_P(FuzzCase, RunsThroughWithoutFault)
{
    const std::string bytes = readBytes(GetParam().path);
    const std::span data(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    if (GetParam().commandLine)
        fuzz::runCommandLine(data);
    else
        fuzz::runInput(data);
}

INSTANTIATE_TEST_SUITE_P(Besweet, FuzzCase, testing::ValuesIn(allCases()),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

// The length check forgives what the warnings name in seconds, a frame for each run of damage
// skipped, and nothing else.
TEST(LengthOracle, CountsTheSecondsTheWarningsName)
{
    const struct {
        const char* log;
        double seconds;
    } rows[] = {
        {"warning: 1.50 s of silence inserted at 00:00:02.0: a gap\n", 1.5},
        {"warning: the time stamps jump by -10.00 s at 00:00:10.0\nwarning: 0.25 s of audio "
         "dropped\n",
         10.25},
        {"note: 3.00 s read\nwarning: at 00:00:12.5, nothing\n", 0.0},
        {"warning: 2.5 seconds, 4.0 ss, 12 s, 7.75 s.\n", 7.75},
        {"warning: damaged audio data at 00:00:00.1 skipped, as a player skips it (1 pieces the "
         "decoder could not read)\n",
         fuzz::LongestFrameSeconds},
    };
    for (const auto& row : rows)
        EXPECT_DOUBLE_EQ(fuzz::warnedSeconds(row.log), row.seconds) << row.log;
}

} // namespace
} // namespace besweet::test
