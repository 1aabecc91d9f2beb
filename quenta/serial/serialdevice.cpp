#include "serialdevice.h"

#include <algorithm>
#include <cstring>

namespace quenta {

SerialDevice::SerialDevice(std::string p) : path(std::move(p)) {}

SerialDevice::~SerialDevice()
{
    shutdown();
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

    if (!tty.open(path, baud))
        return 1;

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
    if (!tty.isOpen() || mode != OpenMode::Normal || isLost())
        return;
    goodbyeSent = true;
    simple(wire::Goodbye);
}

void SerialDevice::close()
{
    if (tty.isOpen() && mode == OpenMode::Normal && !goodbyeSent && !isLost()) {
        // Tell the controller to stop sending status; nobody waits for the answer.
        const std::vector<uint8_t> frame = wire::encodeFrame(nextSeq, wire::Goodbye, {});
        writeAll(frame.data(), frame.size(), Clock::now() + std::chrono::milliseconds(50));
    }
    shutdown();
}

void SerialDevice::shutdown()
{
    tty.close();
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
    return tty.write(bytes, count, deadline);
}

void SerialDevice::ttyData(const uint8_t* data, size_t count)
{
    std::unique_lock<std::mutex> lock(mutex);
    bytesReceived += count;
    silentTimeouts = 0;  // the device speaks: requests wait for replies again
    if (raw) {
        const size_t room = MaxRawBuffer - std::min(MaxRawBuffer, rawIn.size());
        rawIn.insert(rawIn.end(), data, data + std::min(room, count));
        changed.notify_all();
        return;
    }
    lock.unlock();
    parser.feed(data, count);
    wire::Frame frame;
    while (parser.next(frame))
        handleFrame(frame);
    lock.lock();
    discarded = parser.discardedBytes();
}

int SerialDevice::ttyIdleTimeoutMs()
{
    return parser.hasPartial() ? FrameStallMs : -1;
}

void SerialDevice::ttyIdle()
{
    // The rest of a frame did not come: drop its start and look again behind it.
    parser.expirePartial();
    wire::Frame frame;
    while (parser.next(frame))
        handleFrame(frame);
}

void SerialDevice::ttyLost()
{
    markLost();
}

void SerialDevice::handleFrame(const wire::Frame& frame)
{
    std::unique_lock<std::mutex> lock(mutex);
    if (frame.cmd == wire::Status && frame.seq == 0) {
        wire::PayloadReader r(frame.payload);
        StatusReport report;
        if (wire::getStatus(r, report)) {
            lastStatus = report;
            haveStatus = true;
            if (notifier) {
                // Straight from the reader thread: no other thread needs to wake up.
                const std::function<void()> notify = notifier;
                lock.unlock();
                notify();
                return;
            }
            statusPending = true;  // passed on when the library sets its notifier
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
        if (!tty.isOpen() || lost || raw)
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

void SerialDevice::setStatusNotifier(std::function<void()> notify)
{
    std::unique_lock<std::mutex> lock(mutex);
    notifier = std::move(notify);
    // A report that came between the open and now is passed on at once.
    if (!notifier || !statusPending)
        return;
    statusPending = false;
    const std::function<void()> pending = notifier;
    lock.unlock();
    pending();
}

int SerialDevice::getStatus(StatusReport& out)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (!tty.isOpen() || lost || raw || !haveStatus)
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

int SerialDevice::moveLinearMm(const float target[4], float feed)
{
    wire::PayloadWriter w;
    wire::putLinearMove(w, target, feed);
    return simple(wire::MoveLinear, w.bytes());
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
        if (!tty.isOpen() || lost || !raw || length <= 0)
            return 0;
        if (!rawWritten) {
            // A bootloader only answers: what came before the first byte the host sends is
            // left over from the firmware (a late reply, a status frame) and no answer.
            rawWritten = true;
            rawIn.clear();
        }
    }
    // Allow the bytes twice their time on the line, and never less than 200 ms.
    const auto lineTime = tty.charTime() * length;
    const auto deadline = Clock::now() + std::chrono::milliseconds(200) + 2 * lineTime;
    return writeAll(bytes, static_cast<size_t>(length), deadline) ? length : 0;
}

int SerialDevice::readBytes(uint8_t* bytes, int32_t length)
{
    std::unique_lock<std::mutex> lock(mutex);
    if (!tty.isOpen() || !raw || length <= 0)
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
                                                              3 * tty.charTime());
        const auto limit = Clock::now() + std::chrono::milliseconds(10)
                           + 2 * tty.charTime() * static_cast<int64_t>(wanted - rawIn.size());
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
