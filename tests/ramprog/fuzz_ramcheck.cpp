// Feeds arbitrary bytes, read as UTF-8, to the RAM program check pass and the field splitter.

#include "ramprogram.h"
#include "ramsyntax.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data),
                                           static_cast<qsizetype>(size));
    const RamProgramCheck check = CheckRamProgram(text);
    // A clean check holds one command per kept line, 1 to 100 of them.
    if (check.messages.isEmpty()
        && (check.commands.isEmpty() || check.commands.size() > MaxRamProgramLines
            || check.commands.size() != SplitRamProgramLines(text).size()))
        std::abort();
    for (const RamCommand& command : check.commands) {
        if (command.lineNumber < 1)
            std::abort();
    }
    // The field splitter cuts exactly where the shared pattern matches.
    const QString line = text.left(4096);
    const std::array<QString, 5> fields = SplitRamCommandFields(line);
    const QStringList pieces = line.split(RamWordSeparator());
    for (int i = 0; i < 5; ++i) {
        if (fields[size_t(i)] != (i < pieces.size() ? pieces[i] : QString()))
            std::abort();
    }
    return 0;
}
