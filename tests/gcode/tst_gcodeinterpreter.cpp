// The G-code interpreter against GRBL 1.1's behaviour: arcs checked against the circle they
// approximate, offsets and frames against hand-computed machine positions, errors against
// the firmware's codes.

#include "interpreter.h"

#include <QtTest>

#include <cmath>

using namespace gcode;

namespace {

// Runs lines through one interpreter; returns the blocks of the last line.
struct Run {
    Interpreter in;
    std::vector<Block> blocks;
    int error = 0;

    explicit Run(Target target = Target::Grbl) : in(target) {}

    std::vector<Block> operator()(std::initializer_list<const char*> lines)
    {
        std::vector<Block> last;
        for (const char* l : lines) {
            last.clear();
            error = in.interpret(l, 0, last).error;
            blocks.insert(blocks.end(), last.begin(), last.end());
        }
        return last;
    }
    const float* pos() const { return in.state().position; }
};

// Chords GRBL makes for an arc of `angle` radians on `radius` at the default $12 = 0.002.
int expectedSegments(double angle, double radius)
{
    const double tol = 0.002;
    return int(std::floor(std::fabs(0.5 * angle * radius) / std::sqrt(tol * (2 * radius - tol))));
}

// Every chord end lies on the circle around `centre` in the plane (a0, a1), the sweep runs in
// the expected direction, and the linear axis advances evenly from `linearFrom` to `linearTo`.
void verifyArc(const std::vector<Block>& chords, int a0, int a1, const double centre[2],
               double radius, bool ccw, double linearFrom, double linearTo)
{
    const int lin = 3 - a0 - a1;
    double prev[2] = {0, 0};
    for (size_t i = 0; i < chords.size(); ++i) {
        const Block& b = chords[i];
        QVERIFY(b.flags & ArcChord);
        QCOMPARE(b.kind, BlockKind::Feed);
        const double u = b.target[a0] - centre[0];
        const double v = b.target[a1] - centre[1];
        QVERIFY2(std::fabs(std::hypot(u, v) - radius) < 2e-4, qPrintable(QString::number(i)));
        const double expectLinear =
            linearFrom + (linearTo - linearFrom) * double(i + 1) / double(chords.size());
        QVERIFY(std::fabs(b.target[lin] - expectLinear) < 1e-4);
        if (i > 0) {
            const double cross = prev[0] * v - prev[1] * u;
            QVERIFY(ccw ? cross > 0 : cross < 0);
        }
        prev[0] = u;
        prev[1] = v;
    }
}

} // namespace

class TestGcodeInterpreter : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void arcsInEachPlane_data();
    void arcsInEachPlane();
    void fullCircleHelix();
    void radiusFormShortAndLong();
    void arcEndOffTheCircle();
    void inchesAndInverseTime();
    void offsetsFramesAndDistanceModes();
    void storedPositions();
    void firmwareErrors_data();
    void firmwareErrors();
    void unsupportedWordsPerTarget();
    void commentsAndRealtimeBytes();
    void syncsAndProgramFlow();
    void stateFromControllerReports();
};

void TestGcodeInterpreter::arcsInEachPlane_data()
{
    QTest::addColumn<QString>("plane");
    QTest::addColumn<int>("a0");
    QTest::addColumn<int>("a1");
    QTest::addColumn<QString>("move");
    QTest::addColumn<bool>("ccw");
    // A quarter circle of radius 10 from (10, 0) in plane coordinates about (0, 0).
    QTest::newRow("G17 ccw") << "G17" << 0 << 1 << "G3 X0 Y10 I-10 J0" << true;
    QTest::newRow("G18 cw") << "G18" << 2 << 0 << "G2 Z0 X-10 K-10 I0" << false;
    QTest::newRow("G19 ccw") << "G19" << 1 << 2 << "G3 Y0 Z10 J-10 K0" << true;
}

