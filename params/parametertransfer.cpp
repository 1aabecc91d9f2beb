// The transfer of a parameter set to and from the controller, parameter by parameter.

#include "tarvoparameters.h"

#include "parametertable.h"
#include "quenta.h"

#include <cstring>

using ParameterTable::Row;
using ParameterTable::Type;

namespace {

constexpr int maxTries = 3;
constexpr uint8_t modeParameterTransfer = 1;
constexpr uint8_t modeNormal = 2;
constexpr int receiveBufferSize = 16;
constexpr int nameBufferSize = 32;

// The keys after which the watchdogs are restarted, so a long pass never looks like a lost
// controller.
bool restartsAfter(int key)
{
    return key == 0x0109 || key == 0x0407;
}

void (*transferHeartbeat)() = nullptr;

void restartWatchdogs()
{
    if (transferHeartbeat)
        transferHeartbeat();
}

uint8_t group(const Row& row)
{
    return static_cast<uint8_t>(row.key >> 8);
}

uint8_t index(const Row& row)
{
    return static_cast<uint8_t>(row.key & 0xff);
}

int32_t int32At(const uint8_t* bytes)
{
    const uint32_t value = uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8
                           | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
    return static_cast<int32_t>(value);
}

float floatAt(const uint8_t* bytes)
{
    const int32_t bits = int32At(bytes);
    float value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// The low byte of a held value, zero-extended, as the byte-valued calls take it.
uint32_t lowByte(int value)
{
    return static_cast<uint8_t>(value);
}

QString readFailure(const Row& row)
{
    return QLatin1String("Fehler bei ParameterLesen    ")
           + QLatin1String(ParameterTable::groupConstant(row.key)) + QLatin1String("  LBYTE_")
           + QLatin1String(row.name) + QLatin1Char('.');
}

// The controller's own wording, irregular spacing included.
QString writeFailure(const Row& row)
{
    const bool wide = row.key == 0x0108 || row.key == 0x0109 || group(row) == 0x04;
    QString line = QStringLiteral("Fehler bei Parameterübertragung")
                   + QLatin1String(wide ? "      " : "    ")
                   + QLatin1String(ParameterTable::groupConstant(row.key));
    if (row.key == 0x0202)
        line += QLatin1String("  BYTE_");
    else if (row.key == 0x0505)
        line += QLatin1String(" LBYTE_");
    else
        line += QLatin1String("  LBYTE_");
    return line + QLatin1String(row.name) + QLatin1Char('.');
}

template <typename Call>
bool tryThreeTimes(Call call)
{
    for (int attempt = 0; attempt < maxTries; ++attempt) {
        if (call() != 0)
            return true;
    }
    return false;
}

}  // namespace

void TarvoParameters::SetTransferHeartbeat(void (*heartbeat)())
{
    transferHeartbeat = heartbeat;
}

void TarvoParameters::ReadFromController(TarvoPortSettings* portSettings, QStringList& messages)
{
    if (!portSettings)
        return;
    uint8_t buffer[receiveBufferSize] = {};
    LoadFromText(ParameterTable::defaultText(), messages);
    fileName.clear();

    restartWatchdogs();
    BetriebsArtenWechsel(portSettings, modeParameterTransfer);
    for (const Row* row = ParameterTable::begin(); row != ParameterTable::end(); ++row) {
        if (row->type == Type::Unused)
            continue;
        const bool done = tryThreeTimes([&] {
            // Zeroed before every call: a short reply must not decode the bytes that an
            // earlier parameter left behind.
            std::memset(buffer, 0, sizeof buffer);
            return ParameterLesen(portSettings, group(*row), index(*row), buffer);
        });
        if (!done) {
            messages << readFailure(*row);
        } else {
            switch (row->type) {
            case Type::Long:
                this->*row->intMember = int32At(buffer);
                break;
            case Type::Float:
                this->*row->floatMember = floatAt(buffer);
                break;
            case Type::LongArray:
                for (int axis = 0; axis < 4; ++axis)
                    (this->*row->arrayMember)[axis] = int32At(buffer + 4 * axis);
                break;
            case Type::UcharArray:
                for (int axis = 0; axis < 4; ++axis)
                    (this->*row->arrayMember)[axis] = buffer[axis];
                break;
            case Type::RefSequence:
                for (int i = 0; i < 4; ++i) {
                    REFERENZFAHRT_RICHTUNG_UND_REIHENFOLGE_UCHAR.direction[i] = buffer[i];
                    REFERENZFAHRT_RICHTUNG_UND_REIHENFOLGE_UCHAR.order[i] = buffer[4 + i];
                }
                break;
            case Type::Name: {
                const char* const text = reinterpret_cast<const char*>(buffer);
                // Kept as a file can carry it, so the set saves and loads back unchanged.
                SONSTIGE_CONTROLLERNAME_CHAR = StorableControllerName(QString::fromLatin1(
                    text, static_cast<qsizetype>(strnlen(text, MaxControllerNameLength))));
                break;
            }
            case Type::Unused:
                break;
            }
        }
        if (restartsAfter(row->key))
            restartWatchdogs();
    }
    BetriebsArtenWechsel(portSettings, modeNormal);
    defined = true;
}

void TarvoParameters::WriteToController(TarvoPortSettings* portSettings, QStringList& messages)
{
    if (!portSettings)
        return;
    restartWatchdogs();
    BetriebsArtenWechsel(portSettings, modeParameterTransfer);
    for (const Row* row = ParameterTable::begin(); row != ParameterTable::end(); ++row) {
        if (row->type == Type::Unused)
            continue;
        const uint8_t g = group(*row);
        const uint8_t i = index(*row);
        bool done = false;
        switch (row->type) {
        case Type::Long:
            done = tryThreeTimes([&] {
                return ParameterAendern_long(portSettings, g, i, this->*row->intMember);
            });
            break;
        case Type::Float:
            done = tryThreeTimes([&] {
                return ParameterAendern_float(portSettings, g, i, this->*row->floatMember);
            });
            break;
        case Type::LongArray: {
            const int (&v)[4] = this->*row->arrayMember;
            done = tryThreeTimes([&] {
                return ParameterAendern_4_longs(portSettings, g, i, v[0], v[1], v[2], v[3]);
            });
            break;
        }
        case Type::UcharArray: {
            const int (&v)[4] = this->*row->arrayMember;
            done = tryThreeTimes([&] {
                return ParameterAendern_4_uchar(portSettings, g, i, lowByte(v[0]), lowByte(v[1]),
                                                lowByte(v[2]), lowByte(v[3]));
            });
            break;
        }
        case Type::RefSequence: {
            const int (&d)[4] = REFERENZFAHRT_RICHTUNG_UND_REIHENFOLGE_UCHAR.direction;
            const int (&o)[4] = REFERENZFAHRT_RICHTUNG_UND_REIHENFOLGE_UCHAR.order;
            done = tryThreeTimes([&] {
                return ParameterAendern_Richtung_Sequenz_ReferenzFahrt(
                    portSettings, g, i, lowByte(d[0]), lowByte(d[1]), lowByte(d[2]),
                    lowByte(d[3]), lowByte(o[0]), lowByte(o[1]), lowByte(o[2]), lowByte(o[3]));
            });
            break;
        }
        case Type::Name: {
            // Zero-filled, then one Latin-1 byte per character, at most 16 characters.
            char name[nameBufferSize] = {};
            const QByteArray bytes =
                SONSTIGE_CONTROLLERNAME_CHAR.left(MaxControllerNameLength).toLatin1();
            std::memcpy(name, bytes.constData(), static_cast<size_t>(bytes.size()));
            done = tryThreeTimes(
                [&] { return ParameterAendern_ControllerName(portSettings, g, i, name); });
            break;
        }
        case Type::Unused:
            break;
        }
        if (!done)
            messages << writeFailure(*row);
        if (restartsAfter(row->key))
            restartWatchdogs();
    }
    BetriebsArtenWechsel(portSettings, modeNormal);
}
