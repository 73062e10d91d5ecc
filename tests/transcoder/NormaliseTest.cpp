// SPDX-License-Identifier: GPL-3.0-or-later
// -norm: the decoded track's highest peak lands on the level asked, whether the input was quiet
// or loud, PCM read straight or decoded, mixed down or resampled, and whatever the encoder and
// its bitrate; never above full scale; silence stays silence. Also the progress lines and the log
// of such a run.
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
    EXPECT_NEAR(toDecibels(got.peak), toDecibels(std::stod(c.level)), 0.5) << "peak " << got.peak;
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
          "(-12.04 dB FS); true peak: 0.25", "gain: ", "32000 Hz to 48000 Hz",
          "encoder: MPEG-1 Layer II (libtwolame), stereo, 48000 Hz, 192 kbps, mode stereo",
          "decoded peak: -", "output: ", "result: done in "})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
}

// Material for the decoded-level checks, each sample generated from its index (48 kHz).
struct Material {
    std::string name;
    std::function<double(int)> sample;
};

double noiseAt(int i)
{
    const double noise = std::sin(i * 12.9898) * 43758.5453;
    return 2.0 * (noise - std::floor(noise)) - 1.0;
}

double squareWave(int i, double hz)
{
    return std::sin(2.0 * M_PI * hz * i / 48000.0) >= 0.0 ? 1.0 : -1.0;
}

// A chord under hi-hat strokes of high-passed noise: the strokes' peaks lie above what the
// encoders keep, so the decoded track peaks lower than the input's true peak and the first
// encode mostly falls short. The first stroke comes after the first frame, which FFmpeg's MPEG
// audio demuxer skips when its channel mode differs from the next one's.
const Material bright{"chord_and_hihat", [](int i) {
                          const double t = i / 48000.0;
                          const double stroke = std::fmod(t + 0.15, 0.25);
                          double chord = 0.0;
                          for (const double hz : {220.0, 277.2, 329.6})
                              chord += 0.15 * std::sin(2.0 * M_PI * hz * t);
                          return chord +
                                 0.4 * std::exp(-stroke * 60.0) * (noiseAt(i) - noiseAt(i - 1));
                      }};

const std::vector<Material> overshooting{
    {"square_1k", [](int i) { return squareWave(i, 1000.0); }},
    {"square_100", [](int i) { return squareWave(i, 100.0); }},
    {"sawtooth", [](int i) { return 2.0 * std::fmod(440.0 * i / 48000.0, 1.0) - 1.0; }},
    {"sine_10k", [](int i) { return std::sin(2.0 * M_PI * 10000.0 * i / 48000.0); }},
    {"clipped_drums", [](int i) {
         const double t = std::fmod(i / 48000.0, 0.25);
         return std::clamp(std::exp(-t * 30) * std::sin(2 * M_PI * 60 * t) * 4 + 0.3 * noiseAt(i),
                           -1.0, 1.0);
     }}};

const Material fullScaleNoise{"white_noise", [](int i) { return noiseAt(i); }};
const Material clicks{"clicks", [](int i) { return i % 4800 == 0 ? 1.0 : 0.0; }};

enum class Lands {
    OnTheLevel,         // from 0.3 dB below it to 0.1 dB above
    OnTheLevelOrSaysSo, // or lower, with the log line that the level would clip
    LowerAndSaysSo,
};

struct LevelCase {
    const Material* material;
    std::string encoder; // the section, split at blanks
    std::string level;
    Lands lands;
};

void PrintTo(const LevelCase& c, std::ostream* os)
{
    *os << c.material->name << " " << c.encoder << " at " << c.level;
}

class DecodedLevel : public testing::TestWithParam<LevelCase>
{
};

