#include "grblpeer.h"

#include "tty.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

GrblPtyServer::GrblPtyServer() = default;

GrblPtyServer::~GrblPtyServer()
{
    hangup();
}

bool GrblPtyServer::start()
{
    std::string error;
    if (!pty.open(error))
        return false;
    peer.powerUp();
    thread = std::thread(&GrblPtyServer::loop, this);
    return true;
}

void GrblPtyServer::with(const std::function<void(GrblPeer&)>& f)
{
    std::lock_guard<std::mutex> lock(mutex);
    f(peer);
}

void GrblPtyServer::hangup()
{
    stop = true;
    if (thread.joinable())
        thread.join();
    pty.close();
}

// The bytes the client wrote are "on the wire": each reaches the peer one character time (ten
// bit times at the client's baud rate) after the one before, as the UART would take them off
// the line, so a client that sends faster than the line overruns the peer's receive buffer
// exactly as it would overrun the firmware's.
void GrblPtyServer::loop()
{
    using Clock = std::chrono::steady_clock;
    using Us = std::chrono::microseconds;
    auto peerClock = Clock::now();
    std::deque<uint8_t> wire;
    Clock::time_point due = peerClock;  // when the first byte on the wire is through
    Us charTime(87);
    uint8_t buffer[4096];
    std::string pendingOut;
    while (!stop) {
        int timeoutMs = 2;
        if (!wire.empty()) {
            const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
                due - Clock::now());
            timeoutMs = std::max(0, std::min<int>(2, int(wait.count())));
        }
        pollfd p{pty.master(), POLLIN, 0};
        ::poll(&p, 1, timeoutMs);
        ssize_t n = 0;
        if (p.revents & POLLIN)
            n = ::read(pty.master(), buffer, sizeof buffer);
        const auto now = Clock::now();
        std::lock_guard<std::mutex> lock(mutex);
        if (n > 0 && !mute) {
            const int baud = quenta::ttyBaudRate(pty.slave());
            charTime = Us(std::max<int64_t>(1, 10000000LL / (baud > 0 ? baud : 115200)));
            if (wire.empty())
                due = now + charTime;
            wire.insert(wire.end(), buffer, buffer + n);
        }
        if (mute)
            wire.clear();
        while (!wire.empty() && due <= now) {
            const auto step = std::chrono::duration_cast<Us>(due - peerClock);
            peer.advance(step.count());
            peerClock += step;
            const uint8_t byte = wire.front();
            wire.pop_front();
            peer.receive(&byte, 1);
            due += charTime;
        }
        const auto step = std::chrono::duration_cast<Us>(now - peerClock);
        peer.advance(step.count());
        peerClock += step;
        pendingOut += peer.takeOutput();
        if (mute)
            pendingOut.clear();
        if (!pendingOut.empty()) {
            const ssize_t w = ::write(pty.master(), pendingOut.data(), pendingOut.size());
            if (w > 0)
                pendingOut.erase(0, static_cast<size_t>(w));
        }
    }
}

double GrblPtyServer::threadCpuSeconds()
{
    clockid_t clock{};
    timespec t{};
    if (!thread.joinable() || pthread_getcpuclockid(thread.native_handle(), &clock) != 0
        || clock_gettime(clock, &t) != 0)
        return 0.0;
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}
