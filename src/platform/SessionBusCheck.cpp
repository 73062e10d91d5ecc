// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SessionBusCheck.h"

#include "common/UniqueFd.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace klangdorn
{

namespace
{

using Clock = std::chrono::steady_clock;

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// An address value with its %XX escapes undone; nothing for a broken escape.
std::optional<std::string> unescaped(std::string_view value)
{
    std::string plain;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '%') {
            plain += value[i];
            continue;
        }
        const int high = i + 1 < value.size() ? hexDigit(value[i + 1]) : -1;
        const int low = i + 2 < value.size() ? hexDigit(value[i + 2]) : -1;
        if (high < 0 || low < 0)
            return std::nullopt;
        plain += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return plain;
}

// The socket of one "unix:key=value,..." entry.
std::optional<std::string> socketOfEntry(std::string_view entry)
{
    constexpr std::string_view Unix = "unix:";
    if (entry.substr(0, Unix.size()) != Unix)
        return std::nullopt;
    entry.remove_prefix(Unix.size());
    while (!entry.empty()) {
        const auto comma = entry.find(',');
        const std::string_view pair = entry.substr(0, comma);
        entry = comma == std::string_view::npos ? std::string_view{} : entry.substr(comma + 1);
        const auto equals = pair.find('=');
        if (equals == std::string_view::npos)
            continue;
        const std::string_view key = pair.substr(0, equals);
        const auto value = unescaped(pair.substr(equals + 1));
        if (!value || value->empty())
            continue;
        if (key == "path")
            return value;
        if (key == "abstract")
            return std::string(1, '\0') + *value;
    }
    return std::nullopt;
}

std::chrono::milliseconds left(Clock::time_point deadline)
{
    return std::max(std::chrono::milliseconds(0),
                    std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()));
}

bool waitFor(int fd, short events, Clock::time_point deadline)
{
    pollfd watched{fd, events, 0};
    int ready = 0;
    do
        ready = ::poll(&watched, 1, static_cast<int>(left(deadline).count()));
    while (ready < 0 && errno == EINTR);
    return ready > 0 && (watched.revents & events);
}

bool sendAll(int fd, std::string_view bytes, Clock::time_point deadline)
{
    while (!bytes.empty()) {
        if (!waitFor(fd, POLLOUT, deadline))
            return false;
        const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        if (sent > 0)
            bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

// Reads until a line end, or at least one byte when `line` is false. False on silence or a
// closed connection.
bool receiveReply(int fd, bool line, Clock::time_point deadline, std::string& reply)
{
    char buffer[256];
    while (line ? reply.find("\r\n") == std::string::npos : reply.empty()) {
        if (!waitFor(fd, POLLIN, deadline))
            return false;
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR))
            return false;
        if (got > 0)
            reply.append(buffer, static_cast<std::size_t>(got));
    }
    return true;
}

// The call every client starts with: org.freedesktop.DBus.Hello, little-endian, no body.
std::string helloCall()
{
    std::string bytes = {'l', 1, 0, 1};
    const auto put32 = [&](std::uint32_t value) {
        while (bytes.size() % 4)
            bytes += '\0';
        for (int shift = 0; shift < 32; shift += 8)
            bytes += static_cast<char>((value >> shift) & 0xff);
    };
    put32(0); // body length
    put32(1); // serial
    put32(0); // header fields' length, filled in below
    const std::size_t fieldsStart = 16;
    const auto field = [&](char code, char type, std::string_view value) {
        while (bytes.size() % 8)
            bytes += '\0';
        bytes += code;
        bytes += '\1';
        bytes += type;
        bytes += '\0';
        put32(static_cast<std::uint32_t>(value.size()));
        bytes += value;
        bytes += '\0';
    };
    field(1, 'o', "/org/freedesktop/DBus");
    field(2, 's', "org.freedesktop.DBus");
    field(3, 's', "Hello");
    field(6, 's', "org.freedesktop.DBus");
    const auto fieldsLength = static_cast<std::uint32_t>(bytes.size() - fieldsStart);
    for (int i = 0; i < 4; ++i)
        bytes[12 + i] = static_cast<char>((fieldsLength >> (8 * i)) & 0xff);
    while (bytes.size() % 8)
        bytes += '\0';
    return bytes;
}