void TestGcodeInterpreter::arcsInEachPlane()
{
    QFETCH(QString, plane);
    QFETCH(int, a0);
    QFETCH(int, a1);
    QFETCH(QString, move);
    QFETCH(bool, ccw);
    Run run;
    const char axes[] = "XYZ";
    const QByteArray start = QStringLiteral("G0 %1%2").arg(QLatin1Char(axes[a0])).arg(10).toLatin1();
    const QByteArray arc = (move + QStringLiteral(" F300")).toLatin1();
    const std::vector<Block> chords =
        run({plane.toLatin1().constData(), start.constData(), arc.constData()});
    QCOMPARE(run.error, 0);
    QCOMPARE(int(chords.size()), expectedSegments(M_PI / 2, 10));
    const double centre[2] = {0, 0};
    verifyArc(chords, a0, a1, centre, 10, ccw, 0, 0);
    QCOMPARE(chords.back().target[a0], 0.0f);
    QCOMPARE(chords.back().target[a1], ccw ? 10.0f : -10.0f);
    QCOMPARE(chords.back().value, 300.0f);
}

void TestGcodeInterpreter::fullCircleHelix()
{
    Run run;
    const std::vector<Block> chords = run({"G0 X10", "G2 X10 Y0 Z-2 I-10 J0 F100"});
    QCOMPARE(run.error, 0);
    QCOMPARE(int(chords.size()), expectedSegments(2 * M_PI, 10));
    const double centre[2] = {0, 0};
    verifyArc(chords, 0, 1, centre, 10, false, 0, -2);
    QCOMPARE(chords.back().target[2], -2.0f);
}

void TestGcodeInterpreter::radiusFormShortAndLong()
{
    // From (0,0) to (10,10) clockwise on R10: the short way about (10,0), the long about (0,10).
    Run shortWay;
    std::vector<Block> chords = shortWay({"G2 X10 Y10 R10 F100"});
    QCOMPARE(int(chords.size()), expectedSegments(M_PI / 2, 10));
    const double centreShort[2] = {10, 0};
    verifyArc(chords, 0, 1, centreShort, 10, false, 0, 0);

    Run longWay;
    chords = longWay({"G2 X10 Y10 R-10 F100"});
    QCOMPARE(int(chords.size()), expectedSegments(3 * M_PI / 2, 10));
    const double centreLong[2] = {0, 10};
    verifyArc(chords, 0, 1, centreLong, 10, false, 0, 0);

    Run tooShort;
    tooShort({"G2 X10 Y10 R5 F100"});
    QCOMPARE(tooShort.error, 34);
    tooShort({"G2 X0 Y0 Z1 R5 F100"}); // ends meet in the plane: no centre can be found
    QCOMPARE(tooShort.error, ErrorValueRange);
}

void TestGcodeInterpreter::arcEndOffTheCircle()
{
    Run run;
    std::vector<Block> out;
    // 0.004 mm off the circle passes, 4 mm off is error 33 and moves nothing.
    run({"G2 X10.004 I5 F100"});
    QCOMPARE(run.error, 0);
    run({"G0 X0"});
    const LineResult& r = run.in.interpret("G2 X10 I3", 0, out);
    QCOMPARE(r.error, 33);
    QCOMPARE(r.arcRadiusMismatch, 4.0f);
    QVERIFY(out.empty());
    QCOMPARE(run.in.state().motion, Motion::Rapid);
}

void TestGcodeInterpreter::inchesAndInverseTime()
{
    Run run;
    std::vector<Block> b = run({"G20 G1 X1 F10"});
    QCOMPARE(b.at(0).target[0], 25.4f);
    QCOMPARE(b.at(0).value, 254.0f);
    // Inverse time: 1/F minutes per line, so 10 mm at F2 is 20 mm/min. F does not carry over.
    b = run({"G21 G0 X0", "G93 G1 X10 F2"});
    QCOMPARE(b.at(0).value, 20.0f);
    run({"G1 X20"});
    QCOMPARE(run.error, 22);
    // Arc chords in inverse time get F times the chord count, as GRBL gives them.
    b = run({"G3 X0 Y10 I-10 J0 F3"});
    QCOMPARE(int(b.size()), expectedSegments(M_PI / 2, 10));
    QCOMPARE(b.front().value, 3.0f * float(b.size()));
}

