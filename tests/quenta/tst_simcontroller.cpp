// The simulated controller under the explicit clock: motion, limits, reference run, park,
// emergency stops, modes and parameters, RAM programs, notifications and the bootloader.

#include "simcontroller.h"

#include <QtTest>

#include <cstring>
#include <string>
#include <vector>

using quenta::Device;
using quenta::RamRunEnd;
using quenta::SimController;

namespace {

using Kind = Device::ParamKind;

Device::ParamValue longValue(int32_t v)
{
    Device::ParamValue p;
    p.kind = Kind::Long;
    p.longs[0] = v;
    return p;
}

Device::ParamValue floatValue(float v)
{
    Device::ParamValue p;
    p.kind = Kind::Float;
    p.f = v;
    return p;
}

Device::ParamValue fourValue(Kind kind, int32_t x, int32_t y, int32_t z, int32_t c)
{
    Device::ParamValue p;
    p.kind = kind;
    const int32_t v[4] = {x, y, z, c};
    std::copy(v, v + 4, p.longs);
    return p;
}

Device::ParamValue refValue(std::initializer_list<int32_t> eight)
{
    Device::ParamValue p;
    p.kind = Kind::RefSequence;
    std::copy(eight.begin(), eight.end(), p.longs);
    return p;
}

Device::ParamValue nameValue(const char* text)
{
    Device::ParamValue p;
    p.kind = Kind::Name;
    std::strncpy(p.name, text, sizeof p.name - 1);
    return p;
}

// Changes one parameter the way the program does: mode 1, write, mode 2.
int setParam(SimController& c, uint16_t key, const Device::ParamValue& v)
{
    c.changeMode(1);
    const int r = c.setParameter(static_cast<uint8_t>(key >> 8), static_cast<uint8_t>(key), v);
    c.changeMode(2);
    return r;
}

// Advances in 10 ms steps until nothing runs any more (at most limitMs).
void runUntilIdle(SimController& c, int64_t limitMs = 200000)
{
    for (int64_t t = 0; t < limitMs && c.busy(); t += 10)
        c.advance(10);
}

int32_t pos(const SimController& c, int axis)
{
    return c.status().pos[axis];
}

// IEEE 802.3 CRC-32, bit by bit, as the firmware transfer of the program computes it.
uint32_t bitwiseCrc32(const std::vector<uint8_t>& data)
{
    uint32_t reg = 0xFFFFFFFFu;
    for (const uint8_t byte : data) {
        for (int i = 0; i < 8; ++i) {
            const bool differ = ((reg ^ (byte >> i)) & 1u) != 0;
            reg = differ ? (reg >> 1) ^ 0xEDB88320u : reg >> 1;
        }
    }
    return ~reg;
}

std::vector<uint8_t> feed(SimController& c, const std::vector<uint8_t>& bytes)
{
    std::vector<uint8_t> reply;
    c.bootloaderInput(bytes.data(), bytes.size(), reply);
    return reply;
}

std::vector<uint8_t> text(const char* s)
{
    return std::vector<uint8_t>(s, s + std::strlen(s));
}

}  // namespace

class TestSimController : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void movesRunAtCommandedSpeedWithBothAxesTogether();
    void millimetreMovesUseTheResolution();
    void speedZeroMeansTravelSpeed();
    void deactivatedAxisDoesNotMove();
    void bufferHoldsCommandsAndWaitHoldsTheQueue();
    void fullBufferRefusesFurtherCommands();
    void unreferencedAxisStopsAtEndSwitch();
    void referencedAxisStopsAtTravelLimit();
    void pendingErrorRefusesMotionUntilAcknowledged();
    void rotaryAxisHasNoTravelRange();
    void referenceRunFollowsOrderDirectionsAndSpeeds();
    void referenceRunWithoutAxesFails();
    void parkNeedsReferenceAndUsesRapidSpeed();
    void zeroPointMakesCurrentPositionReadGivenValues();
    void spindleCoolantAndOutputs();
    void notStopStopsAtOnceAndClearsBuffer();
    void notHaltBrakesWithRamp();
    void linearMoveRunsAlongTheLineToTheTarget();
    void linearFeedIsLimitedByTheRapidSpeedOfTheLeadingAxis();
    void notHaltBrakesALinearMoveOnItsLine();
    void linearMoveBeyondTheRangeStopsAsARelativeMoveDoes();
    void switchInputsRaiseErrors();
    void parametersHaveTableDefaults();
    void parameterWritesAreRangeChecked();
    void parameterCallsNeedModeOne();
    void modeChangeRefusedWhileBusy();
    void controllerNameComesFromParameter();
    void failingParameterCallsFault();
    void ramProgramRunsCountTimes();
    void ramProgramWithCountZeroRunsUntilStopped();
    void ramErrors();
    void notificationsEvery500msWhenIdle();
    void notificationsAtMostEvery20msWhileMoving();
    void changedReportsFallOnTheGridEvenWhenWokenLate();
    void silenceStopsNotifications();
    void statusCheckNeverSpinsWhileNothingChanges();
    void bootloaderAnswersByteTableAndReportsCrc();
    void bootloaderFaults();
    void frameSyncLeavesBootloader();
};

void TestSimController::movesRunAtCommandedSpeedWithBothAxesTogether()
{
    SimController c;
    QCOMPARE(c.moveSteps(0, 1000, 1000, -500), 1);
    c.advance(500);
    QCOMPARE(pos(c, 0), 500);
    QCOMPARE(pos(c, 1), -250);
    QVERIFY(c.busy());
    c.advance(500);
    QCOMPARE(pos(c, 0), 1000);
    QCOMPARE(pos(c, 1), -500);
    QVERIFY(!c.busy());
    // Z/C pair, the longer way (C) sets the time.
    QCOMPARE(c.moveSteps(1, 100, 10, 100), 1);
    c.advance(500);
    QCOMPARE(pos(c, 2), 5);
    QCOMPARE(pos(c, 3), 50);
    QCOMPARE(pos(c, 0), 1000);
}

