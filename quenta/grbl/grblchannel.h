#pragma once
// The one line channel to a GRBL controller. Every line the device sends goes through it, in
// order: jogs, settings, RAM program lines, unlocks. It keeps GRBL's character count (the bytes
// of lines sent and not yet answered never exceed the firmware's receive buffer less one byte),
// matches each "ok" / "error:N" to the oldest unanswered line, hands every other line of the
// firmware to its listener, performs soft resets and resynchronises on the welcome line, and
// tells whether the firmware has been heard lately.
//
// Lines wait in the channel's outbox until the count lets them out. A line marked as needing
// planner room (a jog) also waits until no other such line is unanswered and the firmware's
// planner has a free block, so the firmware never holds a jog it has not planned: a jog cancel
// then flushes every jog there is.
//
// Threads: any thread may queue, await, drop or reset; receive() and lost() come from the
// reader. The listener is never called with the channel's lock held.

#include "grbltranscript.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>

namespace quenta {
namespace grbl {

// What the device attaches to a line, handed back with its answer.
struct LineInfo {
    enum class Kind { Command, Jog, Motion, Home, Dwell, Setting, BuildInfo, Query, Unlock,
                      Spindle };
    Kind kind = Kind::Command;
    bool stream = false;  // a line of a running RAM program
    int pass = 0;         // stream: the program's pass the line belongs to
    bool job = false;     // a line of a running G-code job
    uint32_t fileLine = 0;  // job: its line in the file
    int axis = -1;        // Jog/Motion: the only axis that moves, else -1
    int direction = 0;    // its sign
    int number = 0;       // Setting: $N; Spindle: spindle (1) and coolant (2) bits
    std::string value;    // Setting / BuildInfo: the value as the firmware stores it
    double seconds = 0;   // motion: its estimated run time
    bool console = false; // typed in the console: its answer is shown there, not raised
    bool needsPlannerRoom() const { return kind == Kind::Jog; }
    bool isMotion() const { return kind == Kind::Jog || kind == Kind::Motion; }
};

class LineChannel {
public:
    using Clock = std::chrono::steady_clock;

    class Sink {
    public:
        virtual ~Sink() = default;
        // Writes all bytes before the deadline; false on failure.
        virtual bool writeBytes(const uint8_t* data, size_t count, Clock::time_point deadline) = 0;
    };
    class Listener {
    public:
        virtual ~Listener() = default;
        // A line was answered (ok: code 0), also long after anybody waited for it.
        virtual void lineAnswered(const LineInfo& info, bool ok, int errorCode) = 0;
        // Any other complete line from the firmware (welcome, reports, alarms, messages).
        virtual void lineReceived(const std::string& line) = 0;
    };

    enum class Reply { Ok, Error, Queued, Failed };

    LineChannel(Sink& sink, Listener& listener);

    // A new connection: nothing queued or in flight, receive buffer and planner sizes.
    void start(int rxBytes, int plannerBlocks);
    void setSizes(int rxBytes, int plannerBlocks);
    // The port is gone: every waiting call fails and nothing more is sent.
    void stop();

    // Queues a line (without its line end) behind every line not yet sent; returns its id, or
    // 0 when the channel is stopped or the line can never fit.
    uint64_t queue(const std::string& line, const LineInfo& info);
    // Waits until the line is answered (Ok / Error) or the deadline passes: Queued when it is
    // still unanswered (written, or waiting in the outbox to be), Failed when it was dropped
    // before it was written or the channel stopped.
    Reply await(uint64_t id, Clock::time_point deadline);
    Reply send(const std::string& line, const LineInfo& info, Clock::time_point deadline)
    {
        const uint64_t id = queue(line, info);
        return id ? await(id, deadline) : Reply::Failed;
    }
    // Drops every line not yet written (their awaiters see Failed); returns how many.
    size_t dropUnsent();
    // Drops the jogs not yet written (their awaiters see Failed); returns how many.
    size_t dropUnsentJogs();
    // A jog is written and not yet answered (the firmware has not planned it yet).
    bool jogInFlight() const;
    // Soft reset: drops everything queued and in flight and sends 0x18. Until the welcome line
    // arrives nothing is sent and stray answers are ignored.
    bool softReset();
    bool resetting() const;
    bool writeRealtime(uint8_t byte);

    // Planner accounting from the firmware's reports: the planner's free blocks (all of them
    // when a report shows the machine idle).
    void plannerFree(int blocks);

    // Reader side.
    void receive(const uint8_t* data, size_t count);

    // The oldest line sent and not yet answered: the one an alarm raised while parsing
    // belongs to. A default LineInfo when none is.
    LineInfo oldestInFlight() const;
    size_t bytesInFlight() const;
    size_t linesQueued() const;
    Clock::time_point lastByte() const;
    uint64_t bytesReceived() const;

    // Every line sent and received, and every realtime byte, for the console.
    Transcript& transcript() { return log; }

private:
    struct Line {
        uint64_t id;
        std::string bytes;  // with its line end
        LineInfo info;
    };
    // Moves lines from the outbox onto the wire while the count allows; lock held on entry,
    // released for the write.
    void pump(std::unique_lock<std::mutex>& lock);
    bool mayGo(const Line& line) const;
    void finish(uint64_t id, Reply reply);
    void handleLine(const std::string& text);
    // Lock held: the outbox dropped (its callers see Failed); the lines in flight forgotten, as
    // when the firmware threw them away (Queued), and with them the planner count.
    void dropOutbox();
    void forgetInFlight();

    Sink& sink;
    Listener& listener;
    mutable std::mutex mutex;
    std::mutex writeOrder;  // lines reach the wire in the order they left the outbox
    std::condition_variable changed;
    bool running = false;
    bool inReset = false;
    int rxBytes = 128;
    int plannerBlocks = 15;
    int planned = 0;
    std::deque<Line> outbox;
    std::deque<Line> inFlight;
    size_t inFlightBytes = 0;
    uint64_t nextId = 1;
    // How recent lines ended (answered or dropped), for the calls that wait for them.
    std::map<uint64_t, Reply> results;
    std::string partial;       // reader: the line being received
    Clock::time_point heard;
    uint64_t received = 0;
    Transcript log;
};

}  // namespace grbl
}  // namespace quenta
