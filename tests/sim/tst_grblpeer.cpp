// The GRBL peer's core on its explicit clock: what a host sees on the line, in the order the
// firmware sends it.

#include "estimator.h"
#include "grblpeer.h"

#include <QtTest>

#include <cmath>
#include <deque>

namespace {

struct Peer : GrblPeer {
    Peer(std::initializer_list<std::pair<int, double>> settings = {})
    {
        for (const auto& s : settings)
            setSetting(s.first, s.second);
        powerUp();
        takeOutput();
    }
    std::string send(const std::string& s)
    {
        receive(reinterpret_cast<const uint8_t*>(s.data()), s.size());
        return takeOutput();
    }
    std::string run(int64_t ms)
    {
        advance(ms * 1000);
        return takeOutput();
    }
};

const std::string welcome = "\r\nGrbl 1.1h ['$' for help]\r\n";
const std::string locked = "[MSG:'$H'|'$X' to unlock]\r\n";

int count(const std::string& text, const std::string& what)
{
    int n = 0;
    for (size_t i = text.find(what); i != std::string::npos; i = text.find(what, i + 1))
        ++n;
    return n;
}

}  // namespace

class TestGrblPeer : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void linesCleanedAnsweredInOrderAndRejectedWhole();
    void receiveBufferFillsBehindAWaitingLine();
    void targetsRoundedToStepsWithoutDrift();
    void feedHoldBrakesAndSuspendsTheMainLoop();
    void jogCancelFlushesThePlannerOnly();
    void resetKeepsOrLosesThePosition();
    void homingCycle();
    void homingFailureAndReset();
    void criticalAlarmsSilenceUntilReset();
    void eepromWriteStallsAnswersAndReports();
    void reportFields();
    void accessoryChangeWaitsForThePlanner();
    void jobTimeAgreesWithTheEstimator();
    void arcsRunTheFirmwaresChordsToTheirExactEnd();
    void offsetsMoveTargetsAndShowInParameters();
    void wordErrorsInTheFirmwaresOrder();
    void programPauseEndAndDwellSteps();
};

void TestGrblPeer::linesCleanedAnsweredInOrderAndRejectedWhole()
{
    Peer p;
    p.send("$I=Mill 2b (shop; left)\n$I\n");
    QCOMPARE(p.run(100),
             std::string("ok\r\n[VER:1.1h.20190830:MILL2B]\r\n[OPT:V,15,128]\r\nok\r\n"));
    QCOMPARE(p.buildInfo(), std::string("MILL2B"));
    p.run(1000);
    // One unsupported word loses the whole line, its G91 included.
    QCOMPARE(p.send("G91 G64\nG1 X1\n$Q\n$J=G91 X1 M3 F100\ng0 x1 ; rapid\n$$\n$J=X0F9\n"),
             std::string("error:20\r\nerror:22\r\nerror:2\r\nerror:16\r\nok\r\nerror:8\r\n"
                         "error:8\r\n"));
    p.run(2000);
    QCOMPARE(p.machine(0), 1.0);
    QCOMPARE(p.send(std::string(90, 'X') + "\n$50=1\n$20=1\n"),
             std::string("error:11\r\nerror:3\r\nerror:10\r\n"));
    QCOMPARE(p.linesDone, 12);
}

void TestGrblPeer::receiveBufferFillsBehindAWaitingLine()
{
    Peer p({{10, 2}});
    std::string lines;
    for (int i = 0; i < 16; ++i)
        lines += "G1 X" + std::to_string(i + 1) + " F60\n";
    // 15 blocks planned, the 16th waits in the line buffer with its target.
    QCOMPARE(count(p.send(lines), "ok"), 15);
    QCOMPARE(p.rxHighWater, size_t(0) + 1);
    std::string report = p.send("?");
    QVERIFY2(report.find("|Bf:0,128|") != std::string::npos, report.c_str());
    // The buffer fills behind it up to 127 bytes; the rest is lost.
    p.send(std::string(120, ' ') + "?" + std::string(30, ' '));
    QCOMPARE(p.rxHighWater, GrblPeer::RxBuffer - 1);
    QCOMPARE(p.rxOverflows, 150 - 127);
    QCOMPARE(count(p.takeOutput() + p.send("?"), "Bf:0,1|"), 1);
    QCOMPARE(count(p.run(1100), "ok"), 1);  // the first block is done: the 16th is planned
}

