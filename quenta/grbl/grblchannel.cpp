#include "grblchannel.h"

#include "grblprotocol.h"

#include <algorithm>

namespace quenta {
namespace grbl {

namespace {
// Results kept for calls that have not yet asked for theirs.
constexpr size_t KeptResults = 64;
}  // namespace

LineChannel::LineChannel(Sink& s, Listener& l) : sink(s), listener(l) {}

void LineChannel::start(int rx, int blocks)
{
    std::lock_guard<std::mutex> lock(mutex);
    dropOutbox();
    forgetInFlight();
    results.clear();
    running = true;
    inReset = false;
    rxBytes = rx;
    plannerBlocks = blocks;
    partial.clear();
    heard = Clock::now();
    received = 0;
}

void LineChannel::setSizes(int rx, int blocks)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (rx > 1)
        rxBytes = rx;
    if (blocks > 0)
        plannerBlocks = blocks;
}

void LineChannel::stop()
{
    std::lock_guard<std::mutex> lock(mutex);
    running = false;
    dropOutbox();
    forgetInFlight();
    changed.notify_all();  // callers waiting for an answer give up
}

void LineChannel::finish(uint64_t id, Reply reply)
{
    results[id] = reply;
    while (results.size() > KeptResults)
        results.erase(results.begin());
    changed.notify_all();
}

void LineChannel::dropOutbox()
{
    for (const Line& l : outbox)
        finish(l.id, Reply::Failed);
    outbox.clear();
}

void LineChannel::forgetInFlight()
{
    // Lines the firmware threw away are never answered; a waiting call still saw them
    // written, so for it they stay "queued".
    for (const Line& l : inFlight)
        finish(l.id, Reply::Queued);
    inFlight.clear();
    inFlightBytes = 0;
    planned = 0;
}

uint64_t LineChannel::queue(const std::string& text, const LineInfo& info)
{
    std::unique_lock<std::mutex> lock(mutex);
    Line line{nextId, text + "\n", info};
    if (!running || line.bytes.size() >= size_t(rxBytes))
        return 0;
    ++nextId;
    outbox.push_back(std::move(line));
    const uint64_t id = outbox.back().id;
    pump(lock);
    return id;
}

bool LineChannel::mayGo(const Line& line) const
{
    if (inReset || inFlightBytes + line.bytes.size() >= size_t(rxBytes))
        return false;
    if (!line.info.needsPlannerRoom())
        return true;
    const bool motionInFlight = std::any_of(inFlight.begin(), inFlight.end(),
                                            [](const Line& l) { return l.info.isMotion(); });
    return !motionInFlight && planned < plannerBlocks;
}

void LineChannel::pump(std::unique_lock<std::mutex>& lock)
{
    // One writer at a time, so the lines reach the wire in the order they left the outbox.
    lock.unlock();
    std::lock_guard<std::mutex> order(writeOrder);
    lock.lock();
    std::string bytes;
    while (running && !outbox.empty() && mayGo(outbox.front())) {
        const Line& next = outbox.front();
        log.sent(next.bytes.substr(0, next.bytes.size() - 1), next.info.console);
        bytes += outbox.front().bytes;
        inFlightBytes += outbox.front().bytes.size();
        inFlight.push_back(std::move(outbox.front()));
        outbox.pop_front();
    }
    if (bytes.empty())
        return;
    lock.unlock();
    // A failing write means a lost port, which the tty reports to the device.
    sink.writeBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                    Clock::now() + std::chrono::milliseconds(100));
    lock.lock();
    changed.notify_all();
}

LineChannel::Reply LineChannel::await(uint64_t id, Clock::time_point deadline)
{
    std::unique_lock<std::mutex> lock(mutex);
    const auto done = [&] { return results.count(id) != 0; };
    changed.wait_until(lock, deadline, [&] { return done() || !running; });
    const auto it = results.find(id);
    if (it != results.end()) {
        const Reply r = it->second;
        results.erase(it);
        return r;
    }
    // Still unanswered, on the wire or waiting in the outbox: either way it will be sent.
    return running ? Reply::Queued : Reply::Failed;
}

