// The toolpath geometry built from interpreted jobs, and the view's drawing of it.
#include "toolpathgeometry.h"
#include "toolpathpanel.h"
#include "toolpathview.h"

#include <QImage>
#include <QWidget>
#include <QTest>

#include <algorithm>
#include <cmath>

using toolpath::Geometry;

namespace {

// Line numbers (1-based) in the comments.
const char* const Job =
    "G21 G90\n"                  // 1
    "G0 X-10 Y-10 Z-5\n"         // 2: rapid from the start (0, 0, 0)
    "G1 Z-20 F100\n"             // 3: plunge
    "G4 P0.5\n"                  // 4: dwell, no segment
    "(comment)\n"                // 5
    "G1 X-30\n"                  // 6
    "G2 X-40 Y-10 I-5 J0\n"      // 7: half circle, many chords
    "G0 X-40 Y-10\n"             // 8: ends where it starts, no segment
    "M5\n"                       // 9
    "G0 Z-5\n";                  // 10

gcode::Program program(const char* text)
{
    return gcode::Program(std::string(text));
}

int doneSegments(const Geometry& g, uint32_t linesDone)
{
    int done = 0;
    for (size_t i = 1; i < g.vertices.size(); ++i)
        done += toolpath::isDone(toolpath::lineOf(g.vertices[i]), linesDone);
    return done;
}

} // namespace