void TestGrblPeer::targetsRoundedToStepsWithoutDrift()
{
    Peer p({{101, 400}});
    std::string lines;
    for (int i = 0; i < 100; ++i)
        lines += "G91 G1 Y0.003 X0.004 F6000\n";
    for (int i = 0; i < 100; ++i) {
        p.send(lines.substr(size_t(i) * 27, 27));
        p.run(10);
    }
    p.run(1000);
    QCOMPARE(p.steps(1), 120);
    QCOMPARE(p.steps(0), 100);
    QCOMPARE(p.state(), std::string("Idle"));
}

void TestGrblPeer::feedHoldBrakesAndSuspendsTheMainLoop()
{
    Peer p;
    p.send("G1 X100 F300\n");  // 5 mm/s at 10 mm/s^2: 1.25 mm and 0.5 s to speed or to rest
    p.run(1000);
    QCOMPARE(p.state(), std::string("Run"));
    p.send("!");
    QCOMPARE(p.holdState(), 1);
    QVERIFY(p.send("?").find("<Hold:1|") == 0);
    QCOMPARE(p.send("G4 P0\n"), std::string());  // not read while held
    p.run(400);
    QCOMPARE(p.holdState(), 1);
    p.run(200);
    QCOMPARE(p.holdState(), 0);
    const int32_t stoppedAt = p.steps(0);
    // 1.25 mm accelerating, 2.5 mm at speed, 0.2 mm in the 40 ms of segments already
    // prepared, 1.25 mm braking.
    QVERIFY(std::abs(stoppedAt - 1300) <= 1);
    p.run(1000);
    QCOMPARE(p.steps(0), stoppedAt);
    QVERIFY(p.send("?").find("<Hold:0|") == 0);
    p.send("~");
    QCOMPARE(p.state(), std::string("Run"));
    QCOMPARE(p.run(20000), std::string("ok\r\n"));
    QCOMPARE(p.machine(0), 100.0);
    // In Idle the hold is complete at once.
    p.send("!");
    QCOMPARE(p.holdState(), 0);
}

void TestGrblPeer::jogCancelFlushesThePlannerOnly()
{
    Peer p;
    std::string lines;
    for (int i = 0; i < 20; ++i)
        lines += "$J=G91 G21 X2 F300\n";
    QCOMPARE(count(p.send(lines), "ok"), 15);
    p.run(1000);
    p.send("\x85");
    QCOMPARE(p.state(), std::string("Jog"));  // braking
    const int started = p.blocksStarted;
    p.run(600);
    QCOMPARE(p.state(), std::string("Jog"));  // run-on: the waiting jog went on
    QVERIFY(p.blocksStarted > started);
    p.run(20000);
    // Stopped near 5.2 mm; the jog that waited had its target (32 mm), the four behind
    // it add 8 mm.
    QCOMPARE(p.machine(0), 40.0);
    QCOMPARE(p.state(), std::string("Idle"));
    QCOMPARE(p.linesDone, 20);
    // G-code while jogging is locked out.
    p.send("$J=G91 X1 F300\n");
    QCOMPARE(p.send("G0 X0\n"), std::string("error:9\r\n"));
}

