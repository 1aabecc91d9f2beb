#include "lexer.h"

#include <cmath>

namespace gcode {
namespace lex {

namespace {

// Bytes GRBL's receive interrupt takes out of the stream and acts on, wherever they stand.
bool isRealtimeByte(unsigned char c)
{
    return c == '?' || c == '!' || c == '~' || c == 0x18 || c >= 0x80;
}

// Removes what the firmware's line reader removes: blanks and control characters, comments in
// parentheses (to ')' or the line end) and after ';', and the block-delete '/'.
void strip(std::string_view raw, Line& out)
{
    bool inParen = false;
    for (const char ch : raw) {
        const auto c = static_cast<unsigned char>(ch);
        if (inParen) {
            inParen = c != ')';
            continue;
        }
        if (c == ';')
            break;
        if (c == '(') {
            inParen = true;
        } else if (isRealtimeByte(c)) {
            out.realtimeByte = true;
        } else if (c > ' ' && c != '/') {
            out.stripped.push_back(c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : char(c));
        }
    }
}

bool isGrblValueLetter(char c)
{
    switch (c) {
    case 'F': case 'I': case 'J': case 'K': case 'L': case 'N': case 'P': case 'R': case 'S':
    case 'T': case 'X': case 'Y': case 'Z':
        return true;
    default:
        return false;
    }
}

// G and M numbers GRBL 1.1 reads at all (by their integer part); the decimals it checks itself.
bool grblKnowsG(int whole)
{
    switch (whole) {
    case 0: case 1: case 2: case 3: case 4: case 10: case 17: case 18: case 19: case 20:
    case 21: case 28: case 30: case 38: case 40: case 43: case 49: case 53: case 54: case 55:
    case 56: case 57: case 58: case 59: case 61: case 80: case 90: case 91: case 92: case 93:
    case 94:
        return true;
    default:
        return false;
    }
}

bool grblKnowsM(int whole)
{
    switch (whole) {
    case 0: case 1: case 2: case 3: case 4: case 5: case 7: case 8: case 9: case 30:
        return true;
    default:
        return false;
    }
}

enum class Fate { Keep, Drop, Refuse, ToolChange };

Fate gFate(int whole, int hundredths, Target target)
{
    if (whole == 64 && hundredths == 0)
        return Fate::Drop; // path blending: the firmware always follows the path exactly
    if (whole == 61 && hundredths == 10)
        return Fate::Drop; // exact stop at every corner: only slows the path down
    if (whole == 97 && hundredths == 0)
        return Fate::Drop; // spindle speed in rpm, the only way the firmware reads S
    if (!grblKnowsG(whole))
        return Fate::Refuse;
    if (whole == 43 && hundredths == 0)
        return Fate::Refuse; // tool length from a tool table the firmware does not have
    if (whole == 38 && (hundredths < 20 || hundredths > 50 || hundredths % 10 != 0))
        return Fate::Refuse;
    if (whole == 38 && target == Target::Kavro)
        return Fate::Refuse; // probing
    if ((whole == 28 || whole == 30 || whole == 92) && hundredths != 0 && hundredths != 10)
        return Fate::Refuse; // G28.2, G92.2, G92.3, ...
    if (whole == 90 && hundredths == 10)
        return Fate::Refuse; // absolute arc centres: the firmware reads them as incremental
    if (whole == 59 && hundredths != 0)
        return Fate::Refuse; // G59.1..G59.3
    return Fate::Keep;
}

Fate mFate(int whole, int hundredths, bool mistCoolant)
{
    if (whole == 6 && hundredths == 0)
        return Fate::ToolChange;
    if ((whole == 48 || whole == 49) && hundredths == 0)
        return Fate::Drop; // override switches: the operator's overrides stay enabled
    if (!grblKnowsM(whole))
        return Fate::Refuse;
    if (whole == 7 && !mistCoolant)
        return Fate::Refuse;
    return Fate::Keep;
}

bool hasCommand(const Line& line, char letter, int whole)
{
    for (const Word& w : line.words) {
        int wh = 0, hu = 0;
        if (w.letter == letter) {
            splitCommand(w.value, wh, hu);
            if (wh == whole && hu == 0)
                return true;
        }
    }
    return false;
}

Fate wordFate(const Word& w, const Line& line, Target target, bool mistCoolant)
{
    int whole = 0, hundredths = 0;
    splitCommand(w.value, whole, hundredths);
    if (w.letter == 'G')
        return gFate(whole, hundredths, target);
    if (w.letter == 'M')
        return mFate(whole, hundredths, mistCoolant);
    if ((w.letter == 'P' || w.letter == 'Q') && hasCommand(line, 'G', 64)) {
        // G64's tolerances go with it, unless a dwell or G10 needs the P.
        if (w.letter == 'Q' || !(hasCommand(line, 'G', 4) || hasCommand(line, 'G', 10)))
            return Fate::Drop;
    }
    return isGrblValueLetter(w.letter) ? Fate::Keep : Fate::Refuse;
}

void classify(Line& line, Target target, bool mistCoolant)
{
    for (Word& w : line.words) {
        const Fate fate = wordFate(w, line, target, mistCoolant);
        if (fate == Fate::Keep)
            continue;
        UnsupportedWord u;
        u.letter = w.letter;
        u.value = w.value;
        u.fate = fate == Fate::Drop       ? WordFate::Dropped
                 : fate == Fate::Refuse   ? WordFate::Refused
                                          : WordFate::ToolChange;
        line.unsupported.push_back(u);
        w.parse = false;
        w.send = fate == Fate::Refuse; // a refused job is never sent; keep the text honest
        if (fate == Fate::ToolChange)
            line.toolChange = true;
    }
}

} // namespace

void splitCommand(float value, int& whole, int& hundredths)
{
    const float t = std::trunc(value);
    whole = std::fabs(t) < 1e6f ? static_cast<int>(t) : -1;
    hundredths = whole < 0 ? 0 : static_cast<int>(std::lround(100 * (value - t)));
}

bool readNumber(std::string_view s, size_t& pos, float& value)
{
    size_t i = pos;
    bool negative = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+'))
        negative = s[i++] == '-';
    uint32_t digits = 0;
    int exponent = 0;
    int count = 0;
    bool decimal = false;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        if (c >= '0' && c <= '9') {
            ++count;
            if (count <= 8) {
                digits = digits * 10 + uint32_t(c - '0');
                exponent -= decimal ? 1 : 0;
            } else if (!decimal) {
                ++exponent; // digits beyond eight only move the decimal point
            }
        } else if (c == '.' && !decimal) {
            decimal = true;
        } else {
            break;
        }
    }
    if (count == 0)
        return false;
    float v = static_cast<float>(digits);
    if (v != 0) {
        for (; exponent <= -2; exponent += 2)
            v *= 0.01f;
        if (exponent < 0)
            v *= 0.1f;
        for (; exponent > 0; --exponent)
            v *= 10.0f;
    }
    value = negative ? -v : v;
    pos = i;
    return true;
}

void lexLine(std::string_view raw, Target target, bool mistCoolant, Line& out)
{
    out.stripped.clear();
    out.words.clear();
    out.unsupported.clear();
    out.lexError = 0;
    out.lexErrorAt = 0;
    out.sentLength = 0;
    out.realtimeByte = out.percent = out.toolChange = out.tooLong = false;
    strip(raw, out);
    if (out.stripped == "%") {
        out.percent = true;
        out.stripped.clear();
        return;
    }
    const std::string_view s = out.stripped;
    size_t pos = 0;
    while (pos < s.size()) {
        Word w;
        w.letter = s[pos];
        w.begin = static_cast<uint16_t>(std::min<size_t>(pos, 0xFFFF));
        size_t at = pos + 1;
        if (w.letter < 'A' || w.letter > 'Z') {
            out.lexError = 1;
        } else if (!readNumber(s, at, w.value)) {
            out.lexError = 2;
        }
        if (out.lexError) {
            out.lexErrorAt = pos;
            break;
        }
        w.end = static_cast<uint16_t>(std::min<size_t>(at, 0xFFFF));
        out.words.push_back(w);
        pos = at;
    }
    classify(out, target, mistCoolant);
    size_t removed = 0;
    for (const Word& w : out.words)
        removed += w.send ? 0 : w.end - w.begin;
    out.sentLength = out.stripped.size() - removed;
    out.tooLong = out.sentLength > LineBufferChars;
}

void sentText(const Line& line, std::string& out)
{
    out.clear();
    if (line.stripped.size() > 0xFFFF) {
        out = line.stripped; // spans are not kept this far; such a line is refused anyway
        return;
    }
    size_t from = 0;
    for (const Word& w : line.words) {
        if (w.send)
            continue;
        out.append(line.stripped, from, w.begin - from);
        from = w.end;
    }
    out.append(line.stripped, from, std::string::npos);
}

} // namespace lex
} // namespace gcode
