// The job-time estimator: every expected time below is worked out by hand from the kinematics
// of the moves (v^2 = u^2 + 2as, t = dv/a, cruise = distance/speed) and the serial line's
// 10 bit times per byte; none comes from running the estimator.

#include "estimator.h"

#include <QtTest>

#include <cmath>
#include <vector>

using namespace gcode;

namespace {

// One line of a job: the bytes sent and the blocks the interpreter makes of it.
struct Line {
    uint32_t bytes;
    std::vector<Block> blocks;
};

Block block(BlockKind kind, float x, float y = 0, float value = 0)
{
    Block b;
    b.kind = kind;
    b.target[0] = x;
    b.target[1] = y;
    b.value = value;
    return b;
}

Block feed(float x, float y, float mmPerMin)
{
    return block(BlockKind::Feed, x, y, mmPerMin);
}

double estimate(const MachineSettings& settings, const std::vector<Line>& job,
                std::vector<float>* ends = nullptr)
{
    Estimator e(settings);
    for (const Line& line : job) {
        e.addLine(line.bytes);
        for (const Block& b : line.blocks)
            e.addBlock(b);
    }
    const double total = e.finish();
    if (ends)
        *ends = e.lineFinishTimes();
    return total;
}

// The time a line of this many bytes takes on the default 115200 baud line.
double lineTime(int bytes)
{
    return bytes * 10.0 / 115200;
}

// 100 mm/s^2 and 6000 mm/min on every axis, so that the moves below stay short.
MachineSettings brisk()
{
    MachineSettings s;
    for (int a = 0; a < 3; ++a) {
        s.acceleration[a] = 100;
        s.maxRate[a] = 6000;
    }
    return s;
}

bool near(double actual, double expected, double tolerance)
{
    const bool ok = std::abs(actual - expected) <= tolerance;
    if (!ok)
        qWarning("actual %.7f, expected %.7f", actual, expected);
    return ok;
}

} // namespace

class TestGcodeEstimator : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void singleMoveTrapezoidTriangleAndSubStep();
    void rightAngleCornerAtTheJunctionSpeed();
    void collinearSegmentsRunThroughAtFullSpeed();
    void reversalStops();
    void lookaheadLimitsTheSpeedOfTinySegments();
    void dwellAndSyncStopTheMachine();
    void serialBoundJobRunsAtTheLinesPace();
    void rapidLimitedByTheSlowestAxisInItsDirection();
};

void TestGcodeEstimator::singleMoveTrapezoidTriangleAndSubStep()
{
    // Defaults: 10 mm/s^2. 10 mm at 5 mm/s: 0.5 s and 1.25 mm each way, 7.5 mm cruising 1.5 s.
    const MachineSettings s;
    const double trapezoid = estimate(s, {{10, {feed(10, 0, 300)}}});
    QVERIFY(near(trapezoid, lineTime(10) + 2.5, 1e-6));
    // 2 mm cannot reach 5 mm/s: the peak is sqrt(a * 2 mm) = sqrt(20), up and down in 2 * 0.447 s.
    QVERIFY(near(estimate(s, {{10, {feed(2, 0, 300)}}}), lineTime(10) + 2 * std::sqrt(20.0) / 10,
                 1e-6));
    // 0.001 mm is a quarter step at 250 steps/mm: the target rounds to where the machine is.
    QVERIFY(near(estimate(s, {{10, {feed(10, 0, 300)}}, {13, {feed(10.001f, 0, 300)}}}),
                 trapezoid, 1e-9));
}

void TestGcodeEstimator::rightAngleCornerAtTheJunctionSpeed()
{
    // 50 mm along X, then 50 mm along Y, at 50 mm/s; junction deviation 0.05 mm. The velocity
    // turns along (-1, 1)/sqrt 2, where 100 mm/s^2 per axis allow 100 * sqrt 2; half the angle's
    // sine is sqrt 0.5, so v^2 = 141.42 * 0.05 * 0.7071 / (1 - 0.7071) = 17.071 (4.1317 mm/s).
    // Each leg: 0 -> 50 mm/s in 0.5 s (12.5 mm), 50 -> 4.1317 in 0.45868 s (12.4146 mm),
    // 25.0854 mm cruising in 0.50171 s: 1.46039 s.
    MachineSettings s = brisk();
    s.junctionDeviation = 0.05;
    const double t = estimate(s, {{12, {feed(50, 0, 3000)}}, {12, {feed(50, 50, 3000)}}});
    QVERIFY(near(t, lineTime(12) + 2 * 1.46039, 2e-5));
}

void TestGcodeEstimator::collinearSegmentsRunThroughAtFullSpeed()
{
    // Ten 5 mm pieces of one straight line take as long as the 50 mm line: 0.5 s up to 50 mm/s,
    // 25 mm cruising in 0.5 s, 0.5 s down.
    std::vector<Line> job;
    for (int i = 1; i <= 10; ++i)
        job.push_back({12, {feed(5.0f * i, 0, 3000)}});
    QVERIFY(near(estimate(brisk(), job), lineTime(12) + 1.5, 1e-6));
}