void TestSimController::millimetreMovesUseTheResolution()
{
    SimController c;
    QCOMPARE(setParam(c, 0x0400, floatValue(200.0f)), 1);
    QCOMPARE(c.moveMm(0, 10.0f, 1.0f, 0.5f), 1);  // 1 mm at 10 mm/s: 100 ms
    c.advance(50);
    QCOMPARE(pos(c, 0), 100);
    c.advance(50);
    QCOMPARE(pos(c, 0), 200);  // 1 mm at 200 steps/mm
    QCOMPARE(pos(c, 1), 50);   // 0.5 mm at 100 steps/mm
}

void TestSimController::speedZeroMeansTravelSpeed()
{
    SimController c;
    QCOMPARE(c.moveSteps(0, 0, 400, 0), 1);  // 4 mm at 0101 = 4 mm/s
    c.advance(500);
    QCOMPARE(pos(c, 0), 200);
    c.advance(500);
    QCOMPARE(pos(c, 0), 400);
    QCOMPARE(setParam(c, 0x0101, floatValue(8.0f)), 1);
    QCOMPARE(c.moveMm(0, 0.0f, -4.0f, 0.0f), 1);
    c.advance(500);
    QCOMPARE(pos(c, 0), 0);
}

void TestSimController::deactivatedAxisDoesNotMove()
{
    SimController c;
    QCOMPARE(setParam(c, 0x040D, fourValue(Kind::FourUchar, 0, 2, 0, 0)), 1);
    QCOMPARE(c.moveSteps(0, 1000, 100, 100), 1);
    runUntilIdle(c);
    QCOMPARE(pos(c, 0), 100);
    QCOMPARE(pos(c, 1), 0);
}

void TestSimController::bufferHoldsCommandsAndWaitHoldsTheQueue()
{
    SimController c;
    QCOMPARE(c.wait(1000), 1);
    QCOMPARE(c.moveSteps(0, 1000, 100, 0), 1);
    QCOMPARE(c.setOutputs(0x81), 1);
    QCOMPARE(int(c.status().bufferFill), 2);
    c.advance(999);
    QCOMPARE(pos(c, 0), 0);
    QCOMPARE(int(c.status().generalOutputs), 0);
    c.advance(101);
    QCOMPARE(pos(c, 0), 100);
    c.advance(1);
    QCOMPARE(int(c.status().generalOutputs), 0x81);
    c.advance(1);
    QCOMPARE(int(c.status().bufferFill), 0);
    QVERIFY(!c.busy());
}

void TestSimController::fullBufferRefusesFurtherCommands()
{
    SimController c;
    QCOMPARE(c.wait(100000), 1);  // runs, so the buffer itself stays empty
    for (int i = 0; i < SimController::BufferSize; ++i)
        QCOMPARE(c.setOutputs(static_cast<uint8_t>(i)), 1);
    QCOMPARE(c.setOutputs(1), 0);
    QCOMPARE(int(c.status().bufferFill), 255);  // 256 of 256 reads as 255
    QCOMPARE(int(c.status().errorCode), 0);
}

void TestSimController::unreferencedAxisStopsAtEndSwitch()
{
    SimController c;
    // X stands at 50 mm of 0 ... 100 mm; its switch sits 1 mm beyond the range.
    QCOMPARE(c.moveSteps(0, 10000, 999999, 0), 1);
    QCOMPARE(c.setOutputs(1), 1);
    c.advance(2000);
    const quenta::StatusReport s = c.status();
    QCOMPARE(s.pos[0], 5100);
    QCOMPARE(int(s.errorCode), 0x13);
    QCOMPARE(s.inputs & 0x01, 0x01);
    QCOMPARE(int(s.bufferFill), 0);
    QCOMPARE(int(s.generalOutputs), 0);  // the queued command was dropped
    QVERIFY(!c.busy());
}

void TestSimController::referencedAxisStopsAtTravelLimit()
{
    SimController c;
    QCOMPARE(c.reference(), 1);
    runUntilIdle(c);
    QCOMPARE(int(c.status().flags & 0x0F), 0x0F);
    // After the default reference run X stands at its upper range end (100 mm).
    QCOMPARE(c.moveSteps(0, 10000, 500, 0), 1);
    runUntilIdle(c);
    QCOMPARE(int(c.status().errorCode), 0x12);
    QCOMPARE(pos(c, 0), 10000);
    QCOMPARE(c.status().inputs & 0x01, 0);  // stopped before the switch
    QCOMPARE(c.acknowledgeError(), 1);
    // Y stands at its lower end (0 mm).
    QCOMPARE(c.moveSteps(0, 10000, 0, -1), 1);
    runUntilIdle(c);
    QCOMPARE(int(c.status().errorCode), 0x21);
    QCOMPARE(pos(c, 1), 0);
}

void TestSimController::pendingErrorRefusesMotionUntilAcknowledged()
{
    SimController c;
    c.moveSteps(0, 10000, 999999, 0);
    runUntilIdle(c);
    QCOMPARE(int(c.status().errorCode), 0x13);
    QCOMPARE(c.moveSteps(0, 1000, -100, 0), 0);
    QCOMPARE(c.setOutputs(3), 0);
    c.advance(200);
    QCOMPARE(pos(c, 0), 5100);
    QCOMPARE(c.acknowledgeError(), 1);
    QCOMPARE(int(c.status().errorCode), 0);
    // Further onto the switch: refused at once with the same error.
    QCOMPARE(c.moveSteps(0, 1000, 10, 0), 1);
    runUntilIdle(c);
    QCOMPARE(int(c.status().errorCode), 0x13);
    QCOMPARE(pos(c, 0), 5100);
    c.acknowledgeError();
    // Back into the range: the switch releases.
    QCOMPARE(c.moveSteps(0, 1000, -200, 0), 1);
    runUntilIdle(c);
    QCOMPARE(pos(c, 0), 4900);
    QCOMPARE(c.status().inputs & 0x01, 0);
    QCOMPARE(int(c.status().errorCode), 0);
}

