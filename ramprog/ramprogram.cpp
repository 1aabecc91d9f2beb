#include "ramprogram.h"

#include "quenta.h"
#include "ramsyntax.h"

#include <QVarLengthArray>

#include <algorithm>
#include <charconv>
#include <cfloat>
#include <cmath>
#include <cstring>

const QStringList& RAMCommandList()
{
    static const QStringList list =
        QStringLiteral("GO_XY_S;GO_XY_MM;GO_ZC_S;GO_ZC_MM;WAIT;GO_PARK;GO_REF;SET_ZERO_S;"
                       "SET_ZERO_MM;SET_FUNC;SET_O")
            .split(QLatin1Char(';'));
    return list;
}

bool IsRamKeyword(const QString& word)
{
    return RAMCommandList().contains(word, Qt::CaseInsensitive);
}

namespace {

bool isDecimalDigit(QChar c)
{
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

// Reads the digits of text from position i on into value; fails on any other character, on
// no digit at all, or once value exceeds limit.
bool parseDigits(QStringView text, qsizetype i, int64_t limit, int64_t& value)
{
    if (i >= text.size())
        return false;
    int64_t acc = 0;
    for (; i < text.size(); ++i) {
        if (!isDecimalDigit(text[i]))
            return false;
        acc = acc * 10 + (text[i].unicode() - u'0');
        if (acc > limit)
            return false;
    }
    value = acc;
    return true;
}

// Which ASCII characters the shared separator pattern matches, asked of the pattern once.
const std::array<bool, 128>& asciiSeparators()
{
    static const std::array<bool, 128> table = [] {
        std::array<bool, 128> separators{};
        for (char16_t c = 0; c < 128; ++c)
            separators[c] = RamWordSeparator().match(QString(QChar(c))).hasMatch();
        return separators;
    }();
    return table;
}

bool isAscii(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 128; });
}

// The five fields of a line, as views into it: the pieces between the matches of the shared
// separator pattern. A line of ASCII characters is scanned with the pattern's own answers for
// each character (the same pieces at a fraction of the cost of one match per field); any
// other line goes through the pattern itself.
void splitFields(QStringView line, bool ascii, std::array<QStringView, 5>& fields)
{
    for (QStringView& field : fields)
        field = QStringView();
    const qsizetype n = line.size();
    qsizetype start = 0;
    if (ascii) {
        const std::array<bool, 128>& separator = asciiSeparators();
        for (QStringView& field : fields) {
            qsizetype end = start;
            while (end < n && !separator[line[end].unicode()])
                ++end;
            field = line.sliced(start, end - start);
            if (end == n)
                break;
            start = end;
            while (start < n && separator[line[start].unicode()])
                ++start;
        }
        return;
    }
    const QRegularExpression& pattern = RamWordSeparator();
    for (QStringView& field : fields) {
        const QRegularExpressionMatch match = pattern.match(line, start);
        if (!match.hasMatch()) {
            field = line.sliced(start);
            break;
        }
        field = line.sliced(start, match.capturedStart() - start);
        start = match.capturedEnd();
    }
}

// The non-empty lines of a text, as views into it; stops after maxLines + 1 of them unless
// maxLines is negative.
struct LineView {
    qsizetype lineNumber;
    QStringView text;
};
QVarLengthArray<LineView, MaxRamProgramLines + 1> splitLines(QStringView text, int maxLines)
{
    QVarLengthArray<LineView, MaxRamProgramLines + 1> lines;
    const qsizetype n = text.size();
    qsizetype lineNumber = 0;
    qsizetype start = 0;
    while (start <= n) {
        ++lineNumber;
        // One pass to the line's end, noting where its comment starts: at the first "//" or
        // the first "#", whichever comes first.
        qsizetype end = start;
        qsizetype comment = -1;
        for (; end < n; ++end) {
            const char16_t c = text[end].unicode();
            if (c == u'\n')
                break;
            if (comment < 0
                && (c == u'#' || (c == u'/' && end + 1 < n && text[end + 1] == u'/'))) {
                comment = end;
            }
        }
        const QStringView line =
            text.sliced(start, (comment >= 0 ? comment : end) - start).trimmed();
        if (!line.isEmpty()) {
            lines.append(LineView{lineNumber, line});
            if (maxLines >= 0 && lines.size() > maxLines)
                break;
        }
        start = end + 1;
    }
    return lines;
}

// The position of word in RAMCommandList(), or -1. The comparison is exact: the caller has
// upper-cased the line already.
int keywordIndex(QStringView word)
{
    const QStringList& keywords = RAMCommandList();
    for (int i = 0; i < keywords.size(); ++i) {
        const QString& keyword = keywords.at(i);
        if (word.size() == keyword.size()
            && std::memcmp(word.utf16(), keyword.utf16(), size_t(word.size()) * 2) == 0)
            return i;
    }
    return -1;
}

QString parameterMessage(int parameter, qsizetype lineNumber)
{
    return QStringLiteral("Syntax Error: Parameter %1 at line %2 is invalid.")
        .arg(parameter)
        .arg(lineNumber);
}

}  // namespace

