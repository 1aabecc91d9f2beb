// G-code jobs on the GRBL device, end to end against the GRBL peer on a pseudo-terminal: every
// line acknowledged once and in order within the receive buffer, an error pause, a tool change,
// a stop mid-job that keeps the position, and a pulled plug.

#include "device.h"
#include "filejob.h"
#include "grblpeer.h"
#include "jobs.h"
#include "program.h"
#include "quenta.h"

#include <QSettings>
#include <QtTest>

#include <cstring>
#include <memory>

namespace {

constexpr int JobTimeoutMs = 20000;

std::shared_ptr<quenta::ProgramJob> jobOf(const std::string& text)
{
    gcode::Program::Options o;
    o.target = gcode::Target::Grbl;
    return std::make_shared<quenta::ProgramJob>(std::make_shared<const gcode::Program>(text, o));
}

// 40 mm in 1 mm lines at 300 mm/min: long enough to act on while it runs.
std::shared_ptr<quenta::ProgramJob> longJob()
{
    std::string text = "G21 G90 F300\n";
    for (int i = 1; i <= 40; ++i)
        text += "G1 X" + std::to_string(i) + "\n";
    return jobOf(text);
}

}  // namespace

class TestGrblJob : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void everyLineOnceInOrderWithinTheBuffer();
    void errorPausesAndResumeSkipsTheLine();
    void toolChangeWaitsWithTheSpindleOff();
    void stopMidJobHoldsThenResetsWithoutAlarm();
    void pulledPlugFailsTheJob();
    void alarmFailsTheJobAndResetStopsIt();
    void callsAreRefusedWhileAJobRuns();
    void dryRunListsRefusedLinesAndMovesNothing();
    void workOffsetsShapeTheExtents();

private:
    quenta::JobProgress progress() { return quenta::jobProgress(&record); }
    quenta::JobState state() { return progress().state; }
    uint8_t errorCode()
    {
        uint8_t first, inputs, flags, fill, gin, gout, error = 0xFF;
        int32_t pos[4];
        GetStatus_Schritte(&record, &first, &inputs, &flags, &pos[0], &pos[1], &pos[2], &pos[3],
                           &fill, &gin, &gout, &error);
        return error;
    }
    double machine(int axis)
    {
        double v = 0;
        server->with([&](GrblPeer& p) { v = p.machine(axis); });
        return v;
    }

    std::unique_ptr<GrblPtyServer> server;
    TarvoPortSettings record;
};

void TestGrblJob::init()
{
    server = std::make_unique<GrblPtyServer>();
    QVERIFY(server->start());
    QSettings link(QStringLiteral("lumbrix"), QStringLiteral("Quenta"));
    link.setValue(QStringLiteral("ports/COM7"),
                  QStringLiteral("grbl:") + QString::fromStdString(server->path()));
    InitCommPortSettings(&record);
    std::strcpy(record.comPort, "COM7");
    QVERIFY(TarvoOpenConnectionPort(&record, 0));
}

void TestGrblJob::cleanup()
{
    TarvoCloseConnection(&record);
    server.reset();
}

void TestGrblJob::everyLineOnceInOrderWithinTheBuffer()
{
    // 400 short moves whose end points only add up right when every line ran once, in order;
    // comments and blanks are stripped, and long comments would overflow the buffer if counted
    // wrongly.
    std::string text = "G21 G90 (a comment that is long enough to matter when counted)\nF6000\n";
    double x = 0, y = 0;
    for (int i = 1; i <= 400; ++i) {
        x += (i % 2 ? 0.05 : 0.02);
        y += (i % 3 ? 0.01 : -0.02);
        text += "G1 X" + std::to_string(x) + " Y" + std::to_string(y) + " ; step\n";
    }
    text += "\n%\n";
    const auto job = jobOf(text);
    QVERIFY(quenta::startJob(&record, job, {}));
    QTRY_COMPARE_WITH_TIMEOUT(state(), quenta::JobState::Completed, JobTimeoutMs);
    const quenta::JobProgress p = progress();
    QCOMPARE(p.linesAcknowledged, p.linesTotal);
    QCOMPARE(p.linesTotal, job->lineCount());
    QVERIFY(std::fabs(machine(0) - x) < 0.005);
    QVERIFY(std::fabs(machine(1) - y) < 0.005);
    int overflows = 0;
    size_t highWater = 0;
    server->with([&](GrblPeer& peer) {
        overflows = peer.rxOverflows;
        highWater = peer.rxHighWater;
    });
    QCOMPARE(overflows, 0);
    QVERIFY(highWater <= GrblPeer::RxBuffer - 1);
    QVERIFY(highWater > 60);  // the buffer was kept full, not fed line by line
}

