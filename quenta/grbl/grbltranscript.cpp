#include "grbltranscript.h"

#include "grblprotocol.h"

#include <map>

namespace quenta {
namespace grbl {

namespace {

std::string realtimeName(uint8_t byte)
{
    switch (byte) {
    case StatusQuery: return "?";
    case FeedHold: return "!";
    case CycleStart: return "~";
    case SoftReset: return "Ctrl-X (soft reset)";
    case JogCancel: return "0x85 (jog cancel)";
    default: break;
    }
    static const char hex[] = "0123456789ABCDEF";
    return std::string("0x") + hex[byte >> 4] + hex[byte & 15];
}

}  // namespace

void Transcript::push(ConsoleEntry entry)
{
    entries.push_back(std::move(entry));
    while (entries.size() > Capacity) {
        entries.pop_front();
        ++lost;
    }
}

void Transcript::sent(const std::string& line, bool console)
{
    ConsoleEntry e;
    e.kind = ConsoleEntry::Kind::Sent;
    e.text = line;
    e.console = console;
    std::lock_guard<std::mutex> lock(mutex);
    push(std::move(e));
}

void Transcript::realtime(uint8_t byte)
{
    ConsoleEntry e;
    e.kind = ConsoleEntry::Kind::Realtime;
    e.text = realtimeName(byte);
    std::lock_guard<std::mutex> lock(mutex);
    // The library asks for a report every 100 ms; the operator's own "?" shows its answer.
    e.status = byte == StatusQuery && !reportWanted;
    push(std::move(e));
}

void Transcript::answered(const std::string& line, bool console, bool ok, int errorCode)
{
    ConsoleEntry e;
    e.kind = ConsoleEntry::Kind::Answer;
    e.text = ok ? std::string("ok") : "error:" + std::to_string(errorCode);
    e.line = line;
    e.console = console;
    e.code = ok ? 0 : errorCode;
    if (!ok)
        e.meaning = errorMessage(errorCode);
    std::lock_guard<std::mutex> lock(mutex);
    push(std::move(e));
}

void Transcript::received(const std::string& text)
{
    ConsoleEntry e;
    e.kind = ConsoleEntry::Kind::Received;
    e.text = text;
    const Line line = classifyLine(text);
    if (line.kind == LineKind::Alarm) {
        e.code = line.code;
        e.meaning = alarmMessage(line.code);
    } else if (line.kind == LineKind::Setting) {
        e.meaning = settingMeaning(line.code);
    }
    std::lock_guard<std::mutex> lock(mutex);
    if (line.kind == LineKind::Report) {
        e.status = !reportWanted;
        reportWanted = false;
    }
    push(std::move(e));
}

void Transcript::showNextReport()
{
    std::lock_guard<std::mutex> lock(mutex);
    reportWanted = true;
}

void Transcript::take(std::vector<ConsoleEntry>& out)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (lost > 0) {
        ConsoleEntry note;
        note.kind = ConsoleEntry::Kind::Note;
        note.text = std::to_string(lost) + " earlier lines left out";
        out.push_back(std::move(note));
        lost = 0;
    }
    out.insert(out.end(), std::make_move_iterator(entries.begin()),
               std::make_move_iterator(entries.end()));
    entries.clear();
}

std::string settingMeaning(int number)
{
    static const std::map<int, const char*> texts = {
        {0, "step pulse length, microseconds"},
        {1, "step idle delay, milliseconds (255 = motors always on)"},
        {2, "step pulse invert, axis mask"},
        {3, "direction invert, axis mask"},
        {4, "invert the step enable pin, 0/1"},
        {5, "invert the limit pins, 0/1"},
        {6, "invert the probe pin, 0/1"},
        {10, "status report contents, mask (1 = MPos, 2 = Bf)"},
        {11, "junction deviation, mm"},
        {12, "arc tolerance, mm"},
        {13, "report in inches, 0/1"},
        {20, "soft limits, 0/1 (needs homing)"},
        {21, "hard limits, 0/1"},
        {22, "homing cycle, 0/1"},
        {23, "homing direction invert, axis mask"},
        {24, "homing feed (locating the switch), mm/min"},
        {25, "homing seek (finding the switch), mm/min"},
        {26, "homing switch debounce, milliseconds"},
        {27, "homing pull-off distance, mm"},
        {30, "spindle speed at full output, RPM"},
        {31, "spindle speed at the least output, RPM"},
        {32, "laser mode, 0/1"},
    };
    const auto it = texts.find(number);
    if (it != texts.end())
        return it->second;
    static const char axes[] = "XYZA";
    const int group = number / 10, axis = number % 10;
    if (number < 100 || number > 133 || axis > 3)
        return {};
    const std::string a(1, axes[axis]);
    switch (group) {
    case 10: return a + " resolution, steps/mm";
    case 11: return a + " maximum rate, mm/min";
    case 12: return a + " acceleration, mm/s^2";
    case 13: return a + " maximum travel, mm";
    default: return {};
    }
}

}  // namespace grbl
}  // namespace quenta
