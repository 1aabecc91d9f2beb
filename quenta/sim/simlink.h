#pragma once
// The controller's side of the serial line: decodes the host's requests for the simulator
// core and produces every byte the controller sends (replies, pushed status frames,
// bootloader answers and, on request, garbage). Byte I/O and timing belong to the caller.

#include "simcontroller.h"
#include "wireprotocol.h"

#include <cstdint>
#include <random>
#include <vector>

namespace quenta {

class SimLink {
public:
    explicit SimLink(SimController& core);

    // Bytes that arrived from the host, in order.
    void receive(const uint8_t* data, size_t count);
    // Pushes a status frame when one is due; call it whenever the clock moved.
    void poll();
    // True while an incomplete request waits for its rest.
    bool hasStalledInput() const { return parser.hasPartial(); }
    // Gives up the incomplete request at the front (its sender stalled).
    void expireStalled();

    bool hasOutput() const { return !out.empty(); }
    // The bytes to send, in order; the link forgets them.
    std::vector<uint8_t> takeOutput();
    // True once after the controller restarted into its bootloader (an EnterBootloader
    // request, or the host's first raw "S"): output that is still waiting to go out belongs
    // to the old firmware and is to be dropped.
    bool takeRestart();

    uint64_t requestsHandled() const { return requests; }
    uint64_t discardedBytes() const { return parser.discardedBytes(); }

private:
    // Handles the buffered frames. With rawAllowed, an "S" outside a frame is the host's
    // first bootloader byte in firmware-update mode (see SimController::resetOnIdentify).
    void processFrames(bool rawAllowed);
    bool noticeIdentify();
    size_t feedBootloader(const uint8_t* data, size_t count);
    void handle(const wire::Frame& request);
    void reply(const wire::Frame& request, const std::vector<uint8_t>& payload);
    void nak(const wire::Frame& request, uint8_t reason);
    void sendStatus();
    void garbageBytes(int maxCount);

    SimController& core;
    wire::FrameParser parser;
    std::vector<uint8_t> out;
    std::minstd_rand random{12345};
    uint64_t requests = 0;
    uint32_t statusFrames = 0;
    bool restarted = false;
};

}  // namespace quenta