class TestToolpath : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void stripHasOneVertexPerMotion()
    {
        const gcode::Program p = program(Job);
        QVERIFY(!p.refused());
        const Geometry g = toolpath::build(p);
        QCOMPARE(g.layout, Geometry::Layout::Strip);
        QCOMPARE(g.rapidSegments, 2u);
        QVERIFY(g.feedSegments > 2 + 4);  // the arc is cut into chords
        QCOMPARE(g.vertices.size(), size_t(g.segmentCount()) + 1);

        // The start, then every segment described by its end vertex.
        const auto& v = g.vertices;
        QCOMPARE(QVector3D(v[0].position[0], v[0].position[1], v[0].position[2]), QVector3D());
        QCOMPARE(toolpath::lineOf(v[1]), 2u);
        QVERIFY(toolpath::isRapid(v[1]));
        QCOMPARE(toolpath::lineOf(v[0]), 2u);  // the start takes the first segment's code
        QCOMPARE(toolpath::lineOf(v[2]), 3u);
        QVERIFY(!toolpath::isRapid(v[2]));
        QCOMPARE(toolpath::lineOf(v[3]), 6u);
        for (size_t i = 4; i + 1 < v.size(); ++i) {
            QCOMPARE(toolpath::lineOf(v[i]), 7u);
            QVERIFY(!toolpath::isRapid(v[i]));
        }
        QCOMPARE(toolpath::lineOf(v.back()), 10u);
        QVERIFY(toolpath::isRapid(v.back()));
        // The arc's last chord ends on the arc's end point; the last rapid goes up to Z-5.
        QCOMPARE(v[v.size() - 2].position[0], -40.0f);
        QCOMPARE(v.back().position[2], -5.0f);

        // Rapids add their length to the dash distance; feeds keep it.
        const float firstRapid = std::sqrt(10.0f * 10 + 10 * 10 + 5 * 5);
        QCOMPARE(v[1].rapidDistance, firstRapid);
        QCOMPARE(v[v.size() - 2].rapidDistance, firstRapid);
        QCOMPARE(v.back().rapidDistance, firstRapid + 15.0f);

        // Extents over the drawn path, the start included; the half circle bulges to Y-15.
        QCOMPARE(g.extents.max[0], 0.0f);
        QCOMPARE(g.extents.min[0], -40.0f);
        QVERIFY(std::abs(g.extents.min[1] - -15.0f) < 0.01f);
        QCOMPARE(g.extents.max[1], 0.0f);
        QCOMPARE(g.extents.min[2], -20.0f);
    }

    void doneFollowsTheFileLinesFinished()
    {
        // linesDone counts file lines (1-based); a segment is done once its line is.
        const Geometry g = toolpath::build(program(Job));
        const int arcChords = int(g.feedSegments) - 2;
        QCOMPARE(doneSegments(g, 0), 0);
        QCOMPARE(doneSegments(g, 1), 0);
        QCOMPARE(doneSegments(g, 2), 1);
        QCOMPARE(doneSegments(g, 5), 2);  // the dwell and the comment add nothing
        QCOMPARE(doneSegments(g, 6), 3);
        QCOMPARE(doneSegments(g, 7), 3 + arcChords);
        QCOMPARE(doneSegments(g, 9), 3 + arcChords);
        QCOMPARE(doneSegments(g, 10), int(g.segmentCount()));
    }

    void linesRepeatEachSegmentsStartWithItsCode()
    {
        const Geometry strip = toolpath::build(program(Job));
        const Geometry lines = toolpath::expandToLines(strip);
        QCOMPARE(lines.layout, Geometry::Layout::Lines);
        QCOMPARE(lines.vertices.size(), 2 * size_t(strip.segmentCount()));
        for (size_t i = 1; i < strip.vertices.size(); ++i) {
            const toolpath::Vertex& from = lines.vertices[2 * (i - 1)];
            const toolpath::Vertex& to = lines.vertices[2 * (i - 1) + 1];
            QCOMPARE(from.position[0], strip.vertices[i - 1].position[0]);
            QCOMPARE(from.position[2], strip.vertices[i - 1].position[2]);
            QCOMPARE(from.rapidDistance, strip.vertices[i - 1].rapidDistance);
            QCOMPARE(from.code, strip.vertices[i].code);
            QCOMPARE(to.code, strip.vertices[i].code);
        }
    }

    void simplifiedPathsStayWithinTheirTolerance()
    {
        // 200 feed moves of 0.1 mm along X, wavering 0.01 mm in Y; then a 5 mm zigzag; then
        // three rapids on one line.
        const float start[3] = {0, 0, 0};
        toolpath::Builder builder(start);
        uint32_t line = 1;
        for (int i = 1; i <= 200; ++i) {
            const float p[3] = {0.1f * i, (i % 2) * 0.01f, 0};
            builder.moveTo(p, line++, false);
        }
        for (int i = 1; i <= 4; ++i) {
            const float p[3] = {20.0f + 5 * i, (i % 2) * 5.0f, 0};
            builder.moveTo(p, line++, false);
        }
        for (int i = 1; i <= 3; ++i) {
            const float p[3] = {40.0f + 10 * i, 0, 0};
            builder.moveTo(p, line++, true);
        }
        const Geometry full = builder.finish();
        const Geometry simple = toolpath::simplify(full, 0.05f);

        // The wavering line: runs of at most MaxMergedSegments; the zigzag as it is; the
        // rapids merged, but never with a feed.
        const int wavering = (200 + toolpath::MaxMergedSegments - 1) / toolpath::MaxMergedSegments;
        QCOMPARE(int(simple.feedSegments), wavering + 4);
        QCOMPARE(simple.rapidSegments, 1u);
        QCOMPARE(simple.vertices.size(), size_t(simple.segmentCount()) + 1);
        // Kept points are the path's own, with their codes; the last one exact.
        for (const toolpath::Vertex& v : simple.vertices) {
            const auto same = [&v](const toolpath::Vertex& w) {
                return w.code == v.code && w.position[0] == v.position[0]
                       && w.position[1] == v.position[1];
            };
            QVERIFY(std::any_of(full.vertices.begin(), full.vertices.end(), same));
        }
        QCOMPARE(simple.vertices.back().position[0], 70.0f);
        QCOMPARE(toolpath::lineOf(simple.vertices.back()), line - 1);
        // Drawn as lines, it keeps its tolerance (the view picks levels by it).
        QCOMPARE(toolpath::expandToLines(simple).tolerance, 0.05f);

        // Levels for a long path; none where simplifying saves nothing.
        Geometry withLevels = full;
        toolpath::addSimplified(withLevels);
        QVERIFY(!withLevels.simplified.empty());
        QVERIFY(withLevels.simplified.front().segmentCount() < full.segmentCount());
        Geometry zigzag = toolpath::build(program(Job));
        toolpath::addSimplified(zigzag);
        for (const Geometry& level : zigzag.simplified)
            QVERIFY(3 * level.segmentCount() <= 2 * zigzag.segmentCount());
    }

    void withoutMotionThereIsNoPath()
    {
        const Geometry g = toolpath::build(program("G21\nM3 S1000\nG4 P1\nM30\n"));
        QVERIFY(g.empty());
        QCOMPARE(g.vertices.size(), size_t(1));
        QVERIFY(toolpath::expandToLines(g).vertices.empty());
    }

    // Drawing, where the platform shows OpenGL widgets (under Xvfb with Mesa; not on the
    // headless offscreen platform).
    void drawsFeedsAndTheDonePart()
    {
        if (!toolpath::openGlWidgetsWork())
            QSKIP("no OpenGL widgets on this platform");
        toolpath::ToolpathView view;
        view.resize(320, 240);
        view.setPath(std::make_shared<Geometry>(toolpath::build(program(Job))));
        view.setPreset(toolpath::ToolpathView::Preset::Top);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const auto count = [](const QImage& image, auto predicate) {
            int n = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    n += predicate(QColor(image.pixel(x, y)));
            return n;
        };
        // The done colour, and the feeds' ramp from blue (64, 140, 255) to red (255, 89, 64).
        const auto done = [](const QColor& c) {
            return std::abs(c.red() - 76) < 8 && std::abs(c.green() - 217) < 8
                   && std::abs(c.blue() - 102) < 8;
        };
        const auto feed = [](const QColor& c) {
            const double t = (c.red() - 64) / 191.0;
            return t > -0.05 && t < 1.05 && std::abs(c.red() + c.blue() - 319) < 8
                   && std::abs(c.green() - (140 - 51 * t)) < 8;
        };
        QImage image = view.grabFramebuffer();
        QVERIFY2(view.drawingWorks(), qPrintable(view.renderer()));
        QVERIFY(count(image, feed) > 100);
        QCOMPARE(count(image, done), 0);

        view.setLinesDone(10);
        image = view.grabFramebuffer();
        QVERIFY(count(image, done) > 100);
        QCOMPARE(count(image, feed), 0);

        // Moved into another window (a dock floated): a new context, drawn as before.
        QWidget other;
        other.resize(320, 240);
        view.setParent(&other);
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&other));
        image = view.grabFramebuffer();
        QVERIFY(count(image, done) > 100);
        view.setParent(nullptr);
    }
};

QTEST_MAIN(TestToolpath)
#include "tst_toolpath.moc"
