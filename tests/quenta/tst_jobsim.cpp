// G-code jobs on the in-process simulated controller through the C functions: the runner turns
// the interpreter's moves into straight moves, pauses by no longer feeding, stops by braking,
// and a job the check refuses never starts.

#include "quenta.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cstring>

namespace {

constexpr int JobTimeoutMs = 30000;

int32_t state(TarvoPortSettings* s)
{
    TarvoJobProgress p;
    return TarvoJobGetProgress(s, &p) ? p.state : -1;
}

struct Position {
    int32_t pos[4] = {0, 0, 0, 0};
    uint8_t fill = 0, error = 0, flags = 0;
};

Position position(TarvoPortSettings* s)
{
    Position p;
    uint8_t first, inputs, gin, gout;
    GetStatus_Schritte(s, &first, &inputs, &p.flags, &p.pos[0], &p.pos[1], &p.pos[2], &p.pos[3],
                       &p.fill, &gin, &gout, &p.error);
    return p;
}

// 20 moves of 0.5 mm: long enough to act on while it runs.
QByteArray tenMillimetres()
{
    QByteArray text = "G21 G91 F3000\n";
    for (int i = 0; i < 20; ++i)
        text += "G1 X0.5\n";
    return text;
}

// Waits (bounded) until the buffer is empty and the position stays for 100 ms.
bool settles(TarvoPortSettings* s)
{
    return QTest::qWaitFor(
        [s] {
            const Position before = position(s);
            QTest::qWait(100);
            const Position after = position(s);
            return after.fill == 0 && std::equal(before.pos, before.pos + 4, after.pos);
        },
        JobTimeoutMs);
}

}  // namespace

class TestJobSim : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void jobEndsOnItsTargetsInSteps();
    void pauseStopsFeedingAndResumeFinishes();
    void stopBrakesAndNothingRunsOn();
    void refusedJobNeverStarts();

private:
    QByteArray file(const QByteArray& text);

    QTemporaryDir dir;
    TarvoPortSettings record;
    int files = 0;
    int tests = 0;
};

void TestJobSim::init()
{
    QVERIFY(dir.isValid());
    InitCommPortSettings(&record);
    // Unmapped: a simulated controller at power-up, one of its own for each test.
    const QByteArray port = "COM" + QByteArray::number(20 + ++tests % 50);
    std::strcpy(record.comPort, port.constData());
    QVERIFY(TarvoOpenConnectionPort(&record, 0));
}

void TestJobSim::cleanup()
{
    TarvoCloseConnection(&record);
}

QByteArray TestJobSim::file(const QByteArray& text)
{
    const QString path = dir.filePath(QStringLiteral("job%1.nc").arg(++files));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size())
        return {};
    return path.toUtf8();
}

void TestJobSim::jobEndsOnItsTargetsInSteps()
{
    // 100 steps per mm on every axis by default; the spindle runs while it cuts.
    const QByteArray path = file("G21 G90\nG0 X1.5 Y-0.5\nM3 S1000\nG1 X2 Y1 F600\n"
                                 "G2 X3 Y0 R1 (an arc of chords)\nG4 P0.1\nM5\nG91 G1 Z0.25\n");
    QVERIFY(TarvoJobStart(&record, path.constData(), 0, 1));
    QTRY_COMPARE_WITH_TIMEOUT(state(&record), int32_t(TarvoJobCompleted), JobTimeoutMs);
    const Position p = position(&record);
    QCOMPARE(p.pos[0], 300);
    QCOMPARE(p.pos[1], 0);
    QCOMPARE(p.pos[2], 25);
    QCOMPARE(p.fill, uint8_t(0));
    QCOMPARE(p.error, uint8_t(0));
    TarvoJobProgress progress;
    QVERIFY(TarvoJobGetProgress(&record, &progress));
    QCOMPARE(progress.linesAcknowledged, 8u);
}

void TestJobSim::pauseStopsFeedingAndResumeFinishes()
{
    QVERIFY(TarvoJobStart(&record, file(tenMillimetres()).constData(), 0, 1));
    QTRY_VERIFY_WITH_TIMEOUT(position(&record).pos[0] > 0, JobTimeoutMs);
    QVERIFY(TarvoJobPause(&record));
    QTRY_COMPARE_WITH_TIMEOUT(state(&record), int32_t(TarvoJobPaused), JobTimeoutMs);
    // What the controller had buffered runs out, then nothing more comes.
    QVERIFY(settles(&record));
    const int32_t pausedAt = position(&record).pos[0];
    QVERIFY(pausedAt < 1000);
    QTest::qWait(300);
    QCOMPARE(position(&record).pos[0], pausedAt);
    QVERIFY(TarvoJobResume(&record));
    QTRY_COMPARE_WITH_TIMEOUT(state(&record), int32_t(TarvoJobCompleted), JobTimeoutMs);
    QCOMPARE(position(&record).pos[0], 1000);
}

void TestJobSim::stopBrakesAndNothingRunsOn()
{
    QVERIFY(TarvoJobStart(&record, file(tenMillimetres()).constData(), 0, 1));
    QTRY_VERIFY_WITH_TIMEOUT(position(&record).pos[0] > 0, JobTimeoutMs);
    QVERIFY(TarvoJobStop(&record));
    QTRY_COMPARE_WITH_TIMEOUT(state(&record), int32_t(TarvoJobStopped), JobTimeoutMs);
    QVERIFY(settles(&record));
    const int32_t stoppedAt = position(&record).pos[0];
    QTest::qWait(300);
    QCOMPARE(position(&record).pos[0], stoppedAt);
    QVERIFY(stoppedAt < 1000);
}

void TestJobSim::refusedJobNeverStarts()
{
    // G1 with no feed ever set: the firmware's error:22, found before anything moves.
    QVERIFY(!TarvoJobStart(&record, file("G21\nG1 X1\n").constData(), 0, 1));
    TarvoJobProgress p;
    QVERIFY(TarvoJobGetProgress(&record, &p));
    QCOMPARE(p.state, int32_t(TarvoJobIdle));
    QVERIFY2(std::strstr(p.reason, "line 2") != nullptr, p.reason);
    QVERIFY(!TarvoJobStart(&record, "/no/such/file.nc", 0, 1));
    QVERIFY(TarvoJobGetProgress(&record, &p));
    QVERIFY2(std::strstr(p.reason, "cannot read") != nullptr, p.reason);
    QCOMPARE(position(&record).pos[0], 0);
}

QTEST_GUILESS_MAIN(TestJobSim)
#include "tst_jobsim.moc"