void TestSimController::rotaryAxisHasNoTravelRange()
{
    SimController c;
    QCOMPARE(setParam(c, 0x040D, fourValue(Kind::FourUchar, 0, 0, 0, 1)), 1);
    QCOMPARE(c.moveSteps(1, 1000000, 0, 999999), 1);
    runUntilIdle(c);
    QCOMPARE(pos(c, 3), 999999);
    QCOMPARE(int(c.status().errorCode), 0);
}

void TestSimController::referenceRunFollowsOrderDirectionsAndSpeeds()
{
    SimController c;
    c.moveSteps(0, 1000, 500, 0);  // X off the centre: 55 mm
    runUntilIdle(c);
    QCOMPARE(c.reference(), 1);
    // Step 0: Z negative from 25 mm to its switch at -1 mm, 26 mm at 2.5 mm/s = 10.4 s.
    c.advance(10400);
    QCOMPARE(qRound(c.machinePosition(2)), -100);
    QCOMPARE(c.status().inputs & 0x04, 0x04);  // the switch shows, without an error
    QCOMPARE(int(c.status().errorCode), 0);
    QCOMPARE(c.machinePosition(1), 5000.0);  // Y waits its turn
    // Free move back to the range end: 1 mm at 0.5 mm/s.
    c.advance(2000);
    QCOMPARE(qRound(c.machinePosition(2)), 0);
    QCOMPARE(int(c.status().flags & 0x0F), 0x04);
    QCOMPARE(c.status().inputs & 0x04, 0);
    // Step 1: Y negative (50 mm + 1 mm, then back): 22.4 s.
    c.advance(22400);
    QCOMPARE(int(c.status().flags & 0x0F), 0x06);
    QCOMPARE(qRound(c.machinePosition(1)), 0);
    // Step 2: X positive from 55 mm to 101 mm and back to 100 mm: 18.4 s + 2 s.
    c.advance(20400);
    QCOMPARE(int(c.status().flags & 0x0F), 0x07);
    QCOMPARE(qRound(c.machinePosition(0)), 10000);
    // Step 3: C positive.
    runUntilIdle(c);
    QCOMPARE(int(c.status().flags & 0x0F), 0x0F);
    const quenta::StatusReport s = c.status();
    QCOMPARE(s.pos[0], 10000);  // origin = 040C = 0
    QCOMPARE(s.pos[1], 0);
    QCOMPARE(s.pos[2], 0);
    QCOMPARE(s.pos[3], 5000);
    QCOMPARE(int(s.errorCode), 0);
}

void TestSimController::referenceRunWithoutAxesFails()
{
    SimController c;
    QCOMPARE(setParam(c, 0x0304, refValue({2, 2, 2, 2, 2, 1, 0, 3})), 1);
    QCOMPARE(c.reference(), 1);
    c.advance(10);
    QCOMPARE(int(c.status().errorCode), 0x0a);
    // Only X referenced, negative: to 0 mm, with 040C = 10 mm as the zero point.
    c.acknowledgeError();
    QCOMPARE(setParam(c, 0x0304, refValue({1, 2, 2, 2, 0, 1, 2, 3})), 1);
    QCOMPARE(setParam(c, 0x040C, fourValue(Kind::FourLongs, 10, 0, 0, 0)), 1);
    c.reference();
    runUntilIdle(c);
    QCOMPARE(int(c.status().flags & 0x0F), 0x01);
    QCOMPARE(pos(c, 0), -1000);
}

void TestSimController::parkNeedsReferenceAndUsesRapidSpeed()
{
    SimController c;
    QCOMPARE(c.park(), 1);
    c.advance(10);
    QCOMPARE(int(c.status().errorCode), 0x03);
    c.acknowledgeError();
    c.reference();
    runUntilIdle(c);
    QCOMPARE(setParam(c, 0x040B, fourValue(Kind::FourLongs, 20, 10, 0, 0)), 1);
    QCOMPARE(c.park(), 1);
    // X has the longest way (100 mm to 20 mm) at 0102 = 10 mm/s: 8 s.
    c.advance(4000);
    QCOMPARE(pos(c, 0), 6000);
    c.advance(4000);
    const quenta::StatusReport s = c.status();
    QCOMPARE(s.pos[0], 2000);
    QCOMPARE(s.pos[1], 1000);
    QCOMPARE(s.pos[2], 0);
    QCOMPARE(s.pos[3], 0);
    QCOMPARE(int(s.errorCode), 0);
}

void TestSimController::zeroPointMakesCurrentPositionReadGivenValues()
{
    SimController c;
    const int32_t steps[4] = {100, -200, 0, 7};
    QCOMPARE(c.setZeroSteps(steps), 1);
    c.advance(1);
    QCOMPARE(pos(c, 0), 100);
    QCOMPARE(pos(c, 1), -200);
    QCOMPARE(pos(c, 3), 7);
    c.moveSteps(0, 1000, 50, 0);
    runUntilIdle(c);
    QCOMPARE(pos(c, 0), 150);
    const float mm[4] = {1.0f, 0.0f, 0.0f, 0.0f};
    QCOMPARE(c.setZeroMm(mm), 1);
    c.advance(1);
    QCOMPARE(pos(c, 0), 100);
    QCOMPARE(c.machinePosition(0), 5050.0);  // the machine did not move
}

void TestSimController::spindleCoolantAndOutputs()
{
    SimController c;
    QCOMPARE(c.setSpindleCoolant(1, 0), 1);
    QCOMPARE(int(c.status().flags & 0x30), 0x10);
    c.advance(1);
    QCOMPARE(c.setSpindleCoolant(0, 1), 1);
    c.advance(1);
    QCOMPARE(int(c.status().flags & 0x30), 0x20);
    QCOMPARE(c.setOutputs(0xA5), 1);
    c.advance(1);
    QCOMPARE(int(c.status().generalOutputs), 0xA5);
    c.setGeneralInputs(0x3C);
    QCOMPARE(int(c.status().generalInputs), 0x3C);
}

