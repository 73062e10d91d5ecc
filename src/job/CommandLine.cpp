// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/TextCase.h"
#include "job/CodeTables.h"
#include "job/RuntimeError.h"
#include "job/TranscodeJob.h"

#include <algorithm>
#include <cctype>
#include <span>
#include <utility>

namespace klangdorn
{

namespace
{

std::string codeAt(std::span<const OptionEntry> table, int position)
{
    if (position < 0 || static_cast<std::size_t>(position) >= table.size())
        throw RuntimeError(ErrorNumber::SubscriptOutOfRange);
    return std::string(table[static_cast<std::size_t>(position)].code);
}

struct Argument {
    std::string text;
    bool isPath = false; // quoted on the line when it holds a blank or a tab
};

std::string quotedWhenBlank(const Argument& argument)
{
    if (argument.isPath && argument.text.find_first_of(" \t") != std::string::npos)
        return '"' + argument.text + '"';
    return argument.text;
}

std::vector<Argument> buildArgumentList(const TranscodeJob& job)
{
    // Every position is checked before anything is produced.
    const std::string samplerate =
        job.InputRAWPCM ? codeAt(arrInputSamplerate, job.InputSamplerate) : std::string();
    const std::string channelmode = codeAt(arrOutputChannelmode, job.OutputChannelmode);
    const std::string bitrate = codeAt(arrOutputBitrate, job.OutputBitrate);

    std::vector<Argument> args{{job.BesweetPath, true}, {"-core("},  {"-input"},
                               {job.InputFile, true},   {"-output"}, {job.OutputFile, true}};
    if (job.WriteLog)
        args.insert(args.end(), {{"-logfile"}, {LogFileOf(job.OutputFile), true}});
    args.push_back({")"});

    if (job.InputRAWPCM)
        args.insert(
            args.end(),
            {{"-ota("}, {"-norm"}, {LevelText(job.Normalize)}, {"-fs"}, {samplerate}, {")"}});
    else if (job.Normalize < 100)
        args.insert(args.end(), {{"-ota("}, {"-norm"}, {LevelText(job.Normalize)}, {")"}});

    if (job.Resample)
        args.insert(args.end(), {{"-ssrc("}, {"--rate"}, {"48000"}, {")"}});

    const std::string type = UpperCaseAscii(job.OutputType);
    if (type == "MPA")
        args.insert(args.end(), {{"-toolame("}, {"-m"}, {channelmode}, {"-b"}, {bitrate}, {")"}});
    else if (type == "AC3")
        args.insert(args.end(), {{"-ac3enc("}, {"-b"}, {bitrate}, {")"}});
    return args;
}

} // namespace

std::string LevelText(int normalize)
{
    // Integer arithmetic: no locale can put a comma here.
    const int v = std::clamp(normalize, 0, 100);
    const int hundredths = v % 100;
    return std::to_string(v / 100) + '.' + static_cast<char>('0' + hundredths / 10) +
           static_cast<char>('0' + hundredths % 10);
}

std::vector<std::string> BuildArguments(const TranscodeJob& job)
{
    std::vector<std::string> arguments;
    for (auto& argument : buildArgumentList(job))
        arguments.push_back(std::move(argument.text));
    return arguments;
}

std::string BuildCommandLine(const TranscodeJob& job)
{
    const auto arguments = buildArgumentList(job);
    std::string line = quotedWhenBlank(arguments.front());
    for (auto it = arguments.begin() + 1; it != arguments.end(); ++it)
        line += ' ' + quotedWhenBlank(*it);
    return line;
}

std::string LogFileOf(const std::string& target)
{
    return target + ".log";
}

} // namespace klangdorn