void TestGrblPeer::resetKeepsOrLosesThePosition()
{
    Peer p;
    p.send("G1 X1 F60\n");
    p.run(2000);
    QCOMPARE(p.send("\x18"), welcome);
    QCOMPARE(p.state(), std::string("Idle"));
    QCOMPARE(p.send("G1 X2\n"), std::string("error:22\r\n"));  // the feed is gone
    std::string lines;
    for (int i = 0; i < 16; ++i)
        lines += "G1 X" + std::to_string(10 + i) + " F600 M8\n";
    p.send(lines);
    p.run(500);
    // Moving: the position is lost; the line in the line buffer is answered before the welcome.
    QCOMPARE(p.send("\x18"), "ALARM:3\r\nok\r\n" + welcome + locked);
    QCOMPARE(p.state(), std::string("Alarm"));
    QCOMPARE(p.send("G0 X0\n$J=X1F10\n$X\n"),
             std::string("error:9\r\nerror:8\r\n[MSG:Caution: Unlocked]\r\nok\r\n"));
    QVERIFY(p.send("?").find("|A:") == std::string::npos);
}

void TestGrblPeer::homingCycle()
{
    Peer off;
    QCOMPARE(off.send("$H\n"), std::string("error:5\r\n"));
    GrblPeer on;
    on.setSetting(22, 1);
    on.setSetting(23, 2);  // Y homes towards negative
    on.powerUp();
    QCOMPARE(on.takeOutput(), welcome + locked);
    QCOMPARE(on.state(), std::string("Alarm"));
    on.setHomingCycleMs(400);
    on.receive(reinterpret_cast<const uint8_t*>("$H\n?!?"), 6);
    QVERIFY(on.homing());
    QCOMPARE(on.takeOutput(), std::string());
    QCOMPARE(on.ignoredPolls, 2);
    on.advance(399000);
    QCOMPARE(on.takeOutput(), std::string());
    on.advance(1000);
    const std::string out = on.takeOutput();
    QVERIFY2(out.find("<Home|MPos:-1.000,-199.000,-1.000|") == 0, out.c_str());
    QVERIFY(out.find(">\r\nok\r\n") != std::string::npos);
    QCOMPARE(on.state(), std::string("Idle"));
    QCOMPARE(on.steps(1), -199 * 250);
}

void TestGrblPeer::homingFailureAndReset()
{
    Peer p({{22, 1}});
    p.setHomingCycleMs(200);
    p.failNextHoming(9);
    p.send("$H\n");
    QCOMPARE(p.run(300), "ALARM:9\r\nok\r\n" + welcome + locked);
    QCOMPARE(p.state(), std::string("Alarm"));
    p.send("$H\n");
    p.run(50);
    QCOMPARE(p.send("\x18"), "ALARM:6\r\nok\r\n" + welcome + locked);
    QVERIFY(!p.homing());
    p.run(1000);
    QCOMPARE(p.takeOutput(), std::string());
}

void TestGrblPeer::criticalAlarmsSilenceUntilReset()
{
    Peer p({{22, 1}, {20, 1}});
    p.send("$X\n");
    p.takeOutput();
    QCOMPARE(p.send("$J=G91 X5 F100\n"), std::string("error:15\r\n"));
    QCOMPARE(p.send("G1 X-5 F120\n"), std::string("ok\r\n"));
    p.run(200);
    // Beyond the envelope while the cycle runs: it brakes first, then the alarm.
    QCOMPARE(p.send("G0 X1\n"), std::string());
    QCOMPARE(p.holdState(), 1);
    QCOMPARE(p.run(2000), std::string("ALARM:2\r\n[MSG:Reset to continue]\r\n"));
    QVERIFY(p.critical());
    const double stopped = p.machine(0);
    // 0.2 mm up to 2 mm/s in 0.2 s, 0.08 mm of prepared segments, 0.2 mm braking.
    QCOMPARE(stopped, -0.48);
    QCOMPARE(p.send("?$$\n!~G0X0\n"), std::string());
    QCOMPARE(p.ignoredPolls, 1);
    QCOMPARE(p.send("\x18"), "ok\r\n" + welcome + locked);
    QCOMPARE(p.machine(0), stopped);
    QVERIFY(!p.critical());
    p.send("$X\n");
    p.hardLimit('Z');
    QCOMPARE(p.takeOutput(), std::string("ALARM:1\r\n[MSG:Reset to continue]\r\n"));
    QCOMPARE(p.send("?"), std::string());
    QCOMPARE(p.send("\x18"), welcome + locked);
}