void TestGrblJob::errorPausesAndResumeSkipsTheLine()
{
    const auto job = jobOf("G21 G90\nG1 X1 F600\nG1 X2 Q7\nG1 X3\n");
    QVERIFY(quenta::startJob(&record, job, {}));
    QTRY_COMPARE_WITH_TIMEOUT(state(), quenta::JobState::ErrorPause, JobTimeoutMs);
    quenta::JobProgress p = progress();
    QCOMPARE(p.failedFileLine, 3u);
    QVERIFY2(p.reason.rfind("error:", 0) == 0, p.reason.c_str());
    QVERIFY(quenta::controlJob(&record, quenta::JobControl::Resume));
    QTRY_COMPARE_WITH_TIMEOUT(state(), quenta::JobState::Completed, JobTimeoutMs);
    QVERIFY(std::fabs(machine(0) - 3) < 0.005);
    QCOMPARE(progress().reason, std::string());
}

void TestGrblJob::toolChangeWaitsWithTheSpindleOff()
{
    const auto job = jobOf("G21 G90 M3 S1000\nG1 X1 F600\nT2 M6\nG1 X2\n");
    QVERIFY(quenta::startJob(&record, job, {}));
    QTRY_COMPARE_WITH_TIMEOUT(state(), quenta::JobState::ToolChange, JobTimeoutMs);
    QCOMPARE(progress().tool, 2);
    bool spindle = true;
    QTRY_VERIFY_WITH_TIMEOUT((server->with([&](GrblPeer& peer) { spindle = peer.spindleOn(); }),
                              !spindle),
                             JobTimeoutMs);
    QVERIFY(std::fabs(machine(0) - 1) < 0.005);  // nothing after the change has run
    QVERIFY(quenta::controlJob(&record, quenta::JobControl::Resume));
    QTRY_COMPARE_WITH_TIMEOUT(state(), quenta::JobState::Completed, JobTimeoutMs);
    QVERIFY(std::fabs(machine(0) - 2) < 0.005);
}

void TestGrblJob::stopMidJobHoldsThenResetsWithoutAlarm()
{
    QVERIFY(quenta::startJob(&record, longJob(), {}));
    QTRY_VERIFY_WITH_TIMEOUT(machine(0) > 1.0, JobTimeoutMs);
    QVERIFY(quenta::controlJob(&record, quenta::JobControl::Stop));
    QCOMPARE(state(), quenta::JobState::Stopped);
    // Held, then reset at rest: the firmware keeps its position and raises no alarm.
    int resets = 0;
    QTRY_VERIFY_WITH_TIMEOUT((server->with([&](GrblPeer& peer) { resets = peer.resets; }),
                              resets > 0),
                             JobTimeoutMs);
    std::string peerState;
    QTRY_VERIFY_WITH_TIMEOUT((server->with([&](GrblPeer& peer) { peerState = peer.state(); }),
                              peerState == "Idle"),
                             JobTimeoutMs);
    const double stoppedAt = machine(0);
    QTest::qWait(500);
    QCOMPARE(machine(0), stoppedAt);
    QVERIFY(stoppedAt < 10);
    QCOMPARE(errorCode(), uint8_t(0));  // a stop is no emergency: nothing to acknowledge
}

void TestGrblJob::pulledPlugFailsTheJob()
{
    QVERIFY(quenta::startJob(&record, longJob(), {}));
    QTRY_VERIFY_WITH_TIMEOUT(machine(0) > 0.5, JobTimeoutMs);
    server.reset();
    QTRY_COMPARE_WITH_TIMEOUT(state(), quenta::JobState::Failed, JobTimeoutMs);
    QVERIFY(progress().reason.find("lost") != std::string::npos);
}

void TestGrblJob::alarmFailsTheJobAndResetStopsIt()
{
    // A reset from elsewhere (another program, the board's button) ends the job as stopped.
    std::string text = "G21 G90 F300\n";
    for (int i = 1; i <= 40; ++i)
        text += "G1 X-" + std::to_string(i) + "\n";
    QVERIFY(quenta::startJob(&record, jobOf(text), {}));
    QTRY_VERIFY_WITH_TIMEOUT(machine(0) < -0.5, JobTimeoutMs);
    server->with([](GrblPeer& peer) {
        const uint8_t hold = '!';
        peer.receive(&hold, 1);
    });
    QTRY_COMPARE_WITH_TIMEOUT(state(), quenta::JobState::Paused, JobTimeoutMs);
    std::string peerState;
    QTRY_VERIFY_WITH_TIMEOUT((server->with([&](GrblPeer& peer) { peerState = peer.state(); }),
                              peerState == "Hold"),
                             JobTimeoutMs);
    QTest::qWait(1500);  // braked to Hold:0: a reset now keeps the position
    server->with([](GrblPeer& peer) {
        const uint8_t reset = 0x18;
        peer.receive(&reset, 1);
    });
    QTRY_COMPARE_WITH_TIMEOUT(state(), quenta::JobState::Stopped, JobTimeoutMs);
    QVERIFY(progress().reason.find("reset") != std::string::npos);
    QVERIFY(FehlerQuitieren(&record));

    // A move beyond the soft limits raises ALARM:2 while GRBL parses it: the job fails with
    // the alarm in words, and nothing queued behind it runs.
    server->with([](GrblPeer& peer) {
        peer.setSetting(22, 1);
        peer.setSetting(20, 1);
    });
    QVERIFY2(quenta::startJob(&record, jobOf("G21 G90 F300\nG1 X-1\nG1 X10\nG1 X-2\n"), {}), progress().reason.c_str());
    QTRY_COMPARE_WITH_TIMEOUT(state(), quenta::JobState::Failed, JobTimeoutMs);
    QVERIFY2(progress().reason.rfind("ALARM:2", 0) == 0, progress().reason.c_str());
    QTest::qWait(500);
    QVERIFY(machine(0) > -2.5);
    QVERIFY(machine(0) < 0.5);
}

