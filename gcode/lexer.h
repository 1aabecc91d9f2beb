#pragma once
// Splits a line into words the way GRBL's serial reader and parser see them, and decides per
// word what a target does with it. Internal to the library.

#include "interpreter.h"

#include <string>
#include <string_view>
#include <vector>

namespace gcode {
namespace lex {

// The firmware keeps 79 characters of a line (its 80-byte buffer holds the terminator too).
constexpr size_t LineBufferChars = 79;

struct Word {
    char letter = 0;
    float value = 0;
    uint16_t begin = 0;   // span in the stripped text
    uint16_t end = 0;
    bool send = true;     // stays in the line sent
    bool parse = true;    // reaches the firmware's parser as the interpreter models it
};

struct Line {
    std::string stripped;        // upper case, no blanks, no comments
    std::vector<Word> words;
    int lexError = 0;            // 1 or 2 at the word after the last one listed, else 0
    size_t lexErrorAt = 0;       // position of that error in `stripped`
    bool realtimeByte = false;   // a byte the firmware acts on at once, outside comments
    bool percent = false;        // a '%' program delimiter line
    bool toolChange = false;     // M6
    bool tooLong = false;        // more than the characters the firmware's line buffer keeps
    size_t sentLength = 0;       // characters of the line sent
    std::vector<UnsupportedWord> unsupported;
};

// Reads a number as the firmware does (at most eight significant digits into an integer,
// decimal shifts by single-precision factors), so the value matches the firmware's bit for bit.
// On success `pos` is behind the number.
bool readNumber(std::string_view s, size_t& pos, float& value);

// Fills `out` (its buffers are reused) from one raw line without its line end.
void lexLine(std::string_view raw, Target target, bool mistCoolant, Line& out);

// The line sent: the stripped text without the words the target does not receive.
void sentText(const Line& line, std::string& out);

// The integer part and two decimals of a command number, as the firmware splits G38.2.
void splitCommand(float value, int& whole, int& hundredths);

} // namespace lex
} // namespace gcode
