// SPDX-License-Identifier: GPL-3.0-or-later
// -norm: the whole output's highest peak lands on the level asked, whether the input was quiet
// or loud, PCM read straight or decoded, mixed down or resampled; silence stays silence. Also
// the progress lines and the log of such a run.
#include "support/AudioFiles.h"
#include "support/ChildProcess.h"
#include "support/Decoded.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>

namespace besweet::test
{
namespace
{

struct NormCase {
    std::string name;
    Tone tone;
    std::string input;
    std::string level;
    std::string sections; // besides -core( and -ota(, split at blanks
    std::string output;
    std::string ota = ""; // more of -ota( besides -norm
};

void PrintTo(const NormCase& c, std::ostream* os)
{
    *os << c.name;
}

class Normalises : public testing::TestWithParam<NormCase>
{
};

// The level (dB FS) a track is normalised to at most: Layer II and AC3 overshoot full scale by
// up to so much when decoded.
double highestLevel(const std::string& output)
{
    if (output.ends_with(".mpa"))
        return -3.5;
    return output.ends_with(".ac3") ? -2.5 : 0.0;
}

TEST_P(Normalises, ThePeakToTheLevel)
{
    const NormCase& c = GetParam();
    ScratchFolder folder;
    if (c.input.ends_with(".wav"))
        writeWav(folder / c.input, c.tone);
    else
        writeRawPcm(folder / c.input, c.tone);
    std::vector<std::string> arguments{
        "-core(", "-input", (folder / c.input).string(), "-output", (folder / c.output).string(),
        ")"};
    const std::string more = "-ota( -norm " + c.level + " " + c.ota + " ) " + c.sections;
    for (std::istringstream words(more); words >> arguments.emplace_back();)
        ;
    arguments.pop_back();

    const RunResult run = runBesweet(arguments);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Decoded got = decodeFile(folder / c.output);
    const double level = std::min(toDecibels(std::stod(c.level)), highestLevel(c.output));
    EXPECT_NEAR(toDecibels(got.peak), level, 0.5) << "peak " << got.peak;
    // A sine whose crest lands on full scale has well under 1% of its samples in the top step;
    // a clipped one has many more.
    const auto atFullScale =
        std::count_if(got.interleaved.begin(), got.interleaved.end(),
                      [](float s) { return std::fabs(s) >= 32767.0f / 32768; });
    EXPECT_LT(static_cast<double>(atFullScale), 0.01 * static_cast<double>(got.interleaved.size()))
        << "clipped";
}

Tone tone(double amplitudeLeft, double amplitudeRight, SampleType type = SampleType::S16,
          int rate = 44100)
{
    Tone t;
    t.rate = rate;
    t.amplitudes = {amplitudeLeft, amplitudeRight};
    t.type = type;
    t.seconds = 2.0;
    return t;
}

// Samples at +-0.707 of the crest: the peak lies between them, and resampling brings it back.
Tone crestBetweenSamples()
{
    Tone t = tone(0.5, 0.5);
    t.frequency = 11025.0;
    t.phaseDegrees = 45.0;
    return t;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Besweet, Normalises, testing::Values(
    NormCase{"quiet_raised", tone(0.05, 0.02), "in.wav", "0.95", "", "o.wav"},
    NormCase{"full_scale_lowered", tone(1.0, 0.7, SampleType::F32), "in.wav", "0.50", "", "o.wav"},
    NormCase{"s24_to_full_scale", tone(0.3, 0.3, SampleType::S24), "in.wav", "1.00", "", "o.wav"},
    // The mix of a sound on one side only is half as loud as that side.
    NormCase{"mono_mixdown_measured_as_mixed", tone(0.4, 0.0, SampleType::S24, 48000), "in.wav", "0.90", "-toolame( -m m -b 192 )", "o.mpa"},
    NormCase{"ac3_resampled", tone(0.2, 0.1), "in.wav", "0.95", "-ssrc( --rate 48000 )", "o.ac3"},
    NormCase{"layer2_stereo", tone(0.1, 0.6, SampleType::S16, 48000), "in.wav", "0.80", "-toolame( -m s -b 256 )", "o.mpa"},
    NormCase{"raw_pcm", tone(0.1, 0.1), "in.raw", "0.95", "", "o.ac3", "-fs 44100"},
    NormCase{"crest_between_samples_wav", crestBetweenSamples(), "in.wav", "1.00", "-ssrc( --rate 48000 )", "o.wav"},
    // Layer II and AC3 overshoot so high a tone a little: below full scale for them.
    NormCase{"crest_between_samples_mpa", crestBetweenSamples(), "in.wav", "0.90", "-ssrc( --rate 48000 ) -toolame( -m m -b 192 )", "o.mpa"},
    NormCase{"crest_between_samples_ac3", crestBetweenSamples(), "in.wav", "0.90", "-ssrc( --rate 48000 )", "o.ac3"}),
    [](const testing::TestParamInfo<NormCase>& info) { return info.param.name; });
// clang-format on

TEST(Besweet, NormalisesDecodedInputs)
{
    ScratchFolder folder;
    writeWav(folder / "in.wav", tone(0.1, 0.1, SampleType::S16, 48000));
    ASSERT_EQ(runBesweet({"-core(", "-input", (folder / "in.wav").string(), "-output",
                          (folder / "quiet.ac3").string(), ")"})
                  .exitCode,
              0);
    const RunResult run =
        runBesweet({"-core(", "-input", (folder / "quiet.ac3").string(), "-output",
                    (folder / "o.wav").string(), ")", "-ota(", "-norm", "0.95", ")"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NEAR(toDecibels(decodeFile(folder / "o.wav").peak), toDecibels(0.95), 0.5);
}

TEST(Besweet, LeavesSilenceSilent)
{
    ScratchFolder folder;
    writeWav(folder / "in.wav", tone(0.0, 0.0));
    const RunResult run =
        runBesweet({"-core(", "-input", (folder / "in.wav").string(), "-output",
                    (folder / "o.wav").string(), ")", "-ota(", "-norm", "0.95", ")"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Decoded got = decodeFile(folder / "o.wav");
    EXPECT_EQ(got.peak, 0.0);
    EXPECT_EQ(got.samples, 88200);
}

// -norm 0 is the slider's bottom: the level stays as it is, in one pass.
TEST(Besweet, LeavesTheLevelAtNormZero)
{
    ScratchFolder folder;
    writeWav(folder / "in.wav", tone(0.3, 0.2));
    const auto log = folder / "o.log";
    const RunResult run = runBesweet({"-core(", "-input", (folder / "in.wav").string(), "-output",
                                      (folder / "o.wav").string(), "-logfile", log.string(), ")",
                                      "-ota(", "-norm", "0.00", ")"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NEAR(decodeFile(folder / "o.wav").peak, 0.3, 0.001);
    EXPECT_NE(run.out.find("Pass 1/1: encoding 100%"), std::string::npos) << run.out;
    EXPECT_NE(readBytes(log).find("normalisation: none"), std::string::npos) << readBytes(log);
}

// One run, seen through its progress lines (into a pipe: plain lines) and its log.
TEST(Besweet, ReportsProgressAndLogsWhatItFoundAndDid)
{
    ScratchFolder folder;
    writeWav(folder / "in.wav", tone(0.25, 0.25, SampleType::S16, 32000));
    const auto log = folder / "o.mpa.log";
    const RunResult run = runBesweet({"-core(",
                                      "-input",
                                      (folder / "in.wav").string(),
                                      "-output",
                                      (folder / "o.mpa").string(),
                                      "-logfile",
                                      log.string(),
                                      ")",
                                      "-ota(",
                                      "-norm",
                                      "0.50",
                                      ")",
                                      "-ssrc(",
                                      "--rate",
                                      "48000",
                                      ")",
                                      "-toolame(",
                                      "-m",
                                      "s",
                                      "-b",
                                      "192",
                                      ")"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out.find('\r'), std::string::npos);
    for (const char* line : {"Pass 1/2: measuring the peak 100%\n", "Pass 2/2: encoding 50%\n",
                             "Pass 2/2: encoding 100%\n"})
        EXPECT_NE(run.out.find(line), std::string::npos) << line << run.out;
    EXPECT_LT(run.out.find("Pass 1/2"), run.out.find("Pass 2/2"));

    const std::string text = readBytes(log);
    for (const char* expected :
         {"started ", "command line: besweet -core( -input ", "input format: WAV",
          "input channels: 2", "input rate: 32000 Hz", "input duration: 2.00 s", "peak: 0.25",
          "(-12.04 dB FS)", "gain: ", "(6.02 dB)", "32000 Hz to 48000 Hz",
          "encoder: MPEG-1 Layer II (libtwolame), stereo, 48000 Hz, 192 kbps, mode stereo",
          "output: ", "result: done in "})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
}

// Material the encoders overshoot on, each sample generated from its index (48 kHz stereo).
struct Material {
    std::string name;
    std::function<double(int)> sample;
};

void PrintTo(const Material& m, std::ostream* os)
{
    *os << m.name;
}

class StaysBelowFullScale : public testing::TestWithParam<Material>
{
};

// -norm 1.00 is what the window sends with the slider at the top: the decoded track still stays
// below full scale, and the log says the level was held back.
TEST_P(StaysBelowFullScale, WhenDecoded)
{
    ScratchFolder folder;
    Tone format;
    format.rate = 48000;
    format.type = SampleType::F32;
    std::vector<double> samples;
    for (int i = 0; i < 3 * 48000; ++i)
        samples.insert(samples.end(), 2, GetParam().sample(i));
    writeBytes(folder / "in.wav", wavBytes(samples, format));
    for (const auto& [output, encoder] :
         {std::pair{"o.ac3", "-ac3enc( -b 192 )"}, std::pair{"o.mpa", "-toolame( -m j -b 224 )"},
          std::pair{"m.mpa", "-toolame( -m m -b 96 )"}}) {
        SCOPED_TRACE(output);
        std::vector<std::string> sections{"-ota(", "-norm", "1.00", ")"};
        for (std::istringstream words(encoder); words >> sections.emplace_back();)
            ;
        sections.pop_back();
        const auto arguments =
            besweetArguments(folder / "in.wav", folder / output, sections, folder / "o.log");
        const RunResult run = runBesweet(arguments);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_LE(decodeFile(folder / output).peak, 1.0);
        const std::string log = readBytes(folder / "o.log");
        EXPECT_NE(log.find("level: held back to "), std::string::npos) << log;
    }
}

double squareWave(int i, double hz)
{
    return std::sin(2.0 * M_PI * hz * i / 48000.0) >= 0.0 ? 1.0 : -1.0;
}

INSTANTIATE_TEST_SUITE_P(
    Besweet, StaysBelowFullScale,
    testing::Values(
        Material{"square_1k", [](int i) { return squareWave(i, 1000.0); }},
        Material{"square_100", [](int i) { return squareWave(i, 100.0); }},
        Material{"sawtooth", [](int i) { return 2.0 * std::fmod(440.0 * i / 48000.0, 1.0) - 1.0; }},
        Material{"sine_10k", [](int i) { return std::sin(2.0 * M_PI * 10000.0 * i / 48000.0); }},
        Material{"clipped_drums",
                 [](int i) {
                     const double t = std::fmod(i / 48000.0, 0.25);
                     const double noise = std::sin(i * 12.9898) * 43758.5453;
                     return std::clamp(std::exp(-t * 30) * std::sin(2 * M_PI * 60 * t) * 4 +
                                           0.3 * (2.0 * (noise - std::floor(noise)) - 1.0),
                                       -1.0, 1.0);
                 }}),
    [](const testing::TestParamInfo<Material>& info) { return info.param.name; });

} // namespace
} // namespace besweet::test