void TestSimController::notStopStopsAtOnceAndClearsBuffer()
{
    SimController c;
    c.reference();
    runUntilIdle(c);
    c.setSpindleCoolant(1, 1);
    c.moveSteps(0, 1000, -5000, 0);
    c.moveSteps(0, 1000, 5000, 0);
    c.advance(1001);
    QCOMPARE(pos(c, 0), 9000);
    QCOMPARE(c.emergencyStop(), 1);
    const quenta::StatusReport s = c.status();
    QCOMPARE(int(s.errorCode), 0x99);
    QCOMPARE(int(s.bufferFill), 0);
    QCOMPARE(int(s.flags), 0);  // spindle, coolant and reference are gone
    c.advance(5000);
    QCOMPARE(pos(c, 0), 9000);
    QVERIFY(!c.busy());
}

void TestSimController::notHaltBrakesWithRamp()
{
    SimController c;
    // 10 mm/s, braking at 0107 = 4 mm/s^2: 2.5 s and 12.5 mm (1250 steps).
    c.moveSteps(0, 1000, -3000, 0);
    c.setOutputs(1);
    c.advance(1000);
    QCOMPARE(pos(c, 0), -1000);
    QCOMPARE(c.emergencyHalt(), 1);
    QCOMPARE(int(c.status().errorCode), 0x99);
    QCOMPARE(int(c.status().bufferFill), 0);
    c.advance(1250);  // half the braking time covers three quarters of the way
    QCOMPARE(pos(c, 0), -1000 - 938);
    QVERIFY(c.busy());
    c.advance(1250);
    QCOMPARE(pos(c, 0), -2250);
    c.advance(1000);
    QCOMPARE(pos(c, 0), -2250);
    QCOMPARE(int(c.status().generalOutputs), 0);
    QVERIFY(!c.busy());
    // Halt while standing still: nothing moves, the error still comes.
    c.acknowledgeError();
    QCOMPARE(c.emergencyHalt(), 1);
    QCOMPARE(int(c.status().errorCode), 0x99);
}

void TestSimController::linearMoveRunsAlongTheLineToTheTarget()
{
    SimController c;
    double start[4];
    for (int axis = 0; axis < 4; ++axis)
        start[axis] = c.machinePosition(axis);
    // 30 mm at 450 mm/min (7.5 mm/s): X has a sixth of the way, Y and Z a third each.
    const float target[4] = {10.004f, -20.0f, 20.0f, 0.0f};
    QCOMPARE(c.moveLinearMm(target, 450.0f), 1);
    QCOMPARE(c.wait(0), 1);
    QCOMPARE(int(c.status().bufferFill), 1);  // the running move is out, the wait counts
    c.advance(500);
    QCOMPARE(pos(c, 1), -50);  // Y accelerates at 0107 = 4 mm/s^2: 0.5 mm in 0.5 s
    c.advance(1500);
    const quenta::StatusReport before = c.status();
    c.advance(1000);
    const quenta::StatusReport after = c.status();
    QCOMPARE(after.pos[0] - before.pos[0], 250);  // 7.5 mm/s along the path: X 2.5 mm/s,
    QCOMPARE(after.pos[1] - before.pos[1], -500);  // Y and Z 5 mm/s
    QCOMPARE(after.pos[2] - before.pos[2], 500);
    // Mid-way every axis has covered the same share of its way.
    const double share = (c.machinePosition(0) - start[0]) / 1000.0;
    QVERIFY(share > 0.2 && share < 0.8);
    QCOMPARE((c.machinePosition(1) - start[1]) / -2000.0, share);
    QCOMPARE((c.machinePosition(2) - start[2]) / 2000.0, share);
    QCOMPARE(c.machinePosition(3), start[3]);
    // 5.25 s in all (1.25 s of each ramp counts half); the axes arrive at the same moment.
    c.advance(2050);
    QVERIFY(pos(c, 0) < 1000 && pos(c, 1) > -2000 && pos(c, 2) < 2000);
    c.advance(300);
    const quenta::StatusReport end = c.status();
    QCOMPARE(end.pos[0], 1000);  // whole steps from the zero point
    QCOMPARE(end.pos[1], -2000);
    QCOMPARE(end.pos[2], 2000);
    QCOMPARE(end.pos[3], 0);
    QVERIFY(!c.busy());
    // RAM programs hold no linear moves: mode 3 refuses them.
    QCOMPARE(c.changeMode(3), 1);
    QCOMPARE(c.loadRam(1), 1);
    QCOMPARE(c.moveLinearMm(target, 450.0f), 0);
    QCOMPARE(int(c.status().errorCode), 0x03);
    QCOMPARE(c.ramLength(1), 0);
}

void TestSimController::linearFeedIsLimitedByTheRapidSpeedOfTheLeadingAxis()
{
    // Y, the longer way, may run at most 0102 = 10 mm/s: X then runs 7.5 mm/s and the path
    // 12.5 mm/s, whether the feed asks for more or for the fastest (0).
    for (const float feed : {60000.0f, 0.0f}) {
        SimController c;
        const float target[4] = {30.0f, 40.0f, 0.0f, 0.0f};
        QCOMPARE(c.moveLinearMm(target, feed), 1);
        c.advance(3000);  // past Y's ramp of 2.5 s
        const double x = c.machinePosition(0);
        const double y = c.machinePosition(1);
        c.advance(1000);
        QCOMPARE(c.machinePosition(0) - x, 750.0);
        QCOMPARE(c.machinePosition(1) - y, 1000.0);
        runUntilIdle(c);
        QCOMPARE(pos(c, 0), 3000);
        QCOMPARE(pos(c, 1), 4000);
    }
}

