#include "ramcommandformat.h"

#include <charconv>

QString FormatRamNumber(double value)
{
    // to_chars with a precision is C's "%.6g" in the "C" locale: the decimal separator is
    // always a point whatever the process locale, ties round to the exactly represented
    // value's side (1000.125 -> "1000.12") and -0 keeps its sign.
    char buffer[32];
    const std::to_chars_result result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                                      std::chars_format::general, 6);
    return QString::fromLatin1(buffer, static_cast<int>(result.ptr - buffer));
}

QLocale MachineNumberLocale()
{
    QLocale locale = QLocale::c();
    locale.setNumberOptions(QLocale::RejectGroupSeparator | QLocale::OmitGroupSeparator);
    return locale;
}
