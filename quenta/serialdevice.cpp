#include "serialdevice.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#if defined(__linux__) && defined(TCGETS2) && !defined(__powerpc__) && !defined(__mips__) \
    && !defined(__sparc__) && !defined(__alpha__)
// The kernel's termios2 (asm-generic layout), which carries any baud rate. It cannot come
// from <asm/termbits.h> because that header clashes with <termios.h>.
struct termios2 {
    unsigned int c_iflag;
    unsigned int c_oflag;
    unsigned int c_cflag;
    unsigned int c_lflag;
    unsigned char c_line;
    unsigned char c_cc[19];
    unsigned int c_ispeed;
    unsigned int c_ospeed;
};
#define KAVRO_HAVE_TERMIOS2 1
constexpr unsigned int kernelBother = 0x00001000;
constexpr unsigned int kernelCbaud = 0x0000100f;
#endif

namespace quenta {

namespace {

struct BaudCode {
    int rate;
    speed_t code;
};

const BaudCode baudCodes[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},
    {150, B150},       {200, B200},       {300, B300},       {600, B600},
    {1200, B1200},     {1800, B1800},     {2400, B2400},     {4800, B4800},
    {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
    {115200, B115200}, {230400, B230400}, {460800, B460800}, {500000, B500000},
    {576000, B576000}, {921600, B921600}, {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

}  // namespace

bool configureRawTty(int fd, int baudRate)
{
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        return false;
    cfmakeraw(&t);
    t.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CSIZE | CRTSCTS);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    const auto standard = std::find_if(std::begin(baudCodes), std::end(baudCodes),
                                       [&](const BaudCode& b) { return b.rate == baudRate; });
    if (standard != std::end(baudCodes)) {
        cfsetispeed(&t, standard->code);
        cfsetospeed(&t, standard->code);
    }
    if (tcsetattr(fd, TCSANOW, &t) != 0)
        return false;
    if (standard != std::end(baudCodes))
        return true;
#ifdef KAVRO_HAVE_TERMIOS2
    termios2 t2{};
    if (ioctl(fd, TCGETS2, &t2) != 0)
        return false;
    t2.c_cflag &= ~kernelCbaud;
    t2.c_cflag |= kernelBother;
    t2.c_cflag &= ~(kernelCbaud << 16);  // input rate follows the output rate
    t2.c_ispeed = static_cast<unsigned int>(baudRate);
    t2.c_ospeed = static_cast<unsigned int>(baudRate);
    return ioctl(fd, TCSETS2, &t2) == 0;
#else
    errno = EINVAL;
    return false;
#endif
}

int ttyBaudRate(int fd)
{
#ifdef KAVRO_HAVE_TERMIOS2
    termios2 t2{};
    if (ioctl(fd, TCGETS2, &t2) == 0 && (t2.c_cflag & kernelCbaud) == kernelBother)
        return static_cast<int>(t2.c_ospeed);
#endif
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        return 0;
    const speed_t code = cfgetospeed(&t);
    for (const BaudCode& b : baudCodes) {
        if (b.code == code)
            return b.rate;
    }
    return 0;
}

SerialDevice::SerialDevice(std::string p) : path(std::move(p)) {}

SerialDevice::~SerialDevice()
{
    shutdown();
}

std::chrono::microseconds SerialDevice::charTime() const
{
    // 8N1: ten bit times per byte.
    return std::chrono::microseconds(10'000'000LL / std::max(50, baud));
}

int SerialDevice::open(OpenMode m, int32_t baudRate, std::string& controllerName)
{
    shutdown();
    mode = m;
    baud = baudRate > 0 ? baudRate : 115200;
    goodbyeSent = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        lost = false;
        woken = false;
        raw = (m == OpenMode::FirmwareUpdate);
        rawWritten = false;
        bytesReceived = 0;
        silentTimeouts = 0;
        lastProbe = Clock::time_point();
        discarded = 0;
        rawIn.clear();
        haveStatus = false;
        statusPending = false;
        awaitedSeq = 0;
        replyReady = false;
    }
    parser.clear();

    fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return 1;
    // Exclusive: a second program (or a second port entry) on the same tty is refused.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || ioctl(fd, TIOCEXCL) != 0
        || !configureRawTty(fd, baud)) {
        ::close(fd);
        fd = -1;
        return 1;
    }
    tcflush(fd, TCIOFLUSH);
    wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0) {
        ::close(fd);
        fd = -1;
        return 1;
    }
    reader = std::thread(&SerialDevice::readerLoop, this);

    if (m == OpenMode::FirmwareUpdate) {
        // Only the raw byte channel: nothing is sent, so the controller stays exactly as it
        // is. Its bootloader runs only if the operator restarts it by hand (Enter+Reset).
        return 0;
    }

    wire::PayloadWriter hello;
    hello.u8(wire::ProtocolVersion);
    hello.raw(controllerName.data(), std::min<size_t>(32, controllerName.size()));
    std::vector<uint8_t> answer;
    bool answered = false;
    for (int attempt = 0; attempt < HelloAttempts && !answered; ++attempt)
        answered = request(wire::Hello, hello.bytes(), &answer, HelloTimeoutMs);
    int code = 0;
    if (!answered) {
        std::lock_guard<std::mutex> lock(mutex);
        code = bytesReceived > 0 ? 2 : 3;
    } else if (answer.size() < 6 || std::memcmp(answer.data(), wire::HelloMagic, 4) != 0
               || answer[4] != wire::ProtocolVersion) {
        code = 2;
    } else if (answer[5] == wire::HelloNameRefused) {
        code = 4;
    } else if (answer[5] != wire::HelloAccepted) {
        code = 2;
    }
    if (code != 0) {
        shutdown();
        return code;
    }
    const auto nameBegin = answer.begin() + 6;
    const auto nameEnd = std::find(nameBegin, answer.end(), uint8_t(0));
    controllerName.assign(nameBegin, nameEnd);

    std::vector<uint8_t> status;
    if (request(wire::GetStatus, {}, &status) && !status.empty() && status[0]) {
        wire::PayloadReader r(status.data() + 1, status.size() - 1);
        StatusReport report;
        if (wire::getStatus(r, report)) {
            std::lock_guard<std::mutex> lock(mutex);
            lastStatus = report;
            haveStatus = true;
        }
    }
    return 0;
}

void SerialDevice::closeTransfer()
{
    if (fd < 0 || mode != OpenMode::Normal || isLost())
        return;
    goodbyeSent = true;
    simple(wire::Goodbye);
}

void SerialDevice::close()
{
    if (fd >= 0 && mode == OpenMode::Normal && !goodbyeSent && !isLost()) {
        // Tell the controller to stop sending status; nobody waits for the answer.
        const std::vector<uint8_t> frame = wire::encodeFrame(nextSeq, wire::Goodbye, {});
        writeAll(frame.data(), frame.size(), Clock::now() + std::chrono::milliseconds(50));
    }
    shutdown();
}

void SerialDevice::shutdown()
{
    if (reader.joinable()) {
        const uint64_t one = 1;
        const ssize_t w = ::write(wakeFd, &one, sizeof one);
        (void)w;
        reader.join();
    }
    if (wakeFd >= 0) {
        ::close(wakeFd);
        wakeFd = -1;
    }
    if (fd >= 0) {
        ::close(fd);  // also releases the flock
        fd = -1;
    }
    std::lock_guard<std::mutex> lock(mutex);
    raw = false;
    rawIn.clear();
    haveStatus = false;
    changed.notify_all();
}

bool SerialDevice::isLost() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return lost;
}

uint64_t SerialDevice::discardedBytes() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return discarded;
}

void SerialDevice::markLost()
{
    std::lock_guard<std::mutex> lock(mutex);
    lost = true;
    statusPending = false;  // a vanished controller reports nothing more
    changed.notify_all();
}