void TestSimController::notHaltBrakesALinearMoveOnItsLine()
{
    SimController c;
    const float target[4] = {30.0f, 40.0f, 0.0f, 0.0f};
    QCOMPARE(c.moveLinearMm(target, 0.0f), 1);
    QCOMPARE(c.setOutputs(1), 1);
    c.advance(3000);  // Y at 10 mm/s, X at 7.5 mm/s
    const double x = c.machinePosition(0);
    const double y = c.machinePosition(1);
    QCOMPARE(c.emergencyHalt(), 1);
    QCOMPARE(int(c.status().errorCode), 0x99);
    QCOMPARE(int(c.status().bufferFill), 0);
    // Y brakes at 4 mm/s^2: 2.5 s and 12.5 mm; X stays on the line.
    c.advance(1250);
    QVERIFY(c.busy());
    c.advance(1250);
    QVERIFY(!c.busy());
    QCOMPARE(c.machinePosition(1) - y, 1250.0);
    QCOMPARE(c.machinePosition(0) - x, 937.5);
    QCOMPARE(int(c.status().generalOutputs), 0);
}

void TestSimController::linearMoveBeyondTheRangeStopsAsARelativeMoveDoes()
{
    // The same way once as a linear move, once as a relative one, from the same state.
    const auto compare = [](bool referenced, const float target[4], float dx, float dy,
                            int error) {
        SimController linear;
        SimController relative;
        if (referenced) {
            linear.reference();
            relative.reference();
            runUntilIdle(linear);
            runUntilIdle(relative);
        }
        QCOMPARE(linear.moveLinearMm(target, 0.0f), 1);
        QCOMPARE(linear.setOutputs(1), 1);
        QCOMPARE(relative.moveMm(0, 10.0f, dx, dy), 1);
        runUntilIdle(linear);
        runUntilIdle(relative);
        QCOMPARE(int(linear.status().errorCode), error);
        QCOMPARE(int(relative.status().errorCode), error);
        QCOMPARE(pos(linear, 0), pos(relative, 0));
        QCOMPARE(pos(linear, 1), pos(relative, 1));
        QCOMPARE(int(linear.status().generalOutputs), 0);  // the queue was dropped
        QCOMPARE(linear.status().inputs & 0x03, relative.status().inputs & 0x03);
    };
    // Unreferenced, X runs onto its switch at 101 mm from the middle (50 mm).
    const float onSwitch[4] = {60.0f, 30.0f, 0.0f, 0.0f};
    compare(false, onSwitch, 60.0f, 30.0f, 0x13);
    // Referenced (X at 100 mm, Y at 0, zero point at the machine's 0), Y stops at 100 mm.
    const float beyondRange[4] = {50.0f, 150.0f, 0.0f, 50.0f};
    compare(true, beyondRange, -50.0f, 150.0f, 0x22);
}

void TestSimController::switchInputsRaiseErrors()
{
    SimController c;
    c.moveSteps(0, 100, 1000, 0);
    c.advance(100);
    c.setSwitchInputs(0x10);
    QCOMPARE(int(c.status().errorCode), 0x53);
    QCOMPARE(c.status().inputs & 0x10, 0x10);
    QVERIFY(!c.busy());
    QCOMPARE(c.acknowledgeError(), 0);  // not while the emergency button is pressed
    QCOMPARE(c.moveSteps(0, 100, 10, 0), 0);
    c.setSwitchInputs(0x00);
    QCOMPARE(c.acknowledgeError(), 1);
    c.setSwitchInputs(0x02);  // Y end switch outside a reference run
    QCOMPARE(int(c.status().errorCode), 0x23);
    QCOMPARE(c.status().inputs & 0x02, 0x02);
    c.setSwitchInputs(0xE2);  // joystick bits only show
    QCOMPARE(int(c.status().inputs), 0xE2);
}

void TestSimController::parametersHaveTableDefaults()
{
    SimController c;
    QCOMPARE(c.changeMode(1), 1);
    QCOMPARE(int(c.status().firstValue), 1);
    int known = 0;
    for (int group = 0; group < 6; ++group) {
        for (int index = 0; index < 16; ++index) {
            uint8_t b[16];
            std::memset(b, 0xEE, sizeof b);
            if (c.readParameter(static_cast<uint8_t>(group), static_cast<uint8_t>(index), b))
                ++known;
        }
    }
    QCOMPARE(known, 42);
    c.acknowledgeError();
    uint8_t b[16];
    QVERIFY(c.readParameter(0x00, 0x00, b));
    int32_t l = 0;
    std::memcpy(&l, b, 4);
    QCOMPARE(l, 400);
    QVERIFY(c.readParameter(0x00, 0x01, b));
    float f = 0;
    std::memcpy(&f, b, 4);
    QCOMPARE(f, 0.5f);
    QVERIFY(c.readParameter(0x03, 0x04, b));
    const uint8_t ref[8] = {1, 1, 0, 0, 2, 1, 0, 3};
    QVERIFY(std::memcmp(b, ref, 8) == 0);
    QVERIFY(c.readParameter(0x04, 0x0A, b));
    int32_t range[4];
    std::memcpy(range, b, 16);
    QCOMPARE(range[0], 100);
    QCOMPARE(range[3], 50);
    QVERIFY(c.readParameter(0x04, 0x0D, b));
    QCOMPARE(b[0] + b[1] + b[2] + b[3], 0);
    QVERIFY(c.readParameter(0x05, 0x05, b));
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(b), 16),
             QByteArray("Dorvik USB\0\0\0\0\0\0", 16));
}

