// SPDX-License-Identifier: GPL-3.0-or-later
// What besweet promises, kept or said: a normalised track never peaks above full scale, a level
// it misses is a warning on standard error, and an input that changes while it is read (cut
// short, growing as a recording does, replaced) ends the run with its reason and the old
// target kept.
#include "support/AudioFiles.h"
#include "support/ChildProcess.h"
#include "support/Decoded.h"

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

namespace besweet::test
{
namespace
{

namespace fs = std::filesystem;

// Done to the input once besweet has started reading it.
using WhileRead = std::function<void(const ScratchFolder&)>;

struct PromiseCase {
    std::string name;
    Tone tone;
    std::vector<std::string> sections;
    WhileRead whileRead;  // empty: nothing
    int exitCode;         // 0: the track is written
    std::string saidOnce; // on standard error, when given
};

void PrintTo(const PromiseCase& c, std::ostream* os)
{
    *os << c.name;
}

Tone toneOf(int rate, double seconds, double frequency)
{
    Tone tone;
    tone.rate = rate;
    tone.seconds = seconds;
    tone.frequency = frequency;
    return tone;
}

// A WAV as a recorder streaming it writes the header: no sizes, the data runs to the end.
std::string streamingWav(const Tone& tone)
{
    std::string bytes = wavBytes(tone);
    const std::string noSize = "\xff\xff\xff\xff";
    bytes.replace(4, 4, noSize);
    bytes.replace(bytes.find("data") + 4, 4, noSize);
    return bytes;
}

void append(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::app) << bytes;
}

const WhileRead cutToAThird = [](const ScratchFolder& folder) {
    fs::resize_file(folder / "in.wav", fs::file_size(folder / "in.wav") / 3);
};
const WhileRead recordMore = [](const ScratchFolder& folder) {
    append(folder / "in.wav", std::string(48000 * 4 * 10, '\x40'));
};
const WhileRead putAnotherInPlace = [](const ScratchFolder& folder) {
    writeWav(folder / "other.wav", toneOf(48000, 120.0, 440.0));
    fs::rename(folder / "other.wav", folder / "in.wav");
};

class KeepsItsPromises : public testing::TestWithParam<PromiseCase>
{
};

TEST_P(KeepsItsPromises, OrSaysSo)
{
    const PromiseCase& c = GetParam();
    ScratchFolder folder;
    writeBytes(folder / "in.wav", streamingWav(c.tone));
    const fs::path output = folder / (c.sections[4].starts_with("-ac3enc") ? "o.ac3" : "o.mpa");
    writeBytes(output, "the old target");

    RunningBesweet running(besweetArguments(folder / "in.wav", output, c.sections));
    if (c.whileRead) {
        // The first progress line comes before the first packet is read.
        for (int wait = 0; wait < 5000 && running.outputSoFar().find('%') == std::string::npos;
             ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        c.whileRead(folder);
    }
    const RunResult run = running.wait();

    ASSERT_EQ(run.exitCode, c.exitCode) << run.err;
    if (!c.saidOnce.empty()) {
        EXPECT_NE(run.err.find(c.saidOnce), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find(c.saidOnce), run.err.rfind(c.saidOnce)) << run.err;
    }
    if (c.exitCode == 0)
        EXPECT_LE(decodeFile(output, DecodeTo::Float).peak, 1.0);
    else
        EXPECT_EQ(readBytes(output), "the old target");
}

const std::vector<std::string> ac3At32{"-ota(", "-norm", "1", ")", "-ac3enc(", "-b", "32", ")"};

INSTANTIATE_TEST_SUITE_P(
    Besweet, KeepsItsPromises,
    testing::Values(
        // Each of the first three encodes peaks above full scale.
        PromiseCase{
            "tone_above_full_scale_at_ac3_32", toneOf(44100, 0.5, 4000.0), ac3At32, {}, 0, ""},
        PromiseCase{
            "another_above_full_scale_at_ac3_32", toneOf(48000, 0.5, 5500.0), ac3At32, {}, 0, ""},
        PromiseCase{"high_tone_far_below_the_level_at_layer2_64",
                    toneOf(48000, 0.5, 10000.0),
                    {"-ota(", "-norm", "1", ")", "-toolame(", "-m", "j", "-b", "64", ")"},
                    {},
                    0,
                    "besweet: warning: level: "},
        PromiseCase{"cut_to_a_third_while_read",
                    toneOf(48000, 120.0, 440.0),
                    {"-ota(", "-norm", "0.9", ")", "-ac3enc(", "-b", "192", ")"},
                    cutToAThird,
                    1,
                    "in.wav: changed while it was read: it shrank from "},
        PromiseCase{"recording_growing_while_read",
                    toneOf(48000, 120.0, 440.0),
                    {"-ota(", "-norm", "0.9", ")", "-ac3enc(", "-b", "192", ")"},
                    recordMore,
                    1,
                    "in.wav: is still being written: "},
        PromiseCase{"replaced_while_read",
                    toneOf(48000, 120.0, 440.0),
                    {"-ota(", "-norm", "0.9", ")", "-toolame(", "-b", "192", ")"},
                    putAnotherInPlace,
                    1,
                    "in.wav: changed while it was read: another file took its place"}));

} // namespace
} // namespace besweet::test
