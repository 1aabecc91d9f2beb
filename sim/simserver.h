#pragma once
// Serves one simulated controller on a pseudo-terminal: the wire protocol and bootloader
// through SimLink, real time for the simulator, optional line-rate pacing with absolute
// deadlines, and control commands read from standard input.

#include "pty.h"

#include "simcontroller.h"
#include "simlink.h"
#include "simoptions.h"

#include <chrono>
#include <csignal>
#include <deque>
#include <string>
#include <vector>

class SimServer {
public:
    explicit SimServer(const quenta::SimOptions& options);
    ~SimServer();
    SimServer(const SimServer&) = delete;
    SimServer& operator=(const SimServer&) = delete;

    // Creates the pseudo-terminal (and the symbolic link, if asked). False with a message.
    bool start(std::string& error);
    const std::string& slavePath() const { return pty.slavePath(); }

    // Serves until stop becomes non-zero, "quit" or "hangup" arrives on standard input.
    // waitMask is the signal mask to use while waiting (the stop signals unblocked).
    int run(const volatile sig_atomic_t& stop, const sigset_t* waitMask);

private:
    using Clock = std::chrono::steady_clock;
    struct Chunk {
        Clock::time_point due;
        std::vector<uint8_t> bytes;
    };

    std::chrono::nanoseconds byteTime();
    void readControl();
    void control(const std::string& line);
    void queueOutput(const std::vector<uint8_t>& bytes);
    void sendDue(Clock::time_point now);
    void closePty();

    quenta::SimOptions options;
    quenta::SimController core;
    quenta::SimLink link;
    PseudoTerminal pty;
    bool quit = false;
    bool stdinOpen = true;
    std::string controlBuffer;

    Clock::time_point coreTime = Clock::now();
    Clock::time_point lastInput = Clock::now();
    std::deque<Chunk> received;       // bytes on their way to the controller
    Clock::time_point rxLineFree = Clock::now();
    std::deque<uint8_t> sending;      // bytes on their way to the host
    Clock::time_point txNextDue = Clock::now();
    Clock::time_point txLineFree = Clock::now();
};