void TestSimController::parameterWritesAreRangeChecked()
{
    SimController c;
    c.changeMode(1);
    struct Case {
        uint16_t key;
        Device::ParamValue value;
        bool ok;
    };
    const Case cases[] = {
        {0x0000, longValue(65535), true},
        {0x0000, longValue(65536), false},
        {0x0001, floatValue(0.01f), true},
        {0x0001, floatValue(999.0f), true},
        {0x0001, floatValue(999.01f), false},
        {0x0001, longValue(1), false},  // wrong kind
        {0x0107, longValue(0), false},
        {0x0200, longValue(3), true},
        {0x0200, longValue(4), false},
        {0x0304, refValue({0, 1, 2, 0, 3, 2, 1, 0}), true},
        {0x0304, refValue({1, 1, 0, 0, 0, 0, 1, 2}), false},  // X twice
        {0x0304, refValue({3, 1, 0, 0, 2, 1, 0, 3}), false},
        {0x0305, fourValue(Kind::FourUchar, 0, 1, 0, 1), true},
        {0x0305, fourValue(Kind::FourUchar, 0, 1, 0, 2), false},
        {0x0400, floatValue(0.1f), true},
        {0x0400, floatValue(0.09f), false},
        {0x0409, fourValue(Kind::FourLongs, -32767, 0, 0, 32767), true},
        {0x0409, fourValue(Kind::FourLongs, -32768, 0, 0, 0), false},
        {0x040D, fourValue(Kind::FourUchar, 0, 1, 2, 0), true},
        {0x040D, fourValue(Kind::FourUchar, 256, 0, 0, 0), false},
        {0x0505, nameValue("Sixteen chars ok"), true},
        {0x0505, nameValue("Seventeen chars!!"), false},
        {0x0507, longValue(1), false},
    };
    for (const Case& k : cases) {
        c.acknowledgeError();
        const int r = c.setParameter(static_cast<uint8_t>(k.key >> 8),
                                     static_cast<uint8_t>(k.key), k.value);
        QVERIFY2(r == (k.ok ? 1 : 0), qPrintable(QString::number(k.key, 16)));
        QCOMPARE(int(c.status().errorCode), k.ok ? 0 : 0x71);
    }
    // A refused value leaves the stored one.
    uint8_t b[16];
    QVERIFY(c.readParameter(0x00, 0x01, b));
    float f = 0;
    std::memcpy(&f, b, 4);
    QCOMPARE(f, 999.0f);
    // Unknown numbers, also the value-less 0300 ... 0303.
    for (const uint16_t key : {0x0300, 0x0508, 0x0600, 0x010A}) {
        c.acknowledgeError();
        QCOMPARE(c.readParameter(static_cast<uint8_t>(key >> 8), static_cast<uint8_t>(key), b), 0);
        QCOMPARE(int(c.status().errorCode), 0x91);
        c.acknowledgeError();
        QCOMPARE(c.setParameter(static_cast<uint8_t>(key >> 8), static_cast<uint8_t>(key),
                                longValue(0)),
                 0);
        QCOMPARE(int(c.status().errorCode), 0x91);
    }
}

void TestSimController::parameterCallsNeedModeOne()
{
    SimController c;
    uint8_t b[16] = {};
    QCOMPARE(c.readParameter(0, 0, b), 0);
    QCOMPARE(int(c.status().errorCode), 0x03);
    c.acknowledgeError();
    QCOMPARE(c.changeMode(1), 1);
    QCOMPARE(c.moveSteps(0, 100, 10, 0), 0);  // no motion in parameter mode
    QCOMPARE(int(c.status().errorCode), 0x03);
    QCOMPARE(c.changeMode(4), 0);
}

void TestSimController::modeChangeRefusedWhileBusy()
{
    SimController c;
    c.moveSteps(0, 100, 100, 0);
    QCOMPARE(c.changeMode(1), 0);
    QCOMPARE(int(c.status().errorCode), 0x02);
    runUntilIdle(c);
    c.acknowledgeError();
    c.wait(500);
    QCOMPARE(c.changeMode(3), 0);
    QCOMPARE(int(c.status().errorCode), 0x01);
    QCOMPARE(c.mode(), 2);
}

void TestSimController::controllerNameComesFromParameter()
{
    SimController c;
    QCOMPARE(QString::fromStdString(c.name()), QStringLiteral("Dorvik USB"));
    QCOMPARE(setParam(c, 0x0505, nameValue("Fraese 2")), 1);
    QCOMPARE(QString::fromStdString(c.name()), QStringLiteral("Fraese 2"));
}

void TestSimController::failingParameterCallsFault()
{
    SimController c;
    c.changeMode(1);
    c.faults().failParameterCalls = 2;
    uint8_t b[16] = {};
    QCOMPARE(c.readParameter(0, 0, b), 0);
    QCOMPARE(c.setParameter(0, 0, longValue(5)), 0);
    QCOMPARE(c.readParameter(0, 0, b), 1);  // the third attempt succeeds
    QCOMPARE(int(c.status().errorCode), 0);
    c.faults().failParameterCalls = -1;
    for (int i = 0; i < 10; ++i)
        QCOMPARE(c.readParameter(0, 0, b), 0);
}

void TestSimController::ramProgramRunsCountTimes()
{
    SimController c;
    QCOMPARE(c.changeMode(3), 1);
    QCOMPARE(c.loadRam(2), 1);
    QCOMPARE(c.moveSteps(0, 1000, 100, 0), 1);
    QCOMPARE(c.setOutputs(7), 1);
    QCOMPARE(c.changeMode(2), 1);
    QCOMPARE(c.ramLength(2), 2);
    QCOMPARE(pos(c, 0), 0);  // stored, not run
    QCOMPARE(c.startRam(2, 3), 1);
    QVERIFY(c.ramRunning());
    QCOMPARE(c.moveSteps(0, 1000, 5, 0), 0);  // no manual motion while it runs
    QCOMPARE(int(c.status().errorCode), 0x03);
    c.acknowledgeError();
    QCOMPARE(c.ramProgress().slot, 2);
    QCOMPARE(c.ramProgress().pass, 1);
    QCOMPARE(c.ramProgress().passes, 3);
    while (pos(c, 0) <= 100)
        c.advance(5);
    QCOMPARE(c.ramProgress().pass, 2);
    RamRunEnd end;
    QVERIFY(!c.takeRamEnd(end));
    runUntilIdle(c);
    QCOMPARE(pos(c, 0), 300);
    QCOMPARE(int(c.status().generalOutputs), 7);
    QVERIFY(!c.ramRunning());
    QCOMPARE(c.ramProgress().slot, 0);
    QVERIFY(c.takeRamEnd(end));
    QVERIFY(end.completed);
    QCOMPARE(end.run.slot, 2);
    QCOMPARE(end.run.pass, 3);
    QVERIFY(!c.takeRamEnd(end));  // told once
}