void TestGrblPeer::eepromWriteStallsAnswersAndReports()
{
    Peer p;
    p.setEepromStallMs(160);
    QCOMPARE(p.send("$100=200\n?G10 L20 P1 X1\n"), std::string());
    QCOMPARE(p.run(159), std::string());
    QCOMPARE(p.rxHighWater, size_t(14));  // the next line waits in the receive buffer
    std::string out = p.run(1);
    QVERIFY2(out.find("ok\r\n<Idle|") == 0, out.c_str());
    out = p.run(160);
    QCOMPARE(out, std::string("ok\r\n"));
    QCOMPARE(p.eepromWrites, 2);
    QCOMPARE(p.workOffset(0), -1.0);
}

void TestGrblPeer::reportFields()
{
    Peer p({{10, 0}});
    p.send("G10 L2 P1 X5\n");
    p.run(100);
    std::vector<std::string> reports;
    for (int i = 0; i < 12; ++i)
        reports.push_back(p.send("?"));
    // WCO first and after ten; Ov in the report after it.
    QCOMPARE(reports[0], std::string("<Idle|WPos:-5.000,0.000,0.000|FS:0,0|WCO:5.000,0.000,0.000>\r\n"));
    QCOMPARE(reports[1], std::string("<Idle|WPos:-5.000,0.000,0.000|FS:0,0|Ov:100,100,100>\r\n"));
    QVERIFY(reports[10].find("|WCO:") != std::string::npos);
    QCOMPARE(count(reports[2] + reports[9], "|"), 4);
    p.send("$13=1\nM3 S12000 M8\nG20 G1 X6 F10\n");
    p.run(1000);  // 4.23 mm/s is reached after 0.42 s
    const std::string r = p.send("?");
    QVERIFY2(r.find("<Run|WPos:") == 0 && r.find("|FS:10.0,1000|Ov:100,100,100|A:SF>") != std::string::npos,
             r.c_str());
}

void TestGrblPeer::accessoryChangeWaitsForThePlanner()
{
    Peer p;
    QCOMPARE(p.send("G1 X1 F60\nM3 S100\nG4 P0.5\n"), std::string("ok\r\n"));
    QVERIFY(!p.spindleOn());
    // 0.1 s up to 1 mm/s, 0.9 s at speed, 0.1 s down.
    QCOMPARE(p.run(1100), std::string("ok\r\n"));
    QVERIFY(p.spindleOn());
    QCOMPARE(p.run(499), std::string());
    QCOMPARE(p.run(1), std::string("ok\r\n"));
    QCOMPARE(p.starvations, 0);
}

