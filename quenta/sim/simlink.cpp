#include "simlink.h"

#include <cstring>

namespace quenta {

SimLink::SimLink(SimController& c) : core(c) {}

std::vector<uint8_t> SimLink::takeOutput()
{
    std::vector<uint8_t> bytes;
    bytes.swap(out);
    return bytes;
}

bool SimLink::takeRestart()
{
    const bool r = restarted;
    restarted = false;
    return r;
}

void SimLink::receive(const uint8_t* data, size_t count)
{
    if (!core.answering())
        return;  // a silent controller hears nothing either
    if (core.inBootloader()) {
        const size_t used = feedBootloader(data, count);
        data += used;
        count -= used;
        if (count == 0)
            return;
    }
    parser.feed(data, count);
    processFrames(true);
}

void SimLink::expireStalled()
{
    parser.expirePartial();
    // The rest of a stalled frame is no raw byte the host sent: only frames are looked for.
    processFrames(false);
}

bool SimLink::noticeIdentify()
{
    const std::vector<uint8_t> noise = parser.leadingNoise();
    const size_t at = core.resetOnIdentify(noise.data(), noise.size());
    if (at == noise.size())
        return false;
    // The controller restarted: what the old firmware had not sent yet is gone.
    parser.skip(at);
    out.clear();
    restarted = true;
    return true;
}

size_t SimLink::feedBootloader(const uint8_t* data, size_t count)
{
    std::vector<uint8_t> answer;
    const size_t used = core.bootloaderInput(data, count, answer);
    out.insert(out.end(), answer.begin(), answer.end());
    return used;
}

void SimLink::processFrames(bool rawAllowed)
{
    wire::Frame frame;
    for (;;) {
        if (rawAllowed && !core.inBootloader())
            noticeIdentify();
        if (core.inBootloader()) {
            // Everything from the "S" or behind the request that started the bootloader is
            // raw bytes, up to a frame that brings the firmware back.
            const std::vector<uint8_t> rest = parser.takeBuffered();
            const size_t used = feedBootloader(rest.data(), rest.size());
            if (used == rest.size())
                return;
            parser.feed(rest.data() + used, rest.size() - used);
        }
        if (!parser.next(frame))
            return;
        handle(frame);
    }
}

void SimLink::reply(const wire::Frame& request, const std::vector<uint8_t>& payload)
{
    if (core.faults().garbage)
        garbageBytes(3);
    wire::appendFrame(out, request.seq, static_cast<uint8_t>(request.cmd | wire::ReplyFlag),
                      payload);
}

void SimLink::nak(const wire::Frame& request, uint8_t reason)
{
    wire::appendFrame(out, request.seq, wire::Nak, {request.cmd, reason});
}

void SimLink::poll()
{
    if (core.takeNotification())
        sendStatus();
}

void SimLink::garbageBytes(int maxCount)
{
    const int n = static_cast<int>(random() % static_cast<unsigned>(maxCount + 1));
    for (int i = 0; i < n; ++i) {
        const auto b = static_cast<uint8_t>(random() % 5 == 0 ? wire::Sync : random() & 0xFF);
        out.push_back(b);
    }
}

void SimLink::sendStatus()
{
    wire::PayloadWriter w;
    wire::putStatus(w, core.status());
    const std::vector<uint8_t> frame = wire::encodeFrame(0, wire::Status, w.bytes());
    if (core.faults().garbage) {
        ++statusFrames;
        garbageBytes(6);
        if (statusFrames % 4 == 0) {
            std::vector<uint8_t> broken = frame;
            if (!broken.empty())
                broken.back() ^= 0x5A;  // wrong CRC
            out.insert(out.end(), broken.begin(), broken.end());
        }
        if (statusFrames % 7 == 0)
            out.insert(out.end(), frame.begin(), frame.begin() + frame.size() / 2);  // cut off
    }
    out.insert(out.end(), frame.begin(), frame.end());
}

void SimLink::handle(const wire::Frame& request)
{
    if ((request.cmd & wire::ReplyFlag) || request.cmd == wire::Status
        || request.cmd == wire::Nak)
        return;  // not a request (an echo of a controller frame)
    ++requests;
    wire::PayloadReader r(request.payload);
    const auto result = [&](int value) { reply(request, {static_cast<uint8_t>(value ? 1 : 0)}); };
    const auto bad = [&]() { nak(request, wire::BadPayload); };

    switch (request.cmd) {
    case wire::Hello: {
        const int failure = core.faults().openFailure;
        if (failure == 3)
            return;
        if (failure == 2) {
            static const char modem[] = "\r\nERROR\r\n";
            out.insert(out.end(), modem, modem + sizeof modem - 1);
            return;
        }
        wire::PayloadWriter w;
        w.raw(wire::HelloMagic, sizeof wire::HelloMagic).u8(wire::ProtocolVersion);
        if (failure == 4) {
            w.u8(wire::HelloNameRefused);
        } else {
            core.connect();
            w.u8(wire::HelloAccepted);
            const std::string name = core.name();
            w.raw(name.data(), name.size());
        }
        reply(request, w.bytes());
        return;
    }
    case wire::EnterBootloader:
        if (core.enterBootloader()) {
            out.clear();
            restarted = true;
        }
        return;
    case wire::Goodbye:
        core.disconnect();
        result(1);
        return;
    case wire::GetStatus: {
        wire::PayloadWriter w;
        w.u8(1);
        wire::putStatus(w, core.status());
        reply(request, w.bytes());
        return;
    }
    case wire::AckError:
        result(core.acknowledgeError());
        return;
    case wire::EmergencyHalt:
        result(core.emergencyHalt());
        return;
    case wire::EmergencyStop:
        result(core.emergencyStop());
        return;
    case wire::Park:
        result(core.park());
        return;
    case wire::MoveSteps:
    case wire::MoveMm: {
        const bool mm = request.cmd == wire::MoveMm;
        const uint8_t pair = r.u8();
        const int32_t speedSteps = mm ? 0 : r.i32();
        const float speedMm = mm ? r.f32() : 0.0f;
        r.u8();  // the constant 1
        int32_t stepsA[6];
        int32_t stepsB[6];
        float mmA[6];
        float mmB[6];
        for (int i = 0; i < 6; ++i) {
            stepsA[i] = mm ? 0 : r.i32();
            mmA[i] = mm ? r.f32() : 0.0f;
        }
        for (int i = 0; i < 6; ++i) {
            stepsB[i] = mm ? 0 : r.i32();
            mmB[i] = mm ? r.f32() : 0.0f;
        }
        r.u8();  // the constant 3
        if (!r.good() || !r.atEnd() || pair > 1)
            return bad();
        result(mm ? core.moveMm(pair, speedMm, mmA[0], mmB[0])
                  : core.moveSteps(pair, speedSteps, stepsA[0], stepsB[0]));
        return;
    }
    case wire::MoveLinear: {
        float target[4];
        float feed = 0.0f;
        if (!wire::getLinearMove(r, target, feed))
            return bad();
        result(core.moveLinearMm(target, feed));
        return;
    }
    case wire::Wait: {
        const int32_t ms = r.i32();
        if (!r.good() || !r.atEnd())
            return bad();
        result(core.wait(ms));
        return;
    }
    case wire::Reference:
        r.i32();
        r.i32();
        if (!r.good() || !r.atEnd())
            return bad();
        result(core.reference());
        return;
    case wire::ZeroSteps:
    case wire::ZeroMm: {
        int32_t steps[4];
        float mm[4];
        for (int i = 0; i < 4; ++i) {
            if (request.cmd == wire::ZeroSteps)
                steps[i] = r.i32();
            else
                mm[i] = r.f32();
        }
        if (!r.good() || !r.atEnd())
            return bad();
        result(request.cmd == wire::ZeroSteps ? core.setZeroSteps(steps) : core.setZeroMm(mm));
        return;
    }
    case wire::SpindleCoolant: {
        const uint8_t spindle = r.u8();
        const uint8_t coolant = r.u8();
        if (!r.good() || !r.atEnd())
            return bad();
        result(core.setSpindleCoolant(spindle, coolant));
        return;
    }
    case wire::Outputs:
    case wire::Mode:
    case wire::LoadRam: {
        const uint8_t v = r.u8();
        if (!r.good() || !r.atEnd())
            return bad();
        result(request.cmd == wire::Outputs ? core.setOutputs(v)
               : request.cmd == wire::Mode  ? core.changeMode(v)
                                            : core.loadRam(v));
        return;
    }
    case wire::StartRam: {
        const uint8_t ram = r.u8();
        const uint8_t count = r.u8();
        if (!r.good() || !r.atEnd())
            return bad();
        result(core.startRam(ram, count));
        return;
    }
    case wire::ParamRead: {
        const uint8_t group = r.u8();
        const uint8_t index = r.u8();
        if (!r.good() || !r.atEnd())
            return bad();
        uint8_t value[16] = {};
        const int ok = core.readParameter(group, index, value);
        wire::PayloadWriter w;
        w.u8(ok ? 1 : 0).raw(value, sizeof value);
        reply(request, w.bytes());
        return;
    }
    case wire::ParamWrite: {
        const uint8_t group = r.u8();
        const uint8_t index = r.u8();
        Device::ParamValue value;
        if (!r.good() || !wire::getParamValue(r, value))
            return bad();
        result(core.setParameter(group, index, value));
        return;
    }
    default:
        nak(request, wire::UnknownCommand);
        return;
    }
}

}  // namespace quenta
