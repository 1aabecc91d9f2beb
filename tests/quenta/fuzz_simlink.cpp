// Fuzz target: arbitrary bytes on the line into the controller's side of the wire protocol
// (frame parser, request decoding, simulator core, bootloader), with the clock moving.

#include "simlink.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    quenta::SimController core;
    quenta::SimLink link(core);
    quenta::wire::FrameParser host;
    size_t at = 0;
    while (at < size) {
        // The first byte of each piece says how long the piece is and how much time passes.
        const uint8_t control = data[at++];
        const size_t n = std::min<size_t>(size - at, static_cast<size_t>(control & 0x3F) + 1);
        link.receive(data + at, n);
        at += n;
        core.advance((control >> 6) * 7);
        link.poll();
        if (control == 0xFF)
            link.expireStalled();
        const std::vector<uint8_t> out = link.takeOutput();
        host.feed(out.data(), out.size());
        quenta::wire::Frame frame;
        while (host.next(frame)) {
            quenta::wire::PayloadReader r(frame.payload);
            quenta::StatusReport report;
            quenta::wire::getStatus(r, report);
        }
    }
    return 0;
}