void TestGrblPeer::jobTimeAgreesWithTheEstimator()
{
    // A small job of rapids, a 24-chord circle, a square, a reversal, a dwell, a spindle switch
    // and a run of tiny collinear pieces, streamed by a character-counting host at 115200 baud;
    // the peer's clock measures it, the estimator predicts it from the same lines.
    gcode::MachineSettings settings;
    for (int a = 0; a < 2; ++a) {
        settings.acceleration[a] = 100;
        settings.maxRate[a] = 3000;
    }
    Peer p({{120, 100}, {121, 100}, {110, 3000}, {111, 3000}});
    gcode::Estimator estimator(settings);
    std::vector<std::string> lines;
    auto add = [&](gcode::BlockKind kind, double x, double y, double value, const std::string& text) {
        lines.push_back(text + "\n");
        estimator.addLine(uint32_t(lines.back().size()));
        gcode::Block b;
        b.kind = kind;
        b.target[0] = float(x);
        b.target[1] = float(y);
        b.value = float(value);
        estimator.addBlock(b);
    };
    auto feed = [&](double x, double y, int f) {
        char text[64];
        std::snprintf(text, sizeof text, "G1 X%.3f Y%.3f F%d", x, y, f);
        add(gcode::BlockKind::Feed, x, y, f, text);
    };
    add(gcode::BlockKind::Rapid, 20, 10, 0, "G0 X20 Y10");
    for (int i = 1; i <= 24; ++i)
        feed(15 + 5 * std::cos(i * M_PI / 12), 10 + 5 * std::sin(i * M_PI / 12), 1200);
    for (const auto& corner : {std::pair{20, 20}, {30, 20}, {30, 10}, {20, 10}})
        feed(corner.first, corner.second, 1800);
    feed(25, 10, 1800);
    feed(20, 10, 1800);
    add(gcode::BlockKind::Dwell, 20, 10, 0.2, "G4 P0.2");
    add(gcode::BlockKind::Sync, 20, 10, 0, "M3 S1000");
    for (int i = 1; i <= 40; ++i)
        feed(20 + 0.05 * i, 10, 3000);
    const double predicted = estimator.finish();

    // The host: a line goes out when it fits into 127 bytes beside the unanswered ones; every
    // byte takes 86.8 us; an ok frees its line's bytes.
    const double byteUs = 1e7 / 115200;
    double clock = 0;
    int64_t peerUs = 0;
    std::deque<size_t> unanswered;
    size_t inFlight = 0;
    size_t next = 0;
    auto step = [&](double untilUs) {
        p.advance(int64_t(std::llround(untilUs)) - peerUs);
        peerUs = std::llround(untilUs);
        for (int oks = count(p.takeOutput(), "ok"); oks > 0; --oks) {
            inFlight -= unanswered.front();
            unanswered.pop_front();
        }
    };
    while (next < lines.size() || !unanswered.empty() || p.state() != "Idle") {
        if (next < lines.size() && inFlight + lines[next].size() <= 127) {
            const std::string& line = lines[next++];
            unanswered.push_back(line.size());
            inFlight += line.size();
            for (char c : line) {
                clock += byteUs;
                step(clock);
                p.receive(reinterpret_cast<const uint8_t*>(&c), 1);
            }
        } else {
            clock += byteUs;
            step(clock);
        }
    }
    const double measured = clock / 1e6;
    QVERIFY2(std::abs(measured - predicted) < 0.002 * predicted,
             qPrintable(QStringLiteral("peer %1 s, estimate %2 s").arg(measured).arg(predicted)));
}

void TestGrblPeer::arcsRunTheFirmwaresChordsToTheirExactEnd()
{
    Peer p({{110, 3000}, {111, 3000}, {120, 500}, {121, 500}});
    p.send("G0 X10 Y10\n");
    p.run(2000);
    int started = p.blocksStarted;
    p.travelled = 0;
    // A full circle of radius 5 at $12 = 0.002 mm: floor(pi * 5 / sqrt(0.002 * 9.998)) = 111
    // chords, the last one onto the start again.
    p.send("G2 X10 Y10 I5 F3000\n");
    QCOMPARE(count(p.run(20000), "ok"), 1);
    QCOMPARE(p.blocksStarted - started, 111);
    QCOMPARE(p.steps(0), 2500);
    QCOMPARE(p.steps(1), 2500);
    QVERIFY2(std::abs(p.travelled - 10 * M_PI) < 0.01, qPrintable(QString::number(p.travelled)));
    // R form, the short way: 60 degrees of radius 10 make floor(5.236 / 0.19999) = 26 chords.
    started = p.blocksStarted;
    p.send("G3 X20 Y10 R10\n");
    QCOMPARE(count(p.run(20000), "ok"), 1);
    QCOMPARE(p.blocksStarted - started, 26);
    QCOMPARE(p.steps(0), 5000);
    QCOMPARE(p.steps(1), 2500);

    // Both ends inside the soft limits, the arc's top beyond Y0: a chord raises the alarm.
    Peer s({{22, 1}, {20, 1}});
    s.send("$X\nG0 X-10 Y-3\n");
    s.run(5000);
    s.takeOutput();
    s.send("G2 X-10 Y-3 J5 F600\n");
    QVERIFY(s.run(20000).find("ALARM:2") != std::string::npos);
    QVERIFY(s.critical());
    QVERIFY(s.machine(1) <= 0);
}