bool SerialDevice::writeAll(const uint8_t* bytes, size_t count, Clock::time_point deadline)
{
    size_t done = 0;
    while (done < count) {
        const ssize_t w = ::write(fd, bytes + done, count - done);
        if (w > 0) {
            done += static_cast<size_t>(w);
            continue;
        }
        if (w < 0 && errno == EINTR)
            continue;
        if (w < 0 && errno != EAGAIN) {
            markLost();
            return false;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        pollfd p{fd, POLLOUT, 0};
        const int r = ::poll(&p, 1, static_cast<int>(left.count()));
        if (r > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) {
            markLost();
            return false;
        }
    }
    return true;
}

void SerialDevice::readerLoop()
{
    uint8_t buffer[4096];
    int emptyReads = 0;
    for (;;) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        const int timeout = parser.hasPartial() ? FrameStallMs : -1;
        const int r = ::poll(fds, 2, timeout);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            markLost();
            return;
        }
        if (fds[1].revents)
            return;
        if (r == 0) {
            // The rest of a frame did not come: drop its start and look again behind it.
            parser.expirePartial();
            wire::Frame frame;
            while (parser.next(frame))
                handleFrame(frame);
            continue;
        }
        if (fds[0].revents & POLLNVAL) {
            markLost();
            return;
        }
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0) {
                emptyReads = 0;
                std::unique_lock<std::mutex> lock(mutex);
                bytesReceived += static_cast<uint64_t>(n);
                silentTimeouts = 0;  // the device speaks: requests wait for replies again
                if (raw) {
                    const size_t room = MaxRawBuffer - std::min(MaxRawBuffer, rawIn.size());
                    rawIn.insert(rawIn.end(), buffer, buffer + std::min<size_t>(room, n));
                    changed.notify_all();
                    continue;
                }
                lock.unlock();
                parser.feed(buffer, static_cast<size_t>(n));
                wire::Frame frame;
                while (parser.next(frame))
                    handleFrame(frame);
                lock.lock();
                discarded = parser.discardedBytes();
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            // A hung-up tty reads as end of file or EIO and polls as POLLHUP for good.
            if (n < 0 || (fds[0].revents & (POLLHUP | POLLERR)) || ++emptyReads > 100) {
                markLost();
                return;
            }
        }
    }
}

void SerialDevice::handleFrame(const wire::Frame& frame)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (frame.cmd == wire::Status && frame.seq == 0) {
        wire::PayloadReader r(frame.payload);
        StatusReport report;
        if (wire::getStatus(r, report)) {
            lastStatus = report;
            haveStatus = true;
            statusPending = true;
            changed.notify_all();
        }
        return;
    }
    if (awaitedSeq != 0 && frame.seq == awaitedSeq
        && ((frame.cmd & wire::ReplyFlag) || frame.cmd == wire::Nak)) {
        reply = frame;
        replyReady = true;
        changed.notify_all();
    }
}

bool SerialDevice::request(uint8_t cmd, const std::vector<uint8_t>& payload,
                           std::vector<uint8_t>* replyPayload, int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    uint8_t seq = 0;
    uint64_t bytesBefore = 0;
    bool silent = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (fd < 0 || lost || raw)
            return false;
        silent = silentTimeouts >= SilentTimeouts;
        if (silent) {
            // Fail at once instead of waiting out another time-out; now and then ask
            // whether the controller is back.
            const auto now = Clock::now();
            if (now - lastProbe < std::chrono::milliseconds(SilentProbeMs))
                return false;
            lastProbe = now;
        }
        seq = nextSeq;
        nextSeq = static_cast<uint8_t>(nextSeq == 255 ? 1 : nextSeq + 1);
        if (!silent) {
            awaitedSeq = seq;
            replyReady = false;
            bytesBefore = bytesReceived;
        }
    }
    if (silent) {
        probe(seq);
        return false;
    }
    const std::vector<uint8_t> frame = wire::encodeFrame(seq, cmd, payload);
    const bool written = !frame.empty() && writeAll(frame.data(), frame.size(), deadline);
    std::unique_lock<std::mutex> lock(mutex);
    if (written)
        changed.wait_until(lock, deadline, [this] { return replyReady || lost; });
    awaitedSeq = 0;
    if (!replyReady) {
        if (!lost && bytesReceived == bytesBefore)
            ++silentTimeouts;
        return false;
    }
    replyReady = false;
    if (reply.cmd != (cmd | wire::ReplyFlag))
        return false;
    if (replyPayload)
        *replyPayload = reply.payload;
    return true;
}

