#pragma once
// The serial line shared by the devices that talk to a controller on a tty (USB adapter,
// on-board UART or pseudo-terminal): raw 8N1 at any baud rate, exclusive open, a reader thread
// that hands every byte to its owner, writes bounded by a deadline, and hang-up detection.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace quenta {

// Sets a tty to raw 8N1 at the given baud rate (any rate the driver accepts, not only the
// standard ones). Returns false with errno set when the tty refuses.
bool configureRawTty(int fd, int baudRate);
// The output baud rate a tty is set to, or 0 when it cannot be read.
int ttyBaudRate(int fd);

class Tty {
public:
    using Clock = std::chrono::steady_clock;

    // The owner's side. Every callback runs on the reader thread.
    class Handler {
    public:
        virtual ~Handler() = default;
        virtual void ttyData(const uint8_t* data, size_t count) = 0;
        // How long the reader may wait for the next byte before ttyIdle runs; -1 = for ever.
        virtual int ttyIdleTimeoutMs() { return -1; }
        virtual void ttyIdle() {}
        // The tty hung up or failed: nothing arrives any more and writes fail. Also called
        // from a failing write, on the writing thread.
        virtual void ttyLost() = 0;
    };

    explicit Tty(Handler& handler);
    ~Tty();
    Tty(const Tty&) = delete;
    Tty& operator=(const Tty&) = delete;

    // Opens the tty exclusively, raw at the baud rate, flushes it and starts the reader.
    // False when the path is no tty, is taken, or refuses the settings; reason() says why.
    bool open(const std::string& path, int baudRate);
    // Stops the reader and closes the tty (also releases the lock). Idempotent.
    void close();
    bool isOpen() const { return fd >= 0; }
    // The system's text for the last failed open.
    const std::string& reason() const { return failure; }

    // Writes all bytes before the deadline (a deadline in the past still writes what fits at
    // once). False on time-out or a failed tty. Writes from several threads do not interleave.
    bool write(const uint8_t* bytes, size_t count, Clock::time_point deadline);
    // One character time on the line (8N1: ten bit times).
    std::chrono::microseconds charTime() const;

private:
    void readerLoop();

    Handler& owner;
    int fd = -1;
    int wakeFd = -1;  // eventfd that stops the reader thread
    int baud = 115200;
    std::thread reader;
    std::mutex writeMutex;
    std::string failure;
};

}  // namespace quenta
