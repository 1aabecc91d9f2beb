#include "wireprotocol.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace quenta {
namespace wire {

namespace {

std::array<uint16_t, 256> makeCrcTable()
{
    std::array<uint16_t, 256> table{};
    for (int i = 0; i < 256; ++i) {
        uint16_t crc = static_cast<uint16_t>(i << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x1021)
                                 : static_cast<uint16_t>(crc << 1);
        table[static_cast<size_t>(i)] = crc;
    }
    return table;
}

const std::array<uint16_t, 256> crcTable = makeCrcTable();

}  // namespace

uint16_t crc16(const uint8_t* data, size_t size, uint16_t crc)
{
    for (size_t i = 0; i < size; ++i)
        crc = static_cast<uint16_t>((crc << 8) ^ crcTable[((crc >> 8) ^ data[i]) & 0xFF]);
    return crc;
}

bool appendFrame(std::vector<uint8_t>& out, uint8_t seq, uint8_t cmd,
                 const std::vector<uint8_t>& payload)
{
    if (payload.size() > static_cast<size_t>(MaxPayload))
        return false;
    const size_t begin = out.size();
    const auto len = static_cast<uint8_t>(payload.size());
    out.push_back(Sync);
    out.push_back(len);
    out.push_back(static_cast<uint8_t>(~len));
    out.push_back(seq);
    out.push_back(cmd);
    out.insert(out.end(), payload.begin(), payload.end());
    const uint16_t crc = crc16(out.data() + begin + 1, out.size() - begin - 1);
    out.push_back(static_cast<uint8_t>(crc & 0xFF));
    out.push_back(static_cast<uint8_t>(crc >> 8));
    return true;
}

std::vector<uint8_t> encodeFrame(uint8_t seq, uint8_t cmd, const std::vector<uint8_t>& payload)
{
    std::vector<uint8_t> out;
    appendFrame(out, seq, cmd, payload);
    return out;
}

PayloadWriter& PayloadWriter::u8(uint8_t v)
{
    data.push_back(v);
    return *this;
}

PayloadWriter& PayloadWriter::i32(int32_t v)
{
    const auto u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i)
        data.push_back(static_cast<uint8_t>(u >> (8 * i)));
    return *this;
}

PayloadWriter& PayloadWriter::f32(float v)
{
    uint32_t u = 0;
    std::memcpy(&u, &v, sizeof u);
    return i32(static_cast<int32_t>(u));
}

PayloadWriter& PayloadWriter::raw(const void* bytes, size_t size)
{
    const auto* p = static_cast<const uint8_t*>(bytes);
    data.insert(data.end(), p, p + size);
    return *this;
}

uint8_t PayloadReader::u8()
{
    if (pos + 1 > size) {
        ok = false;
        pos = size;
        return 0;
    }
    return data[pos++];
}

int32_t PayloadReader::i32()
{
    if (pos + 4 > size) {
        ok = false;
        pos = size;
        return 0;
    }
    uint32_t u = 0;
    for (int i = 0; i < 4; ++i)
        u |= static_cast<uint32_t>(data[pos + static_cast<size_t>(i)]) << (8 * i);
    pos += 4;
    return static_cast<int32_t>(u);
}

float PayloadReader::f32()
{
    const auto u = static_cast<uint32_t>(i32());
    float v = 0.0f;
    std::memcpy(&v, &u, sizeof v);
    return v;
}

void PayloadReader::raw(void* out, size_t count)
{
    if (pos + count > size) {
        ok = false;
        pos = size;
        std::memset(out, 0, count);
        return;
    }
    std::memcpy(out, data + pos, count);
    pos += count;
}

void putStatus(PayloadWriter& w, const StatusReport& r)
{
    w.u8(r.firstValue).u8(r.inputs).u8(r.flags);
    for (const int32_t p : r.pos)
        w.i32(p);
    w.u8(r.bufferFill).u8(r.generalInputs).u8(r.generalOutputs).u8(r.errorCode);
}

bool getStatus(PayloadReader& r, StatusReport& out)
{
    StatusReport s;
    s.firstValue = r.u8();
    s.inputs = r.u8();
    s.flags = r.u8();
    for (int32_t& p : s.pos)
        p = r.i32();
    s.bufferFill = r.u8();
    s.generalInputs = r.u8();
    s.generalOutputs = r.u8();
    s.errorCode = r.u8();
    if (!r.good())
        return false;
    out = s;
    return true;
}

void putParamValue(PayloadWriter& w, const Device::ParamValue& v)
{
    using Kind = Device::ParamKind;
    w.u8(static_cast<uint8_t>(v.kind));
    switch (v.kind) {
    case Kind::Long:
        w.i32(v.longs[0]);
        break;
    case Kind::Float:
        w.f32(v.f);
        break;
    case Kind::FourLongs:
    case Kind::FourUchar:
        for (int i = 0; i < 4; ++i)
            w.i32(v.longs[i]);
        break;
    case Kind::RefSequence:
        for (int i = 0; i < 8; ++i)
            w.i32(v.longs[i]);
        break;
    case Kind::Name:
        w.raw(v.name, sizeof v.name);
        break;
    }
}