void SerialDevice::probe(uint8_t seq)
{
    // A status request changes nothing on the controller. Its answer arrives when nobody
    // waits for it; like any byte it ends the silence. The write does not wait for room.
    const std::vector<uint8_t> frame = wire::encodeFrame(seq, wire::GetStatus, {});
    writeAll(frame.data(), frame.size(), Clock::now());
}

int SerialDevice::simple(uint8_t cmd, const std::vector<uint8_t>& payload)
{
    std::vector<uint8_t> answer;
    if (!request(cmd, payload, &answer) || answer.empty())
        return 0;
    return answer[0];
}

bool SerialDevice::waitForStatus(std::chrono::milliseconds maxWait)
{
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait_for(lock, maxWait, [this] { return statusPending || woken; });
    if (woken) {
        woken = false;
        return false;
    }
    const bool due = statusPending;
    statusPending = false;
    return due;
}

void SerialDevice::wake()
{
    std::lock_guard<std::mutex> lock(mutex);
    woken = true;
    changed.notify_all();
}

int SerialDevice::getStatus(StatusReport& out)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (fd < 0 || lost || raw || !haveStatus)
        return 0;
    out = lastStatus;
    return 1;
}

int SerialDevice::acknowledgeError()
{
    return simple(wire::AckError);
}

int SerialDevice::emergencyHalt()
{
    return simple(wire::EmergencyHalt);
}

int SerialDevice::emergencyStop()
{
    return simple(wire::EmergencyStop);
}

int SerialDevice::park()
{
    return simple(wire::Park);
}

int SerialDevice::moveSteps(int pair, int32_t speed, uint8_t one, const int32_t* a,
                            const int32_t* b, uint8_t three)
{
    wire::PayloadWriter w;
    w.u8(static_cast<uint8_t>(pair)).i32(speed).u8(one);
    for (int i = 0; i < 6; ++i)
        w.i32(a[i]);
    for (int i = 0; i < 6; ++i)
        w.i32(b[i]);
    w.u8(three);
    return simple(wire::MoveSteps, w.bytes());
}

int SerialDevice::moveMm(int pair, float speed, uint8_t one, const float* a, const float* b,
                         uint8_t three)
{
    wire::PayloadWriter w;
    w.u8(static_cast<uint8_t>(pair)).f32(speed).u8(one);
    for (int i = 0; i < 6; ++i)
        w.f32(a[i]);
    for (int i = 0; i < 6; ++i)
        w.f32(b[i]);
    w.u8(three);
    return simple(wire::MoveMm, w.bytes());
}

int SerialDevice::wait(int32_t ms)
{
    wire::PayloadWriter w;
    w.i32(ms);
    return simple(wire::Wait, w.bytes());
}

int SerialDevice::reference(int32_t a, int32_t b)
{
    wire::PayloadWriter w;
    w.i32(a).i32(b);
    return simple(wire::Reference, w.bytes());
}

int SerialDevice::setZeroSteps(const int32_t v[4])
{
    wire::PayloadWriter w;
    for (int i = 0; i < 4; ++i)
        w.i32(v[i]);
    return simple(wire::ZeroSteps, w.bytes());
}

int SerialDevice::setZeroMm(const float v[4])
{
    wire::PayloadWriter w;
    for (int i = 0; i < 4; ++i)
        w.f32(v[i]);
    return simple(wire::ZeroMm, w.bytes());
}