bool ParseRamInteger(QStringView text, int32_t& value)
{
    qsizetype i = 0;
    bool negative = false;
    if (!text.isEmpty() && (text[0] == u'+' || text[0] == u'-')) {
        negative = text[0] == u'-';
        ++i;
    }
    int64_t magnitude = 0;
    if (!parseDigits(text, i, negative ? 2147483648LL : 2147483647LL, magnitude))
        return false;
    value = static_cast<int32_t>(negative ? -magnitude : magnitude);
    return true;
}

bool ParseRamUnsigned(QStringView text, uint32_t& value)
{
    const qsizetype i = !text.isEmpty() && text[0] == u'+' ? 1 : 0;
    int64_t magnitude = 0;
    if (!parseDigits(text, i, 4294967295LL, magnitude))
        return false;
    value = static_cast<uint32_t>(magnitude);
    return true;
}

bool ParseRamNumber(QStringView text, float& value)
{
    // The grammar is checked here; the conversion below would also take "inf", "nan" and
    // surrounding white space, which the language does not.
    const qsizetype n = text.size();
    qsizetype i = 0;
    if (i < n && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    qsizetype mantissaDigits = 0;
    for (; i < n && isDecimalDigit(text[i]); ++i)
        ++mantissaDigits;
    if (i < n && text[i] == u'.') {
        for (++i; i < n && isDecimalDigit(text[i]); ++i)
            ++mantissaDigits;
    }
    if (mantissaDigits == 0)
        return false;
    if (i < n && (text[i] == u'E' || text[i] == u'e')) {
        ++i;
        if (i < n && (text[i] == u'+' || text[i] == u'-'))
            ++i;
        qsizetype exponentDigits = 0;
        for (; i < n && isDecimalDigit(text[i]); ++i)
            ++exponentDigits;
        if (exponentDigits == 0)
            return false;
    }
    if (i != n)
        return false;

    // Short texts, all of them in practice, convert without Qt's locale machinery; from_chars
    // takes no "+" and reports overflow and underflow alike, so those go the long way.
    bool ok = false;
    double wide = 0.0;
    char buffer[64];
    const qsizetype skip = text[0] == u'+' ? 1 : 0;
    if (n - skip < qsizetype(sizeof buffer)) {
        for (qsizetype k = skip; k < n; ++k)
            buffer[k - skip] = char(text[k].unicode());
        const std::from_chars_result parsed =
            std::from_chars(buffer, buffer + (n - skip), wide);
        ok = parsed.ec == std::errc() && parsed.ptr == buffer + (n - skip);
    }
    if (!ok)
        wide = text.toDouble(&ok);
    if (!ok) {
        // Qt refuses underflow as well as overflow (which gives an infinity); a value too
        // small for a double is 0 for the controller all the same.
        if (std::isfinite(wide) && std::fabs(wide) <= DBL_MIN)
            ok = true;
    }
    if (!ok || !std::isfinite(wide) || std::fabs(wide) > FLT_MAX)
        return false;
    value = static_cast<float>(wide);
    return true;
}

QList<RamProgramLine> SplitRamProgramLines(QStringView text, int maxLines)
{
    QList<RamProgramLine> lines;
    for (const LineView& line : splitLines(text, maxLines))
        lines.append(RamProgramLine{line.lineNumber, line.text.toString()});
    return lines;
}

std::array<QString, 5> SplitRamCommandFields(const QString& line)
{
    std::array<QStringView, 5> views;
    splitFields(line, isAscii(line), views);
    std::array<QString, 5> fields;
    for (size_t i = 0; i < views.size(); ++i)
        fields[i] = views[i].toString();
    return fields;
}

RamProgramCheck CheckRamProgram(const QString& text)
{
    RamProgramCheck result;
    const auto lines = splitLines(text, MaxRamProgramLines);
    if (lines.isEmpty()) {
        result.messages.append(QStringLiteral("Error: RAM-Programm is empty."));
        return result;
    }
    if (lines.size() > MaxRamProgramLines) {
        result.messages.append(QStringLiteral("Error: RAM-Programm is too big."));
        return result;
    }

    result.commands.reserve(lines.size());
    std::array<QStringView, 5> fields;
    QVarLengthArray<char16_t, 256> asciiUpper;
    QString unicodeUpper;
    for (const LineView& line : lines) {
        const qsizetype lineNumber = line.lineNumber;
        bool valid = true;
        // The line is examined in upper case. ASCII lines, the usual ones, are converted
        // into a reused buffer; others by the full Unicode mapping.
        const bool ascii = isAscii(line.text);
        QStringView upper;
        if (ascii) {
            asciiUpper.resize(line.text.size());
            for (qsizetype i = 0; i < line.text.size(); ++i) {
                const char16_t c = line.text[i].unicode();
                asciiUpper[i] = c >= u'a' && c <= u'z' ? char16_t(c - (u'a' - u'A')) : c;
            }
            upper = QStringView(asciiUpper.data(), asciiUpper.size());
        } else {
            unicodeUpper = line.text.toString().toUpper();
            upper = unicodeUpper;
        }
        const qsizetype semicolon = upper.indexOf(u';');
        if (semicolon < 0) {
            result.messages.append(
                QStringLiteral("Syntax Error: There is no ';' at line %1.").arg(lineNumber));
            valid = false;
        } else {
            upper.truncate(semicolon);  // a second command on the line is dropped
        }
        splitFields(upper, ascii, fields);

        const int keyword = keywordIndex(fields[0]);
        if (keyword < 0) {
            result.messages.append(
                QStringLiteral("Syntax Error: Unknown command at line %1.").arg(lineNumber));
            continue;
        }

        RamCommand command;
        command.lineNumber = lineNumber;
        command.id = static_cast<RamCommandId>(keyword);
        const auto reject = [&](int parameter) {
            result.messages.append(parameterMessage(parameter, lineNumber));
            valid = false;
        };
        const auto checkIntegers = [&](int count) {
            for (int p = 1; p <= count; ++p) {
                if (!ParseRamInteger(fields[p], command.ints[p - 1])
                    || (p == 1 && count == 3 && command.ints[0] < 0)) {
                    reject(p);
                }
            }
        };
        const auto checkNumbers = [&](int count) {
            for (int p = 1; p <= count; ++p) {
                if (!ParseRamNumber(fields[p], command.floats[p - 1])
                    || (p == 1 && count == 3 && command.floats[0] < 0.0f)) {
                    reject(p);
                }
            }
        };
        const auto checkUnsigned = [&](int count, uint32_t max) {
            for (int p = 1; p <= count; ++p) {
                uint32_t value = 0;
                if (!ParseRamUnsigned(fields[p], value) || value > max)
                    reject(p);
                else
                    command.ints[p - 1] = static_cast<int32_t>(value);
            }
        };

        switch (command.id) {
        case RamCommandId::GoXyS:
        case RamCommandId::GoZcS:
            checkIntegers(3);  // speed not negative, distances any sign
            break;
        case RamCommandId::GoXyMm:
        case RamCommandId::GoZcMm:
            checkNumbers(3);
            break;
        case RamCommandId::Wait:
            if (!ParseRamInteger(fields[1], command.ints[0]) || command.ints[0] < 0
                || command.ints[0] > MaxRamWaitMs) {
                reject(1);
            }
            break;
        case RamCommandId::GoPark:
        case RamCommandId::GoRef:
            break;  // parameters, if any, are ignored
        case RamCommandId::SetZeroS:
            checkIntegers(4);
            break;
        case RamCommandId::SetZeroMm:
            checkNumbers(4);
            break;
        case RamCommandId::SetFunc:
            checkUnsigned(2, 1);
            break;
        case RamCommandId::SetO:
            checkUnsigned(1, 255);
            break;
        }
        if (valid)
            result.commands.append(command);
    }
    return result;
}

int SendRamCommand(TarvoPortSettings* portSettings, const RamCommand& command)
{
    // The moves take six-entry axis arrays: entry 0 carries the distance, the rest stay 0.
    int32_t firstSteps[6] = {};
    int32_t secondSteps[6] = {};
    float firstMm[6] = {};
    float secondMm[6] = {};
    const auto& i = command.ints;
    const auto& f = command.floats;
    switch (command.id) {
    case RamCommandId::GoXyS:
    case RamCommandId::GoZcS:
        firstSteps[0] = i[1];
        secondSteps[0] = i[2];
        if (command.id == RamCommandId::GoXyS)
            return FahreRelativ_XY_Schritte(portSettings, i[0], 1, firstSteps, secondSteps, 3);
        return FahreRelativ_ZC_Schritte(portSettings, i[0], 1, firstSteps, secondSteps, 3);
    case RamCommandId::GoXyMm:
    case RamCommandId::GoZcMm:
        firstMm[0] = f[1];
        secondMm[0] = f[2];
        if (command.id == RamCommandId::GoXyMm)
            return FahreRelativ_XY_mm(portSettings, f[0], 1, firstMm, secondMm, 3);
        return FahreRelativ_ZC_mm(portSettings, f[0], 1, firstMm, secondMm, 3);
    case RamCommandId::Wait:
        return HaltePosition(portSettings, i[0]);
    case RamCommandId::GoPark:
        return ParkPositionAnfahren(portSettings);
    case RamCommandId::GoRef:
        return Referenzfahrt(portSettings, 0, 0);
    case RamCommandId::SetZeroS:
        return NullPunktSetzen_Schritte(portSettings, i[0], i[1], i[2], i[3]);
    case RamCommandId::SetZeroMm:
        return NullPunktSetzen_mm(portSettings, f[0], f[1], f[2], f[3]);
    case RamCommandId::SetFunc:
        // The program line names coolant first; the library takes the spindle first.
        return SpindelKuhlungSetzen(portSettings, static_cast<uint8_t>(i[1]),
                                    static_cast<uint8_t>(i[0]));
    case RamCommandId::SetO:
        return AllgemeineAusgaeneSetzen(portSettings, static_cast<uint8_t>(i[0]));
    }
    return 0;
}
