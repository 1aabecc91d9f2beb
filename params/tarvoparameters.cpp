#include "tarvoparameters.h"

#include "parametertable.h"

#include <QStringView>

#include <algorithm>

using ParameterTable::Row;
using ParameterTable::Type;

namespace {

constexpr qsizetype valueWidth = 32;

QString fatalMessage(const char* what, int lineNumber)
{
    return QLatin1String(what) + QLatin1String(". Sieh Dorvik_USB_Param.ncp, Zeile ")
           + QString::number(lineNumber)
           + QLatin1String(".\nBitte beenden Sie das Programm und korigieren Sie den File");
}

// Drops everything up to and including the next c; nothing when there is none.
void dropThrough(QStringView& rest, QChar c)
{
    const qsizetype at = rest.indexOf(c);
    if (at >= 0)
        rest = rest.mid(at + 1);
}

// The text before the next c; rest goes on after it. Without a c: all of rest, which ends.
QStringView takeUntil(QStringView& rest, QChar c)
{
    const qsizetype at = rest.indexOf(c);
    if (at < 0) {
        const QStringView all = rest;
        rest = QStringView();
        return all;
    }
    const QStringView piece = rest.left(at);
    rest = rest.mid(at + 1);
    return piece;
}

// Four array elements as the reader takes them apart: after the first "[" (if any), three
// texts ending at ";" and one ending at "]".
void takeFour(QStringView& rest, QStringView (&elements)[4])
{
    for (int i = 0; i < 3; ++i)
        elements[i] = takeUntil(rest, u';');
    elements[3] = takeUntil(rest, u']');
}

bool toInt(QStringView text, int& value)
{
    bool ok = false;
    value = text.trimmed().toInt(&ok, 10);
    return ok;
}

bool isNameKey(int key)
{
    const Row* const row = ParameterTable::find(key);
    return row && row->type == Type::Name;
}

bool isControl(QChar c)
{
    return c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() <= 0x9f);
}

bool inRange(double value, const Row& row)
{
    return value >= row.min && value <= row.max;  // false for NaN
}

void appendHex4(QString& out, int key)
{
    static const char digits[] = "0123456789abcdef";
    for (int shift = 12; shift >= 0; shift -= 4)
        out += QLatin1Char(digits[(key >> shift) & 0xf]);
}

void appendFour(QString& out, const int (&values)[4])
{
    for (int i = 0; i < 4; ++i) {
        out += QLatin1Char(i == 0 ? '[' : ';');
        out += QString::number(values[i]);
    }
    out += QLatin1Char(']');
}

}  // namespace

TarvoParameters::TarvoParameters()
{
    for (const Row* row = ParameterTable::begin(); row != ParameterTable::end(); ++row) {
        switch (row->type) {
        case Type::Long:
            this->*row->intMember = static_cast<int>(row->defaults[0]);
            break;
        case Type::Float:
            this->*row->floatMember = static_cast<float>(row->defaults[0]);
            break;
        case Type::LongArray:
        case Type::UcharArray:
            for (int axis = 0; axis < 4; ++axis)
                (this->*row->arrayMember)[axis] = static_cast<int>(row->defaults[axis]);
            break;
        case Type::RefSequence:
            for (int i = 0; i < 4; ++i) {
                REFERENZFAHRT_RICHTUNG_UND_REIHENFOLGE_UCHAR.direction[i] =
                    ParameterTable::referenceDefaults[i];
                REFERENZFAHRT_RICHTUNG_UND_REIHENFOLGE_UCHAR.order[i] =
                    ParameterTable::referenceDefaults[4 + i];
            }
            break;
        case Type::Name:
            SONSTIGE_CONTROLLERNAME_CHAR = QString::fromLatin1(row->defaultText[0]);
            break;
        case Type::Unused:
            break;
        }
    }
}

TarvoParameters::~TarvoParameters() = default;

void TarvoParameters::LoadFromText(const QString& text, QStringList& messages)
{
    if (text.isEmpty())
        return;
    // Read into a copy and take it over only when the whole text was read, so a fatal error
    // in the middle of a file leaves values, comments and the defined flag as they were.
    TarvoParameters work(*this);
    work.comments.clear();
    if (!work.ReadLines(text, messages))
        return;
    work.defined = true;
    *this = work;
}

