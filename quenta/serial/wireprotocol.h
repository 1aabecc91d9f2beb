#pragma once
// The serial wire protocol between the link library and a controller: frames, CRC-16,
// payload coding and a resynchronising frame parser. docs/wire-protocol.md describes it.

#include "device.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quenta {
namespace wire {

// Frame layout: SYNC, LEN, ~LEN, SEQ, CMD, LEN payload bytes, CRC-16 (low byte first) over
// LEN ... the last payload byte.
constexpr uint8_t Sync = 0xA5;
constexpr int HeaderSize = 5;
constexpr int CrcSize = 2;
constexpr int MaxPayload = 64;
constexpr int MaxFrameSize = HeaderSize + MaxPayload + CrcSize;
constexpr uint8_t ProtocolVersion = 1;
// The four bytes a controller puts first in its Hello reply.
constexpr char HelloMagic[4] = {'Q', 'N', 'T', 'A'};

// Command codes. A reply carries the request's code with ReplyFlag set and the request's
// sequence number; pushed status frames use sequence number 0.
enum Command : uint8_t {
    Hello = 0x01,
    EnterBootloader = 0x02,
    Goodbye = 0x03,
    GetStatus = 0x10,
    AckError = 0x11,
    EmergencyHalt = 0x12,
    EmergencyStop = 0x13,
    Park = 0x14,
    MoveSteps = 0x15,
    MoveMm = 0x16,
    Wait = 0x17,
    Reference = 0x18,
    ZeroSteps = 0x19,
    ZeroMm = 0x1A,
    SpindleCoolant = 0x1B,
    Outputs = 0x1C,
    Mode = 0x1D,
    LoadRam = 0x1E,
    StartRam = 0x1F,
    ParamRead = 0x20,
    ParamWrite = 0x21,
    MoveLinear = 0x22,
    Status = 0x40,
    Nak = 0x7F,
    ReplyFlag = 0x80,
};

// Second payload byte of a Nak frame (the first is the refused command code).
enum NakReason : uint8_t {
    UnknownCommand = 1,
    BadPayload = 2,
};

// Status byte of a Hello reply.
enum HelloStatus : uint8_t {
    HelloAccepted = 0,
    HelloNameRefused = 4,
};

constexpr int StatusPayloadSize = 23;

struct Frame {
    uint8_t seq = 0;
    uint8_t cmd = 0;
    std::vector<uint8_t> payload;
};

// CRC-16/CCITT-FALSE: polynomial 0x1021, register starting at 0xFFFF, no reflection, no final
// complement (check value 0x29B1 over "123456789").
uint16_t crc16(const uint8_t* data, size_t size, uint16_t crc = 0xFFFF);

// Appends one frame to out. A payload longer than MaxPayload is a programming error: nothing
// is appended and false is returned.
bool appendFrame(std::vector<uint8_t>& out, uint8_t seq, uint8_t cmd,
                 const std::vector<uint8_t>& payload);
std::vector<uint8_t> encodeFrame(uint8_t seq, uint8_t cmd, const std::vector<uint8_t>& payload);

// Little-endian payload builder.
class PayloadWriter {
public:
    PayloadWriter& u8(uint8_t v);
    PayloadWriter& i32(int32_t v);
    PayloadWriter& f32(float v);
    PayloadWriter& raw(const void* data, size_t size);
    const std::vector<uint8_t>& bytes() const { return data; }

private:
    std::vector<uint8_t> data;
};

// Little-endian payload reader. Reading past the end yields zeros and clears good().
class PayloadReader {
public:
    explicit PayloadReader(const std::vector<uint8_t>& payload)
        : data(payload.data()), size(payload.size()) {}
    PayloadReader(const uint8_t* bytes, size_t count) : data(bytes), size(count) {}
    uint8_t u8();
    int32_t i32();
    float f32();
    void raw(void* out, size_t count);
    bool good() const { return ok; }
    bool atEnd() const { return pos == size; }
    size_t remaining() const { return size - pos; }

private:
    const uint8_t* data;
    size_t size;
    size_t pos = 0;
    bool ok = true;
};

void putStatus(PayloadWriter& w, const StatusReport& r);
bool getStatus(PayloadReader& r, StatusReport& out);

// A parameter value as it travels in a ParamWrite request: kind byte, then the value.
void putParamValue(PayloadWriter& w, const Device::ParamValue& v);
bool getParamValue(PayloadReader& r, Device::ParamValue& out);

// A MoveLinear request: target X, Y, Z, C (mm from the zero point), then the feed (mm/min).
constexpr int LinearMovePayloadSize = 5 * 4;
void putLinearMove(PayloadWriter& w, const float target[4], float feed);
// False when the payload is not exactly a linear move.
bool getLinearMove(PayloadReader& r, float target[4], float& feed);

// Finds frames in a byte stream. Bytes before a sync byte, headers whose length check fails
// and frames with a wrong CRC are dropped, and the search goes on at the byte after the
// rejected sync byte, so a real frame hidden behind garbage is still found.
class FrameParser {
public:
    void feed(const uint8_t* bytes, size_t count);
    // The next complete, valid frame; false when none is buffered.
    bool next(Frame& frame);
    // True while bytes of an incomplete frame wait for the rest.
    bool hasPartial() const { return start < buffer.size(); }
    // Gives up on the incomplete frame at the front (its sender stalled): drops its sync byte
    // so the following bytes are searched again. Call next() afterwards.
    void expirePartial();
    // The bytes at the front before the next sync byte, which next() drops as noise (none
    // while the front holds the start of a frame). They stay buffered until skip() or next().
    std::vector<uint8_t> leadingNoise() const;
    // Drops count bytes at the front (at most the buffered ones) as noise.
    void skip(size_t count);
    // Hands out the bytes not parsed yet and forgets them (the line switched to raw bytes).
    std::vector<uint8_t> takeBuffered();
    void clear();
    uint64_t discardedBytes() const { return discarded; }
    uint64_t rejectedFrames() const { return rejected; }

private:
    void compact();

    std::vector<uint8_t> buffer;
    size_t start = 0;
    uint64_t discarded = 0;
    uint64_t rejected = 0;
};

// A readable name of a command code for logs and error texts ("MoveSteps", "0x55").
std::string commandName(uint8_t cmd);

}  // namespace wire
}  // namespace quenta
