#include "simserver.h"

#include "tty.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace {

constexpr size_t MaxQueued = 16u << 20;  // bytes kept for a peer that does not read
constexpr auto StallTime = std::chrono::milliseconds(30);

bool parseNumber(const std::string& text, long lo, long hi, long& out)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, 0);
    if (errno || *end || v < lo || v > hi)
        return false;
    out = v;
    return true;
}

}  // namespace

SimServer::SimServer(const quenta::SimOptions& o) : options(o), link(core)
{
    core.faults() = options.faults;
    if (!options.name.empty())
        core.setName(options.name);
}

SimServer::~SimServer()
{
    closePty();
    if (!options.link.empty())
        ::unlink(options.link.c_str());
}

bool SimServer::start(std::string& error)
{
    if (!pty.open(error))
        return false;
    const char* const name = pty.slavePath().c_str();
    if (options.faults.openFailure == 1 && flock(pty.slave(), LOCK_EX | LOCK_NB) != 0) {
        error = std::string("cannot lock ") + name + ": " + std::strerror(errno);
        return false;
    }
    if (!options.link.empty()) {
        ::unlink(options.link.c_str());
        if (::symlink(name, options.link.c_str()) != 0) {
            error = "cannot create the link " + options.link + ": " + std::strerror(errno);
            options.link.clear();
            return false;
        }
    }
    return true;
}

void SimServer::closePty()
{
    pty.close();
}

std::chrono::nanoseconds SimServer::byteTime()
{
    int baud = options.paceBaud;
    if (baud < 0)
        baud = quenta::ttyBaudRate(pty.slave());
    if (baud <= 0)
        return std::chrono::nanoseconds(0);
    return std::chrono::nanoseconds(10'000'000'000LL / baud);  // 8N1: ten bits a byte
}

void SimServer::queueOutput(const std::vector<uint8_t>& bytes)
{
    if (bytes.empty())
        return;
    if (sending.size() + bytes.size() > MaxQueued)
        return;  // nobody reads: what the controller sends is lost on the line
    if (sending.empty())
        txNextDue = std::max(txLineFree, Clock::now()) + byteTime();
    sending.insert(sending.end(), bytes.begin(), bytes.end());
}

void SimServer::sendDue(Clock::time_point now)
{
    if (sending.empty() || pty.master() < 0)
        return;
    const auto bt = byteTime();
    size_t n = sending.size();
    if (bt.count() > 0) {
        // Byte i of the queue completes its way over the line at txNextDue + i * bt.
        if (now < txNextDue)
            return;
        n = std::min(n, static_cast<size_t>((now - txNextDue) / bt) + 1);
    }
    std::vector<uint8_t> bytes(sending.begin(), sending.begin() + static_cast<std::ptrdiff_t>(n));
    const ssize_t w = ::write(pty.master(), bytes.data(), bytes.size());
    size_t sent = w > 0 ? static_cast<size_t>(w) : 0;
    if (bt.count() > 0) {
        // A paced line does not wait for its receiver: what does not fit is lost.
        sent = n;
        txLineFree = txNextDue + bt * static_cast<int64_t>(n - 1);
        txNextDue = txLineFree + bt;
    }
    sending.erase(sending.begin(), sending.begin() + static_cast<std::ptrdiff_t>(sent));
}

void SimServer::readControl()
{
    char buffer[512];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
        stdinOpen = false;  // keep serving: kavro-sim may run in the background
        return;
    }
    if (n < 0)
        return;
    controlBuffer.append(buffer, static_cast<size_t>(n));
    size_t pos = 0;
    while ((pos = controlBuffer.find('\n')) != std::string::npos) {
        const std::string line = controlBuffer.substr(0, pos);
        controlBuffer.erase(0, pos + 1);
        control(line);
    }
    if (controlBuffer.size() > 4096)
        controlBuffer.clear();
}

