// kavro-sim: serves one simulated controller on a pseudo-terminal and prints its path.

#include "grblpeer.h"
#include "simserver.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

volatile sig_atomic_t stopRequested = 0;

void onStopSignal(int)
{
    stopRequested = 1;
}

void printUsage()
{
    std::printf("Usage: kavro-sim [options]\n"
                "Serves a simulated controller on a pseudo-terminal and prints its path.\n"
                "Map a port of the program to it: ports/COM5=/dev/pts/N in the settings of\n"
                "lumbrix/Quenta (~/.config/lumbrix/Quenta.conf, section [ports]).\n\n"
                "Options:\n%s"
                "  --grbl                        serve a GRBL 1.1 controller instead (map\n"
                "                                COM5=grbl:/dev/pts/N); ends on a signal\n"
                "  --help                        show this text\n\n"
                "Control commands on standard input, one per line: silence, talk,\n"
                "garbage on|off, wrong-crc on|off, no-bootloader on|off,\n"
                "bootloader-silent-after K|off, fail-params N, fail-open N, inputs BITS,\n"
                "general-inputs BITS, status, hangup, quit.\n",
                quenta::simOptionsHelp().c_str());
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    for (const std::string& a : args) {
        if (a == "--help" || a == "-h") {
            printUsage();
            return 0;
        }
    }
    if (std::find(args.begin(), args.end(), "--grbl") != args.end()) {
        std::signal(SIGINT, onStopSignal);
        std::signal(SIGTERM, onStopSignal);
        std::signal(SIGHUP, onStopSignal);
        GrblPtyServer grbl;
        if (!grbl.start()) {
            std::fprintf(stderr, "kavro-sim: no pseudo-terminal for the GRBL peer\n");
            return 1;
        }
        // --link=PATH works here too; the other options belong to the Kavro controller.
        std::string linkPath;
        for (const std::string& a : args) {
            if (a.rfind("--link=", 0) == 0)
                linkPath = a.substr(7);
            else if (a != "--grbl")
                std::fprintf(stderr, "kavro-sim: %s does not apply to --grbl\n", a.c_str());
        }
        if (!linkPath.empty()) {
            ::unlink(linkPath.c_str());
            if (::symlink(grbl.path().c_str(), linkPath.c_str()) != 0) {
                std::fprintf(stderr, "kavro-sim: cannot create the link %s: %s\n",
                             linkPath.c_str(), std::strerror(errno));
                linkPath.clear();
            }
        }
        std::printf("%s\n", grbl.path().c_str());
        std::fflush(stdout);
        while (!stopRequested)
            pause();
        if (!linkPath.empty())
            ::unlink(linkPath.c_str());
        return 0;
    }
    quenta::SimOptions options;
    std::string error;
    if (!quenta::parseSimOptions(args, options, error)) {
        std::fprintf(stderr, "kavro-sim: %s\n", error.c_str());
        return 2;
    }

    // The stop signals stay blocked except while the server waits, so none is missed.
    std::signal(SIGPIPE, SIG_IGN);
    struct sigaction sa = {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    sigset_t blocked;
    sigset_t waitMask;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGINT);
    sigaddset(&blocked, SIGTERM);
    sigaddset(&blocked, SIGHUP);
    sigprocmask(SIG_BLOCK, &blocked, &waitMask);

    SimServer server(options);
    if (!server.start(error)) {
        std::fprintf(stderr, "kavro-sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", server.slavePath().c_str());
    std::fflush(stdout);
    return server.run(stopRequested, &waitMask);
}
