#include "commandline.h"

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
    // 'g' with precision 6 is printf's %g: trailing zeros dropped, exponent "e-05" / "e+06".
    return QString::number(static_cast<double>(value), 'g', 6);
}
