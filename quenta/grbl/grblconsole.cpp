// The GRBL device's console: a typed line goes on the one line channel like every other line,
// so it takes its place in GRBL's character count; it is refused while a job or a RAM program
// owns the channel. What the device must know of a line (homing, unlock, a setting written) is
// attached to it as for the library's own lines.

#include "grbldevice.h"

#include <algorithm>
#include <cctype>

namespace quenta {

namespace {

using Kind = grbl::LineInfo::Kind;

std::string trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

// The line as GRBL's parser reads it: upper case, without blanks.
std::string compact(const std::string& line)
{
    std::string out;
    for (const char c : line) {
        if (c != ' ' && c != '\t')
            out.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    }
    return out;
}

// A G0 to G3 word outside comments: the line moves the machine.
bool movesMachine(const std::string& upper)
{
    bool comment = false;
    for (size_t i = 0; i < upper.size(); ++i) {
        const char c = upper[i];
        if (c == ';')
            return false;
        if (c == '(' || c == ')') {
            comment = c == '(';
            continue;
        }
        if (comment || c != 'G')
            continue;
        size_t end = i + 1;
        while (end < upper.size()
               && (std::isdigit(static_cast<unsigned char>(upper[end])) || upper[end] == '.'))
            ++end;
        const std::string number = upper.substr(i + 1, end - i - 1);
        if (!number.empty() && number.find_first_not_of('0') != std::string::npos) {
            const std::string digits = number.substr(number.find_first_not_of('0'));
            if (digits.size() == 1 && digits[0] >= '1' && digits[0] <= '3')
                return true;
        } else if (!number.empty() && number.find('.') == std::string::npos) {
            return true;  // G0, G00
        }
    }
    return false;
}

// What the device attaches to a typed line.
grbl::LineInfo describe(const std::string& upper)
{
    grbl::LineInfo info;
    info.console = true;
    if (upper == "$H") {
        info.kind = Kind::Home;
    } else if (upper == "$X") {
        info.kind = Kind::Unlock;
    } else if (upper.rfind("$J=", 0) == 0) {
        info.kind = Kind::Jog;
    } else if (upper.rfind("$I=", 0) == 0) {
        info.kind = Kind::BuildInfo;
        info.value = grbl::storedBuildInfo(upper.substr(3));
    } else if (upper.size() > 1 && upper[0] == '$'
               && std::isdigit(static_cast<unsigned char>(upper[1]))) {
        const auto eq = upper.find('=');
        const std::string number = upper.substr(1, eq == std::string::npos ? eq : eq - 1);
        if (eq != std::string::npos && number.size() <= 3
            && std::all_of(number.begin(), number.end(),
                           [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
            info.kind = Kind::Setting;
            info.number = std::stoi(number);
            info.value = upper.substr(eq + 1);
        }
    } else if (upper.empty() || upper[0] != '$') {
        info.kind = movesMachine(upper) ? Kind::Motion : Kind::Command;
    }
    return info;
}

}  // namespace

int GrblDevice::consoleSend(const std::string& text, std::string& reason)
{
    const std::string line = trimmed(text);
    if (line.empty()) {
        reason = "the line is empty";
        return 0;
    }
    if (line.size() == 1 && (line[0] == '?' || line[0] == '!' || line[0] == '~'))
        return consoleRealtime(static_cast<uint8_t>(line[0]));
    for (const char c : line) {
        const auto u = static_cast<unsigned char>(c);
        // GRBL acts on these bytes the moment they arrive, wherever they stand in a line.
        if (c == '?' || c == '!' || c == '~' || u < 0x20 || u >= 0x7f) {
            reason = c == '?' || c == '!' || c == '~'
                         ? std::string("the line holds '") + c
                               + "', which GRBL obeys at once as a realtime command; send it "
                                 "alone"
                         : std::string("the line holds a control or non-ASCII character");
            return 0;
        }
    }
    const grbl::LineInfo info = describe(compact(line));
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!s.opened || s.lost) {
            reason = "the controller is not connected";
            return 0;
        }
        if (jobActive(s.job.progress.state)) {
            reason = "a job runs: only status, hold, resume and soft reset go now";
            return 0;
        }
        if (s.streaming) {
            reason = "a RAM program runs: only status, hold, resume and soft reset go now";
            return 0;
        }
        if (s.mode != 2) {
            reason = "the controller is not in its normal mode";
            return 0;
        }
        if (s.halt != Halt::None) {
            reason = "an emergency halt is under way";
            return 0;
        }
        if (s.critical) {
            reason = "after a limit alarm GRBL hears nothing but a soft reset";
            return 0;
        }
        if (silentLocked()) {
            reason = "the controller has not answered for a while";
            return 0;
        }
        if (info.kind == Kind::Home) {
            // GRBL answers nothing, not even "?", until the cycle ends: that silence is expected.
            s.homing = true;
            s.alarmWhileHoming = false;
            s.homingSince = Clock::now();
        }
    }
    if (channel.queue(line, info) != 0)
        return 1;
    reason = "the line does not fit GRBL's receive buffer";
    if (info.kind == Kind::Home) {
        std::lock_guard<std::mutex> lock(mutex);
        s.homing = false;
    }
    return 0;
}

int GrblDevice::consoleRealtime(uint8_t byte)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!s.opened || s.lost)
            return 0;
    }
    switch (byte) {
    case grbl::StatusQuery:
        channel.transcript().showNextReport();
        return channel.writeRealtime(byte) ? 1 : 0;
    case grbl::FeedHold:
    case grbl::CycleStart:
        return channel.writeRealtime(byte) ? 1 : 0;
    case grbl::SoftReset:
        // Through the channel: what is queued and in flight is dropped with the firmware's
        // buffers, so the character count starts afresh with the welcome line.
        return channel.softReset() ? 1 : 0;
    default:
        return 0;
    }
}

void GrblDevice::consoleTake(std::vector<ConsoleEntry>& out)
{
    channel.transcript().take(out);
}

}  // namespace quenta