int SerialDevice::setSpindleCoolant(uint8_t spindle, uint8_t coolant)
{
    wire::PayloadWriter w;
    w.u8(spindle).u8(coolant);
    return simple(wire::SpindleCoolant, w.bytes());
}

int SerialDevice::setOutputs(uint8_t bits)
{
    wire::PayloadWriter w;
    w.u8(bits);
    return simple(wire::Outputs, w.bytes());
}

int SerialDevice::changeMode(uint8_t m)
{
    wire::PayloadWriter w;
    w.u8(m);
    return simple(wire::Mode, w.bytes());
}

int SerialDevice::loadRam(uint8_t ram)
{
    wire::PayloadWriter w;
    w.u8(ram);
    return simple(wire::LoadRam, w.bytes());
}

int SerialDevice::startRam(uint8_t ram, uint8_t count)
{
    wire::PayloadWriter w;
    w.u8(ram).u8(count);
    return simple(wire::StartRam, w.bytes());
}

int SerialDevice::readParameter(uint8_t group, uint8_t index, uint8_t result[16])
{
    wire::PayloadWriter w;
    w.u8(group).u8(index);
    std::vector<uint8_t> answer;
    if (!request(wire::ParamRead, w.bytes(), &answer) || answer.size() != 17 || !answer[0])
        return 0;
    std::memcpy(result, answer.data() + 1, 16);
    return 1;
}

int SerialDevice::setParameter(uint8_t group, uint8_t index, const ParamValue& value)
{
    wire::PayloadWriter w;
    w.u8(group).u8(index);
    wire::putParamValue(w, value);
    return simple(wire::ParamWrite, w.bytes());
}

int SerialDevice::writeBytes(const uint8_t* bytes, int32_t length)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (fd < 0 || lost || !raw || length <= 0)
            return 0;
        if (!rawWritten) {
            // A bootloader only answers: what came before the first byte the host sends is
            // left over from the firmware (a late reply, a status frame) and no answer.
            rawWritten = true;
            rawIn.clear();
        }
    }
    // Allow the bytes twice their time on the line, and never less than 200 ms.
    const auto lineTime = charTime() * length;
    const auto deadline = Clock::now() + std::chrono::milliseconds(200) + 2 * lineTime;
    return writeAll(bytes, static_cast<size_t>(length), deadline) ? length : 0;
}

int SerialDevice::readBytes(uint8_t* bytes, int32_t length)
{
    std::unique_lock<std::mutex> lock(mutex);
    if (fd < 0 || !raw || length <= 0)
        return 0;
    const auto wanted = static_cast<size_t>(length);
    if (rawIn.empty()) {
        if (lost)
            return 0;
        changed.wait_for(lock, std::chrono::milliseconds(1),
                         [this] { return !rawIn.empty() || lost; });
        if (rawIn.empty())
            return 0;
    }
    if (rawIn.size() < wanted && !lost) {
        // A reply is on its way: collect its remaining bytes while they keep coming (a gap
        // of three character times, at least 5 ms, ends it), at most twice their line time
        // plus 10 ms.
        const auto gap = std::max<std::chrono::microseconds>(std::chrono::milliseconds(5),
                                                              3 * charTime());
        const auto limit = Clock::now() + std::chrono::milliseconds(10)
                           + 2 * charTime() * static_cast<int64_t>(wanted - rawIn.size());
        while (rawIn.size() < wanted && !lost) {
            const size_t before = rawIn.size();
            const auto until = std::min(limit, Clock::now() + gap);
            if (!changed.wait_until(lock, until,
                                    [&] { return rawIn.size() > before || lost; }))
                break;
        }
    }
    const size_t n = std::min(wanted, rawIn.size());
    std::copy_n(rawIn.begin(), n, bytes);
    rawIn.erase(rawIn.begin(), rawIn.begin() + static_cast<std::ptrdiff_t>(n));
    return static_cast<int>(n);
}

}  // namespace quenta
