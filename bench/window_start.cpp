// SPDX-License-Identifier: GPL-3.0-or-later
// Times one program's start from exec to its first top-level window being mapped, on the X
// display of $DISPLAY (run a window manager there: the frame's map is what the user sees).
// Prints the milliseconds on standard output, and the processor time the program had used by
// then (all its threads; steadier than the wall clock on a busy machine), then ends it.
//
//   bench_window_start program [arguments...]
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

namespace
{

struct XcbDisconnect {
    void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};
using Connection = std::unique_ptr<xcb_connection_t, XcbDisconnect>;

struct FreeEvent {
    void operator()(xcb_generic_event_t* event) const { std::free(event); }
};
using Event = std::unique_ptr<xcb_generic_event_t, FreeEvent>;

// The processor time a process has used, in milliseconds: all its threads, ended ones too.
double processorMilliseconds(pid_t process)
{
    clockid_t clock{};
    timespec used{};
    if (clock_getcpuclockid(process, &clock) != 0 || clock_gettime(clock, &used) != 0)
        return -1;
    return static_cast<double>(used.tv_sec) * 1e3 + static_cast<double>(used.tv_nsec) / 1e6;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_window_start program [arguments...]\n");
        return 2;
    }
    const Connection connection(xcb_connect(nullptr, nullptr));
    if (xcb_connection_has_error(connection.get())) {
        std::fprintf(stderr, "bench_window_start: no X display\n");
        return 2;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection.get())).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection.get(), screen->root, XCB_CW_EVENT_MASK, &mask);
    std::free(xcb_get_input_focus_reply(connection.get(), xcb_get_input_focus(connection.get()),
                                        nullptr));

    const auto started = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[1], argv + 1);
        _exit(127);
    }
    double milliseconds = -1;
    double processor = -1;
    while (const Event event{xcb_wait_for_event(connection.get())}) {
        if ((event->response_type & 0x7f) != XCB_MAP_NOTIFY)
            continue;
        const auto* map = reinterpret_cast<const xcb_map_notify_event_t*>(event.get());
        if (map->override_redirect)
            continue;
        milliseconds =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
                .count();
        processor = processorMilliseconds(child);
        break;
    }
    kill(child, SIGTERM);
    int status = 0;
    waitpid(child, &status, 0);
    if (milliseconds < 0)
        return 1;
    std::printf("%.1f %.1f\n", milliseconds, processor);
    return 0;
}