void TestGcodeInterpreter::offsetsFramesAndDistanceModes()
{
    Run run;
    run({"G10 L2 P1 X10 Y20 Z5", "G0 X1 Y1 Z1"});
    QCOMPARE(run.pos()[0], 11.0f);
    QCOMPARE(run.pos()[1], 21.0f);
    QCOMPARE(run.pos()[2], 6.0f);
    // G55's origin so that the current position reads as X0: machine X 11.
    run({"G10 L20 P2 X0", "G55 G0 X1"});
    QCOMPARE(run.pos()[0], 12.0f);
    // G92: the current position reads as X0 on top of G55.
    run({"G92 X0", "G0 X5"});
    QCOMPARE(run.pos()[0], 17.0f);
    QCOMPARE(run.in.state().workPosition(0), 5.0f);
    run({"G91 G0 X1"});
    QCOMPARE(run.pos()[0], 18.0f);
    // G53 ignores offsets and distance mode.
    std::vector<Block> b = run({"G53 G0 X-5"});
    QCOMPARE(run.pos()[0], -5.0f);
    QVERIFY(b.at(0).flags & MachineFrame);
    run({"G90 G92.1 G43.1 Z2", "G54 G0 Z0"});
    QCOMPARE(run.pos()[2], 7.0f);
}

void TestGcodeInterpreter::storedPositions()
{
    Run run;
    run({"G0 X-10 Y-20 Z-3", "G28.1", "G0 X0 Y0 Z0"});
    // G28 with axis words goes through the named point and home on those axes only.
    std::vector<Block> b = run({"G91 G28 Z5"});
    QCOMPARE(int(b.size()), 2);
    QCOMPARE(b[0].target[2], 5.0f);
    QCOMPARE(b[1].target[0], 0.0f);
    QCOMPARE(b[1].target[2], -3.0f);
    QVERIFY(b[1].flags & MachineFrame);
    b = run({"G28"});
    QCOMPARE(run.pos()[0], -10.0f);
    QCOMPARE(run.pos()[1], -20.0f);
}

void TestGcodeInterpreter::firmwareErrors_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("error");
    QTest::newRow("group") << "G90 G91 X1" << 21;
    QTest::newRow("two motions") << "G0 G1 X1" << 24;
    QTest::newRow("feed") << "G1 X1" << 22;
    QTest::newRow("integer") << "G1.5 X1" << 23;
    QTest::newRow("axis conflict") << "G28 G0 X1" << 24;
    QTest::newRow("repeated") << "G0 X1 X2" << 25;
    QTest::newRow("G53 mode") << "G2 G53 X1 I1" << 30;
    QTest::newRow("unused") << "G0 X1 I2" << 36;
    QTest::newRow("letter") << "G0 X1 #5" << 1;
    QTest::newRow("number") << "G0 X" << 2;
    QTest::newRow("negative") << "S-100" << 4;
    // More digits than a float holds: infinity on the controller, refused here.
    QTest::newRow("infinite feed") << QString(QStringLiteral("G1 X1 F")).append(QString(45, QLatin1Char('9')))
                                   << int(ErrorValueRange);
    QTest::newRow("overflow") << QString(QStringLiteral("G0 X1 ")).append(QString(76, QLatin1Char('0')))
                              << 11;
}

void TestGcodeInterpreter::firmwareErrors()
{
    QFETCH(QString, line);
    QFETCH(int, error);
    Interpreter in;
    std::vector<Block> out;
    QCOMPARE(in.interpret(line.toStdString(), 0, out).error, error);
    QVERIFY(out.empty());
    QCOMPARE(in.state().position[0], 0.0f);
}

