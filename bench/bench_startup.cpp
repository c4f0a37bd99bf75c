// Start-up of the program on the X server: from the moment its process is started to the
// moment its window is mapped, that is shown, and the peak resident memory once it is up.
// The program is watched from outside, through the X server, so it runs exactly as installed.
#include "bench/benchreport.h"
#include "bench/benchstats.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>
#include <xcb/xcb.h>

extern char **environ;

namespace
{

constexpr int kWarmUps = 1;
constexpr int kRuns = 9;
constexpr double kShowTimeoutSeconds = 20.0;
constexpr double kSettleSeconds = 1.0; // after the window is shown, before memory is read

struct FreeDeleter {
    void operator()(void *p) const { std::free(p); }
};

xcb_atom_t internAtom(xcb_connection_t *connection, const char *name)
{
    const std::unique_ptr<xcb_intern_atom_reply_t, FreeDeleter> reply(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, std::uint16_t(std::strlen(name)), name),
        nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// The process id that the window's owner announces in _NET_WM_PID.
std::optional<pid_t> windowPid(xcb_connection_t *connection, xcb_window_t window,
                               xcb_atom_t pidAtom)
{
    const std::unique_ptr<xcb_get_property_reply_t, FreeDeleter> reply(xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window, pidAtom, XCB_ATOM_CARDINAL, 0, 1),
        nullptr));
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) != 4)
        return std::nullopt;
    return pid_t(*static_cast<const std::uint32_t *>(xcb_get_property_value(reply.get())));
}

// VmHWM of /proc/PID/status in kB, -1 when it cannot be read.
long peakResidentKb(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

struct Launch {
    double shownMs = -1;
    long peakKb = -1;
    std::string error;
};

// The environment of this process with the given variables replaced.
std::vector<std::string> environmentWith(const std::vector<std::string> &replacements)
{
    std::vector<std::string> result;
    for (char **entry = environ; *entry; ++entry) {
        const std::string text(*entry);
        bool replaced = false;
        for (const std::string &r : replacements)
            replaced = replaced || text.rfind(r.substr(0, r.find('=') + 1), 0) == 0;
        if (!replaced)
            result.push_back(text);
    }
    result.insert(result.end(), replacements.begin(), replacements.end());
    return result;
}

Launch launchOnce(xcb_connection_t *connection, xcb_atom_t pidAtom, const std::string &program)
{
    Launch launch;
    char configTemplate[] = "/tmp/wirelark-bench-XXXXXX";
    if (!mkdtemp(configTemplate)) {
        launch.error = std::string("no temporary directory: ") + std::strerror(errno);
        return launch;
    }
    const std::string configHome(configTemplate);
    std::vector<std::string> env =
        environmentWith({"XDG_CONFIG_HOME=" + configHome, "QT_QPA_PLATFORM=xcb"});
    std::vector<char *> envp;
    for (std::string &e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string programCopy = program;
    char *argv[] = {programCopy.data(), nullptr};

    while (xcb_generic_event_t *stale = xcb_poll_for_event(connection))
        std::free(stale);

    const double start = bench::monotonicSeconds();
    pid_t pid = 0;
    if (const int error = posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, envp.data())) {
        launch.error = "cannot start " + program + ": " + std::strerror(error);
        std::filesystem::remove_all(configHome);
        return launch;
    }

    const int fd = xcb_get_file_descriptor(connection);
    bool exited = false;
    while (launch.shownMs < 0 && launch.error.empty()) {
        while (xcb_generic_event_t *event = xcb_poll_for_event(connection)) {
            const double now = bench::monotonicSeconds();
            if ((event->response_type & 0x7F) == XCB_MAP_NOTIFY && launch.shownMs < 0) {
                const auto *map = reinterpret_cast<xcb_map_notify_event_t *>(event);
                if (windowPid(connection, map->window, pidAtom) == pid)
                    launch.shownMs = (now - start) * 1000.0;
            }
            std::free(event);
        }
        if (launch.shownMs >= 0)
            break;
        if (xcb_connection_has_error(connection)) {
            launch.error = "the connection to the X server failed";
        } else if (waitpid(pid, nullptr, WNOHANG) == pid) {
            exited = true;
            launch.error = "the program ended before its window was shown";
        } else if (bench::monotonicSeconds() - start > kShowTimeoutSeconds) {
            launch.error = "no window after 20 s";
        } else {
            pollfd readable{fd, POLLIN, 0};
            poll(&readable, 1, 20);
        }
    }

    if (!exited) {
        if (launch.shownMs >= 0) {
            usleep(useconds_t(kSettleSeconds * 1e6));
            launch.peakKb = peakResidentKb(pid);
        }
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
    std::filesystem::remove_all(configHome);
    return launch;
}

void printMissed(const std::string &why)
{
    bench::printRow({"start-up", "not measured: " + why, "-", "-", "-", bench::Verdict::Missed});
}

} // namespace

int main(int argc, char *argv[])
{
    const std::string program = argc > 1 ? argv[1] : WIRELARK_APP_PATH;
    int screenNumber = 0;
    xcb_connection_t *connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection)) {
        printMissed("no X server (DISPLAY)");
        return 1;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber; ++i)
        xcb_screen_next(&screens);
    // A top-level window is mapped as a child of the root window; with no window manager the
    // map is the moment it becomes visible.
    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection, screens.data->root, XCB_CW_EVENT_MASK, &mask);
    const xcb_atom_t pidAtom = internAtom(connection, "_NET_WM_PID");
    xcb_flush(connection);

    std::vector<double> shown;
    std::vector<double> peakMb;
    for (int run = 0; run < kWarmUps + kRuns; ++run) {
        const Launch launch = launchOnce(connection, pidAtom, program);
        if (!launch.error.empty()) {
            printMissed(launch.error);
            xcb_disconnect(connection);
            return 1;
        }
        std::fprintf(stderr, "start-up run %d: shown after %.1f ms, VmHWM %ld kB%s\n", run,
                     launch.shownMs, launch.peakKb, run < kWarmUps ? " (warm-up)" : "");
        if (run < kWarmUps)
            continue;
        shown.push_back(launch.shownMs);
        peakMb.push_back(double(launch.peakKb) * 1024.0 / 1e6);
    }
    xcb_disconnect(connection);

    const double medianShown = bench::median(shown);
    bench::printRow(
        {"start-up: process start to window shown, Xvfb (median of " + std::to_string(kRuns) + ")",
         bench::fixed(medianShown, 0, "ms") + " (" + bench::fixed(bench::minimum(shown), 0) +
             " to " + bench::fixed(bench::maximum(shown), 0) + ")",
         "-", "-", "<= 300 ms", bench::verdictOf(medianShown <= 300)});
    const double peak = bench::maximum(peakMb);
    bench::printRow(
        {"start-up: peak resident memory (VmHWM, highest of " + std::to_string(kRuns) + ")",
         bench::fixed(peak, 1, "MB"), "-", "-", "<= 80 MB",
         bench::verdictOf(peak > 0 && peak <= 80)});
    return 0;
}
