// Start-up probe: runs a program and reports, at the moment its first top-level window is
// mapped on the X display, the wall time since the program was started, the CPU time the
// program has used so far and its resident memory. Then it ends the program (SIGTERM).
//   bench_mapwait <program> [arguments...]
// prints one line: "<wall ms> <cpu ms> <resident KiB>". Needs DISPLAY (e.g. Xvfb, no window
// manager: a top-level window is then mapped straight on the root window).

#include <xcb/xcb.h>

#include <csignal>
#include <dirent.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

double nowMs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

long residentKiB(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

// CPU time of the whole process (every thread's run time from the scheduler, in
// nanoseconds, so far finer than the clock ticks of /proc/<pid>/stat), in milliseconds.
double cpuMs(pid_t pid)
{
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    double total = 0;
    if (DIR* const dir = opendir(tasks.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            if (entry->d_name[0] == '.')
                continue;
            std::ifstream schedstat(tasks + "/" + entry->d_name + "/schedstat");
            double ns = 0;
            if (schedstat >> ns)
                total += ns;
        }
        closedir(dir);
    }
    return total / 1e6;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_mapwait <program> [arguments...]\n");
        return 2;
    }
    xcb_connection_t* const connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "bench_mapwait: cannot open the display\n");
        return 2;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_void_cookie_t cookie =
        xcb_change_window_attributes_checked(connection, root, XCB_CW_EVENT_MASK, &mask);
    if (xcb_generic_error_t* error = xcb_request_check(connection, cookie)) {
        std::free(error);
        std::fprintf(stderr, "bench_mapwait: cannot watch the root window\n");
        return 2;
    }

    const double start = nowMs();
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[1], argv + 1);
        std::perror("bench_mapwait: exec");
        _exit(127);
    }
    double wall = -1, cpu = -1;
    long rss = -1;
    while (xcb_generic_event_t* event = xcb_wait_for_event(connection)) {
        const bool mapped = (event->response_type & 0x7f) == XCB_MAP_NOTIFY
            && !reinterpret_cast<xcb_map_notify_event_t*>(event)->override_redirect;
        std::free(event);
        if (mapped) {
            wall = nowMs() - start;
            cpu = cpuMs(child);
            rss = residentKiB(child);
            break;
        }
    }
    kill(child, SIGTERM);
    int status = 0;
    waitpid(child, &status, 0);
    xcb_disconnect(connection);
    if (wall < 0)
        return 1;
    std::printf("%.1f %.1f %ld\n", wall, cpu, rss);
    return 0;
}