// The listener's level: decoded with a float decoder, so a peak above full scale shows.
TEST_P(DecodedLevel, LandsOnTheLevelNeverAboveFullScale)
{
    const LevelCase& c = GetParam();
    ScratchFolder folder;
    Tone format;
    format.rate = 48000;
    format.type = SampleType::F32;
    std::vector<double> samples;
    for (int i = 0; i < 2 * 48000; ++i)
        samples.insert(samples.end(), 2, c.material->sample(i));
    writeBytes(folder / "in.wav", wavBytes(samples, format));
    const auto output = folder / (c.encoder.starts_with("-ac3enc") ? "o.ac3" : "o.mpa");
    std::vector<std::string> sections{"-ota(", "-norm", c.level, ")"};
    for (std::istringstream words(c.encoder); words >> sections.emplace_back();)
        ;
    sections.pop_back();
    const RunResult run =
        runBesweet(besweetArguments(folder / "in.wav", output, sections, folder / "o.log"));
    ASSERT_EQ(run.exitCode, 0) << run.err;

    const double peak = decodeFile(output, DecodeTo::Float).peak;
    const std::string log = readBytes(folder / "o.log");
    const double off = toDecibels(peak) - toDecibels(std::stod(c.level));
    const bool onTheLevel = off >= -0.3 && off <= 0.1;
    const bool saysSo = log.find("the highest level that does not clip") != std::string::npos;
    EXPECT_LE(peak, 1.0) << log;
    // One of the encodes' decoded peaks in the log is the one kept.
    bool logged = false;
    for (auto at = log.find("decoded peak: "); at != std::string::npos;
         at = log.find("decoded peak: ", at + 1))
        logged = logged || std::fabs(std::stod(log.substr(at + 14)) - toDecibels(peak)) < 0.006;
    EXPECT_TRUE(logged) << "decoded peak " << toDecibels(peak) << " dB\n" << log;
    // The highest level that does not clip is said only where it is: an encode that clipped came
    // closer to the level, or the encoder's input reached full scale.
    const double asked = toDecibels(std::stod(c.level));
    bool clippedCloser = log.find("input is at full scale") != std::string::npos;
    for (auto at = log.find("decoded peak: "); at != std::string::npos;
         at = log.find("decoded peak: ", at + 1)) {
        const double tried = std::stod(log.substr(at + 14));
        clippedCloser = clippedCloser || (tried > 0.0 && std::fabs(tried - asked) <
                                                             std::fabs(toDecibels(peak) - asked));
    }
    EXPECT_TRUE(!saysSo || clippedCloser) << log;
    switch (c.lands) {
    case Lands::OnTheLevel:
        EXPECT_TRUE(onTheLevel) << "decoded peak " << toDecibels(peak) << " dB\n" << log;
        break;
    case Lands::OnTheLevelOrSaysSo:
        EXPECT_TRUE(onTheLevel || saysSo) << "decoded peak " << toDecibels(peak) << " dB\n" << log;
        break;
    case Lands::LowerAndSaysSo:
        EXPECT_LT(peak, 1.0);
        EXPECT_TRUE(saysSo) << log;
        break;
    }
}

std::vector<LevelCase> levelCases()
{
    const std::vector<std::string> encoders{"-toolame( -m j -b 192 )", "-toolame( -m j -b 224 )",
                                            "-toolame( -m s -b 256 )", "-ac3enc( -b 192 )",
                                            "-ac3enc( -b 256 )",       "-ac3enc( -b 448 )"};
    std::vector<LevelCase> cases;
    for (const std::string& encoder : encoders)
        for (const char* level : {"0.50", "0.80", "0.95", "1.00"})
            cases.push_back({&bright, encoder, level, Lands::OnTheLevel});
    for (const char* encoder : {"-ac3enc( -b 192 )", "-toolame( -m j -b 224 )"})
        for (const Material& material : overshooting)
            cases.push_back({&material, encoder, "1.00", Lands::OnTheLevelOrSaysSo});
    // Full-band noise at full scale: the decoded peak follows the gain loosely, so it may end
    // below the level, saying so. Clicks at full scale lose 2 dB or more in Layer II, whose
    // encoder clips anything louder: the level cannot be had.
    cases.push_back(
        {&fullScaleNoise, "-toolame( -m j -b 224 )", "1.00", Lands::OnTheLevelOrSaysSo});
    cases.push_back({&fullScaleNoise, "-ac3enc( -b 192 )", "1.00", Lands::OnTheLevelOrSaysSo});
    cases.push_back({&clicks, "-toolame( -m j -b 224 )", "0.95", Lands::LowerAndSaysSo});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Besweet, DecodedLevel, testing::ValuesIn(levelCases()));

} // namespace
} // namespace besweet::test