void TestGrblJob::callsAreRefusedWhileAJobRuns()
{
    std::string text = "G21 G90 F300\n";
    for (int i = 1; i <= 10; ++i)
        text += "G1 X" + std::to_string(i) + "\n";
    QVERIFY(quenta::startJob(&record, jobOf(text), {}));
    QVERIFY(!quenta::startJob(&record, jobOf("G0 X0\n"), {}));
    float first[6] = {1, 0, 0, 0, 0, 0}, second[6] = {0, 0, 0, 0, 0, 0};
    QCOMPARE(FahreRelativ_XY_mm(&record, 100, 1, first, second, 3), 0);
    QCOMPARE(state(), quenta::JobState::Running);
    QVERIFY(quenta::controlJob(&record, quenta::JobControl::Stop));
}

void TestGrblJob::dryRunListsRefusedLinesAndMovesNothing()
{
    quenta::JobOptions dry;
    dry.checkMode = true;
    QVERIFY(quenta::startJob(&record, jobOf("G21 G90\nG1 X5 F600\nG1 X6 Q1\nG2 X10 Y0 R2\n"
                                            "G1 X7 G91.3\nG0 X0\n"),
                             dry));
    // Leaving check mode resets GRBL; the run is complete once every line was answered.
    QTRY_COMPARE_WITH_TIMEOUT(state(), quenta::JobState::Completed, JobTimeoutMs);
    const quenta::JobProgress p = progress();
    QCOMPARE(p.errors.size(), size_t(3));
    QCOMPARE(p.errors[0].fileLine, 3u);
    QCOMPARE(p.errors[1].fileLine, 4u);  // the radius cannot reach the end point
    QCOMPARE(p.errors[1].code, 34);
    QCOMPARE(p.errors[2].fileLine, 5u);
    QCOMPARE(machine(0), 0.0);
    QCOMPARE(errorCode(), uint8_t(0));
    // The controller is usable at once: a real job runs after it.
    QVERIFY(quenta::startJob(&record, jobOf("G21 G90 G1 X1 F600\n"), {}));
    QTRY_COMPARE_WITH_TIMEOUT(state(), quenta::JobState::Completed, JobTimeoutMs);

    // A firmware that refuses $C never gets the job's lines as a real run.
    server->with([](GrblPeer& peer) { peer.refuseCommand("$C"); });
    QVERIFY(quenta::startJob(&record, jobOf("G21 G91\nG1 X5 F600\nG1 X5\n"), dry));
    QTRY_COMPARE_WITH_TIMEOUT(state(), quenta::JobState::Failed, JobTimeoutMs);
    QVERIFY2(progress().reason.find("no check mode") != std::string::npos,
             progress().reason.c_str());
    QTest::qWait(500);
    QVERIFY(std::fabs(machine(0) - 1) < 0.005);
}

void TestGrblJob::workOffsetsShapeTheExtents()
{
    // A job's coordinates are work coordinates: with G55 at X-100 (and active) a move to X10
    // lands at machine X-90, inside GRBL's [-200, 0], which the travel check must see.
    QVERIFY(quenta::startJob(&record, jobOf("G10 L2 P2 X-100\nG55\n"), {}));
    QTRY_COMPARE_WITH_TIMEOUT(state(), quenta::JobState::Completed, JobTimeoutMs);
    gcode::Program::Options options;
    QVERIFY(quenta::jobProgramOptions(&record, options));
    QCOMPARE(options.start.workSystem, uint8_t(1));
    QCOMPARE(options.start.workOffsets[1][0], -100.0f);
    const gcode::Program program("G0 X10\n", options);
    QCOMPARE(program.extents().min[0], -90.0f);
    QVERIFY(!program.refused());
}

QTEST_GUILESS_MAIN(TestGrblJob)
#include "tst_grbljob.moc"