void TestGrblPeer::offsetsMoveTargetsAndShowInParameters()
{
    Peer p;
    p.send("G10 L2 P2 X5 Y-3\nG55 G0 X1 Y1\nG92 X0 Y0\nG0 X2\n");
    p.run(5000);
    QCOMPARE(p.machine(0), 8.0);  // 2 + G55's 5 + G92's 1
    QCOMPARE(p.machine(1), -2.0);
    std::string report = p.send("?");
    QVERIFY2(report.find("|WCO:6.000,-2.000,0.000") != std::string::npos, report.c_str());
    std::string params = p.send("$#\n");
    QVERIFY2(params.find("[G55:5.000,-3.000,0.000]\r\n") != std::string::npos
                 && params.find("[G92:1.000,1.000,0.000]\r\n") != std::string::npos,
             params.c_str());
    // An absolute jog is in the same work coordinates.
    p.send("$J=X0 F600\n");
    p.run(3000);
    QCOMPARE(p.machine(0), 6.0);
    // A reset forgets G92 and the G55 mode; the stored G55 offset stays.
    p.send("\x18");
    params = p.send("$#\n$G\n");
    QVERIFY2(params.find("[G55:5.000,-3.000,0.000]\r\n") != std::string::npos
                 && params.find("[G92:0.000,0.000,0.000]\r\n") != std::string::npos
                 && params.find("[GC:G0 G54 G17 G21 G90 G94 M5 M9 T0 F0 S0]") != std::string::npos,
             params.c_str());
}

void TestGrblPeer::wordErrorsInTheFirmwaresOrder()
{
    Peer p;
    // The first word the firmware cannot take decides, and the whole line is lost.
    const std::string answers = p.send("G91 G90 X1\nM6 G20 G21\nG20 G21 M6\nG91 A1\nM7\nG0 X1 M1\n");
    QVERIFY2(answers == "error:21\r\nerror:20\r\nerror:21\r\nerror:20\r\nerror:20\r\nok\r\n",
             answers.c_str());
    p.run(2000);
    QCOMPARE(p.machine(0), 1.0);
    QCOMPARE(p.state(), std::string("Idle"));  // M1 is ignored
}

void TestGrblPeer::programPauseEndAndDwellSteps()
{
    Peer p;
    QCOMPARE(p.send("G1 X1 F60 M3 S100\nM0\nG0 X2\n"), std::string("ok\r\n"));
    QCOMPARE(p.run(3000), std::string());  // the pause is not answered while it holds
    QVERIFY(p.send("?").find("<Hold:0|") == 0);
    QCOMPARE(p.machine(0), 1.0);
    QCOMPARE(p.send("~"), std::string("ok\r\nok\r\n"));
    p.run(2000);
    QCOMPARE(p.machine(0), 2.0);
    // The end resets the modes GRBL resets (G1, G54, G90, M5, M9); F, S and G20/G21 stay.
    QCOMPARE(p.send("G55 G91 M8\nM2\n$G\n"),
             std::string("ok\r\n[MSG:Pgm End]\r\nok\r\n"
                         "[GC:G1 G54 G17 G21 G90 G94 M5 M9 T0 F60 S100]\r\nok\r\n"));
    QVERIFY(!p.spindleOn());
    // A dwell lasts whole steps of 50 ms.
    p.send("G4 P0.01\n");
    QCOMPARE(p.run(49), std::string());
    QCOMPARE(p.run(1), std::string("ok\r\n"));
}

QTEST_GUILESS_MAIN(TestGrblPeer)
#include "tst_grblpeer.moc"