std::string authenticationLine()
{
    std::string line("\0AUTH EXTERNAL ", 15);
    constexpr char Hex[] = "0123456789abcdef";
    for (const char c : std::to_string(::getuid())) {
        line += Hex[static_cast<unsigned char>(c) >> 4];
        line += Hex[static_cast<unsigned char>(c) & 0xf];
    }
    return line + "\r\n";
}

BusAnswer greet(int fd, Clock::time_point deadline)
{
    std::string reply;
    if (!sendAll(fd, authenticationLine(), deadline) || !receiveReply(fd, true, deadline, reply))
        return BusAnswer::Silent;
    // A bus that refuses this way of signing in has still answered: Qt tries others.
    if (reply.rfind("OK ", 0) != 0)
        return BusAnswer::Answers;
    reply.clear();
    if (!sendAll(fd, "BEGIN\r\n" + helloCall(), deadline) ||
        !receiveReply(fd, false, deadline, reply))
        return BusAnswer::Silent;
    return BusAnswer::Answers;
}

} // namespace

std::optional<std::string> BusSocketOf(std::string_view address)
{
    while (!address.empty()) {
        const auto semicolon = address.find(';');
        if (auto socket = socketOfEntry(address.substr(0, semicolon)))
            return socket;
        address = semicolon == std::string_view::npos ? std::string_view{}
                                                      : address.substr(semicolon + 1);
    }
    return std::nullopt;
}

BusAnswer AskBus(const std::string& socket, std::chrono::milliseconds limit)
{
    const auto deadline = Clock::now() + limit;
    sockaddr_un where{};
    where.sun_family = AF_UNIX;
    if (socket.size() >= sizeof where.sun_path)
        return BusAnswer::Absent;
    std::memcpy(where.sun_path, socket.data(), socket.size());
    const UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd)
        return BusAnswer::Absent;
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + socket.size() +
                                               (socket.front() == '\0' ? 0 : 1));
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&where), length) != 0) {
        // A full queue of connections waiting to be taken: the bus takes none.
        if (errno == EAGAIN || errno == EINPROGRESS)
            return BusAnswer::Silent;
        return BusAnswer::Absent;
    }
    return greet(fd.get(), deadline);
}

std::optional<std::string> SessionBusAddress()
{
    if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address && *address)
        return std::string(address);
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || !*runtime)
        return std::nullopt;
    const std::string socket = std::string(runtime) + "/bus";
    struct stat status {
    };
    if (::stat(socket.c_str(), &status) != 0 || !S_ISSOCK(status.st_mode))
        return std::nullopt;
    return "unix:path=" + socket;
}

bool OnlyStartsADaemon(std::string_view address)
{
    constexpr std::string_view Autolaunch = "autolaunch:";
    bool any = false;
    while (!address.empty()) {
        const auto semicolon = address.find(';');
        const std::string_view entry = address.substr(0, semicolon);
        if (!entry.empty()) {
            if (entry.substr(0, Autolaunch.size()) != Autolaunch)
                return false;
            any = true;
        }
        address = semicolon == std::string_view::npos ? std::string_view{}
                                                      : address.substr(semicolon + 1);
    }
    return any;
}

BusAnswer SettleSessionBus(std::chrono::milliseconds limit)
{
    std::optional<std::string> address = SessionBusAddress();
    if (address && OnlyStartsADaemon(*address))
        address.reset();
    const std::optional<std::string> socket =
        address ? BusSocketOf(*address) : std::optional<std::string>();
    const BusAnswer answer = !address  ? BusAnswer::Absent
                             : !socket ? BusAnswer::Unchecked
                                       : AskBus(*socket, limit);
    // Without an address the bus library would start a daemon of its own (dbus-launch
    // --autolaunch), which outlives the window.
    if (answer == BusAnswer::Silent || answer == BusAnswer::Absent)
        ::setenv("DBUS_SESSION_BUS_ADDRESS", NoBusAddress, 1);
    else if (!std::getenv("DBUS_SESSION_BUS_ADDRESS"))
        ::setenv("DBUS_SESSION_BUS_ADDRESS", address->c_str(), 1);
    return answer;
}

std::string SilentBusText(std::string_view program)
{
    return std::string(program) +
           ": Der Sitzungsbus (D-Bus) antwortet nicht; das Programm arbeitet ohne ihn, also "
           "ohne Fortschritt in der Taskleiste und ohne Benachrichtigungen. Abhilfe: die "
           "Sitzung neu anmelden oder DBUS_SESSION_BUS_ADDRESS prüfen.\n";
}

} // namespace klangdorn
