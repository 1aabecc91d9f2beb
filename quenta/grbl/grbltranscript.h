#pragma once
// What went over the line to a GRBL controller and came back, for the console: every line sent
// (with who sent it), every realtime byte, every answer with the line it answers, every other
// line received. Bounded: when nobody takes it, the oldest entries go, and the next take says
// how many. Any thread may add or take; the lock is the transcript's own and nothing is called
// while it is held.

#include "console.h"

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace quenta {
namespace grbl {

class Transcript {
public:
    static constexpr size_t Capacity = 4000;

    void sent(const std::string& line, bool console);
    void realtime(uint8_t byte);
    void answered(const std::string& line, bool console, bool ok, int errorCode);
    void received(const std::string& text);
    // The next status report is shown, as the answer to a "?" the operator asked for.
    void showNextReport();

    // Appends the entries gathered since the last take, oldest first, and empties the
    // transcript; a note leads when entries were lost to the bound.
    void take(std::vector<ConsoleEntry>& out);

private:
    void push(ConsoleEntry entry);  // lock held

    std::mutex mutex;
    std::deque<ConsoleEntry> entries;
    uint64_t lost = 0;
    bool reportWanted = false;
};

// What GRBL 1.1's setting $N holds, in a few words with its unit; empty for numbers it has not.
std::string settingMeaning(int number);

}  // namespace grbl
}  // namespace quenta
