#include "ramcommandformat.h"

QString FormatRamNumber(double value)
{
    // QString::number ignores the process locale, so the decimal separator is always a point,
    // and its 'g' form pads the exponent to two digits with a sign, like printf's %g.
    return QString::number(value, 'g', 6);
}
