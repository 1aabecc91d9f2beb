// A job file as a whole: its lines and what is sent of them, the check's findings against the
// machine, and the restart in the middle of a job.

#include "program.h"
#include "restart.h"

#include <QtTest>

#include <cmath>

using namespace gcode;

namespace {

JobOptions homedMachine(bool softLimits)
{
    JobOptions o;
    o.machine.homingEnabled = true;
    o.machine.softLimits = softLimits;
    for (double& t : o.machine.maxTravel)
        t = 100;
    return o;
}

QString messageAt(const Program& p, uint32_t line)
{
    for (const Finding& f : p.findings())
        if (f.line == line)
            return QString::fromStdString(f.message());
    return {};
}

} // namespace

class TestGcodeProgram : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void linesSentAndBlocks();
    void findings();
    void travelWithoutSoftLimits();
    void restartRecreatesTheJobState();
};

void TestGcodeProgram::linesSentAndBlocks()
{
    const Program p("%\r\n(header)\r\nG21 G90 g94\r\n\r\nG0 X-10 Y-10 Z-1 (go)\r"
                    "G1 Z-5 F200\nG2 X-20 Y-10 I-5 J0 ; half circle\n%");
    QCOMPARE(p.lineCount(), 8u);
    QCOMPARE(QString::fromLatin1(p.lineText(4).data(), int(p.lineText(4).size())),
             QStringLiteral("G0 X-10 Y-10 Z-1 (go)"));
    const bool sent[] = {false, false, true, false, true, true, true, false};
    for (uint32_t i = 0; i < 8; ++i)
        QCOMPARE(p.isSent(i), sent[i]);
    QCOMPARE(QString::fromStdString(p.sentText(2)), QStringLiteral("G21G90G94"));
    QCOMPARE(p.sentBytes(2), 10u);
    QCOMPARE(p.sentBytes(3), 0u);
    QVERIFY(p.findings().empty());

    // Blocks in line order, each line's range holding exactly its own blocks.
    QCOMPARE(p.endBlock(4) - p.firstBlock(4), 1u);
    QCOMPARE(p.endBlock(5) - p.firstBlock(5), 1u);
    QVERIFY(p.endBlock(6) - p.firstBlock(6) > 50);
    for (uint32_t i = 0; i < p.lineCount(); ++i)
        for (uint32_t b = p.firstBlock(i); b < p.endBlock(i); ++b)
            QCOMPARE(p.blocks()[b].line, i);
    QCOMPARE(p.endBlock(7), uint32_t(p.blocks().size()));

    // The half circle below Y-10 reaches Y-15.
    const Extents& e = p.extents();
    QCOMPARE(e.min[0], -20.0f);
    QVERIFY(std::fabs(e.min[1] + 15) < 0.01f);
    QCOMPARE(e.max[1], -10.0f);
    QCOMPARE(e.min[2], -5.0f);
    QCOMPARE(p.highestZ(), 0.0f); // the start
}

void TestGcodeProgram::findings()
{
    // Blanks and comments do not count against the line buffer; these 83 characters do.
    const std::string longLine = "G1 Y-1 (long) F100 X-1." + std::string(70, '0');
    const Program p("G0 X-10 Y-10 Z-1\n"
                    "G1 X-20\n"
                    "G2 X-20 Y0 I3 F100\n"
                    "G64 G1 X-30 F100\n"
                    "G41 G1 X-40\n"
                    "T4 M6\n"
                    "G0 X10\n" +
                        longLine + "\n",
                    homedMachine(true));
    const std::vector<Finding>& f = p.findings();
    QCOMPARE(f.size(), size_t(7));
    QVERIFY(p.refused());
    const Severity severities[] = {Severity::Refuse, Severity::Refuse, Severity::Warning,
                                   Severity::Refuse, Severity::Info, Severity::Refuse,
                                   Severity::Refuse};
    for (size_t i = 0; i < f.size(); ++i) {
        QCOMPARE(f[i].line, uint32_t(i + 2));
        QCOMPARE(f[i].severity, severities[i]);
    }
    QVERIFY(messageAt(p, 2).contains(QStringLiteral("error:22: undefined feed rate")));
    QVERIFY(messageAt(p, 3).contains(QStringLiteral("does not close")));
    QVERIFY(messageAt(p, 3).contains(QStringLiteral("13.401 mm")));
    QVERIFY(messageAt(p, 4).startsWith(QStringLiteral("G64 dropped")));
    QVERIFY(messageAt(p, 5).startsWith(QStringLiteral("G41 refused: cutter radius")));
    QVERIFY(messageAt(p, 6).contains(QStringLiteral("T4")));
    QVERIFY(messageAt(p, 7).contains(QStringLiteral("X reaches machine coordinate 10.000")));
    QVERIFY(messageAt(p, 7).contains(QStringLiteral("ALARM:2")));
    QVERIFY(messageAt(p, 8).startsWith(QStringLiteral("error:11")));
    // A line of exactly 79 characters still fits.
    QVERIFY(Program("G1 F1 X-1." + std::string(71, '0'), homedMachine(true)).findings().empty());
}