void TestGcodeInterpreter::unsupportedWordsPerTarget()
{
    Interpreter grbl;
    std::vector<Block> out;
    // Path tuning is dropped with its tolerances, never the line.
    LineResult r = grbl.interpret("G64 P0.01 Q0.02 G1 X1 F100", 0, out);
    QCOMPARE(r.error, 0);
    QCOMPARE(r.unsupported.size(), size_t(3));
    QVERIFY(r.unsupported[0].fate == WordFate::Dropped);
    QCOMPARE(QString::fromStdString(Interpreter::sentText("G64 P0.01 Q0.02 G1 X1 F100",
                                                          Target::Grbl)),
             QStringLiteral("G1X1F100"));
    QCOMPARE(out.size(), size_t(1));
    // Cutter compensation changes the path: refused.
    r = grbl.interpret("G41 D1 G1 X2", 0, out);
    QCOMPARE(r.unsupported.size(), size_t(2));
    QVERIFY(r.unsupported[0].fate == WordFate::Refused);
    // M6 leaves the line sent, keeps T, and marks the line's sync.
    out.clear();
    r = grbl.interpret("T3 M6", 0, out);
    QCOMPARE(r.error, 0);
    QCOMPARE(QString::fromStdString(Interpreter::sentText("T3 M6", Target::Grbl)),
             QStringLiteral("T3"));
    QCOMPARE(out.at(0).kind, BlockKind::Sync);
    QVERIFY(out.at(0).flags & ToolChange);
    QCOMPARE(int(grbl.state().tool), 3);
    // Probing is GRBL's, not our controllers'.
    QVERIFY(grbl.interpret("G38.2 Z-5 F50", 0, out).unsupported.empty());
    Interpreter kavro(Target::Kavro);
    QVERIFY(kavro.interpret("G38.2 Z-5 F50", 0, out).unsupported.at(0).fate ==
            WordFate::Refused);
}

void TestGcodeInterpreter::commentsAndRealtimeBytes()
{
    // Comments may hold anything, even bytes the firmware would act on; they are never sent.
    const char* commented = "%\n";
    QVERIFY(Interpreter::sentText(commented, Target::Grbl).empty());
    const std::string line = "n10 g1 x1 (Fr\xc3\xa4sen! ~) f100 ; done?";
    QCOMPARE(QString::fromStdString(Interpreter::sentText(line, Target::Grbl)),
             QStringLiteral("N10G1X1F100"));
    Interpreter in;
    std::vector<Block> out;
    const LineResult& r = in.interpret(line, 0, out);
    QCOMPARE(r.error, 0);
    QCOMPARE(int(r.sentLength), 11);
    QCOMPARE(in.interpret("G1 X2 !", 0, out).error, ErrorRealtimeByte);
    QCOMPARE(in.state().position[0], 1.0f);
}

void TestGcodeInterpreter::syncsAndProgramFlow()
{
    Run run;
    std::vector<Block> b = run({"M3 S1000 M8 G4 P1.5"});
    QCOMPARE(int(b.size()), 2);
    QCOMPARE(b[0].kind, BlockKind::Sync);
    QCOMPARE(b[1].kind, BlockKind::Dwell);
    QCOMPARE(b[1].value, 1.5f);
    QVERIFY(run({"S1000"}).empty()); // the same speed again changes nothing
    QCOMPARE(run({"S2000"}).size(), size_t(1));
    b = run({"G91 G1 X1 F100 M0"});
    QCOMPARE(b.back().flags, uint8_t(ProgramPause));
    b = run({"M30"});
    QCOMPARE(b.back().flags, uint8_t(ProgramEnd));
    const State& s = run.in.state();
    QVERIFY(!s.incremental && s.spindle == Spindle::Off && s.coolant == 0);
    QCOMPARE(s.motion, Motion::Linear);
}

void TestGcodeInterpreter::stateFromControllerReports()
{
    State s;
    QVERIFY(applyControllerReport("[GC:G1 G55 G18 G20 G91 G94 M4 M7 M8 T2 F100 S800]\r\n", s,
                                  true));
    QCOMPARE(s.motion, Motion::Linear);
    QCOMPARE(int(s.workSystem), 1);
    QVERIFY(s.inches && s.incremental && s.spindle == Spindle::Ccw);
    QCOMPARE(int(s.coolant), Mist | Flood);
    QCOMPARE(s.feed, 2540.0f);
    QVERIFY(applyControllerReport("[G55:1.000,-2.500,3.000]", s));
    QCOMPARE(s.workOffsets[1][1], -2.5f);
    QVERIFY(applyControllerReport("[TLO:0.500]", s));
    QCOMPARE(s.toolLengthOffset, 0.5f);
    QVERIFY(!applyControllerReport("[PRB:0.000,0.000,0.000:0]", s));
    QVERIFY(!applyControllerReport("[G54:1,2]", s));
}

QTEST_GUILESS_MAIN(TestGcodeInterpreter)
#include "tst_gcodeinterpreter.moc"
