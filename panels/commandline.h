#pragma once
// One command line of the RAM program language, built value by value ("GO_XY_S 100 -10 0;").

#include <QString>

#include <cstdint>

class CommandLine {
public:
    explicit CommandLine(const QString& keyword);

    // Integers in decimal.
    CommandLine& Append(int32_t value);
    // Floats widened to double, in general notation with 6 significant digits:
    // 1.5 -> "1.5", 10 -> "10", 999999 -> "999999", 0.00001 -> "1e-05".
    CommandLine& Append(float value);

    // The keyword, one blank before each value, ";" at the end.
    QString Text() const { return text + QLatin1Char(';'); }

    static QString FormatFloat(float value);

private:
    QString text;
};
