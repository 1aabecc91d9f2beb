#pragma once
// Parameter sets as the program can hold them without a warning (every value within its
// rule), built from a stream of bytes through the set's public members, and the check that
// such a set saves to a text that reads back silently to the same values. Shared by the
// round-trip test and the fuzz target.

#include "parametertable.h"
#include "tarvoparameters.h"

#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>

namespace ValidParameterSet {

// Hands out the bytes of a buffer; zeros once it is used up.
class Bytes {
public:
    Bytes(const uint8_t* data, size_t size) : data(data), size(size) {}

    uint8_t take8() { return at < size ? data[at++] : 0; }
    uint32_t take32()
    {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i)
            value = value << 8 | take8();
        return value;
    }
    // A whole number in [min, max].
    int takeIn(int min, int max)
    {
        const uint32_t span = static_cast<uint32_t>(max - min) + 1u;
        return min + static_cast<int>(take32() % span);
    }

private:
    const uint8_t* data;
    size_t size;
    size_t at = 0;
};

// A float with at most six decimals between the bounds, as the dialog and a text give it
// (the writer keeps six decimals). The bounds themselves come out as 0.01f, 999.0f and so on.
inline float takeFloat(Bytes& bytes, const ParameterTable::Row& row)
{
    const int64_t low = static_cast<int64_t>(row.min * 1e6 + 0.5);
    const int64_t span = static_cast<int64_t>(row.max * 1e6 + 0.5) - low + 1;
    const uint64_t pick = uint64_t(bytes.take32()) << 32 | bytes.take32();
    return static_cast<float>(double(low + static_cast<int64_t>(pick % uint64_t(span))) / 1e6);
}

// A set with the comments of the default text (or, by the bytes' choice, other comments a
// text could have carried) and valid values throughout. The name is made as a controller
// read makes it: up to 16 Latin-1 bytes, stored as TarvoParameters keeps them.
inline TarvoParameters make(Bytes& bytes)
{
    using ParameterTable::Type;
    TarvoParameters set;
    set.ResetToDefaults();
    for (const ParameterTable::Row* row = ParameterTable::begin(); row != ParameterTable::end();
         ++row) {
        const int min = static_cast<int>(row->min);
        const int max = static_cast<int>(row->max);
        switch (row->type) {
        case Type::Long:
            set.*row->intMember = bytes.takeIn(min, max);
            break;
        case Type::Float:
            set.*row->floatMember = takeFloat(bytes, *row);
            break;
        case Type::LongArray:
        case Type::UcharArray:
            for (int axis = 0; axis < 4; ++axis)
                (set.*row->arrayMember)[axis] = bytes.takeIn(min, max);
            break;
        case Type::RefSequence: {
            TarvoParameters::ReferenceSequence& sequence =
                set.REFERENZFAHRT_RICHTUNG_UND_REIHENFOLGE_UCHAR;
            int axes[4] = {0, 1, 2, 3};
            for (int i = 3; i > 0; --i)
                std::swap(axes[i], axes[bytes.takeIn(0, i)]);
            for (int i = 0; i < 4; ++i) {
                sequence.direction[i] = bytes.takeIn(0, 2);
                sequence.order[i] = axes[i];
            }
            break;
        }
        case Type::Name: {
            char name[TarvoParameters::MaxControllerNameLength] = {};
            const int length = bytes.takeIn(0, TarvoParameters::MaxControllerNameLength);
            for (int i = 0; i < length; ++i)
                name[i] = static_cast<char>(bytes.take8());
            set.SONSTIGE_CONTROLLERNAME_CHAR = TarvoParameters::StorableControllerName(
                QString::fromLatin1(name, static_cast<qsizetype>(strnlen(name, length))));
            break;
        }
        case Type::Unused:
            break;
        }
        // Now and then a comment as a text may carry it: anything but a line feed.
        if (bytes.take8() < 16) {
            QString comment = QStringLiteral("%");
            for (int n = bytes.takeIn(0, 8); n > 0; --n) {
                const char16_t c = static_cast<char16_t>(bytes.takeIn(1, 0xd7ff));
                comment += QChar(c == u'\n' ? u' ' : c);
            }
            set.comments[row->key] = comment;
        }
    }
    return set;
}

// Every value of the table, the name and the comments alike; empty when they agree, else
// the first key that differs.
inline QString difference(const TarvoParameters& a, const TarvoParameters& b)
{
    using ParameterTable::Type;
    for (const ParameterTable::Row* row = ParameterTable::begin(); row != ParameterTable::end();
         ++row) {
        bool same = true;
        switch (row->type) {
        case Type::Long:
            same = a.*row->intMember == b.*row->intMember;
            break;
        case Type::Float:
            same = a.*row->floatMember == b.*row->floatMember;
            break;
        case Type::LongArray:
        case Type::UcharArray:
            same = std::equal(std::begin(a.*row->arrayMember), std::end(a.*row->arrayMember),
                              std::begin(b.*row->arrayMember));
            break;
        case Type::RefSequence: {
            const auto& x = a.REFERENZFAHRT_RICHTUNG_UND_REIHENFOLGE_UCHAR;
            const auto& y = b.REFERENZFAHRT_RICHTUNG_UND_REIHENFOLGE_UCHAR;
            same = std::equal(std::begin(x.direction), std::end(x.direction),
                              std::begin(y.direction))
                   && std::equal(std::begin(x.order), std::end(x.order), std::begin(y.order));
            break;
        }
        case Type::Name:
            same = a.SONSTIGE_CONTROLLERNAME_CHAR == b.SONSTIGE_CONTROLLERNAME_CHAR;
            break;
        case Type::Unused:
            break;
        }
        if (!same)
            return QString::number(row->key, 16);
    }
    return a.comments == b.comments ? QString() : QStringLiteral("comments");
}

// Saves the set and reads the text into a new set. Empty when that gave no message and the
// same values; else what went wrong.
inline QString roundTripFault(const TarvoParameters& set)
{
    if (!TarvoParameters::IsStorableControllerName(set.SONSTIGE_CONTROLLERNAME_CHAR))
        return QStringLiteral("name not storable: ") + set.SONSTIGE_CONTROLLERNAME_CHAR;
    const QString saved = set.SaveToText();
    TarvoParameters back;
    QStringList messages;
    back.LoadFromText(saved, messages);
    if (!messages.isEmpty())
        return messages.join(QLatin1Char('\n')) + QStringLiteral("\nin:\n") + saved;
    const QString differs = difference(set, back);
    if (!differs.isEmpty())
        return QStringLiteral("differs at ") + differs + QStringLiteral(" in:\n") + saved;
    if (back.SaveToText() != saved)
        return QStringLiteral("saves differently the second time:\n") + saved;
    return QString();
}

}  // namespace ValidParameterSet
