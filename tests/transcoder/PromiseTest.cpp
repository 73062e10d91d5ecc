// SPDX-License-Identifier: GPL-3.0-or-later
// What besweet promises, kept or said: a normalised track never peaks above full scale, a level
// missed is a warning on standard error, and an input cut, growing or replaced while it is read
// ends the run with the reason, the old target kept.
#include "support/AudioFiles.h"
#include "support/ChildProcess.h"
#include "support/Decoded.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>

namespace besweet::test
{
namespace
{

namespace fs = std::filesystem;

// Done to the input once besweet has started reading it; a run it is done to fails.
using WhileRead = std::function<void(const fs::path& input)>;

struct PromiseCase {
    std::string name;
    int rate;
    double seconds;
    double frequency;
    std::string sections; // split at blanks
    WhileRead whileRead;
    std::string saidOnce; // on standard error, when given
};

void PrintTo(const PromiseCase& c, std::ostream* os)
{
    *os << c.name;
}

class KeepsItsPromises : public testing::TestWithParam<PromiseCase>
{
};

TEST_P(KeepsItsPromises, OrSaysSo)
{
    const PromiseCase& c = GetParam();
    ScratchFolder folder;
    Tone tone;
    tone.rate = c.rate;
    tone.seconds = c.seconds;
    tone.frequency = c.frequency;
    // As a recorder streaming it writes the header: no sizes, the data runs to the end.
    std::string wav = wavBytes(tone);
    for (const std::size_t size : {std::size_t{4}, wav.find("data") + 4})
        wav.replace(size, 4, "\xff\xff\xff\xff");
    writeBytes(folder / "in.wav", wav);
    const fs::path output = folder / "o.track";
    writeBytes(output, "the old target");
    std::vector<std::string> sections;
    for (std::istringstream words(c.sections); words >> sections.emplace_back();)
        ;
    sections.pop_back();

    RunningBesweet running(besweetArguments(folder / "in.wav", output, sections));
    // The first progress line comes before the first packet is read.
    for (int wait = 0; c.whileRead && wait < 5000 && running.outputSoFar().empty(); ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (c.whileRead)
        c.whileRead(folder / "in.wav");
    const RunResult run = running.wait();

    ASSERT_EQ(run.exitCode, c.whileRead ? 1 : 0) << run.err;
    if (!c.saidOnce.empty()) {
        EXPECT_NE(run.err.find(c.saidOnce), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find(c.saidOnce), run.err.rfind(c.saidOnce)) << run.err;
    }
    if (c.whileRead)
        EXPECT_EQ(readBytes(output), "the old target");
    else
        EXPECT_LE(decodeFile(output, DecodeTo::Float).peak, 1.0);
}

const WhileRead cutToAThird = [](const fs::path& input) {
    fs::resize_file(input, fs::file_size(input) / 3);
};
const WhileRead recordMore = [](const fs::path& input) {
    std::ofstream(input, std::ios::binary | std::ios::app) << std::string(1920000, '\x40');
};
const WhileRead putAnotherInPlace = [](const fs::path& input) {
    fs::copy_file(input, input.string() + ".new");
    fs::rename(input.string() + ".new", input);
};

// The first three encodes of either tone at 32 kbps peak above full scale.
INSTANTIATE_TEST_SUITE_P(
    Besweet, KeepsItsPromises,
    testing::Values(
        PromiseCase{"above_full_scale_ac3_32", 44100, 0.5, 4000.0,
                    "-ota( -norm 1 ) -ac3enc( -b 32 )", nullptr, ""},
        PromiseCase{"above_full_scale_again_ac3_32", 48000, 0.5, 5500.0,
                    "-ota( -norm 1 ) -ac3enc( -b 32 )", nullptr, ""},
        PromiseCase{"level_missed_layer2_64", 48000, 0.5, 10000.0,
                    "-ota( -norm 1 ) -toolame( -m j -b 64 )", nullptr, "besweet: warning: level: "},
        PromiseCase{"cut_to_a_third", 48000, 120.0, 440.0, "-ota( -norm 0.9 ) -ac3enc( -b 192 )",
                    cutToAThird, "in.wav: changed while it was read: it shrank from "},
        PromiseCase{"growing_recording", 48000, 120.0, 440.0, "-ota( -norm 0.9 ) -ac3enc( -b 192 )",
                    recordMore, "in.wav: is still being written: "},
        PromiseCase{"replaced", 48000, 120.0, 440.0, "-ota( -norm 0.9 ) -toolame( -b 192 )",
                    putAnotherInPlace,
                    "in.wav: changed while it was read: another file took its place"}));

} // namespace
} // namespace besweet::test
