// SPDX-License-Identifier: GPL-3.0-or-later
// The fuzz entries. The input goes through a real file (in /dev/shm where there is one): the
// program reads its input by name, and so the fuzzer follows the very same path.
#include "fuzz/FuzzEntries.h"

#include "Transcoder.h"
#include "cli/Options.h"
#include "core/Av.h"
#include "fuzz/LengthOracle.h"
#include "output/LogFile.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

namespace besweet::fuzz
{

namespace
{

// Enough for the encoders to reach their steady state, little enough to stay fast.
constexpr std::int64_t SampleFramesPerRun = 48000;

[[noreturn]] void fault(const std::string& what)
{
    std::fprintf(stderr, "fuzz: %s\n", what.c_str());
    std::abort();
}

// One folder per process for the input, the output and the log.
const std::filesystem::path& scratchFolder()
{
    static const std::filesystem::path folder = [] {
        const std::filesystem::path base = std::filesystem::exists("/dev/shm")
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path();
        std::string pattern = (base / "besweet-fuzz-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            fault("cannot create a scratch folder in " + base.string());
        av_log_set_level(AV_LOG_QUIET);
        return std::filesystem::path(pattern);
    }();
    return folder;
}

struct Kind {
    const char* inputName;
    bool raw;
};
constexpr std::array<Kind, 4> kinds{
    {{"in.wav", false}, {"in.mpa", false}, {"in.ac3", false}, {"in.pcm", true}}};
// Names that tell FFmpeg the container or stream where the bytes alone leave it in doubt (a
// recording whose damage hides the first sync bytes).
constexpr std::array<const char*, 8> namesByContent{nullptr,  "in.ts",  "in.vob", "in.mkv",
                                                    "in.mp4", "in.caf", "in.aac", "in.dts"};

std::filesystem::path inputPath(const std::filesystem::path& folder, std::uint8_t first,
                                std::uint8_t second)
{
    const Kind& kind = kinds[first & 3];
    const char* byContent = namesByContent[second >> 5];
    return folder / (kind.raw || !byContent ? kind.inputName : byContent);
}

struct Target {
    const char* outputName;
    std::vector<std::string> encoder;
};

std::vector<std::string> commandLineFor(std::uint8_t first, std::uint8_t second,
                                        const std::filesystem::path& input,
                                        const std::filesystem::path& folder)
{
    static const std::array<const char*, 3> rawRates{"32000", "44100", "48000"};
    static const std::array<const char*, 4> modes{"s", "j", "d", "m"};
    const std::array<Target, 4> targets{{
        {"out.mpa", {"-toolame(", "-m", modes[(second >> 2) & 3], "-b", "192", ")"}},
        {"out.ac3", {"-ac3enc(", "-b", (second & 0x10) ? "448" : "192", ")"}},
        {"out.wav", {}},
        {"out.ac3", {}},
    }};
    const Target& target = targets[(first >> 2) & 3];
    const auto output = folder / target.outputName;
    std::vector<std::string> arguments{
        "-core(",        "-input",   input.string(),           "-output",
        output.string(), "-logfile", output.string() + ".log", ")"};
    std::vector<std::string> ota;
    if (first & 0x20)
        ota.insert(ota.end(), {"-norm", "0.9"});
    if (kinds[first & 3].raw && (second & 3) < rawRates.size())
        ota.insert(ota.end(), {"-fs", rawRates[second & 3]});
    if (!ota.empty()) {
        arguments.emplace_back("-ota(");
        arguments.insert(arguments.end(), ota.begin(), ota.end());
        arguments.emplace_back(")");
    }
    if (first & 0x10)
        arguments.insert(arguments.end(), {"-ssrc(", "--rate", "48000", ")"});
    arguments.insert(arguments.end(), target.encoder.begin(), target.encoder.end());
    return arguments;
}

void writeFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out.flush())
        fault("cannot write " + path.string());
}

// A finished track is as long as a plain decode of the input, but for what the warnings say.
void checkLength(const Options& options)
{
    const auto output = decodedSeconds(options.output);
    if (!output)
        fault("the output " + options.output + " cannot be decoded");
    std::ifstream logFile(options.logfile);
    const std::string log((std::istreambuf_iterator<char>(logFile)), {});
    const double plain = plainDecodeSeconds(options, options.stopAfterSamples);
    if (const auto finding = lengthFinding(plain, *output, warnedSeconds(log)))
        fault(*finding + "\n" + log);
}

} // namespace

void runInput(std::span<const std::uint8_t> data)
{
    if (data.size() < 3)
        return;
    const std::filesystem::path& folder = scratchFolder();
    const std::uint8_t first = data[0];
    const std::uint8_t second = data[1];
    const auto input = inputPath(folder, first, second);
    writeFile(input, data.subspan(2));

    Options options;
    std::ostringstream out;
    std::ostringstream err;
    if (parseArguments(commandLineFor(first, second, input, folder), options, out, err))
        fault("the fuzzer's own command line was refused: " + err.str());
    options.stopAfterSamples = SampleFramesPerRun;
    options.quietBeforeCutEnd = {}; // nothing writes to the input
    // One encoder, or chunks of one or two frames: the chunked path's joins within few frames.
    static const std::array<const char*, 4> chunkFrames{"0", "1", "2", "0"};
    ::setenv("BESWEET_CHUNK_FRAMES", chunkFrames[(first >> 6) & 3], 1);

    LogFile log;
    if (!log.open(options.logfile))
        fault("cannot write the log " + options.logfile);
    try {
        transcode(options, log);
        static_cast<void>(log.close()); // the log is read back, wherever it could be written
        checkLength(options);
    } catch (const WorkError&) {
        // Refused, with a reason: what a damaged input should get.
    }
    std::filesystem::remove(input);
    std::filesystem::remove(options.output);
}

void runCommandLine(std::span<const std::uint8_t> data)
{
    std::vector<std::string> arguments;
    std::string current;
    for (const std::uint8_t byte : data) {
        if (byte == '\n') {
            arguments.push_back(std::move(current));
            current.clear();
        } else {
            current += static_cast<char>(byte);
        }
    }
    if (!current.empty())
        arguments.push_back(std::move(current));

    Options options;
    std::ostringstream out;
    std::ostringstream err;
    const auto exitCode = parseArguments(arguments, options, out, err);
    if (exitCode && *exitCode != 0 && *exitCode != 2)
        fault("unknown exit code " + std::to_string(*exitCode));
    if (exitCode && *exitCode == 2 &&
        (err.str().rfind("besweet: ", 0) != 0 || err.str().find('\n') != err.str().size() - 1))
        fault("a usage error is not one line 'besweet: ...': " + err.str());
    if (exitCode)
        return;
    if (options.input.empty() || options.output.empty())
        fault("accepted a run without input or output");
    if (options.norm && (*options.norm < 0.0 || *options.norm > 1.0))
        fault("accepted a level outside 0..1");
    if (options.rawRate != 32000 && options.rawRate != 44100 && options.rawRate != 48000)
        fault("accepted a raw PCM rate " + std::to_string(options.rawRate));
    if ((options.codec == Codec::Wav) != (options.kbps == 0))
        fault("a bitrate that does not fit the format");
}

} // namespace besweet::fuzz
