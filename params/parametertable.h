#pragma once
// The table of all 46 parameters: key, name, type, valid range, defaults and the pieces of
// the warning that replaces an invalid value by its default, in ascending key order.

#include "tarvoparameters.h"

#include <QString>

namespace ParameterTable {

enum class Type {
    Long,         // one int
    Float,        // one float
    LongArray,    // four ints X, Y, Z, C, transferred as four 32-bit integers
    UcharArray,   // four ints X, Y, Z, C, transferred as four bytes
    RefSequence,  // 0304: four directions, four axes
    Name,         // 0505: text
    Unused,       // 0300..0303: no value
};

struct Row {
    int key;
    const char* name;  // the parameter name; its constant is "LBYTE_" + name
    Type type;
    double min;  // valid range, inclusive (not used for RefSequence, Name, Unused)
    double max;
    double defaults[4];          // [0] for single values; X, Y, Z, C for arrays
    const char* label;           // UTF-8; arrays add a blank and the axis letter
    const char* defaultText[4];  // shown in the warning, per axis; the default name of 0505
    const char* ownWarning;      // UTF-8; replaces the usual warning when set
    int TarvoParameters::*intMember;
    float TarvoParameters::*floatMember;
    int (TarvoParameters::*arrayMember)[4];
};

// All rows in ascending key order.
const Row* begin();
const Row* end();
int size();
// The row of a key, or nullptr.
const Row* find(int key);

// "HBYTE_MOTORTEST" … "HBYTE_SONSTIGE" for the group of a key.
const char* groupConstant(int key);
// "Motortest" … "Sonstige" for the group of a key.
const char* groupText(int key);

// The fallback warnings of 0304 (steps 0..3 of directions, then of axes), with their defaults.
extern const int referenceDefaults[8];
QString referenceWarning(int element);

// The generic fallback warning: group text, " -> ", label, " war ungültig …" and so on.
QString warning(const Row& row, int axis = -1);

// The set's default text as a QString (decoded once).
const QString& defaultText();

}  // namespace ParameterTable