bool TarvoParameters::ReadLines(const QString& text, QStringList& messages)
{
    const QStringView all(text);
    int lineNumber = 0;
    for (qsizetype start = 0; start <= all.size();) {
        qsizetype end = all.indexOf(u'\n', start);
        if (end < 0)
            end = all.size();
        QStringView line = all.mid(start, end - start);
        start = end + 1;
        ++lineNumber;

        QStringView comment;
        const qsizetype percent = line.indexOf(u'%');
        if (percent >= 0) {
            comment = line.mid(percent);
            line = line.left(percent);
        }
        line = line.trimmed();
        if (line.isEmpty())
            continue;

        const qsizetype equals = line.indexOf(u'=');
        if (equals < 0) {
            messages << fatalMessage("Kein '=' vorhanden", lineNumber);
            return false;
        }
        const QStringView keyText = line.left(equals).trimmed();
        if (keyText.isEmpty()) {
            messages << fatalMessage("Kein HB LB vorhanden", lineNumber);
            return false;
        }
        const QStringView valueText = line.mid(equals + 1).trimmed();
        bool keyOk = false;
        const int key = keyText.toInt(&keyOk, 16);
        // A value is needed, except for the controller name: "0505=" is the empty name.
        if (valueText.isEmpty() && !(keyOk && isNameKey(key))) {
            messages << fatalMessage("Kein Wert vorhanden", lineNumber);
            return false;
        }
        if (!keyOk) {
            messages << fatalMessage("Syntax Error in HB LB", lineNumber);
            return false;
        }
        comments.insert(key, comment.toString());

        const Row* const row = ParameterTable::find(key);
        if (!row || row->type == Type::Unused)
            continue;

        switch (row->type) {
        case Type::Long: {
            int value = 0;
            if (!toInt(valueText, value)) {
                messages << fatalMessage("Syntax Error im Wert", lineNumber);
                return false;
            }
            if (!inRange(value, *row)) {
                messages << ParameterTable::warning(*row);
                value = static_cast<int>(row->defaults[0]);
            }
            this->*row->intMember = value;
            break;
        }
        case Type::Float: {
            bool ok = false;
            double value = valueText.toDouble(&ok);
            if (!ok) {
                messages << fatalMessage("Syntax Error im Wert", lineNumber);
                return false;
            }
            // The range is checked in double precision, before the value becomes a float.
            if (!inRange(value, *row)) {
                messages << ParameterTable::warning(*row);
                value = row->defaults[0];
            }
            this->*row->floatMember = static_cast<float>(value);
            break;
        }
        case Type::LongArray:
        case Type::UcharArray: {
            QStringView rest = valueText;
            dropThrough(rest, u'[');
            QStringView elements[4];
            takeFour(rest, elements);
            for (int axis = 0; axis < 4; ++axis) {
                int value = 0;
                if (!toInt(elements[axis], value)) {
                    messages << fatalMessage("Syntax Error im Wert", lineNumber);
                    return false;
                }
                if (!inRange(value, *row)) {
                    messages << ParameterTable::warning(*row, axis);
                    value = static_cast<int>(row->defaults[axis]);
                }
                (this->*row->arrayMember)[axis] = value;
            }
            break;
        }
        case Type::RefSequence: {
            // [[d0;d1;d2;d3][o0;o1;o2;o3]]
            QStringView rest = valueText;
            dropThrough(rest, u'[');
            dropThrough(rest, u'[');
            QStringView elements[8];
            QStringView directions[4];
            QStringView orders[4];
            takeFour(rest, directions);
            dropThrough(rest, u'[');
            takeFour(rest, orders);
            for (int i = 0; i < 4; ++i) {
                elements[i] = directions[i];
                elements[4 + i] = orders[i];
            }
            ReferenceSequence& sequence = REFERENZFAHRT_RICHTUNG_UND_REIHENFOLGE_UCHAR;
            for (int i = 0; i < 8; ++i) {
                int value = 0;
                if (!toInt(elements[i], value)) {
                    messages << fatalMessage("Syntax Error im Wert", lineNumber);
                    return false;
                }
                const int max = i < 4 ? 2 : 3;
                if (value < 0 || value > max) {
                    messages << ParameterTable::referenceWarning(i);
                    value = ParameterTable::referenceDefaults[i];
                }
                (i < 4 ? sequence.direction[i] : sequence.order[i - 4]) = value;
            }
            bool seen[4] = {false, false, false, false};
            bool permutation = true;
            for (const int axis : sequence.order) {
                permutation = permutation && !seen[axis];
                seen[axis] = true;
            }
            if (!permutation)
                messages << QStringLiteral(
                    "Referenzfahrt -> Reihenfolge war ungültig.\nJede Achse muss GENAU EIN MAL "
                    "auftreten.\nBitte beenden Sie das Programm und korigieren Sie den File");
            break;
        }
        case Type::Name: {
            QString name = valueText.toString();
            if (name.size() > MaxControllerNameLength) {
                name.truncate(MaxControllerNameLength);
                messages << QStringLiteral(
                    "Achtung! Sonstige -> Controllername war länger als 16 char\nund ist auf "
                    "genau 16 char gekürzt worden.");
            }
            SONSTIGE_CONTROLLERNAME_CHAR = name;
            break;
        }
        case Type::Unused:
            break;
        }
    }
    return true;
}

