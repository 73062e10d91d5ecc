// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/PosixProcessLauncher.h"

#include "common/TextCase.h"
#include "common/UniqueFd.h"
#include "job/OutputTail.h"
#include "job/RuntimeError.h"
#include "platform/BundledTranscoder.h"
#include "platform/SystemReason.h"
#include "platform/WineRun.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace klangdorn
{

namespace
{

constexpr int PollIntervalMs = 100;
// How long a stopped program may take to end before it is killed.
constexpr int ForceKillAfterMs = 5000;
constexpr std::size_t ReadChunk = 64 * 1024;
// Reads per wake-up, so a chatty program cannot starve the window's other events.
constexpr int ReadsPerWakeUp = 16;

RuntimeError osError(int error, const std::string& path)
{
    return RuntimeError::fromOs(ErrorNumber::PathFileAccess, SystemReason(error) + ": " + path);
}

RuntimeError launchError(int error, const std::string& path)
{
    if (error == ENOENT || error == ENOTDIR)
        return RuntimeError(ErrorNumber::FileNotFound, path);
    return osError(error, path);
}

bool isExecutableFile(const std::string& path)
{
    struct stat status {
    };
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

void requireExisting(const std::string& path)
{
    struct stat status {
    };
    if (::stat(path.c_str(), &status) != 0)
        throw launchError(errno, path);
}

// The posix_spawn helpers return an error number rather than setting errno.
void check(int error)
{
    if (error != 0)
        throw osError(error, "posix_spawn");
}

// posix_spawn's file actions and attributes, released with their owner.
class SpawnFileActions
{
public:
    SpawnFileActions() { check(posix_spawn_file_actions_init(&m_actions)); }
    ~SpawnFileActions() { posix_spawn_file_actions_destroy(&m_actions); }
    SpawnFileActions(const SpawnFileActions&) = delete;
    SpawnFileActions& operator=(const SpawnFileActions&) = delete;

    void openReadOnly(int fd, const char* path)
    {
        check(posix_spawn_file_actions_addopen(&m_actions, fd, path, O_RDONLY, 0));
    }
    void duplicate(int from, int to)
    {
        check(posix_spawn_file_actions_adddup2(&m_actions, from, to));
    }
    // Every descriptor from `lowest` on is closed in the child, inheritable or not.
    void closeFrom(int lowest)
    {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
        check(posix_spawn_file_actions_addclosefrom_np(&m_actions, lowest));
#else
        // Without closefrom: each descriptor open now, as far as the limit reaches.
        const long limit = std::min(::sysconf(_SC_OPEN_MAX), 65536L);
        for (int fd = lowest; fd < limit; ++fd) {
            if (::fcntl(fd, F_GETFD) != -1)
                check(posix_spawn_file_actions_addclose(&m_actions, fd));
        }
#endif
    }
    const posix_spawn_file_actions_t* get() const
    {
        return &m_actions;
    }

private:
    posix_spawn_file_actions_t m_actions{};
};

class SpawnAttributes
{
public:
    SpawnAttributes()
    {
        check(posix_spawnattr_init(&m_attributes));
        // A session of its own: no terminal signal reaches it, and it outlives Klangdorn.
        // Signal mask and dispositions start fresh rather than inherited from the GUI.
        sigset_t none;
        sigemptyset(&none);
        sigset_t all;
        sigfillset(&all);
        check(posix_spawnattr_setsigmask(&m_attributes, &none));
        check(posix_spawnattr_setsigdefault(&m_attributes, &all));
        check(posix_spawnattr_setflags(&m_attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK |
                                                          POSIX_SPAWN_SETSIGDEF));
    }
    ~SpawnAttributes() { posix_spawnattr_destroy(&m_attributes); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
    const posix_spawnattr_t* get() const { return &m_attributes; }

private:
    posix_spawnattr_t m_attributes{};
};

struct OutputPipe {
    UniqueFd read;
    UniqueFd write;
};

OutputPipe makeOutputPipe()
{
    std::array<int, 2> fds{};
    if (::pipe2(fds.data(), O_CLOEXEC) != 0)
        throw osError(errno, "pipe");
    OutputPipe pipe{UniqueFd(fds[0]), UniqueFd(fds[1])};
    ::fcntl(pipe.read.get(), F_SETFL, ::fcntl(pipe.read.get(), F_GETFL) | O_NONBLOCK);
    return pipe;
}

// The null-terminated array of C strings that exec takes.
std::vector<char*> pointersTo(const std::vector<std::string>& texts)
{
    std::vector<char*> pointers;
    for (const auto& text : texts)
        pointers.push_back(const_cast<char*>(text.c_str()));
    pointers.push_back(nullptr);
    return pointers;
}

std::vector<std::string> currentEnvironment()
{
    std::vector<std::string> entries;
    for (char** entry = environ; *entry; ++entry)
        entries.emplace_back(*entry);
    return entries;
}

// Standard input from /dev/null; standard output and error into the pipe; no other
// descriptor of the program's, whatever its close-on-exec flag says.
pid_t spawn(const SpawnPlan& plan, int outputWrite)
{
    SpawnFileActions actions;
    actions.openReadOnly(STDIN_FILENO, "/dev/null");
    actions.duplicate(outputWrite, STDOUT_FILENO);
    actions.duplicate(outputWrite, STDERR_FILENO);
    actions.closeFrom(STDERR_FILENO + 1);
    SpawnAttributes attributes;

    const auto argv = pointersTo(plan.argv);
    std::vector<char*> environment;
    if (plan.environment)
        environment = pointersTo(*plan.environment);

    pid_t pid = 0;
    // glibc reports a failed exec through the result, so nothing is left running then.
    const int error = ::posix_spawn(&pid, plan.program.c_str(), actions.get(), attributes.get(),
                                    argv.data(), plan.environment ? environment.data() : environ);
    if (error != 0)
        throw launchError(error, plan.program);
    return pid;
}

UniqueFd openPidfd(pid_t pid)
{
#ifdef SYS_pidfd_open
    return UniqueFd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
#else
    (void)pid;
    return UniqueFd();
#endif
}

ProcessEnd endFromStatus(int status)
{
    if (WIFSIGNALED(status))
        return ProcessEnd::signalled(WTERMSIG(status));
    return ProcessEnd::exited(WEXITSTATUS(status));
}

class PosixRunningProcess final : public RunningProcess
{
public:
    PosixRunningProcess(pid_t pid, UniqueFd output, ProcessOutputView* view,
                        ProcessOutputView* watcher, std::optional<unsigned> outputCodePage)
        : m_pid(pid), m_pidfd(openPidfd(pid)), m_output(std::move(output)), m_view(view),
          m_watcher(watcher)
    {
        if (outputCodePage)
            m_decoder = std::make_unique<WindowsOutputDecoder>(*outputCodePage);
        m_forceKill.setSingleShot(true);
        QObject::connect(&m_forceKill, &QTimer::timeout, [this] {
            if (!m_end)
                ::kill(-m_pid, SIGKILL);
        });
    }
    PosixRunningProcess(const PosixRunningProcess&) = delete;
    PosixRunningProcess& operator=(const PosixRunningProcess&) = delete;

    // Never kills; reaps only what has already ended.
    ~PosixRunningProcess() override
    {
        if (!m_end)
            reapIfEnded();
    }

    long long processId() const override { return m_pid; }
    std::optional<std::string> lastOutput() const override { return m_tail.text(); }
    std::vector<std::string> warnings() const override { return m_tail.warnings(); }

    // The whole group it leads (wine's helpers too); only while it is not reaped, so the
    // number cannot stand for another process yet. One that does not end when asked is
    // killed: a run whose window is gone must not go on unseen.
    // Asked again, it answers as the first time and keeps the first stop's time to the kill.
    bool stop() override
    {
        reapIfEnded();
        if (m_end)
            return m_stopped;
        if (m_stopped)
            return true;
        m_stopped = true;
        ::kill(-m_pid, SIGTERM);
        m_forceKill.start(ForceKillAfterMs);
        return true;
    }

    ProcessEnd waitWithEventsHandled()
    {
        QSocketNotifier outputNotifier(m_output.get(), QSocketNotifier::Read);
        QObject::connect(&outputNotifier, &QSocketNotifier::activated, [&] {
            if (!readAvailableOutput(ReadsPerWakeUp))
                outputNotifier.setEnabled(false);
        });
        std::optional<QSocketNotifier> exitNotifier;
        std::optional<QTimer> poll;
        // Once the end is seen the watch stops: a pidfd stays readable, and a modal dialog's
        // loop nested in this wait would otherwise be woken for it again and again.
        if (m_pidfd) {
            exitNotifier.emplace(m_pidfd.get(), QSocketNotifier::Read);
            QObject::connect(&*exitNotifier, &QSocketNotifier::activated, [&] {
                reapIfEnded();
                if (m_end)
                    exitNotifier->setEnabled(false);
            });
        } else {
            poll.emplace();
            QObject::connect(&*poll, &QTimer::timeout, [&] {
                reapIfEnded();
                if (m_end)
                    poll->stop();
            });
            poll->start(PollIntervalMs);
        }

        reapIfEnded();
        // processEvents rather than a nested QEventLoop: a quit of the application ends
        // every event loop at once, but this wait must go on to the program's end.
        while (!m_end)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);

        // What the program wrote before it ended; a descendant that keeps the pipe open
        // must not hold the window, so this reads only what is there.
        readAvailableOutput(ReadsPerWakeUp * 4);
        if (m_view)
            m_view->finishOutput();
        if (m_watcher)
            m_watcher->finishOutput();
        return *m_end;
    }

private:
    void reapIfEnded()
    {
        if (m_end)
            return;
        int status = 0;
        pid_t result = 0;
        do {
            result = ::waitpid(m_pid, &status, WNOHANG);
        } while (result < 0 && errno == EINTR);
        if (result == m_pid)
            m_end = endFromStatus(status);
        else if (result < 0) // reaped elsewhere: its end is unknown
            m_end = ProcessEnd::unknown();
    }

    // Reads until the pipe is empty, at most `maxReads` chunks. False at end of file.
    bool readAvailableOutput(int maxReads)
    {
        std::array<char, ReadChunk> buffer{};
        for (int i = 0; i < maxReads; ++i) {
            const ssize_t count = ::read(m_output.get(), buffer.data(), buffer.size());
            if (count > 0) {
                std::string_view bytes(buffer.data(), static_cast<std::size_t>(count));
                std::string decoded;
                if (m_decoder) {
                    decoded = m_decoder->toUtf8(bytes);
                    bytes = decoded;
                }
                m_tail.append(bytes);
                if (m_view)
                    m_view->appendOutput(bytes);
                if (m_watcher)
                    m_watcher->appendOutput(bytes);
                continue;
            }
            if (count < 0 && errno == EINTR)
                continue;
            return count < 0 && errno == EAGAIN;
        }
        return true;
    }

    pid_t m_pid;
    UniqueFd m_pidfd;
    UniqueFd m_output;
    ProcessOutputView* m_view;
    ProcessOutputView* m_watcher;
    std::unique_ptr<WindowsOutputDecoder> m_decoder; // for a Windows program's output
    OutputTail m_tail;
    std::optional<ProcessEnd> m_end;
    QTimer m_forceKill;
    bool m_stopped = false; // asked to end
};

} // namespace

bool NeedsWine(const std::string& program)
{
    return EndsWithIgnoringCase(program, ".exe");
}

std::optional<std::string> FindOnPath(const std::string& name)
{
    const char* path = std::getenv("PATH");
    if (!path)
        return std::nullopt;
    std::string_view folders(path);
    while (true) {
        const auto colon = folders.find(':');
        // An empty entry means the current folder.
        const std::string_view entry = folders.substr(0, colon);
        std::string candidate(entry.empty() ? std::string_view(".") : entry);
        candidate.append(1, '/').append(name);
        if (isExecutableFile(candidate))
            return candidate;
        if (colon == std::string_view::npos)
            return std::nullopt;
        folders.remove_prefix(colon + 1);
    }
}

SpawnPlan PlanSpawn(const std::vector<std::string>& arguments,
                    const std::optional<std::string>& bundled)
{
    if (arguments.empty() || arguments.front().empty())
        throw RuntimeError(ErrorNumber::FileNotFound, "");
    const std::string& program = arguments.front();
    if (program == bundled)
        return {program, arguments, GermanSpeakingEnvironment(currentEnvironment()), std::nullopt};
    if (!NeedsWine(program))
        return {program, arguments, std::nullopt, std::nullopt};

    requireExisting(program);
    if (const auto path = PathWindowsCannotOpen(arguments))
        throw RuntimeError::fromOs(ErrorNumber::PathFileAccess, WindowsForbiddenNameText(*path));
    const auto wine = FindOnPath("wine");
    if (!wine)
        throw RuntimeError::fromOs(ErrorNumber::FileNotFound, WineMissingText(program));
    std::vector<std::string> argv{"wine"};
    const std::string prefix = WineDriveMap::currentPrefix();
    const auto windowsArguments = WindowsArguments(arguments, WineDriveMap::read(prefix));
    argv.insert(argv.end(), windowsArguments.begin(), windowsArguments.end());
    return {*wine, std::move(argv), WineEnvironment(currentEnvironment()),
            WineAnsiCodePage(prefix)};
}

std::unique_ptr<RunningProcess>
PosixProcessLauncher::launch(const std::vector<std::string>& arguments,
                             const std::string& /*commandLine*/, bool showWindow)
{
    const SpawnPlan plan = PlanSpawn(arguments, m_bundled);
    OutputPipe pipe = makeOutputPipe();
    const pid_t pid = spawn(plan, pipe.write.get());
    pipe.write.reset(); // only the child writes, so its end shows as end of file
    ProcessOutputView* view = showWindow ? m_console : nullptr;
    if (view)
        view->startOutput();
    if (m_watcher)
        m_watcher->startOutput();
    return std::make_unique<PosixRunningProcess>(pid, std::move(pipe.read), view, m_watcher,
                                                 plan.outputCodePage);
}

ProcessEnd PosixProcessLauncher::fAppControl(RunningProcess& process)
{
    return dynamic_cast<PosixRunningProcess&>(process).waitWithEventsHandled();
}

} // namespace klangdorn
