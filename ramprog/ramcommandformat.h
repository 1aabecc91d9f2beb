#pragma once

#include <QString>

// Text of a millimetre value in a RAM program command line: the value widened to double in
// general notation with 6 significant digits, fixed notation without trailing zeros for decimal
// exponents from -4 to 5, exponent notation (sign and at least two exponent digits) otherwise.
// Examples: 1.5f -> "1.5", 10.0f -> "10", 999999.0f -> "999999", 0.00001f -> "1e-05".
QString FormatRamNumber(double value);
