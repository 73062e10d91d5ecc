// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/WindowsProcessLauncher.h"

#include "job/RuntimeError.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <utility>
#include <windows.h>

namespace klangdorn
{

namespace
{

// A kernel handle, closed when its owner goes.
class UniqueHandle
{
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : m_handle(handle) {}
    UniqueHandle(UniqueHandle&& other) noexcept : m_handle(std::exchange(other.m_handle, nullptr))
    {
    }
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        reset(std::exchange(other.m_handle, nullptr));
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    HANDLE get() const { return m_handle; }
    void reset(HANDLE handle = nullptr)
    {
        if (m_handle)
            ::CloseHandle(m_handle);
        m_handle = handle;
    }

private:
    HANDLE m_handle = nullptr;
};

std::string systemMessage(DWORD error)
{
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length ? std::wstring(buffer, length) : std::wstring();
    ::LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
        text.pop_back();
    return WideToUtf8(text);
}

RuntimeError launchError(DWORD error, const std::string& program)
{
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        return RuntimeError(ErrorNumber::FileNotFound, program);
    return RuntimeError::fromOs(ErrorNumber::PathFileAccess, systemMessage(error) + ": " + program);
}

class WindowsRunningProcess final : public RunningProcess
{
public:
    WindowsRunningProcess(UniqueHandle process, DWORD id) : m_process(std::move(process)), m_id(id)
    {
    }
    long long processId() const override { return m_id; }
    HANDLE handle() const { return m_process.get(); }
    // Windows has no polite request to a console program: it is terminated.
    bool stop() override
    {
        if (::WaitForSingleObject(m_process.get(), 0) == WAIT_OBJECT_0)
            return false;
        ::TerminateProcess(m_process.get(), 1);
        return true;
    }

private:
    UniqueHandle m_process;
    DWORD m_id;
};

// Sleeps until the process ends or a message arrives (also one already in the queue).
bool waitForEndOrMessage(HANDLE process)
{
    const HANDLE handles[] = {process};
    const DWORD result =
        ::MsgWaitForMultipleObjectsEx(1, handles, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    return result == WAIT_OBJECT_0 || result == WAIT_FAILED;
}

} // namespace

std::wstring Utf8ToWide(const std::string& text)
{
    if (text.empty())
        return {};
    const int length =
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                          length);
    return wide;
}

std::string WideToUtf8(const std::wstring& text)
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

std::unique_ptr<RunningProcess>
WindowsProcessLauncher::launch(const std::vector<std::string>& arguments,
                               const std::string& commandLine, bool showWindow)
{
    const std::string program = arguments.empty() ? std::string() : arguments.front();
    const std::wstring application = Utf8ToWide(program);
    std::wstring line = Utf8ToWide(commandLine); // CreateProcessW may write into it

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showWindow ? SW_SHOWNORMAL : SW_HIDE);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, FALSE,
                          CREATE_NEW_CONSOLE | CREATE_UNICODE_ENVIRONMENT, nullptr, nullptr,
                          &startup, &info))
        throw launchError(::GetLastError(), program);
    UniqueHandle thread(info.hThread);
    return std::make_unique<WindowsRunningProcess>(UniqueHandle(info.hProcess), info.dwProcessId);
}

ProcessEnd WindowsProcessLauncher::fAppControl(RunningProcess& process)
{
    const HANDLE handle = dynamic_cast<WindowsRunningProcess&>(process).handle();
    while (::WaitForSingleObject(handle, 0) == WAIT_TIMEOUT) {
        if (!waitForEndOrMessage(handle))
            m_handlePendingEvents();
    }
    DWORD exitCode = 0;
    ::GetExitCodeProcess(handle, &exitCode);
    return ProcessEnd::exited(exitCode);
}

} // namespace klangdorn
