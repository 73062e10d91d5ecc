// SPDX-License-Identifier: GPL-3.0-or-later
#include "job/RuntimeError.h"
#include "job/TranscodeJob.h"

#include <clocale>
#include <cstdlib>
#include <gtest/gtest.h>
#include <locale>

using namespace klangdorn;

namespace
{

const std::string Besweet = R"(C:\Tools\BeSweet\BeSweet.exe)";

TranscodeJob example1()
{
    TranscodeJob job;
    job.BesweetPath = Besweet;
    job.InputFile = R"(D:\Aufnahmen\konzert.wav)";
    job.OutputFile = R"(D:\DVD\konzert.mpa)";
    job.WriteLog = true;
    job.Normalize = 95;
    job.Resample = true;
    job.InputSamplerate = 1;
    job.OutputChannelmode = 1;
    job.OutputBitrate = 1;
    job.OutputType = "mpa";
    return job;
}

TranscodeJob example2()
{
    TranscodeJob job;
    job.BesweetPath = Besweet;
    job.InputFile = R"(D:\Aufnahmen\take 1.pcm)";
    job.OutputFile = R"(D:\DVD\take1.ac3)";
    job.Normalize = 100;
    job.InputRAWPCM = true;
    job.InputSamplerate = 2;
    job.OutputChannelmode = 3;
    job.OutputBitrate = 0;
    job.OutputType = "ac3";
    return job;
}

TranscodeJob example3()
{
    TranscodeJob job;
    job.BesweetPath = Besweet;
    job.InputFile = R"(D:\a.wav)";
    job.OutputFile = R"(D:\a.ac3)";
    job.Normalize = 100;
    job.InputSamplerate = 1;
    job.OutputChannelmode = 0;
    job.OutputBitrate = 2;
    job.OutputType = "AC3";
    return job;
}

int errorNumberOf(const TranscodeJob& job)
{
    try {
        BuildCommandLine(job);
    } catch (const RuntimeError& error) {
        return error.number();
    }
    return 0;
}

} // namespace

TEST(CommandLine, WorkedExamplesAreByteExact)
{
    EXPECT_EQ(
        BuildCommandLine(example1()),
        R"(C:\Tools\BeSweet\BeSweet.exe -core( -input D:\Aufnahmen\konzert.wav -output D:\DVD\konzert.mpa -logfile D:\DVD\konzert.mpa.log ) -ota( -norm 0.95 ) -ssrc( --rate 48000 ) -toolame( -m j -b 224 ))");
    EXPECT_EQ(
        BuildCommandLine(example2()),
        R"(C:\Tools\BeSweet\BeSweet.exe -core( -input "D:\Aufnahmen\take 1.pcm" -output D:\DVD\take1.ac3 ) -ota( -norm 1.00 -fs 48000 ) -ac3enc( -b 192 ))");
    EXPECT_EQ(
        BuildCommandLine(example3()),
        R"(C:\Tools\BeSweet\BeSweet.exe -core( -input D:\a.wav -output D:\a.ac3 ) -ac3enc( -b 256 ))");
}

TEST(CommandLine, ArgumentListKeepsPathsWholeAndUnquoted)
{
    const std::vector<std::string> expected{Besweet,   "-core(",
                                            "-input",  R"(D:\Aufnahmen\take 1.pcm)",
                                            "-output", R"(D:\DVD\take1.ac3)",
                                            ")",       "-ota(",
                                            "-norm",   "1.00",
                                            "-fs",     "48000",
                                            ")",       "-ac3enc(",
                                            "-b",      "192",
                                            ")"};
    EXPECT_EQ(BuildArguments(example2()), expected);
}

TEST(CommandLine, QuotesEveryPathWithABlankOrTab)
{
    TranscodeJob job = example1();
    job.BesweetPath = R"(C:\Program Files\BeSweet\BeSweet.exe)";
    job.InputFile = "D:\\in\tput.wav";
    job.OutputFile = R"(D:\Meine DVD\ü.mpa)";
    EXPECT_EQ(BuildCommandLine(job),
              "\"C:\\Program Files\\BeSweet\\BeSweet.exe\" -core( -input \"D:\\in\tput.wav\" "
              "-output \"D:\\Meine DVD\\ü.mpa\" -logfile \"D:\\Meine DVD\\ü.mpa.log\" ) "
              "-ota( -norm 0.95 ) -ssrc( --rate 48000 ) -toolame( -m j -b 224 )");
}

TEST(CommandLine, LevelTextHasOneDigitAPointAndTwoDecimals)
{
    EXPECT_EQ(LevelText(0), "0.00");
    EXPECT_EQ(LevelText(5), "0.05");
    EXPECT_EQ(LevelText(95), "0.95");
    EXPECT_EQ(LevelText(99), "0.99");
    EXPECT_EQ(LevelText(100), "1.00");
}

#ifndef _WIN32 // a locale built with localedef
// glibc keeps the search path of a locale loaded through LOCPATH for the life of the process.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:__argz_add_sep\n";
}

