#include "manualcommands.h"

#include "commandline.h"
#include "manualcommandvalues.h"
#include "quenta.h"

#include <QCoreApplication>
#include <QtGlobal>

namespace {

enum Axis { AxisX = 0, AxisY = 1, AxisZ = 2, AxisC = 3 };

// The messages are looked up in the panel's translation context when a value is rejected.
const ManualValueRange velocityRange = {
    0, 999, 0.0f, 999.0f,
    QT_TRANSLATE_NOOP("ManualControlWnd", "Value out of range [0 ... 999]"),
    QT_TRANSLATE_NOOP("ManualControlWnd", "Value out of range [0.0 ... 999.0]")};
const ManualValueRange distanceRange = {
    -32767, 32767, -32767.0f, 32767.0f,
    QT_TRANSLATE_NOOP("ManualControlWnd", "Value out of range [-32767 ... 32767]"),
    QT_TRANSLATE_NOOP("ManualControlWnd", "Value out of range [-32767.0 ... 32767.0]")};
const ManualValueRange holdTimeRange = {
    0, 12000000, 0.0f, 0.0f,
    QT_TRANSLATE_NOOP("ManualControlWnd", "Value out of range [0 ... 12000000]"),
    QT_TRANSLATE_NOOP("ManualControlWnd", "Value out of range [0 ... 12000000]")};

// Text that does not convert counts as 0.
int32_t toInteger(const QString& text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    return ok ? value : 0;
}

float toFloat(const QString& text)
{
    bool ok = false;
    const float value = text.toFloat(&ok);
    return ok ? value : 0.0f;
}

template <typename T>
bool inRange(T value, T low, T high)
{
    // Written so that a NaN is out of every range.
    return value >= low && value <= high;
}

// Reads an integer into target and appends it to line; false when it is out of range.
bool readInteger(const QString& text, const ManualValueRange& range, int32_t& target,
                 CommandLine& line)
{
    target = toInteger(text);
    if (!inRange(target, range.lowSteps, range.highSteps))
        return false;
    line.Append(target);
    return true;
}

// Reads a value in the unit into steps or mm and appends it to line; false when out of range.
bool readValue(ManualCommands::Unit unit, const QString& text, const ManualValueRange& range,
               int32_t& steps, float& mm, CommandLine& line)
{
    if (unit == ManualCommands::Unit::Steps)
        return readInteger(text, range, steps, line);
    mm = toFloat(text);
    if (!inRange(mm, range.lowMm, range.highMm))
        return false;
    line.Append(mm);
    return true;
}

ManualCommands::Result rejected(int index, const char* message)
{
    ManualCommands::Result result;
    result.rejected = index;
    result.message = QCoreApplication::translate("ManualControlWnd", message);
    return result;
}

ManualCommands::Result rejected(int index, ManualCommands::Unit unit,
                                const ManualValueRange& range)
{
    return rejected(index, unit == ManualCommands::Unit::Steps ? range.stepsMessage
                                                                : range.mmMessage);
}

ManualCommands::Result accepted(const CommandLine& line, ManualCommands::Call call)
{
    ManualCommands::Result result;
    result.line = line.Text();
    result.call = std::move(call);
    return result;
}

QString moveKeyword(ManualCommands::Unit unit, ManualCommands::Pair pair)
{
    const bool steps = unit == ManualCommands::Unit::Steps;
    if (pair == ManualCommands::Pair::XY)
        return steps ? QStringLiteral("GO_XY_S") : QStringLiteral("GO_XY_MM");
    return steps ? QStringLiteral("GO_ZC_S") : QStringLiteral("GO_ZC_MM");
}

int firstAxis(ManualCommands::Pair pair)
{
    return pair == ManualCommands::Pair::XY ? AxisX : AxisZ;
}

}  // namespace

const ManualValueRange& ManualCommands::VelocityRange()
{
    return velocityRange;
}

const ManualValueRange& ManualCommands::DistanceRange()
{
    return distanceRange;
}

const ManualValueRange& ManualCommands::HoldTimeRange()
{
    return holdTimeRange;
}

ManualCommands::ManualCommands(ManualCommandValues& values)
    : values(values)
{
}

ManualCommands::Result ManualCommands::Jog(Unit unit, int axis, int direction,
                                           const QString& velocity, int distanceIndex) const
{
    const Pair pair = axis < AxisZ ? Pair::XY : Pair::ZC;
    CommandLine line(moveKeyword(unit, pair));
    if (!readValue(unit, velocity, velocityRange, values.velocitySteps, values.velocityMm, line))
        return rejected(0, unit, velocityRange);
    const int index = qBound(0, distanceIndex, ManualCommandValues::JogDistances - 1);
    const int first = firstAxis(pair);
    const int still = first + 1 - (axis - first);
    if (unit == Unit::Steps) {
        values.distSteps[axis][0] = direction * values.jogStepsTable[index];
        values.distSteps[still][0] = 0;
        line.Append(values.distSteps[first][0]).Append(values.distSteps[first + 1][0]);
    } else {
        values.distMm[axis][0] = static_cast<float>(direction) * values.jogMmTable[index];
        values.distMm[still][0] = 0.0f;
        line.Append(values.distMm[first][0]).Append(values.distMm[first + 1][0]);
    }
    return Move(unit, pair, line.Text());
}