QString TarvoParameters::SaveToText() const
{
    QString out;
    // Only keys of the table are written, however many other keys the last text held.
    out.reserve(std::min<qsizetype>(comments.size(), ParameterTable::size()) * 160);
    for (auto it = comments.cbegin(); it != comments.cend(); ++it) {
        const Row* const row = ParameterTable::find(it.key());
        if (!row)
            continue;
        appendHex4(out, row->key);
        out += QLatin1Char('=');
        const qsizetype valueStart = out.size();
        switch (row->type) {
        case Type::Long:
            out += QString::number(this->*row->intMember);
            break;
        case Type::Float:
            out += QString::number(static_cast<double>(this->*row->floatMember), 'f', 6);
            break;
        case Type::LongArray:
        case Type::UcharArray:
            appendFour(out, this->*row->arrayMember);
            break;
        case Type::RefSequence:
            out += QLatin1Char('[');
            appendFour(out, REFERENZFAHRT_RICHTUNG_UND_REIHENFOLGE_UCHAR.direction);
            appendFour(out, REFERENZFAHRT_RICHTUNG_UND_REIHENFOLGE_UCHAR.order);
            out += QLatin1Char(']');
            break;
        case Type::Name:
            out += SONSTIGE_CONTROLLERNAME_CHAR;
            break;
        case Type::Unused:
            out += QLatin1String("[]");
            break;
        }
        const qsizetype width = out.size() - valueStart;
        if (width < valueWidth)
            out += QString(valueWidth - width, QLatin1Char(' '));
        out += it.value();
        out += QLatin1Char('\n');
    }
    return out;
}

bool TarvoParameters::IsStorableControllerName(const QString& name)
{
    if (name.size() > MaxControllerNameLength)
        return false;
    if (!name.isEmpty() && (name.front().isSpace() || name.back().isSpace()))
        return false;
    return std::none_of(name.cbegin(), name.cend(), [](QChar c) {
        return c.unicode() > 0xff || isControl(c) || c == QLatin1Char('%');
    });
}

QString TarvoParameters::StorableControllerName(const QString& name)
{
    QString storable = name.left(MaxControllerNameLength);
    for (QChar& c : storable) {
        if (isControl(c) || c == QLatin1Char('%'))
            c = QLatin1Char(' ');
        else if (c.unicode() > 0xff)
            c = QLatin1Char('?');  // as the transfer would send it
    }
    return storable.trimmed();
}

void TarvoParameters::ResetToDefaults()
{
    QStringList ignored;
    LoadFromText(ParameterTable::defaultText(), ignored);
    fileName.clear();
}