void TestSimController::ramProgramWithCountZeroRunsUntilStopped()
{
    SimController c;
    c.changeMode(3);
    c.loadRam(1);
    c.moveSteps(0, 1000, 100, 0);
    c.moveSteps(0, 1000, -100, 0);
    c.changeMode(2);
    QCOMPARE(c.startRam(1, 0), 1);
    c.advance(60000);
    QVERIFY(c.ramRunning());
    QCOMPARE(int(c.status().errorCode), 0);
    QVERIFY(c.ramProgress().pass > 1);
    QCOMPARE(c.ramProgress().passes, 0);
    c.emergencyStop();
    QVERIFY(!c.ramRunning());
    QVERIFY(!c.busy());
    // Stopped before its end, with the stop's error.
    RamRunEnd end;
    QVERIFY(c.takeRamEnd(end));
    QVERIFY(!end.completed);
    QCOMPARE(int(end.errorCode), 0x99);
    QCOMPARE(end.run.slot, 1);
}

void TestSimController::ramErrors()
{
    SimController c;
    QCOMPARE(c.loadRam(1), 0);  // not in mode 3
    QCOMPARE(int(c.status().errorCode), 0x03);
    c.acknowledgeError();
    c.changeMode(3);
    QCOMPARE(c.setOutputs(1), 0);  // mode 3 without a slot
    QCOMPARE(int(c.status().errorCode), 0x03);
    c.acknowledgeError();
    QCOMPARE(c.loadRam(5), 0);
    QCOMPARE(int(c.status().errorCode), 0x0b);
    c.acknowledgeError();
    QCOMPARE(c.loadRam(4), 1);
    for (int i = 0; i < SimController::RamCapacity; ++i)
        QCOMPARE(c.setOutputs(1), 1);
    QCOMPARE(c.setOutputs(1), 0);
    QCOMPARE(int(c.status().errorCode), 0x0d);
    c.acknowledgeError();
    c.changeMode(2);
    QCOMPARE(c.startRam(4, 1), 0);
    QCOMPARE(int(c.status().errorCode), 0x0d);
    c.acknowledgeError();
    QCOMPARE(c.startRam(3, 1), 0);
    QCOMPARE(int(c.status().errorCode), 0x0c);
    c.acknowledgeError();
    QCOMPARE(c.startRam(0, 1), 0);
    QCOMPARE(int(c.status().errorCode), 0x0b);
}

void TestSimController::notificationsEvery500msWhenIdle()
{
    SimController c;
    QVERIFY(!c.takeNotification());  // not connected
    c.connect();
    QVERIFY(c.takeNotification());  // at once after connecting
    QVERIFY(!c.takeNotification());
    QCOMPARE(c.usUntilStatusCheck(), SimController::SlowStatusUs);
    int count = 0;
    for (int t = 0; t < 2000; t += 10) {
        c.advance(10);
        if (c.takeNotification())
            ++count;
    }
    QCOMPARE(count, 4);
    // A change is reported soon, not after 500 ms.
    c.advance(100);
    c.setOutputs(1);
    c.advance(1);
    QVERIFY(c.usUntilStatusCheck() == 0);
    QVERIFY(c.takeNotification());
    QCOMPARE(int(c.status().generalOutputs), 1);
}

// Simulators whose clocks agree report at the same moments, however late their thread wakes.
void TestSimController::changedReportsFallOnTheGridEvenWhenWokenLate()
{
    SimController c;
    c.advanceUs(7300);  // connected off the grid
    c.connect();
    QVERIFY(c.takeNotification());
    c.moveSteps(0, 1000, 1000, 0);  // one second
    int count = 0;
    while (c.nowUs() < 1000000) {
        c.advanceUs(c.usUntilStatusCheck() + 3000);  // every wake-up 3 ms late
        if (c.takeNotification()) {
            ++count;
            QCOMPARE(c.nowUs() % SimController::FastStatusUs, int64_t(3000));
        }
    }
    QVERIFY2(count >= 48 && count <= 50, qPrintable(QString::number(count)));
}

void TestSimController::notificationsAtMostEvery20msWhileMoving()
{
    SimController c;
    c.connect();
    QVERIFY(c.takeNotification());
    c.moveSteps(0, 1000, 1000, 0);  // one second
    int count = 0;
    int64_t last = -1000000;
    int64_t shortest = 1000000;
    for (int t = 0; t < 1000; ++t) {
        c.advance(1);
        if (c.takeNotification()) {
            ++count;
            shortest = std::min(shortest, c.nowUs() - last);
            last = c.nowUs();
        }
    }
    QVERIFY(shortest >= SimController::FastStatusUs - SimController::GridSlackUs);
    QVERIFY2(count >= 48 && count <= 50, qPrintable(QString::number(count)));
    c.disconnect();
    c.advance(1000);
    QVERIFY(!c.takeNotification());
}