ManualCommands::Result ManualCommands::MoveRelative(Unit unit, Pair pair,
                                                    const QString& velocity,
                                                    const QString& first,
                                                    const QString& second) const
{
    CommandLine line(moveKeyword(unit, pair));
    if (!readValue(unit, velocity, velocityRange, values.velocitySteps, values.velocityMm, line))
        return rejected(0, unit, velocityRange);
    const int axis = firstAxis(pair);
    if (!readValue(unit, first, distanceRange, values.distSteps[axis][0], values.distMm[axis][0],
                   line))
        return rejected(1, unit, distanceRange);
    if (!readValue(unit, second, distanceRange, values.distSteps[axis + 1][0],
                   values.distMm[axis + 1][0], line))
        return rejected(2, unit, distanceRange);
    return Move(unit, pair, line.Text());
}

ManualCommands::Result ManualCommands::Move(Unit unit, Pair pair, const QString& line) const
{
    ManualCommandValues& v = values;
    const int first = firstAxis(pair);
    Result result;
    result.line = line;
    result.call = [&v, unit, pair, first](TarvoPortSettings* record) {
        // The library reads six entries from each address; entry 0 is the distance.
        if (unit == Unit::Steps) {
            const auto move =
                pair == Pair::XY ? &FahreRelativ_XY_Schritte : &FahreRelativ_ZC_Schritte;
            return move(record, v.velocitySteps, v.moveArgA, v.distSteps[first],
                        v.distSteps[first + 1], v.moveArgB);
        } else {
            const auto move = pair == Pair::XY ? &FahreRelativ_XY_mm : &FahreRelativ_ZC_mm;
            return move(record, v.velocityMm, v.moveArgA, v.distMm[first],
                        v.distMm[first + 1], v.moveArgB);
        }
    };
    return result;
}

ManualCommands::Result ManualCommands::HoldPosition(const QString& milliseconds) const
{
    CommandLine line(QStringLiteral("WAIT"));
    if (!readInteger(milliseconds, holdTimeRange, values.holdTimeMs, line))
        return rejected(0, holdTimeRange.stepsMessage);
    const int32_t holdTime = values.holdTimeMs;
    return accepted(line, [holdTime](TarvoPortSettings* record) {
        return HaltePosition(record, holdTime);
    });
}

ManualCommands::Result ManualCommands::SetZero(Unit unit,
                                               const std::array<QString, 4>& zero) const
{
    CommandLine line(unit == Unit::Steps ? QStringLiteral("SET_ZERO_S")
                                         : QStringLiteral("SET_ZERO_MM"));
    for (int axis = AxisX; axis <= AxisC; ++axis) {
        if (!readValue(unit, zero[size_t(axis)], distanceRange, values.zeroSteps[axis],
                       values.zeroMm[axis], line))
            return rejected(axis, unit, distanceRange);
    }
    const ManualCommandValues& v = values;
    return accepted(line, [&v, unit](TarvoPortSettings* record) {
        if (unit == Unit::Steps)
            return NullPunktSetzen_Schritte(record, v.zeroSteps[AxisX], v.zeroSteps[AxisY],
                                            v.zeroSteps[AxisZ], v.zeroSteps[AxisC]);
        else
            return NullPunktSetzen_mm(record, v.zeroMm[AxisX], v.zeroMm[AxisY],
                                      v.zeroMm[AxisZ], v.zeroMm[AxisC]);
    });
}

ManualCommands::Result ManualCommands::Park() const
{
    return accepted(CommandLine(QStringLiteral("GO_PARK")),
                    [](TarvoPortSettings* record) { return ParkPositionAnfahren(record); });
}

ManualCommands::Result ManualCommands::Reference() const
{
    return accepted(CommandLine(QStringLiteral("GO_REF")),
                    [](TarvoPortSettings* record) { return Referenzfahrt(record, 0, 0); });
}

ManualCommands::Result ManualCommands::SetSpindleCooling(bool spindle, bool cooling) const
{
    values.coolingOn = cooling ? 1 : 0;
    values.spindleOn = spindle ? 1 : 0;
    const uint8_t coolingOn = values.coolingOn;
    const uint8_t spindleOn = values.spindleOn;
    // The line names cooling first, the library call takes the spindle first.
    CommandLine line(QStringLiteral("SET_FUNC"));
    line.Append(int32_t{coolingOn}).Append(int32_t{spindleOn});
    return accepted(line, [spindleOn, coolingOn](TarvoPortSettings* record) {
        return SpindelKuhlungSetzen(record, spindleOn, coolingOn);
    });
}

ManualCommands::Result ManualCommands::SetOutputs(uint8_t outputs) const
{
    values.generalOutputs = outputs;
    CommandLine line(QStringLiteral("SET_O"));
    line.Append(int32_t{outputs});
    return accepted(line, [outputs](TarvoPortSettings* record) {
        return AllgemeineAusgaeneSetzen(record, outputs);
    });
}

ManualCommands::Call ManualCommands::NotHalt()
{
    return [](TarvoPortSettings* record) { return NotHalt_mitBremsrampe(record); };
}

ManualCommands::Call ManualCommands::NotStop()
{
    return [](TarvoPortSettings* record) { return NotStop_ohneBremsrampe(record); };
}

ManualCommands::Call ManualCommands::AcknowledgeError()
{
    return [](TarvoPortSettings* record) { return FehlerQuitieren(record); };
}
