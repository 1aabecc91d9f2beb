// The toolpath preview: path geometry from a program, checked lines, following an editor
// (cursor line, collected text changes, deletion), the view (fit, zoom, pan) and painting.

#include "programpreview.h"
#include "testtimeouts.h"

#include <QApplication>
#include <QImage>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QWheelEvent>

#include <cmath>
#include <functional>
#include <memory>

namespace {

bool near(const PreviewPosition& actual, const PreviewPosition& expected)
{
    for (std::size_t a = 0; a < 4; ++a) {
        if (std::abs(actual[a] - expected[a]) > 1e-9)
            return false;
    }
    return true;
}

QString describe(const PreviewPosition& p)
{
    return QStringLiteral("(%1, %2, %3, %4)").arg(p[0]).arg(p[1]).arg(p[2]).arg(p[3]);
}

#define CHECK_AT(actual, ...)                                                                 \
    QVERIFY2(near(actual, PreviewPosition{__VA_ARGS__}), qPrintable(describe(actual)))

// Number of pixels of the grabbed widget that match.
int countPixels(QWidget& widget, const std::function<bool(QColor)>& match)
{
    const QImage image = widget.grab().toImage();
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            count += match(image.pixelColor(x, y)) ? 1 : 0;
    }
    return count;
}

bool isHighlight(QColor c)
{
    return c.red() > 200 && c.green() > 150 && c.blue() < 140;
}

bool isPositionMarker(QColor c)
{
    return c.green() > 100 && c.red() < 80 && c.blue() < 80;
}

const std::array<double, 4> defaultResolution{100, 100, 100, 100};

}  // namespace