void TestSimController::statusCheckNeverSpinsWhileNothingChanges()
{
    // A WAIT and a move slower than one step per check keep the machine busy while the
    // report stays the same: the next check must lie in the future, or a waiter that
    // sleeps for usUntilStatusCheck() polls without pause.
    SimController c;
    c.connect();
    QVERIFY(c.takeNotification());
    QCOMPARE(c.wait(2000), 1);
    QCOMPARE(c.moveSteps(0, 2, 4, 0), 1);  // two steps a second
    int notifications = 0;
    int zeroWaits = 0;
    for (int t = 0; t < 4500; ++t) {
        c.advance(1);
        const int64_t next = c.usUntilStatusCheck();
        if (c.takeNotification())
            ++notifications;
        else if (next == 0)
            ++zeroWaits;
    }
    QCOMPARE(zeroWaits, 0);
    // Still one notification at least every 500 ms, and one for each step.
    QVERIFY2(notifications >= 9 && notifications <= 14,
             qPrintable(QString::number(notifications)));
    QVERIFY(!c.busy());
}

void TestSimController::silenceStopsNotifications()
{
    SimController c;
    c.faults().silenceAfterMs = 1000;
    c.connect();
    int count = 0;
    for (int t = 0; t < 3000; t += 10) {
        c.advance(10);
        if (c.takeNotification())
            ++count;
        QCOMPARE(c.answering(), t + 10 < 1000);
    }
    QCOMPARE(count, 2);  // right after connecting and 500 ms later
    c.faults().silenceAfterMs = -1;
    c.faults().silent = true;
    c.advance(1000);
    QVERIFY(!c.takeNotification());
    QVERIFY(!c.answering());
}

void TestSimController::bootloaderAnswersByteTableAndReportsCrc()
{
    SimController c;
    c.connect();
    c.setOutputs(3);
    QVERIFY(c.enterBootloader());
    QVERIFY(!c.takeNotification());  // the bootloader sends no status
    QCOMPARE(feed(c, text("S")), text("AVRB128"));
    QCOMPARE(feed(c, text("P")), text("\r"));
    QCOMPARE(feed(c, text("e")), text("\r"));
    QCOMPARE(feed(c, text("A..")), text("\r"));
    // A 10000-byte image: two frames, the second with 1808 bytes and 0xFF filling.
    std::vector<uint8_t> image(10000);
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<uint8_t>(i * 7 + 3);
    std::vector<uint8_t> data(image);
    data.resize(2 * 8192, 0xFF);
    for (int block = 0; block < 2; ++block) {
        std::vector<uint8_t> frame(8193, '#');
        std::copy_n(data.begin() + block * 8192, 8192, frame.begin() + 1);
        // Sent in pieces, as the program does (513 bytes, then 512 at a time).
        std::vector<uint8_t> reply;
        size_t at = 0;
        while (at < frame.size()) {
            const size_t n = std::min<size_t>(at == 0 ? 513 : 512, frame.size() - at);
            c.bootloaderInput(frame.data() + at, n, reply);
            at += n;
        }
        QCOMPARE(reply, text("\r"));
    }
    QCOMPARE(bitwiseCrc32(text("123456789")), 0xCBF43926u);
    const uint32_t crc = bitwiseCrc32(data);
    const std::vector<uint8_t> expected{uint8_t(crc >> 24), uint8_t(crc >> 16), uint8_t(crc >> 8),
                                        uint8_t(crc)};
    QCOMPARE(feed(c, text("$")), expected);
    QCOMPARE(c.receivedFirmware(), data);
    QVERIFY(!c.inBootloader());  // the new firmware runs, freshly started
    QCOMPARE(int(c.status().generalOutputs), 0);

    // A second transfer starts its checksum afresh.
    QVERIFY(c.enterBootloader());
    feed(c, text("SPeA.."));
    std::vector<uint8_t> frame(8193, 0xFF);
    frame[0] = '#';
    QCOMPARE(feed(c, frame), text("\r"));
    const uint32_t crc2 = bitwiseCrc32(std::vector<uint8_t>(8192, 0xFF));
    const std::vector<uint8_t> expected2{uint8_t(crc2 >> 24), uint8_t(crc2 >> 16),
                                         uint8_t(crc2 >> 8), uint8_t(crc2)};
    QCOMPARE(feed(c, text("$")), expected2);
}

void TestSimController::bootloaderFaults()
{
    {
        SimController c;
        c.faults().noBootloader = true;
        QVERIFY(!c.enterBootloader());
        QVERIFY(!c.inBootloader());
    }
    {
        SimController c;
        c.faults().wrongCrc = true;
        c.enterBootloader();
        feed(c, text("SPeA.."));
        const std::vector<uint8_t> reply = feed(c, text("$"));
        QCOMPARE(reply.size(), size_t(4));
        const uint32_t got = uint32_t(reply[0]) << 24 | uint32_t(reply[1]) << 16
                             | uint32_t(reply[2]) << 8 | reply[3];
        QVERIFY(got != 0u);  // the CRC-32 of nothing is 0
    }
    {
        SimController c;
        c.faults().bootloaderSilentAfterBlock = 1;
        c.enterBootloader();
        QCOMPARE(feed(c, text("SPeA..")).size(), size_t(10));
        std::vector<uint8_t> frame(8193, 0x11);
        frame[0] = '#';
        QCOMPARE(feed(c, frame), text("\r"));
        QVERIFY(feed(c, frame).empty());
        QVERIFY(feed(c, text("$S")).empty());
    }
    {
        SimController c;
        c.enterBootloader();
        QCOMPARE(feed(c, text("x")), text("?"));
    }
}

void TestSimController::frameSyncLeavesBootloader()
{
    SimController c;
    c.enterBootloader();
    const std::vector<uint8_t> bytes{'S', 0xA5, 0x00, 0xFF};
    std::vector<uint8_t> reply;
    QCOMPARE(c.bootloaderInput(bytes.data(), bytes.size(), reply), size_t(1));
    QCOMPARE(reply, text("AVRB128"));
    QVERIFY(!c.inBootloader());
}

QTEST_GUILESS_MAIN(TestSimController)
#include "tst_simcontroller.moc"
