#pragma once
// The console of an open port, beside the C functions: lines the operator types go to the
// controller as they are, realtime bytes go at once, and the transcript tells everything that
// went over the line and came back. Only controllers that read text lines themselves (GRBL)
// have one; for the others consoleAvailable is false and the calls refuse.
//
// The transcript is kept by the device, bounded, and taken in batches from any thread:
// consoleTake never waits for a call in flight on the port.

#include <cstdint>
#include <string>
#include <vector>

struct TarvoPortSettings;

namespace quenta {

struct ConsoleEntry {
    enum class Kind {
        Sent,      // a line sent to the controller (typed in the console or the library's own)
        Realtime,  // a realtime byte sent; text names it ("?", "!", "~", "Ctrl-X")
        Answer,    // "ok" or "error:N" for the line in `line`
        Received,  // any other line from the controller (reports, $$ lines, alarms, messages)
        Note,      // the library's own remark (lines left out of a full transcript)
    };
    Kind kind = Kind::Received;
    std::string text;
    std::string line;      // Answer: the line it answers
    std::string meaning;   // what an error, alarm or `$N=` setting means, in a few words
    bool status = false;   // a status query or its report: hidden unless asked for
    bool console = false;  // Sent/Answer: a line typed in the console
    int code = 0;          // Answer: the error number (0 for ok); Received: the alarm number
};

// True when the record's port is open and its controller has a console.
bool consoleAvailable(TarvoPortSettings* record);

// Queues one line (without its line end) on the controller's line queue behind the lines
// already waiting, and returns at once: the answer comes into the transcript. 0 and the reason
// when it is refused: the port is not open, a job or RAM program runs (only the realtime bytes
// are taken then), the line is too long or holds a character the controller would act on at
// once. A line that is a realtime character alone ("?", "!", "~") is sent as that byte.
int consoleSend(TarvoPortSettings* record, const std::string& line, std::string& reason);

// One realtime byte: '?' status, '!' hold, '~' resume, 0x18 soft reset. While a job runs, hold
// and resume pause and resume the job, so it knows. 0 for other bytes or a closed port.
int consoleRealtime(TarvoPortSettings* record, uint8_t byte);

// Appends what the transcript gathered since the last take to out, oldest first, and empties
// it. false when the port is not open or has no console.
bool consoleTake(TarvoPortSettings* record, std::vector<ConsoleEntry>& out);

}  // namespace quenta