void SimServer::control(const std::string& rawLine)
{
    std::istringstream in(rawLine);
    std::string cmd;
    std::string arg;
    in >> cmd >> arg;
    if (cmd.empty())
        return;
    quenta::SimFaults& f = core.faults();
    long v = 0;
    const bool on = arg != "off" && arg != "0";
    bool ok = true;
    if (cmd == "silence") {
        f.silent = true;
    } else if (cmd == "talk") {
        f.silent = false;
        f.silenceAfterMs = -1;
    } else if (cmd == "garbage") {
        f.garbage = on;
    } else if (cmd == "wrong-crc") {
        f.wrongCrc = on;
    } else if (cmd == "no-bootloader") {
        f.noBootloader = on;
    } else if (cmd == "bootloader-silent-after") {
        ok = arg == "off" || parseNumber(arg, 0, 1000000, v);
        if (ok)
            f.bootloaderSilentAfterBlock = arg == "off" ? -1 : static_cast<int>(v);
    } else if (cmd == "fail-params") {
        ok = parseNumber(arg, -1, 1000000, v);
        if (ok)
            f.failParameterCalls = static_cast<int>(v);
    } else if (cmd == "fail-open") {
        ok = parseNumber(arg, 0, 4, v) && v != 1;
        if (ok)
            f.openFailure = static_cast<int>(v);
    } else if (cmd == "inputs") {
        ok = parseNumber(arg, 0, 255, v);
        if (ok)
            core.setSwitchInputs(static_cast<uint8_t>(v));
    } else if (cmd == "general-inputs") {
        ok = parseNumber(arg, 0, 255, v);
        if (ok)
            core.setGeneralInputs(static_cast<uint8_t>(v));
    } else if (cmd == "status") {
        const quenta::StatusReport r = core.status();
        std::printf("status mode=%d pos=%d,%d,%d,%d inputs=0x%02x flags=0x%02x fill=%d "
                    "outputs=0x%02x error=0x%02x connected=%d bootloader=%d blocks=%d "
                    "crc=%08x requests=%llu discarded=%llu baud=%d ram=%d,%d,%d,%d\n",
                    r.firstValue, r.pos[0], r.pos[1], r.pos[2], r.pos[3], r.inputs, r.flags,
                    r.bufferFill, r.generalOutputs, r.errorCode, core.isConnected() ? 1 : 0,
                    core.inBootloader() ? 1 : 0, core.receivedBlocks(), core.receivedCrc(),
                    static_cast<unsigned long long>(link.requestsHandled()),
                    static_cast<unsigned long long>(link.discardedBytes()),
                    quenta::ttyBaudRate(pty.slave()), core.ramLength(1), core.ramLength(2),
                    core.ramLength(3), core.ramLength(4));
        std::fflush(stdout);
        return;
    } else if (cmd == "hangup" || cmd == "quit") {
        quit = true;
    } else {
        std::printf("error unknown command: %s\n", cmd.c_str());
        std::fflush(stdout);
        return;
    }
    if (ok)
        std::printf("ok %s\n", cmd.c_str());
    else
        std::printf("error bad value for %s: %s\n", cmd.c_str(), arg.c_str());
    std::fflush(stdout);
}

int SimServer::run(const volatile sig_atomic_t& stop, const sigset_t* waitMask)
{
    const int flags = fcntl(STDIN_FILENO, F_GETFL);
    if (flags >= 0)
        fcntl(STDIN_FILENO, F_SETFL, flags | O_NONBLOCK);
    std::vector<uint8_t> buffer(65536);
    while (!stop && !quit) {
        auto now = Clock::now();
        const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(now - coreTime);
        core.advanceUs(elapsed.count());
        coreTime += elapsed;

        while (!received.empty() && received.front().due <= now) {
            link.receive(received.front().bytes.data(), received.front().bytes.size());
            received.pop_front();
            lastInput = now;
        }
        if (link.hasStalledInput() && now - lastInput >= StallTime) {
            link.expireStalled();
            lastInput = now;
        }
        link.poll();
        if (link.takeRestart())
            sending.clear();
        queueOutput(link.takeOutput());
        sendDue(now);

        // Sleep until the next thing to do.
        auto wake = now + std::chrono::microseconds(core.usUntilStatusCheck());
        if (!received.empty())
            wake = std::min(wake, received.front().due);
        if (link.hasStalledInput())
            wake = std::min(wake, lastInput + StallTime);
        const bool paced = byteTime().count() > 0;
        if (!sending.empty() && paced) {
            // Send in batches of about a millisecond, the last byte exactly on time.
            const auto lastDue = txNextDue + byteTime() * static_cast<int64_t>(sending.size() - 1);
            const auto batch = std::max(txNextDue, now + std::chrono::milliseconds(1));
            wake = std::min(wake, std::min(lastDue, batch));
        }
        pollfd fds[2] = {{pty.master(), POLLIN, 0}, {stdinOpen ? STDIN_FILENO : -1, POLLIN, 0}};
        if (!sending.empty() && !paced)
            fds[0].events |= POLLOUT;
        const auto wait = std::max(Clock::duration::zero(), wake - Clock::now());
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
        const timespec ts{static_cast<time_t>(ns / 1'000'000'000),
                          static_cast<long>(ns % 1'000'000'000)};
        const int r = ppoll(fds, 2, &ts, waitMask);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            std::perror("kavro-sim: ppoll");
            return 1;
        }
        now = Clock::now();
        if (fds[0].revents & POLLIN) {
            const ssize_t n = ::read(pty.master(), buffer.data(), buffer.size());
            if (n > 0) {
                Chunk chunk;
                chunk.bytes.assign(buffer.begin(), buffer.begin() + n);
                chunk.due = now;
                const auto bt = byteTime();
                if (bt.count() > 0) {
                    // The bytes reach the controller when their last one is through the line.
                    chunk.due = std::max(rxLineFree, now) + bt * static_cast<int64_t>(n);
                    rxLineFree = chunk.due;
                }
                size_t queued = 0;
                for (const Chunk& c : received)
                    queued += c.bytes.size();
                if (queued + chunk.bytes.size() <= MaxQueued)
                    received.push_back(std::move(chunk));
            }
        } else if (fds[0].revents & (POLLHUP | POLLERR)) {
            // Should not happen while the slave side is held open; avoid a busy loop anyway.
            ::usleep(10000);
        }
        if (fds[1].revents)
            readControl();
    }
    closePty();
    return 0;
}
