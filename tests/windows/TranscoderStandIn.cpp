// SPDX-License-Identifier: GPL-3.0-or-later
// A Windows stand-in for the transcoder, built with mingw-w64 and run under wine (or
// Windows). It reads its command line as a Windows program does and:
//   - records GetCommandLineW(), its argv and how its window was to be shown into the file
//     STANDIN_RECORD names ("aufzeichnung.txt" in the current folder without it), UTF-8;
//   - prints "BeSweet-Ersatz: <n> Bytes gelesen aus <input's name>" to standard output and
//     "fertig" to standard error, in the ANSI code page as a program of narrow strings does;
//   - with "-input" and "-output": refuses a path that is not a Windows path (drive letter,
//     backslashes) with exit code 2, as a program that takes "/" for a switch would; else
//     writes "BeSweet-Ersatz\n" and the input's bytes to the output, through the Windows API;
//   - sleeps STANDIN_SLEEP_MS milliseconds, then exits with STANDIN_EXIT (0 without it).
#include <string>
#include <vector>
#include <windows.h>

namespace
{

std::string utf8(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                             nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(),
                          length, nullptr, nullptr);
    return narrow;
}

// What a program that prints narrow strings writes: the ANSI code page.
std::string ansi(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int length = ::WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                             nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), narrow.data(),
                          length, nullptr, nullptr);
    return narrow;
}

std::wstring variable(const wchar_t* name, const wchar_t* fallback)
{
    wchar_t value[1024];
    const DWORD length = ::GetEnvironmentVariableW(name, value, 1024);
    return length > 0 && length < 1024 ? std::wstring(value, length) : std::wstring(fallback);
}

void writeAll(HANDLE file, const std::string& bytes)
{
    DWORD written = 0;
    ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

bool writeFile(const std::wstring& path, const std::string& bytes)
{
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    writeAll(file, bytes);
    ::CloseHandle(file);
    return true;
}

bool readFile(const std::wstring& path, std::string& bytes)
{
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    char buffer[4096];
    DWORD count = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &count, nullptr) && count > 0)
        bytes.append(buffer, count);
    ::CloseHandle(file);
    return true;
}

bool isWindowsPath(const std::wstring& path)
{
    return path.size() >= 3 && iswalpha(path[0]) && path[1] == L':' && path[2] == L'\\' &&
           path.find(L'/') == std::wstring::npos;
}

std::wstring valueAfter(const std::vector<std::wstring>& arguments, const wchar_t* option)
{
    for (std::size_t i = 0; i + 1 < arguments.size(); ++i) {
        if (arguments[i] == option)
            return arguments[i + 1];
    }
    return {};
}

void record(const std::vector<std::wstring>& arguments)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    ::GetStartupInfoW(&startup);
    std::string text = "Befehlszeile: " + utf8(::GetCommandLineW()) + "\n";
    for (std::size_t i = 0; i < arguments.size(); ++i)
        text += "argv[" + std::to_string(i) + "]: " + utf8(arguments[i]) + "\n";
    const int show =
        (startup.dwFlags & STARTF_USESHOWWINDOW) ? static_cast<int>(startup.wShowWindow) : -1;
    text += "Fenster: " + std::to_string(show) + "\n";
    writeFile(variable(L"STANDIN_RECORD", L"aufzeichnung.txt"), text);
}

int transcode(const std::vector<std::wstring>& arguments)
{
    const std::wstring input = valueAfter(arguments, L"-input");
    const std::wstring output = valueAfter(arguments, L"-output");
    if (input.empty() && output.empty())
        return 0;
    for (const auto& path : {input, output}) {
        if (!isWindowsPath(path)) {
            writeAll(::GetStdHandle(STD_ERROR_HANDLE),
                     "BeSweet-Ersatz: kein Windows-Pfad: " + ansi(path) + "\n");
            return 2;
        }
    }
    std::string bytes;
    if (!readFile(input, bytes) || !writeFile(output, "BeSweet-Ersatz\n" + bytes)) {
        writeAll(::GetStdHandle(STD_ERROR_HANDLE), "BeSweet-Ersatz: Datei nicht lesbar\n");
        return 1;
    }
    writeAll(::GetStdHandle(STD_OUTPUT_HANDLE),
             "BeSweet-Ersatz: " + std::to_string(bytes.size()) + " Bytes gelesen aus " +
                 ansi(input.substr(input.find_last_of(L'\\') + 1)) + "\n");
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::vector<std::wstring> arguments(argv, argv + argc);
    record(arguments);
    const int failure = transcode(arguments);
    writeAll(::GetStdHandle(STD_ERROR_HANDLE), "fertig\n");
    ::Sleep(static_cast<DWORD>(std::stoul(variable(L"STANDIN_SLEEP_MS", L"0"))));
    return failure != 0 ? failure : std::stoi(variable(L"STANDIN_EXIT", L"0"));
}