class TestProgramPreview : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void movesAndJumpsAsTheMachineRunsThem()
    {
        const QString program = QStringLiteral("GO_XY_S 100 1000 -500;\n"
                                               "go_xy_mm 5 2.5 1;  // lower case\n"
                                               "WAIT 100;\n"
                                               "GO_ZC_S 10 -200 50;\n"
                                               "GO_ZC_MM 1 1.5 -0.5;\n"
                                               "SET_ZERO_S 0 0 0 0;\n"
                                               "GO_XY_MM 1 1 1;\n"
                                               "GO_PARK;\n"
                                               "GO_REF;\n"
                                               "SET_ZERO_MM 1 2 3 4;\n"
                                               "GO_PARK;\n");
        const PreviewPath path =
            BuildPreviewPath(program, {200, 400, 50, 10}, {2000, 4000, -500, 0});
        QVERIFY(path.message.isEmpty());
        QVERIFY(path.errorLines.isEmpty());
        QCOMPARE(path.segments.size(), 10);  // WAIT draws nothing
        const auto& s = path.segments;
        using K = PreviewSegment;
        QList<int> lines;
        QList<int> kinds;
        for (const PreviewSegment& segment : s) {
            lines.append(segment.line);
            kinds.append(segment.kind);
        }
        QCOMPARE(lines, (QList<int>{1, 2, 4, 5, 6, 7, 8, 9, 10, 11}));
        QCOMPARE(kinds, (QList<int>{K::Move, K::Move, K::Move, K::Move, K::ZeroJump, K::Move,
                                    K::ParkJump, K::RefJump, K::ZeroJump, K::ParkJump}));
        CHECK_AT(s[0].from, 0, 0, 0, 0);
        CHECK_AT(s[0].to, 5, -1.25, 0, 0);      // steps through each axis's resolution
        CHECK_AT(s[1].to, 7.5, -0.25, 0, 0);    // millimetres as given
        CHECK_AT(s[2].from, 7.5, -0.25, 0, 0);  // each segment starts where the last ended
        CHECK_AT(s[2].to, 7.5, -0.25, -4, 5);
        CHECK_AT(s[3].to, 7.5, -0.25, -2.5, 4.5);
        CHECK_AT(s[4].to, 0, 0, 0, 0);  // the reading jumps to the new zero point
        CHECK_AT(s[5].to, 1, 1, 0, 0);
        // Park (10, 10, -10, 0) mm in the start frame, read against the zero point set on
        // line 6 at (7.5, -0.25, -2.5, 4.5).
        CHECK_AT(s[6].to, 2.5, 10.25, -7.5, -4.5);
        CHECK_AT(s[7].from, 2.5, 10.25, -7.5, -4.5);
        CHECK_AT(s[7].to, 0, 0, 0, 0);  // the reference run clears the zero point
        CHECK_AT(s[8].to, 1, 2, 3, 4);
        CHECK_AT(s[9].to, 11, 12, -7, 4);  // machine at 0 read as (1, 2, 3, 4), then park
    }

    void missingOrUnusableResolutionsCountAs100StepsPerMm()
    {
        const QString program = QStringLiteral("GO_XY_S 0 1000 1000;\nGO_ZC_S 0 1000 1000;");
        const PreviewPath path =
            BuildPreviewPath(program, {0.0, -5.0, std::nan(""), HUGE_VAL}, {0, 0, 0, 0});
        QCOMPARE(path.segments.size(), 2);
        CHECK_AT(path.segments[1].to, 10, 10, 10, 10);

        ProgramPreview preview;
        preview.SetProgramText(program);
        preview.SetMachine(std::array<double, 4>{200, 200, 200, 200}, {0, 0, 0, 0});
        CHECK_AT(preview.Path().segments[1].to, 5, 5, 5, 5);
        preview.SetMachine(std::nullopt, {0, 0, 0, 0});
        CHECK_AT(preview.Path().segments[1].to, 10, 10, 10, 10);
    }

    void failingLinesAreSkippedAndListed()
    {
        const QString program = QStringLiteral("GO_XY_S 100 200;\n"
                                               "// comment\n"
                                               "GO_XY_S 100 100 0;\n"
                                               "FOO 1;\n"
                                               "GO_XY_S 100 100 0\n"
                                               "GO_XY_S 100 100 0;\n");
        const PreviewPath path = BuildPreviewPath(program, defaultResolution, {0, 0, 0, 0});
        QCOMPARE(path.errorLines, (QList<int>{1, 4, 5}));
        QCOMPARE(path.errors,
                 (QStringList{QStringLiteral("Syntax Error: Parameter 3 at line 1 is invalid."),
                              QStringLiteral("Syntax Error: Unknown command at line 4."),
                              QStringLiteral("Syntax Error: There is no ';' at line 5.")}));
        QCOMPARE(path.segments.size(), 2);
        QCOMPARE(path.segments[1].line, 6);
        CHECK_AT(path.segments[1].to, 2, 0, 0, 0);  // the dropped lines moved nothing
    }

    void refusedProgramShowsOnlyTheMessage()
    {
        QString hundred;
        for (int i = 0; i < 100; ++i)
            hundred += QStringLiteral("GO_XY_S 1 1 0;\n// comment\n\n");
        const std::array<int32_t, 4> park{0, 0, 0, 0};
        QCOMPARE(BuildPreviewPath(hundred, defaultResolution, park).segments.size(), 100);
        const PreviewPath tooBig =
            BuildPreviewPath(hundred + QStringLiteral("GO_REF;"), defaultResolution, park);
        QCOMPARE(tooBig.message, QStringLiteral("Error: RAM-Programm is too big."));
        QVERIFY(tooBig.segments.isEmpty() && tooBig.errors.isEmpty());
        const PreviewPath empty =
            BuildPreviewPath(QStringLiteral(" // nothing\n#\n"), defaultResolution, park);
        QCOMPARE(empty.message, QStringLiteral("Error: RAM-Programm is empty."));
        QVERIFY(empty.segments.isEmpty());
    }

    void cursorLineIsHighlighted()
    {
        QPlainTextEdit editor;
        editor.setPlainText(QStringLiteral("GO_XY_S 0 1000 0;\nWAIT 5;\nGO_XY_S 0 0 1000;\n"));
        ProgramPreview preview;
        preview.resize(300, 200);
        preview.SetEditor(&editor);
        QCOMPARE(preview.HighlightedLine(), 1);  // the cursor stands at the start
        QVERIFY(countPixels(preview, isHighlight) > 0);

        QTextCursor cursor(editor.document()->findBlockByNumber(1));
        editor.setTextCursor(cursor);
        QCOMPARE(preview.HighlightedLine(), 2);
        QCOMPARE(countPixels(preview, isHighlight), 0);  // WAIT has no segment

        editor.setTextCursor(QTextCursor(editor.document()->findBlockByNumber(2)));
        QCOMPARE(preview.HighlightedLine(), 3);
        QVERIFY(countPixels(preview, isHighlight) > 0);
    }

    void textChangesAreCollectedIntoFewRebuilds()
    {
        QPlainTextEdit editor;
        editor.setPlainText(QStringLiteral("GO_XY_S 0 100 0;\n"));
        ProgramPreview preview;
        preview.SetEditor(&editor);
        QCOMPARE(preview.Path().segments.size(), 1);  // built at once when following starts
        QSignalSpy rebuilt(&preview, &ProgramPreview::SignalPathChanged);

        for (int i = 0; i < 5; ++i)
            editor.appendPlainText(QStringLiteral("GO_XY_S 0 100 0;"));
        QCOMPARE(rebuilt.count(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(rebuilt.count(), 1, kUiTimeoutMs);
        QCOMPARE(preview.Path().segments.size(), 6);
        QTest::qWait(3 * ProgramPreview::RebuildDelayMs);
        QCOMPARE(rebuilt.count(), 1);

        // Steady typing does not hold the preview back until a pause.
        rebuilt.clear();
        for (int i = 0; i < 12; ++i) {
            editor.appendPlainText(QStringLiteral("WAIT 1;"));
            QTest::qWait(ProgramPreview::RebuildDelayMs / 2);
        }
        QVERIFY(rebuilt.count() >= 1);
        QVERIFY(rebuilt.count() <= 12);
    }

    void deletedEditorEndsFollowing()
    {
        auto editor = std::make_unique<QPlainTextEdit>();
        editor->setPlainText(QStringLiteral("GO_XY_S 0 100 0;\n"));
        ProgramPreview preview;
        preview.resize(200, 150);
        preview.SetEditor(editor.get());
        editor->appendPlainText(QStringLiteral("GO_XY_S 0 100 0;"));  // a rebuild is pending
        editor.reset();
        QCOMPARE(preview.Editor(), nullptr);
        QVERIFY(preview.Path().segments.isEmpty());
        QCOMPARE(preview.HighlightedLine(), 0);
        QTest::qWait(3 * ProgramPreview::RebuildDelayMs);
        QVERIFY(preview.Path().segments.isEmpty());
        QVERIFY(!preview.grab().isNull());
    }

    void viewFitsZoomsAndPans()
    {
        ProgramPreview preview;
        preview.resize(400, 300);
        preview.show();
        QVERIFY(QTest::qWaitForWindowExposed(&preview));
        preview.SetProgramText(QStringLiteral("GO_XY_MM 0 -250 40;\nGO_XY_MM 0 600 0;\n"
                                              "GO_ZC_MM 0 5 0;\nGO_XY_MM 0 0 -900;\n"));
        const auto insideAll = [&preview] {
            const QTransform view = preview.ViewTransform();
            for (const PreviewSegment& s : preview.Path().segments) {
                for (const PreviewPosition& p : {s.from, s.to}) {
                    if (!QRectF(preview.rect()).contains(view.map(QPointF(p[0], p[1]))))
                        return false;
                }
            }
            return true;
        };
        QVERIFY(insideAll());
        const QTransform fitted = preview.ViewTransform();

        // The wheel zooms in around the cursor: the point under it stays put.
        const QPointF at(120, 90);
        const QPointF world = fitted.inverted().map(at);
        QWheelEvent wheel(at, preview.mapToGlobal(at), QPoint(), QPoint(0, 240), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&preview, &wheel);
        QVERIFY(preview.ViewTransform().m11() > fitted.m11() * 1.5);
        const QPointF after = preview.ViewTransform().map(world);
        QVERIFY(std::abs(after.x() - at.x()) < 1e-6 && std::abs(after.y() - at.y()) < 1e-6);

        // Zoomed in, the path no longer fits, also after the program changes.
        preview.SetMachine(std::nullopt, {0, 0, 0, 0});
        QVERIFY(!insideAll());

        // Dragging with the left button moves the view by the drag.
        const QTransform zoomed = preview.ViewTransform();
        QTest::mousePress(&preview, Qt::LeftButton, Qt::NoModifier, QPoint(100, 100));
        const QPointF to(130, 80);
        QMouseEvent move(QEvent::MouseMove, to, preview.mapToGlobal(to), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&preview, &move);
        QTest::mouseRelease(&preview, Qt::LeftButton, Qt::NoModifier, QPoint(130, 80));
        QCOMPARE(preview.ViewTransform().dx(), zoomed.dx() + 30);
        QCOMPARE(preview.ViewTransform().dy(), zoomed.dy() - 20);

        QTest::mouseDClick(&preview, Qt::LeftButton, Qt::NoModifier, QPoint(50, 50));
        QCOMPARE(preview.ViewTransform(), fitted);
        QVERIFY(insideAll());
    }

    void farOutPathStillFitsAndPaints()
    {
        // Two moves near the float range sum to infinity.
        ProgramPreview preview;
        preview.resize(300, 200);
        preview.SetProgramText(QStringLiteral("GO_XY_MM 0 1 1;\nGO_XY_MM 0 3e38 0;\n"
                                              "GO_XY_MM 0 3e38 0;\nGO_XY_MM 0 -1e30 1e30;\n"));
        const QTransform view = preview.ViewTransform();
        QVERIFY(std::isfinite(view.m11()) && std::isfinite(view.dx()) && std::isfinite(view.dy()));
        QVERIFY(view.m11() > 0);
        const QColor base = preview.palette().color(QPalette::Base);
        QVERIFY(countPixels(preview, [base](QColor c) { return c != base; }) > 0);
    }

    void currentPositionMarkerUsesTheResolution()
    {
        ProgramPreview preview;
        preview.resize(300, 200);
        preview.SetMachine(std::array<double, 4>{200, 400, 100, 100}, {0, 0, 0, 0});
        preview.SetProgramText(QStringLiteral("GO_XY_MM 0 20 20;\n"));
        QCOMPARE(countPixels(preview, isPositionMarker), 0);

        preview.SetCurrentPosition(std::array<int32_t, 4>{2000, 4000, 0, 0});  // 10 mm, 10 mm
        const QImage image = preview.grab().toImage();
        const QPoint centre = preview.ViewTransform().map(QPointF(10, 10)).toPoint();
        int marked = 0;
        for (int dy = -1; dy <= 1; ++dy) {
            for (int dx = -1; dx <= 1; ++dx)
                marked += isPositionMarker(image.pixelColor(centre + QPoint(dx, dy))) ? 1 : 0;
        }
        QVERIFY(marked > 0);

        preview.SetCurrentPosition(std::nullopt);
        QCOMPARE(countPixels(preview, isPositionMarker), 0);
    }
};

QTEST_MAIN(TestProgramPreview)
#include "tst_programpreview.moc"