bool getParamValue(PayloadReader& r, Device::ParamValue& out)
{
    using Kind = Device::ParamKind;
    Device::ParamValue v;
    const uint8_t kind = r.u8();
    if (kind > static_cast<uint8_t>(Kind::Name))
        return false;
    v.kind = static_cast<Kind>(kind);
    switch (v.kind) {
    case Kind::Long:
        v.longs[0] = r.i32();
        break;
    case Kind::Float:
        v.f = r.f32();
        break;
    case Kind::FourLongs:
    case Kind::FourUchar:
        for (int i = 0; i < 4; ++i)
            v.longs[i] = r.i32();
        break;
    case Kind::RefSequence:
        for (int i = 0; i < 8; ++i)
            v.longs[i] = r.i32();
        break;
    case Kind::Name:
        r.raw(v.name, sizeof v.name);
        v.name[sizeof v.name - 1] = 0;
        break;
    }
    if (!r.good() || !r.atEnd())
        return false;
    out = v;
    return true;
}

void putLinearMove(PayloadWriter& w, const float target[4], float feed)
{
    for (int axis = 0; axis < 4; ++axis)
        w.f32(target[axis]);
    w.f32(feed);
}

bool getLinearMove(PayloadReader& r, float target[4], float& feed)
{
    float values[5];
    for (float& v : values)
        v = r.f32();
    if (!r.good() || !r.atEnd())
        return false;
    std::copy(values, values + 4, target);
    feed = values[4];
    return true;
}

void FrameParser::feed(const uint8_t* bytes, size_t count)
{
    buffer.insert(buffer.end(), bytes, bytes + count);
}

bool FrameParser::next(Frame& frame)
{
    for (;;) {
        while (start < buffer.size() && buffer[start] != Sync) {
            ++start;
            ++discarded;
        }
        const size_t avail = buffer.size() - start;
        if (avail < 3) {
            compact();
            return false;
        }
        const uint8_t len = buffer[start + 1];
        if (buffer[start + 2] != static_cast<uint8_t>(~len) || len > MaxPayload) {
            ++start;
            ++discarded;
            continue;
        }
        const size_t total = static_cast<size_t>(HeaderSize + len + CrcSize);
        if (avail < total) {
            compact();
            return false;
        }
        const uint8_t* f = buffer.data() + start;
        const uint16_t expected = crc16(f + 1, static_cast<size_t>(HeaderSize - 1 + len));
        const uint16_t got = static_cast<uint16_t>(f[total - 2] | (f[total - 1] << 8));
        if (expected != got) {
            ++rejected;
            ++start;
            ++discarded;
            continue;
        }
        frame.seq = f[3];
        frame.cmd = f[4];
        frame.payload.assign(f + HeaderSize, f + HeaderSize + len);
        start += total;
        compact();
        return true;
    }
}

void FrameParser::expirePartial()
{
    if (start < buffer.size()) {
        ++start;
        ++discarded;
    }
}

std::vector<uint8_t> FrameParser::leadingNoise() const
{
    const auto begin = buffer.begin() + static_cast<std::ptrdiff_t>(start);
    return std::vector<uint8_t>(begin, std::find(begin, buffer.end(), Sync));
}

void FrameParser::skip(size_t count)
{
    count = std::min(count, buffer.size() - start);
    start += count;
    discarded += count;
    compact();
}

std::vector<uint8_t> FrameParser::takeBuffered()
{
    std::vector<uint8_t> rest(buffer.begin() + static_cast<std::ptrdiff_t>(start), buffer.end());
    clear();
    return rest;
}

void FrameParser::clear()
{
    buffer.clear();
    start = 0;
}

void FrameParser::compact()
{
    if (start == buffer.size()) {
        buffer.clear();
        start = 0;
    } else if (start >= 4096) {
        buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(start));
        start = 0;
    }
}

std::string commandName(uint8_t cmd)
{
    static const struct {
        uint8_t code;
        const char* name;
    } names[] = {
        {Hello, "Hello"},         {EnterBootloader, "EnterBootloader"},
        {Goodbye, "Goodbye"},     {GetStatus, "GetStatus"},
        {AckError, "AckError"},   {EmergencyHalt, "EmergencyHalt"},
        {EmergencyStop, "EmergencyStop"}, {Park, "Park"},
        {MoveSteps, "MoveSteps"}, {MoveMm, "MoveMm"},
        {Wait, "Wait"},           {Reference, "Reference"},
        {ZeroSteps, "ZeroSteps"}, {ZeroMm, "ZeroMm"},
        {SpindleCoolant, "SpindleCoolant"}, {Outputs, "Outputs"},
        {Mode, "Mode"},           {LoadRam, "LoadRam"},
        {StartRam, "StartRam"},   {ParamRead, "ParamRead"},
        {ParamWrite, "ParamWrite"}, {MoveLinear, "MoveLinear"},
        {Status, "Status"},
        {Nak, "Nak"},
    };
    const uint8_t base = (cmd == Nak) ? cmd : static_cast<uint8_t>(cmd & ~ReplyFlag);
    for (const auto& n : names) {
        if (n.code == base)
            return (cmd & ReplyFlag) ? std::string(n.name) + "Reply" : std::string(n.name);
    }
    static const char hex[] = "0123456789abcdef";
    return std::string("0x") + hex[cmd >> 4] + hex[cmd & 0xF];
}

}  // namespace wire
}  // namespace quenta
