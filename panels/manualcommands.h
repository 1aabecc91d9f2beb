#pragma once
// The manual panel's commands without widgets: from the operator's values and the unit, the
// program line for the output log and the link library call to make, or the message that
// rejects a value outside its range. The panel reads its edits, asks here and shows the result.

#include <QString>

#include <array>
#include <cstdint>
#include <functional>

struct ManualCommandValues;
struct TarvoPortSettings;

// An inclusive range in both units with the messages that reject a value outside it.
struct ManualValueRange {
    int32_t lowSteps;
    int32_t highSteps;
    float lowMm;
    float highMm;
    const char* stepsMessage;  // source texts of the "ManualControlWnd" translation context
    const char* mmMessage;
};

class ManualCommands {
public:
    enum class Unit { Steps, Mm };
    enum class Pair { XY, ZC };
    // The library call; returns its result (0 = refused or not done).
    using Call = std::function<int(TarvoPortSettings*)>;

    // One command, or the rejection of one of the values it was given.
    struct Result {
        QString line;  // the program line ("GO_XY_S 100 -10 0;"); empty when rejected
        Call call;     // the library call for the line; empty when rejected
        int rejected = -1;  // the value out of range, counted in the order given; -1: none
        QString message;    // why it was rejected, translated
        bool Accepted() const { return rejected < 0; }
    };

    // The ranges the checks hold and the panel's validators offer.
    static const ManualValueRange& VelocityRange();
    static const ManualValueRange& DistanceRange();  // relative distances and the zero point
    static const ManualValueRange& HoldTimeRange();  // an integer in both units

    // The numbers of the last command of each kind live in values, which must outlive the
    // calls returned: the library reads the relative distances through their addresses.
    explicit ManualCommands(ManualCommandValues& values);

    // The texts are the edits' contents; a text that does not convert counts as 0. Values
    // are checked in order and stored as they pass, so a rejection keeps the earlier ones.
    // distanceIndex picks one of the jog distances (1, 10, 100, 1000, endless).
    Result Jog(Unit unit, int axis, int direction, const QString& velocity,
               int distanceIndex) const;
    Result MoveRelative(Unit unit, Pair pair, const QString& velocity, const QString& first,
                        const QString& second) const;
    Result HoldPosition(const QString& milliseconds) const;
    Result SetZero(Unit unit, const std::array<QString, 4>& zero) const;
    Result Park() const;
    Result Reference() const;
    Result SetSpindleCooling(bool spindle, bool cooling) const;
    Result SetOutputs(uint8_t outputs) const;

    // The commands that write no program line: the emergency stops and the acknowledgement.
    static Call NotHalt();
    static Call NotStop();
    static Call AcknowledgeError();

private:
    // The move of the stored velocity and entry 0 of the pair's stored distances.
    Result Move(Unit unit, Pair pair, const QString& line) const;

    ManualCommandValues& values;
};