size_t LineChannel::dropUnsent()
{
    std::lock_guard<std::mutex> lock(mutex);
    const size_t n = outbox.size();
    dropOutbox();
    return n;
}

size_t LineChannel::dropUnsentJogs()
{
    std::unique_lock<std::mutex> lock(mutex);
    size_t n = 0;
    for (auto it = outbox.begin(); it != outbox.end();) {
        if (it->info.needsPlannerRoom()) {
            finish(it->id, Reply::Failed);
            it = outbox.erase(it);
            ++n;
        } else {
            ++it;
        }
    }
    if (n > 0)
        pump(lock);  // lines that waited behind a jog may go now
    return n;
}

bool LineChannel::jogInFlight() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return std::any_of(inFlight.begin(), inFlight.end(),
                       [](const Line& l) { return l.info.needsPlannerRoom(); });
}

bool LineChannel::softReset()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!running)
            return false;
        inReset = true;
        dropOutbox();
        forgetInFlight();
    }
    return writeRealtime(SoftReset);
}

bool LineChannel::resetting() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return inReset;
}

bool LineChannel::writeRealtime(uint8_t byte)
{
    log.realtime(byte);
    return sink.writeBytes(&byte, 1, Clock::now() + std::chrono::milliseconds(50));
}

void LineChannel::plannerFree(int blocks)
{
    std::unique_lock<std::mutex> lock(mutex);
    planned = std::clamp(plannerBlocks - blocks, 0, plannerBlocks);
    pump(lock);
}

void LineChannel::receive(const uint8_t* data, size_t count)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        heard = Clock::now();
        received += count;
    }
    for (size_t i = 0; i < count; ++i) {
        const char c = static_cast<char>(data[i]);
        if (c == '\n' || c == '\r') {
            if (!partial.empty())
                handleLine(partial);
            partial.clear();
        } else if (partial.size() < 512) {
            partial.push_back(c);
        }
    }
}

void LineChannel::handleLine(const std::string& text)
{
    const grbl::Line line = classifyLine(text);
    if (line.kind == LineKind::Ok || line.kind == LineKind::Error) {
        std::unique_lock<std::mutex> lock(mutex);
        if (inReset || inFlight.empty()) {
            log.received(text);
            return;  // the answer to a line a reset dropped
        }
        const Line done = std::move(inFlight.front());
        inFlight.pop_front();
        inFlightBytes -= done.bytes.size();
        const bool ok = line.kind == LineKind::Ok;
        log.answered(done.bytes.substr(0, done.bytes.size() - 1), done.info.console, ok,
                     line.code);
        // An answered motion line is planned (a jog behind a full planner is answered once
        // it has found room).
        if (ok && done.info.isMotion())
            planned = std::min(planned + 1, plannerBlocks);
        lock.unlock();
        // The device learns of the answer (and raises its error) before the caller that waits
        // for it goes on.
        listener.lineAnswered(done.info, ok, ok ? 0 : line.code);
        lock.lock();
        finish(done.id, ok ? Reply::Ok : Reply::Error);
        pump(lock);
        return;
    }
    log.received(text);
    if (line.kind == LineKind::Welcome) {
        // The firmware started afresh: whatever was in flight is gone, unanswered.
        std::unique_lock<std::mutex> lock(mutex);
        inReset = false;
        forgetInFlight();
        lock.unlock();
        listener.lineReceived(text);
        std::unique_lock<std::mutex> again(mutex);
        pump(again);
        return;
    }
    listener.lineReceived(text);
}

LineInfo LineChannel::oldestInFlight() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return inFlight.empty() ? LineInfo() : inFlight.front().info;
}

size_t LineChannel::bytesInFlight() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return inFlightBytes;
}

size_t LineChannel::linesQueued() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return outbox.size();
}

LineChannel::Clock::time_point LineChannel::lastByte() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return heard;
}

uint64_t LineChannel::bytesReceived() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return received;
}

}  // namespace grbl
}  // namespace quenta
