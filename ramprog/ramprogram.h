#pragma once
// The RAM program language: keyword list, line and field splitting, number forms and the check
// pass that turns a program text into commands ready for the link library, plus error messages.
//
// Widget-free: the kernel's transfer of a program (kernel/kavrixkernel_ram.cpp), the editor's
// highlighter and the panels build on it.

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <array>
#include <cstdint>

struct TarvoPortSettings;

// The eleven command keywords, in this order:
// GO_XY_S GO_XY_MM GO_ZC_S GO_ZC_MM WAIT GO_PARK GO_REF SET_ZERO_S SET_ZERO_MM SET_FUNC SET_O.
const QStringList& RAMCommandList();
// True when word is one of the keywords, in any letter case.
bool IsRamKeyword(const QString& word);

// The keywords by their position in RAMCommandList().
enum class RamCommandId {
    GoXyS,
    GoXyMm,
    GoZcS,
    GoZcMm,
    Wait,
    GoPark,
    GoRef,
    SetZeroS,
    SetZeroMm,
    SetFunc,
    SetO,
};

// A program may hold at most this many non-empty lines.
constexpr int MaxRamProgramLines = 100;
// The longest pause WAIT accepts, in milliseconds.
constexpr int32_t MaxRamWaitMs = 12000000;

// One non-empty program line: its 1-based number in the text and its text after comment
// removal and trimming.
struct RamProgramLine {
    qsizetype lineNumber = 0;
    QString text;
};

// One checked command with its parameters converted to the types the link library takes.
// Step moves: ints = speed, first axis, second axis. Millimetre moves: floats likewise.
// WAIT: ints[0]. SET_ZERO_S: ints[0..3] (X, Y, Z, C); SET_ZERO_MM: floats[0..3].
// SET_FUNC: ints[0] coolant, ints[1] spindle (program order). SET_O: ints[0].
struct RamCommand {
    qsizetype lineNumber = 0;
    RamCommandId id = RamCommandId::GoPark;
    std::array<int32_t, 4> ints{};
    std::array<float, 4> floats{};
};

// Result of the check pass: the commands of all lines that passed, and one message per
// problem found, in the order they were found. An empty message list means the program can
// be written.
struct RamProgramCheck {
    QList<RamCommand> commands;
    QStringList messages;
};

// Splits text at "\n", numbering lines from 1, cuts each line at its first "//" and at its
// first "#", trims white space (a "\r" before the "\n" included) and keeps the non-empty
// lines. Collecting stops once maxLines + 1 lines are kept (enough to tell "too big"); a
// negative maxLines keeps every line.
QList<RamProgramLine> SplitRamProgramLines(QStringView text, int maxLines = -1);

// The first five pieces of line between runs of white space (the pattern \s+); missing
// pieces are empty, pieces beyond the fifth are dropped.
std::array<QString, 5> SplitRamCommandFields(const QString& line);

// Number forms of the language. All three take the whole text or fail; none accepts white
// space, a decimal comma, hexadecimal or octal prefixes, "inf" or "nan".
//
// Integer: an optional "+" or "-", then one or more decimal digits (leading zeros allowed,
// still decimal), with a value from -2147483648 to 2147483647. "+5" and "007" convert;
// "1e5", "0x10", "5.0" and 99999999999 (beyond 32 bits) do not.
bool ParseRamInteger(QStringView text, int32_t& value);
// Unsigned: an optional "+", then one or more decimal digits, at most 4294967295. A minus
// sign never converts, not even in "-0".
bool ParseRamUnsigned(QStringView text, uint32_t& value);
// Number: an optional sign, then decimal digits with an optional decimal point ("1.5", "5.",
// ".5", "10"; at least one digit), then an optional exponent ("E" or "e", optional sign,
// digits: "1e5", "1.5E-3", the form FormatRamNumber writes for very large or small values).
// The value must fit a 32-bit float: magnitudes above its largest finite value do not
// convert; tiny magnitudes round towards 0 as the float conversion does.
bool ParseRamNumber(QStringView text, float& value);

// The check pass over the whole program text, with the messages of WriteRAMProgramm:
// "Error: RAM-Programm is empty.", "Error: RAM-Programm is too big." (no further checks), or
// per line, in line order: the missing-";" message, parameter messages in parameter order,
// the unknown-command message.
RamProgramCheck CheckRamProgram(const QString& text);

// Makes the one link-library call of a checked command on the record and returns its result
// (0: the call failed, nothing was stored).
int SendRamCommand(TarvoPortSettings* portSettings, const RamCommand& command);
