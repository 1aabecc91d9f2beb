#pragma once
// A controller on a serial tty (USB adapter, on-board UART or pseudo-terminal) speaking the
// wire protocol of docs/wire-protocol.md, or raw bytes in firmware-update mode.

#include "device.h"
#include "tty.h"
#include "wireprotocol.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace quenta {

class SerialDevice : public Device, private Tty::Handler {
public:
    // How long a request waits for its reply; with the write it stays within 200 ms.
    static constexpr int ReplyTimeoutMs = 150;
    // The open handshake: attempts and the wait for each answer.
    static constexpr int HelloAttempts = 2;
    static constexpr int HelloTimeoutMs = 90;
    // An incomplete frame whose rest does not arrive within this time is given up.
    static constexpr int FrameStallMs = 30;
    // After this many request time-outs in a row without a byte from the device, the link
    // counts as silent: requests fail at once (as after a time-out) until a byte arrives.
    static constexpr int SilentTimeouts = 2;
    // While silent, at most one status request per this time probes whether the controller
    // is back (its answer, like any byte, ends the silence).
    static constexpr int SilentProbeMs = ReplyTimeoutMs;
    // Bytes kept for TarvoReadChar in firmware-update mode before further bytes are dropped.
    static constexpr size_t MaxRawBuffer = 1u << 20;

    explicit SerialDevice(std::string path);
    ~SerialDevice() override;
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;

    int open(OpenMode mode, int32_t baudRate, std::string& controllerName) override;
    std::string openFailure() const override { return tty.reason(); }
    void closeTransfer() override;
    void close() override;
    StatusService statusService() const override { return StatusService::Pushed; }
    void setStatusNotifier(std::function<void()> notify) override;
    int getStatus(StatusReport& out) override;

    int acknowledgeError() override;
    int emergencyHalt() override;
    int emergencyStop() override;
    int park() override;
    int moveSteps(int pair, int32_t speed, uint8_t one, const int32_t* a, const int32_t* b,
                  uint8_t three) override;
    int moveMm(int pair, float speed, uint8_t one, const float* a, const float* b,
               uint8_t three) override;
    int moveLinearMm(const float target[4], float feed) override;
    int wait(int32_t ms) override;
    int reference(int32_t a, int32_t b) override;
    int setZeroSteps(const int32_t v[4]) override;
    int setZeroMm(const float v[4]) override;
    int setSpindleCoolant(uint8_t spindle, uint8_t coolant) override;
    int setOutputs(uint8_t bits) override;
    int changeMode(uint8_t mode) override;
    int loadRam(uint8_t ram) override;
    int startRam(uint8_t ram, uint8_t count) override;
    int readParameter(uint8_t group, uint8_t index, uint8_t result[16]) override;
    int setParameter(uint8_t group, uint8_t index, const ParamValue& value) override;
    int writeBytes(const uint8_t* bytes, int32_t length) override;
    int readBytes(uint8_t* bytes, int32_t length) override;

    // True once the device has gone away (hang-up, I/O error).
    bool isLost() const;
    // Bytes the frame parser dropped as garbage since the open.
    uint64_t discardedBytes() const;

private:
    using Clock = std::chrono::steady_clock;

    // Sends one request and waits for its reply. Returns false on time-out, Nak, a lost
    // device, a silent link (at once) or a reply of the wrong kind; reply receives the
    // reply's payload.
    bool request(uint8_t cmd, const std::vector<uint8_t>& payload, std::vector<uint8_t>* reply,
                 int timeoutMs = ReplyTimeoutMs);
    // A request whose reply is just the result byte: that byte, or 0 on failure.
    int simple(uint8_t cmd, const std::vector<uint8_t>& payload = {});
    bool writeAll(const uint8_t* bytes, size_t count, Clock::time_point deadline);
    // Sends a status request without waiting for anything (the link is silent).
    void probe(uint8_t seq);
    void handleFrame(const wire::Frame& frame);
    void markLost();
    void shutdown();

    // The tty's reader thread.
    void ttyData(const uint8_t* data, size_t count) override;
    int ttyIdleTimeoutMs() override;
    void ttyIdle() override;
    void ttyLost() override;

    const std::string path;
    Tty tty{*this};
    OpenMode mode = OpenMode::Normal;
    int baud = 115200;
    bool goodbyeSent = false;
    uint8_t nextSeq = 1;
    wire::FrameParser parser;  // reader thread only

    mutable std::mutex mutex;
    std::condition_variable changed;
    bool lost = false;
    bool raw = false;
    bool rawWritten = false;  // the host has sent a raw byte since the open
    uint64_t bytesReceived = 0;
    int silentTimeouts = 0;  // request time-outs since the last byte that arrived
    Clock::time_point lastProbe;
    uint64_t discarded = 0;
    std::deque<uint8_t> rawIn;
    StatusReport lastStatus;
    bool haveStatus = false;
    bool statusPending = false;
    std::function<void()> notifier;  // set while the library listens for pushed status
    uint8_t awaitedSeq = 0;  // 0 = no request waiting
    bool replyReady = false;
    wire::Frame reply;
};

}  // namespace quenta