TEST(CommandLine, LevelTextIgnoresACommaLocale)
{
    // A German locale built for this test (the machine may have none installed).
    const std::string folder = testing::TempDir() + "klangdorn-locale";
    const std::string build = "mkdir -p '" + folder + "' && localedef -i de_DE -f UTF-8 '" +
                              folder + "/de_DE.UTF-8' 2>/dev/null";
    if (std::system(build.c_str()) != 0)
        GTEST_SKIP() << "localedef cannot build de_DE.UTF-8 here";
    setenv("LOCPATH", folder.c_str(), 1);
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr);
    ASSERT_STREQ(std::localeconv()->decimal_point, ",");
    std::locale::global(std::locale("de_DE.UTF-8"));

    TranscodeJob job = example3();
    job.Normalize = 95;
    const std::string line = BuildCommandLine(job);
    std::locale::global(std::locale::classic());
    std::setlocale(LC_ALL, "C");
    EXPECT_NE(line.find(" -ota( -norm 0.95 )"), std::string::npos) << line;
}
#endif

struct OtaCase {
    bool rawPcm;
    int normalize;
    int samplerate;
    const char* expectedSection; // between the core and the encoder section
};

class OtaSection : public testing::TestWithParam<OtaCase>
{
};

TEST_P(OtaSection, FollowsRawPcmAndLevel)
{
    TranscodeJob job = example3();
    job.InputRAWPCM = GetParam().rawPcm;
    job.Normalize = GetParam().normalize;
    job.InputSamplerate = GetParam().samplerate;
    EXPECT_EQ(
        BuildCommandLine(job),
        std::string(R"(C:\Tools\BeSweet\BeSweet.exe -core( -input D:\a.wav -output D:\a.ac3 ))") +
            GetParam().expectedSection + " -ac3enc( -b 256 )");
}

INSTANTIATE_TEST_SUITE_P(Branches, OtaSection,
                         testing::Values(OtaCase{false, 100, 1, ""},
                                         OtaCase{false, 99, 1, " -ota( -norm 0.99 )"},
                                         OtaCase{false, 0, -1, " -ota( -norm 0.00 )"},
                                         OtaCase{true, 100, 1, " -ota( -norm 1.00 -fs 44100 )"},
                                         OtaCase{true, 40, 0, " -ota( -norm 0.40 -fs 32000 )"}));

struct EncoderCase {
    const char* outputType;
    const char* expectedEnd;
};

class EncoderSection : public testing::TestWithParam<EncoderCase>
{
};

TEST_P(EncoderSection, FollowsOutputTypeInAnyCaseNotTheTargetExtension)
{
    TranscodeJob job = example3(); // target ends in .ac3 whatever the type says
    job.OutputChannelmode = 2;
    job.OutputType = GetParam().outputType;
    const std::string line = BuildCommandLine(job);
    const std::string end = GetParam().expectedEnd;
    ASSERT_GE(line.size(), end.size());
    EXPECT_EQ(line.substr(line.size() - end.size()), end) << line;
}

INSTANTIATE_TEST_SUITE_P(
    Types, EncoderSection,
    testing::Values(EncoderCase{"mpa", R"(-output D:\a.ac3 ) -toolame( -m d -b 256 ))"},
                    EncoderCase{"Mpa", " ) -toolame( -m d -b 256 )"},
                    EncoderCase{"MPA", " ) -toolame( -m d -b 256 )"},
                    EncoderCase{"ac3", R"(-output D:\a.ac3 ) -ac3enc( -b 256 ))"},
                    EncoderCase{"Ac3", " ) -ac3enc( -b 256 )"},
                    EncoderCase{"", R"(-output D:\a.ac3 ))"},
                    EncoderCase{"wav", R"(-output D:\a.ac3 ))"}));

TEST(CommandLine, ResampleAndLogSections)
{
    TranscodeJob job = example3();
    job.Resample = true;
    job.WriteLog = true;
    EXPECT_EQ(
        BuildCommandLine(job),
        R"(C:\Tools\BeSweet\BeSweet.exe -core( -input D:\a.wav -output D:\a.ac3 -logfile D:\a.ac3.log ) -ssrc( --rate 48000 ) -ac3enc( -b 256 ))");
}

TEST(CommandLine, PositionOutsideItsTableIsError9)
{
    TranscodeJob job = example1();
    EXPECT_EQ(errorNumberOf(job), 0);

    job.InputSamplerate = -1; // ignored without RAW PCM
    EXPECT_EQ(errorNumberOf(job), 0);
    job.InputRAWPCM = true;
    EXPECT_EQ(errorNumberOf(job), 9);
    job.InputSamplerate = 3;
    EXPECT_EQ(errorNumberOf(job), 9);

    // Channel mode is checked for an AC3 job too, and each bad position alone fails.
    job = example3();
    job.OutputChannelmode = 4;
    EXPECT_EQ(errorNumberOf(job), 9);
    job = example3();
    job.OutputBitrate = 3;
    EXPECT_EQ(errorNumberOf(job), 9);
    job.OutputBitrate = -1;
    EXPECT_EQ(errorNumberOf(job), 9);
}
