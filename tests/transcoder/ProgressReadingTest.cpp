// SPDX-License-Identifier: GPL-3.0-or-later
// besweet's real progress read by the window's reader, for every kind of source, plain and
// normalised with an encode again: every line names its pass, the whole run's share rises
// within every pass, never goes back, and reaches 100 only at the very end.
#include "job/RunProgress.h"
#include "support/AudioFiles.h"
#include "support/ChildProcess.h"
#include "support/Encoded.h"
#include "support/Muxed.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <tuple>
#include <vector>

using namespace besweet::test;

namespace
{

// The source's name ("in.wav", "in.mp2", "in.ac3", "in.ts"), whether it is normalised to full
// scale as AC3 at 32 kbps (where the first encodes peak above it), the passes planned.
using ReadingCase = std::tuple<std::string, bool, int>;

void writeSource(const std::filesystem::path& path)
{
    const Tone tone{.rate = 48000, .seconds = 0.5, .frequency = 5500.0};
    if (path.extension() == ".wav")
        writeWav(path, tone);
    else if (path.extension() == ".ts")
        writeMuxed(path, "mpegts", {MuxedStream{encodedBytes(tone, "ac3", 448)}});
    else
        writeBytes(path, encodedBytes(tone, path.extension() == ".ac3" ? "ac3" : "mp2", 384));
}

class ProgressReadingTest : public testing::TestWithParam<ReadingCase>
{
};

TEST_P(ProgressReadingTest, TheWholeRunsShareRisesInEveryPassAndEndsAt100)
{
    const auto& [source, normalise, planned] = GetParam();
    ScratchFolder folder;
    writeSource(folder / source);
    std::vector<std::string> sections;
    if (normalise)
        sections = {"-ota(", "-norm", "1", ")", "-ac3enc(", "-b", "32", ")"};
    const RunResult run = runBesweet(besweetArguments(folder / source, folder / "o.ac3", sections));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ASSERT_EQ(run.out.find("encoding again") != std::string::npos, normalise) << run.out;

    // As a pipe hands it on, in pieces that cut lines anywhere: each line's pass (of those
    // planned, or one added to encode again), and the whole run's share after it.
    klangdorn::RunProgress reader;
    std::vector<std::pair<int, int>> read;
    std::string line;
    for (std::size_t at = 0; at < run.out.size(); at += 7) {
        const std::string_view piece = std::string_view(run.out).substr(at, 7);
        reader.append(piece);
        for (const char c : piece) {
            if (c != '\n') {
                line += c;
                continue;
            }
            const auto told = klangdorn::ReadProgressLine(line);
            ASSERT_EQ(told.has_value(), line.starts_with("Pass ")) << line;
            if (told) {
                EXPECT_EQ(told->passes, std::max(planned, told->pass)) << line;
                read.emplace_back(told->pass, *reader.percent());
            }
            line.clear();
        }
    }
    ASSERT_GT(read.size(), 10U) << run.out;
    EXPECT_EQ(read.back().second, 100) << run.out;
    for (std::size_t i = 1; i < read.size(); ++i) {
        EXPECT_TRUE(read[i].first == read[i - 1].first || read[i].first == read[i - 1].first + 1);
        EXPECT_GE(read[i].second, read[i - 1].second) << run.out;
        EXPECT_LT(read[i - 1].second, 100) << "with later work\n" << run.out;
        // A planned pass rises from its first line to its last; an encode again fills what the
        // encode before it left, which may be less than a point.
        const bool lastOfPass = i + 1 == read.size() || read[i + 1].first != read[i].first;
        const auto first = std::ranges::find(read, read[i].first, &std::pair<int, int>::first);
        if (lastOfPass && read[i].first <= planned) {
            EXPECT_GT(read[i].second, first->second) << "pass " << read[i].first << run.out;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sources, ProgressReadingTest,
    testing::Values(ReadingCase{"in.wav", false, 1}, ReadingCase{"in.wav", true, 2},
                    ReadingCase{"in.mp2", false, 2}, ReadingCase{"in.mp2", true, 3},
                    ReadingCase{"in.ac3", false, 2}, ReadingCase{"in.ac3", true, 3},
                    ReadingCase{"in.ts", false, 2}, ReadingCase{"in.ts", true, 3}));

} // namespace
