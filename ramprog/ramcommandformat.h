#pragma once

#include <QLocale>
#include <QString>

// The locale of every number an operator types for the machine (panel and parameter fields):
// "." as the decimal point and no group separators, read or written, whatever the desktop's
// language, so a validator never lets through text the conversion would then read as 0.
QLocale MachineNumberLocale();

// Text of a millimetre value in a RAM program command line: the value widened to double in
// general notation with 6 significant digits, fixed notation without trailing zeros for decimal
// exponents from -4 to 5, exponent notation (sign and at least two exponent digits) otherwise.
// Examples: 1.5f -> "1.5", 10.0f -> "10", 999999.0f -> "999999", 0.00001f -> "1e-05".
QString FormatRamNumber(double value);