void TestGcodeEstimator::reversalStops()
{
    // There and back, 10 mm each: both legs start and end at rest; 10 mm peak at
    // sqrt(100 * 10) = 31.62 mm/s, 0.6325 s each.
    const double t = estimate(brisk(), {{12, {feed(10, 0, 3000)}}, {12, {feed(0, 0, 3000)}}});
    QVERIFY(near(t, lineTime(12) + 2 * 2 * std::sqrt(1000.0) / 100, 1e-6));
}

void TestGcodeEstimator::lookaheadLimitsTheSpeedOfTinySegments()
{
    // 0.1 mm pieces of a straight line at 10 mm/s^2: braking from the rate limit (8.33 mm/s)
    // takes 3.5 mm, more than 15 pieces. A piece is planned when the one before has ended; the
    // 14 pieces behind the executing one must stop, so every piece starts and ends at
    // v^2 = 2a * 14 * 0.1 = 28 and peaks at v^2 = 28 + a * 0.1 = 29 halfway:
    // 2 * (sqrt 29 - sqrt 28) / 10 = 0.0187324 s a piece, 5.34 mm/s instead of 8.33.
    auto chain = [](int pieces) {
        std::vector<Line> job;
        for (int i = 1; i <= pieces; ++i)
            job.push_back({14, {feed(0.1f * i, 0, 6000)}});
        return estimate(MachineSettings(), job);
    };
    const double perPiece = 2 * (std::sqrt(29.0) - std::sqrt(28.0)) / 10;
    QVERIFY(near(chain(2000) - chain(1000), 1000 * perPiece, 1000 * perPiece * 0.002));
}

void TestGcodeEstimator::dwellAndSyncStopTheMachine()
{
    // Two 25 mm moves along X at 50 mm/s, 100 mm/s^2: alone, each is a triangle of exactly
    // 1 s; as one line of 50 mm they would take 1.5 s. A dwell of 0.52 s waits for the stop and
    // then rounds up to the firmware's 50 ms steps: 0.55 s. A spindle switch also waits.
    Block dwell = block(BlockKind::Dwell, 0, 0, 0.52f);
    const std::vector<Line> dwelling = {
        {12, {feed(25, 0, 3000)}}, {7, {dwell}}, {12, {feed(50, 0, 3000)}}};
    std::vector<float> ends;
    const double start = lineTime(12);
    QVERIFY(near(estimate(brisk(), dwelling, &ends), start + 2.55, 1e-6));
    QCOMPARE(ends.size(), size_t(3));
    QVERIFY(near(ends[0], start + 1.0, 1e-5));
    QVERIFY(near(ends[1], start + 1.55, 1e-5));
    QVERIFY(near(ends[2], start + 2.55, 1e-5));
    const std::vector<Line> syncing = {
        {12, {feed(25, 0, 3000)}}, {3, {block(BlockKind::Sync, 0)}}, {12, {feed(50, 0, 3000)}}};
    QVERIFY(near(estimate(brisk(), syncing), start + 2.0, 1e-6));
}

void TestGcodeEstimator::serialBoundJobRunsAtTheLinesPace()
{
    // 2000 lines of 30 bytes, each 0.05 mm on, at 50 mm/s: the motion alone would take about
    // 2 s, the bytes take 2000 * 30 * 10 / 115200 = 5.208 s. The machine runs at the line's
    // pace; the job ends a little after the last byte (its piece still has to be run and
    // stopped).
    MachineSettings s = brisk();
    for (double& a : s.acceleration)
        a = 1000;
    std::vector<Line> job;
    for (int i = 1; i <= 2000; ++i)
        job.push_back({30, {feed(0.05f * i, 0, 3000)}});
    const double bytes = 2000 * lineTime(30);
    const double t = estimate(s, job);
    QVERIFY2(t > bytes && t < bytes * 1.01, qPrintable(QString::number(t)));
    // At a tenth of the baud rate the line alone sets the time.
    s.baudRate = 11520;
    const double slow = estimate(s, job);
    QVERIFY2(slow > 10 * bytes && slow < 10 * bytes * 1.002, qPrintable(QString::number(slow)));
}

void TestGcodeEstimator::rapidLimitedByTheSlowestAxisInItsDirection()
{
    // G0 to X10 Y10: X may do 6000 mm/min, Y only 600 (10 mm/s). Along the diagonal Y moves at
    // 1/sqrt 2 of the path speed, so the path runs at 10 * sqrt 2 = 14.14 mm/s and takes
    // 14.14 mm / 14.14 mm/s = 1 s plus 14.14 / 14142 s = 1 ms lost in each ramp pair at
    // 10000 mm/s^2 per axis (14142 along the path).
    MachineSettings s;
    s.maxRate[0] = 6000;
    s.maxRate[1] = 600;
    for (double& a : s.acceleration)
        a = 10000;
    const double t = estimate(s, {{10, {block(BlockKind::Rapid, 10, 10)}}});
    QVERIFY(near(t, lineTime(10) + 1.0 + 0.001, 1e-6));
}

QTEST_GUILESS_MAIN(TestGcodeEstimator)
#include "tst_gcodeestimator.moc"
