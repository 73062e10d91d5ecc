// SPDX-License-Identifier: GPL-3.0-or-later
// The command line parser, called directly: lines Klangdorn builds and what they mean, and
// wrong lines with the exit code and the words of their message.
#include "cli/Options.h"

#include "cli/ExitCode.h"

#include <gtest/gtest.h>
#include <sstream>

namespace besweet
{
namespace
{

std::vector<std::string> split(const std::string& line)
{
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

struct Parsed {
    std::optional<int> exit;
    Options options;
    std::string out;
    std::string err;
};

Parsed parse(const std::vector<std::string>& arguments)
{
    Parsed parsed;
    std::ostringstream out;
    std::ostringstream err;
    parsed.exit = parseArguments(arguments, parsed.options, out, err);
    parsed.out = out.str();
    parsed.err = err.str();
    return parsed;
}

struct GoodLine {
    std::string line;
    Codec codec;
    char mode;
    int kbps;
    std::optional<double> norm;
    bool raw;
    int rawRate;
    bool resample;
    std::optional<int> dialnorm = DialnormNeutral; // empty: the loudness measured
};

void PrintTo(const GoodLine& c, std::ostream* os)
{
    *os << c.line;
}

class GoodLines : public testing::TestWithParam<GoodLine>
{
};

TEST_P(GoodLines, AreReadAsMeant)
{
    const GoodLine& want = GetParam();
    const Parsed got = parse(split(want.line));
    ASSERT_FALSE(got.exit.has_value()) << got.err;
    EXPECT_EQ(got.options.input, "in.wav");
    EXPECT_EQ(got.options.codec, want.codec);
    if (want.codec == Codec::LayerII) {
        EXPECT_EQ(got.options.mode, want.mode);
    }
    EXPECT_EQ(got.options.kbps, want.kbps);
    EXPECT_EQ(got.options.norm, want.norm);
    EXPECT_EQ(got.options.rawInput, want.raw);
    if (want.raw) {
        EXPECT_EQ(got.options.rawRate, want.rawRate);
    }
    EXPECT_EQ(got.options.resampleTo48k, want.resample);
    EXPECT_EQ(got.options.dialnorm, want.dialnorm);
    EXPECT_TRUE(got.err.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Parser, GoodLines,
    testing::Values(
        GoodLine{"-core( -input in.wav -output o.mpa ) -toolame( -m s -b 192 )", Codec::LayerII,
                 's', 192, std::nullopt, false, 0, false},
        GoodLine{"-toolame( -b 256 -m d ) -ssrc( --rate 48000 ) -core( -output o.x -input in.wav )",
                 Codec::LayerII, 'd', 256, std::nullopt, false, 0, true},
        GoodLine{"-core( -input in.wav -output o.mpa -logfile o.mpa.log ) -ota( -norm 0.95 ) "
                 "-toolame( -m m -b 192 )",
                 Codec::LayerII, 'm', 192, 0.95, false, 0, false},
        GoodLine{"-core( -input in.wav -output o.mpa ) -toolame( -m m -b 256 )", Codec::LayerII,
                 'm', 192, std::nullopt, false, 0, false},
        GoodLine{
            "-core( -input in.wav -output o.ac3 ) -ota( -norm 1.00 -fs 32000 ) -ac3enc( -b 448 )",
            Codec::Ac3, 0, 448, 1.0, true, 32000, false},
        GoodLine{"-core( -input in.wav -output o.ac3 ) -ota( -fs 44100 -norm .5 )", Codec::Ac3, 0,
                 192, 0.5, true, 44100, false},
        GoodLine{"-core( -input in.wav -output o.ac3 ) -ac3enc( -dialnorm -27 -b 224 )", Codec::Ac3,
                 0, 224, std::nullopt, false, 0, false, -27},
        GoodLine{"-core( -input in.wav -output o.ac3 ) -ac3enc( -b 448 -dialnorm -1 )", Codec::Ac3,
                 0, 448, std::nullopt, false, 0, false, -1},
        GoodLine{"-core( -input in.wav -output o.ac3 ) -ac3enc( -dialnorm -31 )", Codec::Ac3, 0,
                 192, std::nullopt, false, 0, false, -31},
        GoodLine{"-core( -input in.wav -output o.ac3 ) -ac3enc( -dialnorm auto )", Codec::Ac3, 0,
                 192, std::nullopt, false, 0, false, std::nullopt},
        // The slider's bottom: no normalisation, yet no error.
        GoodLine{"-core( -input in.wav -output o.ac3 ) -ota( -norm 0.00 )", Codec::Ac3, 0, 192, 0.0,
                 false, 0, false},
        GoodLine{"-core( -input in.wav -output O.MP2 )", Codec::LayerII, 'j', 224, std::nullopt,
                 false, 0, false},
        GoodLine{"-core( -input in.wav -output dir.d/o.wav )", Codec::Wav, 0, 0, std::nullopt,
                 false, 0, false}));

TEST(Parser, TakesRawPcmFromTheInputsExtensionAt48000)
{
    for (const char* input : {"x.pcm", "x.RAW"}) {
        const Parsed got = parse({"-core(", "-input", input, "-output", "o.ac3", ")"});
        ASSERT_FALSE(got.exit.has_value()) << got.err;
        EXPECT_TRUE(got.options.rawInput) << input;
        EXPECT_EQ(got.options.rawRate, 48000) << input;
    }
}

struct BadLine {
    std::string line;
    std::string says; // a part of the message
};

void PrintTo(const BadLine& c, std::ostream* os)
{
    *os << c.line;
}

class BadLines : public testing::TestWithParam<BadLine>
{
};

TEST_P(BadLines, AreUsageErrorsWithOneLineNamingTheFault)
{
    const Parsed got = parse(split(GetParam().line));
    EXPECT_EQ(got.exit, ExitUsage);
    EXPECT_EQ(got.err.rfind("besweet: ", 0), 0U) << got.err;
    EXPECT_NE(got.err.find(GetParam().says), std::string::npos) << got.err;
    EXPECT_EQ(std::count(got.err.begin(), got.err.end(), '\n'), 1) << got.err;
    EXPECT_TRUE(got.out.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Parser, BadLines,
    testing::Values(
        BadLine{"", "no arguments"}, BadLine{"-ota( -norm 0.5 )", "-core("},
        BadLine{"-core( -input in.wav )", "-output"}, BadLine{"-core( -output o.ac3 )", "-input"},
        BadLine{"-core( -input in.wav -output o.ac3", "not closed"},
        BadLine{"-core( -input in.wav -output )", "needs a value"},
        BadLine{"-core( -input in.wav -output o.ac3 -bogus x )", "unknown option '-bogus'"},
        BadLine{"-core( -input a -output o.ac3 ) -core( -input a -output o.ac3 )", "given twice"},
        BadLine{"-core( -input a -input b -output o.ac3 )", "given twice"},
        BadLine{"-core( -input in.wav -output o.ac3 ) -lame( -b 128 )", "unknown section '-lame('"},
        BadLine{"-core( -input in.wav -output o.ac3 ) stray", "unexpected argument 'stray'"},
        BadLine{"-core( -input in.wav -output o.ogg )", ".mpa, .mp2, .ac3 or .wav"},
        BadLine{"-core( -input in.wav -output o.ac3 ) -ota( -norm -0.1 )", "from 0 to 1"},
        BadLine{"-core( -input in.wav -output o.ac3 ) -ota( -norm 1.01 )", "from 0 to 1"},
        BadLine{"-core( -input in.wav -output o.ac3 ) -ota( -norm 0,95 )", "from 0 to 1"},
        BadLine{"-core( -input in.wav -output o.ac3 ) -ota( -norm 9e-1 )", "from 0 to 1"},
        BadLine{"-core( -input in.wav -output o.ac3 ) -ota( -fs 22050 )", "32000, 44100, 48000"},
        BadLine{"-core( -input in.wav -output o.ac3 ) -ssrc( --rate 44100 )", "48000"},
        BadLine{"-core( -input in.wav -output o.mpa ) -toolame( -m x -b 224 )", "s, j, d, m"},
        BadLine{"-core( -input in.wav -output o.mpa ) -toolame( -m j -b 225 )",
                "allowed (kbps): 32, 48"},
        BadLine{"-core( -input in.wav -output o.mpa ) -toolame( -m m -b 225 )",
                "allowed (kbps): 32, 48"},
        BadLine{"-core( -input in.wav -output o.mpa ) -toolame( -m s -b 32 )",
                "allowed (kbps): 64, 96"},
        BadLine{"-core( -input in.wav -output o.ac3 ) -ac3enc( -b 700 )", "448, 512, 576, 640"},
        BadLine{"-core( -input in.wav -output o.ac3 ) -ac3enc( -b 192k )", "not one AC3 knows"},
        BadLine{"-core( -input in.wav -output o.ac3 ) -ac3enc( -dialnorm 0 )", "from -31 to -1"},
        BadLine{"-core( -input in.wav -output o.ac3 ) -ac3enc( -dialnorm -32 )", "from -31 to -1"},
        BadLine{"-core( -input in.wav -output o.ac3 ) -ac3enc( -dialnorm -20.5 )", "or auto"},
        BadLine{"-core( -input in.wav -output o.ac3 ) -ac3enc( -dialnorm Auto )", "or auto"},
        BadLine{"-core( -input in.wav -output o.mpa ) -toolame( -dialnorm -20 )",
                "unknown option '-dialnorm'"},
        BadLine{"-core( -input in.wav -output o.ac3 ) -ac3enc( -b 192 ) -toolame( -b 224 )",
                "not both"}));

TEST(Parser, AnswersHelpAndVersionOnStandardOutput)
{
    const Parsed help = parse({"--help"});
    EXPECT_EQ(help.exit, ExitSuccess);
    EXPECT_NE(help.out.find("-core("), std::string::npos);
    EXPECT_NE(help.out.find("Exit status"), std::string::npos);
    // The bitrates each Layer II mode takes (80 is no two-channel rate), and how a run stopped
    // by a signal ends.
    EXPECT_NE(help.out.find("kbps for s, j, d: 64, 96, 112, 128, 160, 192, 224, 256, 320, 384\n"),
              std::string::npos)
        << help.out;
    EXPECT_NE(help.out.find("kbps for m: 32, 48, 56, 64, 80, 96, 112, 128, 160, 192\n"),
              std::string::npos)
        << help.out;
    EXPECT_NE(help.out.find("then\nends by that signal"), std::string::npos) << help.out;
    EXPECT_EQ(help.out.find("interrupted)"), std::string::npos) << help.out;
    EXPECT_TRUE(help.err.empty());

    const Parsed version = parse({"--version"});
    EXPECT_EQ(version.exit, ExitSuccess);
    EXPECT_EQ(version.out.rfind("besweet ", 0), 0U);
}

} // namespace
} // namespace besweet