void TestGcodeProgram::travelWithoutSoftLimits()
{
    // Homed without soft limits: the same excursion is a warning.
    const Program homed("G0 X-10\nG0 X10\n", homedMachine(false));
    QCOMPARE(homed.findings().size(), size_t(1));
    QCOMPARE(homed.findings()[0].severity, Severity::Warning);
    QVERIFY(!homed.refused());
    // Not homed: only the job's span can be compared with the travel.
    JobOptions loose;
    loose.machine.maxTravel[1] = 100;
    const Program span("G0 Y-60\nG0 Y30\nG0 Y50\n", loose);
    QCOMPARE(span.findings().size(), size_t(1));
    QCOMPARE(span.findings()[0].line, 3u);
    QCOMPARE(span.findings()[0].kind, FindingKind::SpanExceedsTravel);
}

void TestGcodeProgram::restartRecreatesTheJobState()
{
    const Program job("G20 G90 G94\n"
                      "G10 L2 P2 X0.2 Y0.2 Z0\n"
                      "G55 M4 S9000 M7\n"
                      "G43.1 Z0.1\n"
                      "G0 X0 Y0 Z0.5\n"
                      "G92 X1 Y1\n"
                      "G1 Z-0.1 F20\n"
                      "G91 G1 X0.5 F30\n"
                      "X0.25 Y0.25\n"
                      "G90 X2 Y2\n");
    QVERIFY(job.findings().empty());
    const RestartPlan plan = restartPlan(job, 8);
    QVERIFY(plan.notes.empty());
    const QStringList approach = {QStringLiteral("G21 G94"),   QStringLiteral("G53 G0 Z15.24"),
                                  QStringLiteral("M4 S9000"),  QStringLiteral("M7"),
                                  QStringLiteral("G53 G0 X17.78 Y5.08"),
                                  QStringLiteral("G53 G1 Z0 F762")};
    for (int i = 0; i < approach.size(); ++i)
        QCOMPARE(QString::fromStdString(plan.lines.at(size_t(i))), approach[i]);

    // A controller somewhere else, with only the stored offsets in common, sent the plan and
    // the rest of the job ends where the job ends.
    State elsewhere;
    elsewhere.position[0] = -50;
    elsewhere.position[2] = -5;
    std::memcpy(elsewhere.workOffsets, job.stateBefore(8).workOffsets,
                sizeof elsewhere.workOffsets);
    Interpreter replay;
    replay.setState(elsewhere);
    std::vector<Block> out;
    for (const std::string& line : plan.lines)
        QVERIFY2(replay.interpret(line, 0, out).error == 0, line.c_str());
    for (uint32_t i = 8; i < job.lineCount(); ++i)
        QCOMPARE(replay.interpret(job.lineText(i), i, out).error, 0);
    const State expected = job.stateBefore(job.lineCount());
    const State& got = replay.state();
    for (int a = 0; a < 3; ++a)
        QVERIFY(std::fabs(got.position[a] - expected.position[a]) < 1e-3f);
    QCOMPARE(got.position[0], 30.48f);
    QVERIFY(got.inches && !got.incremental && got.workSystem == 1);
    QVERIFY(got.spindle == Spindle::Ccw && got.coolant == Mist);
    QCOMPARE(got.toolLengthOffset, expected.toolLengthOffset);
    QCOMPARE(got.feed, expected.feed);
}

QTEST_GUILESS_MAIN(TestGcodeProgram)
#include "tst_gcodeprogram.moc"
