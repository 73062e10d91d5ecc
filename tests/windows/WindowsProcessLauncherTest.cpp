// SPDX-License-Identifier: GPL-3.0-or-later
// The Windows launcher against a real Windows program: the transcoder stand-in, copied into
// a folder with blanks and umlauts in its name.
#include "platform/WindowsProcessLauncher.h"

#include "job/RuntimeError.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <windows.h>

using namespace klangdorn;
namespace fs = std::filesystem;

namespace
{

fs::path folderOfThisProgram()
{
    std::wstring path(MAX_PATH, L'\0');
    path.resize(::GetModuleFileNameW(nullptr, path.data(), MAX_PATH));
    return fs::path(path).parent_path();
}

std::string contentOf(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::string utf8(const fs::path& path)
{
    return WideToUtf8(path.wstring());
}

class WindowsLauncherTest : public testing::Test
{
protected:
    fs::path root = fs::temp_directory_path() /
                    (L"Klangdorn Prüfung " + std::to_wstring(::GetCurrentProcessId()));
    fs::path folder = root / L"Programme Ä ö";
    fs::path program = folder / L"Be Sweet.exe";
    fs::path record = folder / L"aufzeichnung.txt";
    int eventHandlings = 0;
    int timerTicks = 0;
    WindowsProcessLauncher launcher{[this] { handlePendingEvents(); }};

    void SetUp() override
    {
        fs::create_directories(folder);
        fs::copy_file(folderOfThisProgram() / L"TranscoderStandIn.exe", program,
                      fs::copy_options::overwrite_existing);
        ::SetEnvironmentVariableW(L"STANDIN_RECORD", record.c_str());
        ::SetEnvironmentVariableW(L"STANDIN_EXIT", nullptr);
        ::SetEnvironmentVariableW(L"STANDIN_SLEEP_MS", nullptr);
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }

    // What the window's event handling does: take every message that is there.
    void handlePendingEvents()
    {
        ++eventHandlings;
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_TIMER)
                ++timerTicks;
        }
    }

    std::string quotedProgram() const { return '"' + utf8(program) + '"'; }

    ProcessEnd runToEnd(const std::vector<std::string>& arguments, const std::string& line,
                        bool show = false)
    {
        auto process = launcher.launch(arguments, line, show);
        return launcher.fAppControl(*process);
    }

    std::string recordedLine(std::string_view start) const
    {
        std::istringstream lines(contentOf(record));
        for (std::string line; std::getline(lines, line);) {
            if (line.starts_with(start))
                return line.substr(start.size());
        }
        return "(nicht aufgezeichnet)";
    }
};

TEST_F(WindowsLauncherTest, LineArrivesAsGivenAndTheProgramWorksOnItsPaths)
{
    const fs::path source = folder / L"Quelle ä 1.wav";
    const fs::path target = folder / L"Ziel ö.ac3";
    std::ofstream(source, std::ios::binary) << "RIFF";
    const std::string line = quotedProgram() + " -core( -input \"" + utf8(source) +
                             "\" -output \"" + utf8(target) + "\" )";

    EXPECT_EQ(
        runToEnd({utf8(program), "-core(", "-input", utf8(source), "-output", utf8(target), ")"},
                 line),
        ProcessEnd::exited(0));
    EXPECT_EQ(recordedLine("Befehlszeile: "), line);
    EXPECT_EQ(recordedLine("argv[3]: "), utf8(source));
    EXPECT_EQ(recordedLine("argv[5]: "), utf8(target));
    EXPECT_EQ(contentOf(target), "BeSweet-Ersatz\nRIFF");
}

class WindowShownTest : public WindowsLauncherTest, public testing::WithParamInterface<bool>
{
};

TEST_P(WindowShownTest, ShowStyleReachesTheProgram)
{
    runToEnd({utf8(program)}, quotedProgram(), GetParam());
    EXPECT_EQ(recordedLine("Fenster: "), GetParam() ? "1" : "0"); // SW_SHOWNORMAL, SW_HIDE
}

INSTANTIATE_TEST_SUITE_P(ShownOrHidden, WindowShownTest, testing::Bool());

class ExitCodeTest : public WindowsLauncherTest, public testing::WithParamInterface<int>
{
};

// 259 is what GetExitCodeProcess says of a running process: still an end here.
TEST_P(ExitCodeTest, WaitReturnsTheExitCode)
{
    ::SetEnvironmentVariableW(L"STANDIN_EXIT", std::to_wstring(GetParam()).c_str());
    EXPECT_EQ(runToEnd({utf8(program)}, quotedProgram()), ProcessEnd::exited(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Codes, ExitCodeTest, testing::Values(0, 1, 3, 259, 65535));

TEST_F(WindowsLauncherTest, MissingProgramIsFileNotFoundNamingIt)
{
    for (const fs::path& missing : {folder / L"fehlt.exe", root / L"kein Ordner" / L"a.exe"}) {
        try {
            launcher.launch({utf8(missing)}, '"' + utf8(missing) + '"', false);
            ADD_FAILURE() << "launched " << utf8(missing);
        } catch (const RuntimeError& error) {
            EXPECT_EQ(error.message(), "Fehler: 53 - Datei nicht gefunden: " + utf8(missing));
        }
    }
}

// The wait sleeps on the process and the thread's messages: no message, no event handling,
// and it returns as soon as the process has ended.
TEST_F(WindowsLauncherTest, EndAloneWakesTheWait)
{
    ::SetEnvironmentVariableW(L"STANDIN_SLEEP_MS", L"1500");
    auto process = launcher.launch({utf8(program)}, quotedProgram(), false);
    EXPECT_EQ(launcher.fAppControl(*process), ProcessEnd::exited(0));
    EXPECT_EQ(eventHandlings, 0);
}

TEST_F(WindowsLauncherTest, AlreadyEndedProcessReturnsWithoutAPass)
{
    auto process = launcher.launch({utf8(program)}, quotedProgram(), false);
    const HANDLE handle =
        ::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(process->processId()));
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(::WaitForSingleObject(handle, 60'000), WAIT_OBJECT_0);
    ::CloseHandle(handle);
    EXPECT_EQ(launcher.fAppControl(*process), ProcessEnd::exited(0));
    EXPECT_EQ(eventHandlings, 0);
}

TEST_F(WindowsLauncherTest, WindowsMessagesAreHandledDuringTheWait)
{
    ::SetEnvironmentVariableW(L"STANDIN_SLEEP_MS", L"1500");
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 100, nullptr);
    auto process = launcher.launch({utf8(program)}, quotedProgram(), false);
    EXPECT_EQ(launcher.fAppControl(*process), ProcessEnd::exited(0));
    ::KillTimer(nullptr, timer);
    EXPECT_GT(timerTicks, 0);
    EXPECT_GT(eventHandlings, 0);
}

} // namespace
