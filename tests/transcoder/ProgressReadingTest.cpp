// SPDX-License-Identifier: GPL-3.0-or-later
// besweet's real progress read by the window's reader, for every kind of source, plain and
// normalised with an encode again: every line names its pass, the whole run's share rises
// within every pass, never goes back, and reaches 100 only at the very end.
#include "job/RunProgress.h"
#include "support/AudioFiles.h"
#include "support/ChildProcess.h"
#include "support/Encoded.h"
#include "support/Muxed.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace besweet::test;

namespace
{

enum class Source { Wav, Mp2, Ac3, Ts };

struct ReadingCase {
    const char* name;
    Source source;
    bool normalise; // to full scale as AC3 at 32 kbps: the first encodes peak above it
    int passesAnnounced;
};

void PrintTo(const ReadingCase& c, std::ostream* os)
{
    *os << c.name;
}

std::filesystem::path writeSource(const ScratchFolder& folder, Source source)
{
    Tone tone;
    tone.rate = 48000;
    tone.seconds = 0.5;
    tone.frequency = 5500.0;
    switch (source) {
    case Source::Wav:
        writeWav(folder / "in.wav", tone);
        return folder / "in.wav";
    case Source::Mp2:
        writeBytes(folder / "in.mp2", encodedBytes(tone, "mp2", 384));
        return folder / "in.mp2";
    case Source::Ac3:
        writeBytes(folder / "in.ac3", encodedBytes(tone, "ac3", 448));
        return folder / "in.ac3";
    case Source::Ts:
        writeMuxed(folder / "in.ts", "mpegts", {MuxedStream{encodedBytes(tone, "ac3", 448)}});
        return folder / "in.ts";
    }
    return {};
}

// One progress line read: its pass, and the whole run's share the reader made of it so far.
struct Reading {
    int pass;
    int share;
};

// The output as a pipe hands it on, in pieces that cut lines anywhere.
std::vector<Reading> readInPieces(const std::string& out)
{
    klangdorn::RunProgress reader;
    std::vector<Reading> readings;
    std::string line;
    for (std::size_t at = 0; at < out.size(); at += 7) {
        const std::string_view piece = std::string_view(out).substr(at, 7);
        reader.append(piece);
        for (const char c : piece) {
            if (c != '\n') {
                line += c;
                continue;
            }
            if (const auto told = klangdorn::ReadProgressLine(line))
                readings.push_back({told->pass, reader.percent().value_or(-1)});
            line.clear();
        }
    }
    return readings;
}

class ProgressReadingTest : public testing::TestWithParam<ReadingCase>
{
};

TEST_P(ProgressReadingTest, TheWholeRunsShareRisesInEveryPassAndEndsAt100)
{
    ScratchFolder folder;
    const auto input = writeSource(folder, GetParam().source);
    std::vector<std::string> sections;
    if (GetParam().normalise)
        sections = {"-ota(", "-norm", "1", ")", "-ac3enc(", "-b", "32", ")"};
    const RunResult run = runBesweet(besweetArguments(input, folder / "out.ac3", sections));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    if (GetParam().normalise) {
        ASSERT_NE(run.out.find("encoding again"), std::string::npos) << run.out;
    }

    // Every line with a percentage names its pass; the first says how many are planned.
    const auto first = klangdorn::ReadProgressLine(run.out.substr(0, run.out.find('\n')));
    ASSERT_TRUE(first) << run.out;
    EXPECT_EQ(first->passes, GetParam().passesAnnounced) << run.out;
    for (std::size_t at = 0, end = 0; at < run.out.size(); at = end + 1) {
        end = std::min(run.out.find('\n', at), run.out.size());
        const std::string line = run.out.substr(at, end - at);
        if (line.ends_with('%')) {
            EXPECT_TRUE(line.starts_with("Pass ") && line.find('/') < line.find(':')) << line;
        }
    }

    const std::vector<Reading> readings = readInPieces(run.out);
    ASSERT_GT(readings.size(), 10U) << run.out;
    EXPECT_EQ(readings.front().pass, 1);
    for (std::size_t i = 1; i < readings.size(); ++i) {
        const Reading& before = readings[i - 1];
        const Reading& now = readings[i];
        EXPECT_TRUE(now.pass == before.pass || now.pass == before.pass + 1) << run.out;
        EXPECT_GE(now.share, before.share) << "pass " << now.pass << "\n" << run.out;
        EXPECT_LT(before.share, 100) << "pass " << before.pass << " of later work\n" << run.out;
    }
    EXPECT_EQ(readings.back().share, 100) << run.out;
    // Within each planned pass the share rises from its first line to its last; an encode
    // again fills what the encode before it left, which may be less than a point.
    for (std::size_t start = 0, end = 0; start < readings.size(); start = end) {
        end = start;
        while (end < readings.size() && readings[end].pass == readings[start].pass)
            ++end;
        if (readings[start].pass > first->passes)
            continue;
        EXPECT_GT(readings[end - 1].share, readings[start].share)
            << "pass " << readings[start].pass << "\n"
            << run.out;
    }
}

INSTANTIATE_TEST_SUITE_P(Sources, ProgressReadingTest,
                         testing::Values(ReadingCase{"Wav", Source::Wav, false, 1},
                                         ReadingCase{"WavNormalised", Source::Wav, true, 2},
                                         ReadingCase{"Mp2", Source::Mp2, false, 2},
                                         ReadingCase{"Mp2Normalised", Source::Mp2, true, 3},
                                         ReadingCase{"Ac3", Source::Ac3, false, 2},
                                         ReadingCase{"Ac3Normalised", Source::Ac3, true, 3},
                                         ReadingCase{"Ts", Source::Ts, false, 2},
                                         ReadingCase{"TsNormalised", Source::Ts, true, 3}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
