#pragma once
// Toolpath preview of a RAM program: the path the machine would travel when it runs the
// program, drawn as a top view of X and Y with Z as the colour of the lines.
//
// Geometry (BuildPreviewPath, no widget needed). Positions are in millimetres, in the
// coordinates the controller reports (work coordinates). The program starts with every axis
// reading 0; the moves of GO_XY_* and GO_ZC_* add their distances (steps divided by the axis's
// resolution). The other positioning commands become marked jumps:
// - SET_ZERO_S / SET_ZERO_MM: from here on the current position reads as the given values, so
//   the reading jumps there although the machine does not move (ZeroJump).
// - GO_PARK: the machine goes to the park position, which is given in steps of the machine
//   frame. The machine frame is the one the program started in; after a zero point was set
//   the park position reads as park minus the zero point (ParkJump).
// - GO_REF: the reference point is taken as the machine origin where the program started, and
//   the reference run resets the zero point, so afterwards every axis reads 0 (RefJump).
// Lines that fail the RAM program check are skipped and listed; a program the check refuses
// as a whole (empty, more than 100 lines) yields only the check's message.
//
// Widget (ProgramPreview). Follows a program editor: text changes are collected for 50 ms and
// then laid out at once (at most about 20 rebuilds a second while typing); the line under the
// editor's cursor is drawn highlighted. Segments are coloured from blue (lowest Z of the path)
// to red (highest Z), with a legend; a move of Z or C alone shows as a dot. Jumps are dashed,
// with a lettered marker at their end (P park, R reference, Z zero point). Lines with errors
// are listed in a small overlay. The view fits the path until the operator zooms (wheel,
// around the cursor) or pans (left button drag); a double-click fits it again.

#include <QList>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPointF>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QTransform>
#include <QWidget>

#include <array>
#include <cstdint>
#include <optional>

// X, Y, Z, C in millimetres.
using PreviewPosition = std::array<double, 4>;

// The resolution assumed for an axis when none (or no usable one) is known.
constexpr double DefaultPreviewStepsPerMm = 100.0;

// One straight piece of the path, produced by the program line `line` (1-based, as the
// editor counts).
struct PreviewSegment {
    enum Kind { Move, ParkJump, RefJump, ZeroJump };
    Kind kind = Move;
    int line = 0;
    PreviewPosition from{};
    PreviewPosition to{};
};

struct PreviewPath {
    // In program order.
    QList<PreviewSegment> segments;
    // Line numbers that failed the check, ascending; their commands are not in segments.
    QList<int> errorLines;
    // The check's messages for those lines, in the check's order.
    QStringList errors;
    // Empty, or the check's message that refused the program as a whole (then nothing else
    // is set).
    QString message;
};

// Lays out programText. stepsPerMm: resolutions of X, Y, Z, C (parameters 0400-0403); an
// entry that is not a finite positive number counts as DefaultPreviewStepsPerMm. parkSteps:
// the park position (parameter 040B) in steps of X, Y, Z, C.
PreviewPath BuildPreviewPath(const QString& programText,
                             const std::array<double, 4>& stepsPerMm,
                             const std::array<int32_t, 4>& parkSteps);

class ProgramPreview : public QWidget {
    Q_OBJECT
public:
    // Milliseconds over which text changes of the followed editor are collected.
    static constexpr int RebuildDelayMs = 50;

    explicit ProgramPreview(QWidget* parent = nullptr);

    // Follows the editor's text (rebuilt at once, then after changes with the delay above)
    // and its cursor line. nullptr, or the editor's destruction, ends following and clears
    // the preview.
    void SetEditor(QPlainTextEdit* editor);
    QPlainTextEdit* Editor() const { return editor; }

    // Shows programText at once, without an editor (ends following one).
    void SetProgramText(const QString& programText);

    // The machine the program is meant for: resolutions of X, Y, Z, C (nullopt: 100 steps/mm
    // each) and the park position in steps. Rebuilds the path at once.
    void SetMachine(std::optional<std::array<double, 4>> stepsPerMm,
                    const std::array<int32_t, 4>& parkSteps);

    // The live position of the machine in steps of X, Y, Z, C, drawn as a marker; nullopt
    // hides the marker.
    void SetCurrentPosition(std::optional<std::array<int32_t, 4>> steps);
    std::optional<std::array<int32_t, 4>> CurrentPosition() const { return currentSteps; }

    // The program line (1-based) whose segments are highlighted; 0 highlights nothing. A
    // followed editor sets it from its cursor.
    void SetHighlightedLine(int line);
    int HighlightedLine() const { return highlightedLine; }

    // Scales and centres the view so the whole path shows; the view keeps fitting the path
    // as it changes until the operator zooms or pans.
    void FitToView();

    const PreviewPath& Path() const { return path; }
    // Maps millimetres of X and Y to widget pixels.
    QTransform ViewTransform() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    // Emitted after every rebuild of the path.
    void SignalPathChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void textChanged();
    void cursorMoved();
    void clear();
    void rebuild();
    void fitIfFollowing();

    QPointer<QPlainTextEdit> editor;
    QTimer rebuildTimer;
    QString programText;
    bool hasProgram = false;
    std::array<double, 4> stepsPerMm{};
    std::array<int32_t, 4> parkSteps{};
    std::optional<std::array<int32_t, 4>> currentSteps;
    PreviewPath path;
    double zMin = 0.0;
    double zMax = 0.0;
    int highlightedLine = 0;

    // View: widget pixel = offset + scale * (x, -y).
    double scale = 1.0;
    QPointF offset;
    bool autoFit = true;
    bool dragging = false;
    QPointF dragStart;
};
