#include "commandline.h"

#include "ramcommandformat.h"

CommandLine::CommandLine(const QString& keyword)
    : text(keyword)
{
}

CommandLine& CommandLine::Append(int32_t value)
{
    text += QLatin1Char(' ') + QString::number(value);
    return *this;
}

CommandLine& CommandLine::Append(float value)
{
    text += QLatin1Char(' ') + FormatFloat(value);
    return *this;
}

QString CommandLine::FormatFloat(float value)
{
    // The program language's own number form, so a generated line reads back as it was meant.
    return FormatRamNumber(static_cast<double>(value));
}
