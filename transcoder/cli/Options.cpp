// SPDX-License-Identifier: GPL-3.0-or-later
// The command line parser: sections in any order, each at most once; every wrong line is
// answered with one message naming what is wrong and, where there is a choice, the choices.
#include "cli/Options.h"

#include "cli/ExitCode.h"
#include "common/TargetEncoder.h"
#include "common/TextCase.h"
#include "core/Bitrates.h"
#include "core/Text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <map>
#include <ostream>

#ifndef BESWEET_VERSION
#define BESWEET_VERSION "unknown"
#endif

namespace besweet
{

namespace
{

struct UsageError {
    Text message;
};

struct Section {
    std::string_view opener;
    std::vector<std::string_view> options;
};

const std::array<Section, 5> sections{{
    {"-core(", {"-input", "-output", "-logfile"}},
    {"-ota(", {"-norm", "-fs"}},
    {"-ssrc(", {"--rate"}},
    {"-toolame(", {"-m", "-b"}},
    {"-ac3enc(", {"-b", "-dialnorm"}},
}};

// Values given per section opener, per option.
using Given = std::map<std::string, std::map<std::string, std::string>, std::less<>>;

const Section* findSection(std::string_view opener)
{
    for (const auto& section : sections)
        if (section.opener == opener)
            return &section;
    return nullptr;
}

template <typename Table> std::string listed(const Table& values)
{
    std::string text;
    for (const int value : values)
        text += (text.empty() ? "" : ", ") + std::to_string(value);
    return text;
}

Given collectSections(std::span<const std::string> arguments)
{
    Given given;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& opener = arguments[i];
        const Section* section = findSection(opener);
        if (!section) {
            if (!opener.empty() && opener.back() == '(')
                throw UsageError{text("unknown section '%s'", opener)};
            throw UsageError{text("unexpected argument '%s' outside a section", opener)};
        }
        if (given.contains(opener))
            throw UsageError{text("section '%s' given twice", opener)};
        auto& values = given[opener];
        for (++i;; ++i) {
            if (i == arguments.size())
                throw UsageError{text("section '%s' is not closed with ')'", opener)};
            const std::string& name = arguments[i];
            if (name == ")")
                break;
            if (std::find(section->options.begin(), section->options.end(), name) ==
                section->options.end())
                throw UsageError{text("unknown option '%s' in '%s'", name, opener)};
            if (i + 1 == arguments.size() || arguments[i + 1] == ")")
                throw UsageError{text("option '%s' in '%s' needs a value", name, opener)};
            if (values.contains(name))
                throw UsageError{text("option '%s' given twice in '%s'", name, opener)};
            values[name] = arguments[++i];
        }
    }
    return given;
}

std::optional<std::string> valueOf(const Given& given, std::string_view section,
                                   std::string_view option)
{
    const auto s = given.find(section);
    if (s == given.end())
        return std::nullopt;
    const auto o = s->second.find(std::string(option));
    if (o == s->second.end())
        return std::nullopt;
    return o->second;
}

std::optional<int> wholeNumber(const std::string& text)
{
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

// "0.95", "1", ".5", "1.00": digits with at most one point, nothing else. 0 (the slider's
// bottom) asks for no normalisation.
double normLevel(const std::string& value)
{
    const bool digitsAndPoint =
        !value.empty() && value != "." &&
        std::all_of(value.begin(), value.end(),
                    [](char c) { return (c >= '0' && c <= '9') || c == '.'; }) &&
        std::count(value.begin(), value.end(), '.') <= 1;
    double level = 0;
    if (digitsAndPoint)
        std::from_chars(value.data(), value.data() + value.size(), level);
    if (!digitsAndPoint || level < 0.0 || level > 1.0)
        throw UsageError{text(
            "-norm '%s': give a level from 0 to 1, such as 0.95 (0: no normalisation)", value)};
    return level;
}

int bitrateFrom(const std::string& value, std::span<const int> table, std::string_view format)
{
    const auto kbps = wholeNumber(value);
    if (!kbps || std::find(table.begin(), table.end(), *kbps) == table.end())
        throw UsageError{text("bitrate '%s' is not one %s knows; allowed (kbps): %s", value, format,
                              listed(table))};
    return *kbps;
}

// The format allows mono only up to 192 kbps and the two-channel modes only from 64 kbps (but
// not at 80). Mono asked at more is encoded at 192 kbps, with a warning.
constexpr int MostMonoKbps = 192;

std::vector<int> layerIIBitrates(char mode)
{
    std::vector<int> allowed;
    for (const int rate : LayerIIKbps) {
        const bool fits = mode == 'm' ? rate <= MostMonoKbps : rate >= 64 && rate != 80;
        if (fits)
            allowed.push_back(rate);
    }
    return allowed;
}

void checkLayerIIMode(char mode, int kbps)
{
    const std::vector<int> allowed = layerIIBitrates(mode);
    if (std::find(allowed.begin(), allowed.end(), kbps) == allowed.end())
        throw UsageError{text("Layer II mode '%s' does not allow %d kbps; allowed (kbps): %s",
                              std::string(1, mode), kbps, listed(allowed))};
}

void readCore(const Given& given, Options& options)
{
    if (!given.contains("-core("))
        throw UsageError{text("'-core( -input IN -output OUT )' is required")};
    const auto input = valueOf(given, "-core(", "-input");
    const auto output = valueOf(given, "-core(", "-output");
    if (!input || input->empty())
        throw UsageError{text("'-core(' needs '-input FILE'")};
    if (!output || output->empty())
        throw UsageError{text("'-core(' needs '-output FILE'")};
    options.input = *input;
    options.output = *output;
    options.logfile = valueOf(given, "-core(", "-logfile").value_or("");
}

void readOta(const Given& given, Options& options)
{
    if (const auto norm = valueOf(given, "-ota(", "-norm"))
        options.norm = normLevel(*norm);
    options.rawInput = klangdorn::EndsWithIgnoringCase(options.input, ".pcm") ||
                       klangdorn::EndsWithIgnoringCase(options.input, ".raw");
    if (const auto fs = valueOf(given, "-ota(", "-fs")) {
        const auto rate = wholeNumber(*fs);
        if (!rate || (*rate != 32000 && *rate != 44100 && *rate != 48000))
            throw UsageError{text("-fs '%s': allowed rates are 32000, 44100, 48000", *fs)};
        options.rawInput = true;
        options.rawRate = *rate;
    }
}

void readSsrc(const Given& given, Options& options)
{
    if (!given.contains("-ssrc("))
        return;
    const auto rate = valueOf(given, "-ssrc(", "--rate");
    if (!rate || *rate != "48000")
        throw UsageError{text("'-ssrc(' resamples to 48000 only: give '--rate 48000'")};
    options.resampleTo48k = true;
}

// "-31" to "-1", or "auto": the measured loudness.
std::optional<int> dialnormFrom(const std::string& value)
{
    if (value == "auto")
        return std::nullopt;
    const auto level = wholeNumber(value);
    if (!level || *level < DialnormNeutral || *level > DialnormHighest)
        throw UsageError{
            text("-dialnorm '%s': give a dialogue level from -31 to -1 (dB), or auto", value)};
    return *level;
}

void readEncoder(const Given& given, Options& options)
{
    const bool layerII = given.contains("-toolame(");
    const bool ac3 = given.contains("-ac3enc(");
    if (layerII && ac3)
        throw UsageError{text("give either '-toolame(' or '-ac3enc(', not both")};
    if (layerII) {
        options.codec = Codec::LayerII;
        const auto mode = valueOf(given, "-toolame(", "-m").value_or("j");
        if (mode.size() != 1 || std::string_view("sjdm").find(mode[0]) == std::string_view::npos)
            throw UsageError{text("-m '%s': allowed modes are s, j, d, m", mode)};
        options.mode = mode[0];
        options.kbps =
            bitrateFrom(valueOf(given, "-toolame(", "-b").value_or("224"), LayerIIKbps, "Layer II");
        if (options.mode == 'm' && options.kbps > MostMonoKbps) {
            options.monoKbpsAsked = options.kbps;
            options.kbps = MostMonoKbps;
        }
        checkLayerIIMode(options.mode, options.kbps);
        return;
    }
    if (ac3) {
        options.codec = Codec::Ac3;
        options.kbps =
            bitrateFrom(valueOf(given, "-ac3enc(", "-b").value_or("192"), Ac3Kbps, "AC3");
        if (const auto dialnorm = valueOf(given, "-ac3enc(", "-dialnorm"))
            options.dialnorm = dialnormFrom(*dialnorm);
        return;
    }
    const auto encoder = klangdorn::EncoderForTarget(options.output);
    if (encoder == klangdorn::TargetEncoder::LayerII) {
        options.codec = Codec::LayerII;
        options.mode = 'j';
        options.kbps = 224;
    } else if (encoder == klangdorn::TargetEncoder::Ac3) {
        options.codec = Codec::Ac3;
        options.kbps = 192;
    } else if (klangdorn::EndsWithIgnoringCase(options.output, ".wav")) {
        options.codec = Codec::Wav;
        options.kbps = 0;
    } else {
        throw UsageError{text("cannot tell the format of '%s' from its extension: use .mpa, .mp2, "
                              ".ac3 or .wav, or give '-toolame(' or '-ac3enc('",
                              options.output)};
    }
}

// The values as a list in lines of at most 80 characters, each after the help's indent.
template <typename Table> std::string helpList(const std::string& first, const Table& values)
{
    const std::string indent(16, ' ');
    std::string text = indent + first;
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i < std::size(values); ++i) {
        const std::string item = std::to_string(values[i]) + (i + 1 < std::size(values) ? "," : "");
        if (text.size() - lineStart + 1 + item.size() > 80) {
            text += "\n" + indent;
            lineStart = text.size() - indent.size();
        } else if (text.back() != ' ') {
            text += ' ';
        }
        text += item;
    }
    return text + "\n";
}

// The help in the user's language, one block per option so a translation keeps its columns.
void printHelp(std::ostream& out)
{
    out << text("Usage: besweet -core( -input IN -output OUT [-logfile LOG] )\n"
                "               [-ota( [-norm X] [-fs RATE] )] [-ssrc( --rate 48000 )]\n"
                "               [-toolame( -m s|j|d|m -b KBPS ) |\n"
                "                -ac3enc( -b KBPS [-dialnorm N|auto] )]\n")
               .local
        << '\n'
        << text("Turns one audio file (WAV, MPEG audio layer I/II/III, AC3 or raw PCM) into a DVD\n"
                "audio track. Every section opener, option, value and ')' is its own argument.\n")
               .local
        << '\n'
        << text("  -norm X       the decoded track's peak, as a share of full scale (0 <= X <= 1;\n"
                "                0 leaves the level as it is), never above full scale. Each frame "
                "is\n"
                "                decoded again as it is encoded; a track whose decoded peak is "
                "above\n"
                "                full scale, more than 0.3 dB below X or 0.1 dB above is encoded "
                "again\n"
                "                with the gain corrected (4 encodes at most, more while it peaks "
                "above\n"
                "                full scale, each in the log). Material no gain brings to X "
                "without\n"
                "                clipping ends at the highest level that does not clip (a\n"
                "                warning). Reads the input twice or more, so not from a pipe\n")
               .local
        << text("  -fs RATE      the input is raw PCM (signed 16-bit little-endian stereo) at "
                "RATE:\n"
                "                32000, 44100 or 48000; a .pcm or .raw input is raw PCM at 48000;\n"
                "                a file of a known format (WAV, MP3, ...) is read as such\n")
               .local
        << text("  --rate 48000  resample to 48000 Hz\n").local
        << text("  -toolame(     MPEG-1 Layer II; -m stereo, joint stereo, dual channel or mono;\n"
                "                default j 224\n")
               .local
        << helpList(text("kbps for s, j, d:").local, layerIIBitrates('s'))
        << helpList(text("kbps for m:").local, layerIIBitrates('m'))
        << text("  -ac3enc(      AC3 2/0 (1/0 for a mono source); default 192 kbps\n").local
        << helpList(text("kbps:").local, Ac3Kbps)
        << text("  -dialnorm N   the dialogue level written in the AC3 track, -31 to -1 (dB): a\n"
                "                player turns the track down by 31 + N dB, so its dialogue\n"
                "                plays at -31. The default -31 leaves the level as it is; auto\n"
                "                writes the track's measured loudness (LUFS, rounded, -31 to "
                "-1)\n")
               .local
        << text("  Without an encoder section the output's extension decides: .mpa/.mp2 Layer II\n"
                "  joint stereo 224 kbps, .ac3 AC3 192 kbps, .wav 16-bit PCM.\n"
                "  A DVD takes 48000 Hz, and AC3 up to 448 kbps: other tracks are made with a\n"
                "  warning.\n")
               .local
        << '\n'
        << text("Time stamps (TS, PS/VOB, Matroska, MP4) are believed only when the next second\n"
                "of packets agrees with them. A jump that those packets continue is a hole\n"
                "when it goes forward by up to 60 s (filled with silence of its length), else a\n"
                "new time line (stamps that go back or jump further: recordings joined, a clock\n"
                "restarted), whose audio follows without a gap. Packets out of line with those\n"
                "on both sides are damage and keep their place; only audio that repeats the\n"
                "audio before it by up to two frames is dropped. Data the decoder cannot read is\n"
                "skipped, as a player skips it. Each of these is a warning.\n")
               .local
        << '\n'
        << text("  --help        show this text\n"
                "  --version     show the version\n")
               .local
        << '\n'
        << text("The output is written to a temporary file beside it and replaces OUT only when\n"
                "complete. An output that is the input (or the log file that is the input) is\n"
                "refused as a command line error.\n")
               .local
        << '\n'
        << text("Exit status: 0 the track is written; 1 the work failed (input missing, "
                "unreadable,\n"
                "corrupt or empty; encoder or write failure); 2 the command line is wrong. A run\n"
                "stopped by SIGINT, SIGTERM, SIGHUP or SIGQUIT removes its temporary file, then\n"
                "ends by that signal (a shell shows 128 + its number, such as 130 for SIGINT).\n")
               .local;
}

} // namespace

std::optional<int> parseArguments(std::span<const std::string> arguments, Options& options,
                                  std::ostream& out, std::ostream& err)
{
    // Only as the first argument: a file may well be called "--help".
    if (!arguments.empty() && arguments.front() == "--help") {
        printHelp(out);
        return ExitSuccess;
    }
    if (!arguments.empty() && arguments.front() == "--version") {
        out << "besweet " BESWEET_VERSION "\n";
        return ExitSuccess;
    }
    try {
        if (arguments.empty())
            throw UsageError{text("no arguments; try 'besweet --help'")};
        const Given given = collectSections(arguments);
        Options parsed;
        parsed.arguments.assign(arguments.begin(), arguments.end());
        readCore(given, parsed);
        readOta(given, parsed);
        readSsrc(given, parsed);
        readEncoder(given, parsed);
        options = std::move(parsed);
        return std::nullopt;
    } catch (const UsageError& error) {
        err << "besweet: " << error.message.local << '\n';
        return ExitUsage;
    }
}

} // namespace besweet
