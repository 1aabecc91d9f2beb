#include "programpreview.h"

#include "ramcommandformat.h"
#include "ramprogram.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTextBlock>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

PreviewPath BuildPreviewPath(const QString& programText,
                             const std::array<double, 4>& stepsPerMm,
                             const std::array<int32_t, 4>& parkSteps)
{
    PreviewPath path;
    std::array<double, 4> resolution{};
    for (std::size_t i = 0; i < resolution.size(); ++i) {
        const double r = stepsPerMm[i];
        resolution[i] = std::isfinite(r) && r > 0.0 ? r : DefaultPreviewStepsPerMm;
    }

    // The same split the check makes, to tell a refused program and to find the lines the
    // check dropped (every non-empty line that yields no command).
    const QList<RamProgramLine> lines = SplitRamProgramLines(programText, MaxRamProgramLines);
    const RamProgramCheck check = CheckRamProgram(programText);
    if (lines.isEmpty() || lines.size() > MaxRamProgramLines) {
        path.message = check.messages.value(0);
        return path;
    }
    path.errors = check.messages;
    if (lines.size() != check.commands.size()) {
        qsizetype c = 0;
        for (const RamProgramLine& line : lines) {
            if (c < check.commands.size() && check.commands[c].lineNumber == line.lineNumber)
                ++c;
            else
                path.errorLines.append(int(line.lineNumber));
        }
    }

    // pos is the reading; zero is the zero point in the frame the program started in, so the
    // machine stands at pos + zero.
    PreviewPosition pos{};
    PreviewPosition zero{};
    path.segments.reserve(check.commands.size());
    const auto add = [&](PreviewSegment::Kind kind, int line, const PreviewPosition& to) {
        path.segments.append(PreviewSegment{kind, line, pos, to});
        pos = to;
    };
    const auto steps = [&](int32_t value, std::size_t axis) { return value / resolution[axis]; };
    for (const RamCommand& command : check.commands) {
        const int line = int(command.lineNumber);
        const auto& i = command.ints;
        const auto& f = command.floats;
        PreviewPosition to = pos;
        switch (command.id) {
        case RamCommandId::GoXyS:
            to[0] += steps(i[1], 0);
            to[1] += steps(i[2], 1);
            add(PreviewSegment::Move, line, to);
            break;
        case RamCommandId::GoXyMm:
            to[0] += f[1];
            to[1] += f[2];
            add(PreviewSegment::Move, line, to);
            break;
        case RamCommandId::GoZcS:
            to[2] += steps(i[1], 2);
            to[3] += steps(i[2], 3);
            add(PreviewSegment::Move, line, to);
            break;
        case RamCommandId::GoZcMm:
            to[2] += f[1];
            to[3] += f[2];
            add(PreviewSegment::Move, line, to);
            break;
        case RamCommandId::GoPark:
            for (std::size_t a = 0; a < 4; ++a)
                to[a] = steps(parkSteps[a], a) - zero[a];
            add(PreviewSegment::ParkJump, line, to);
            break;
        case RamCommandId::GoRef:
            zero = PreviewPosition{};
            add(PreviewSegment::RefJump, line, PreviewPosition{});
            break;
        case RamCommandId::SetZeroS:
        case RamCommandId::SetZeroMm:
            for (std::size_t a = 0; a < 4; ++a) {
                to[a] = command.id == RamCommandId::SetZeroS ? steps(i[a], a) : double(f[a]);
                zero[a] += pos[a] - to[a];  // the machine stays where it is
            }
            add(PreviewSegment::ZeroJump, line, to);
            break;
        case RamCommandId::Wait:
        case RamCommandId::SetFunc:
        case RamCommandId::SetO:
            break;
        }
    }
    return path;
}

namespace {

constexpr double MinScale = 1e-6;  // pixels per millimetre
constexpr double MaxScale = 1e6;
constexpr double FitMargin = 24.0;  // pixels around the fitted path
constexpr double MarkerRadius = 5.0;
constexpr int MaxListedErrors = 4;

const QColor lowZColor(0, 0, 255);
const QColor highZColor(255, 0, 0);
const QColor highlightHalo(255, 200, 0, 170);
const QColor positionColor(0, 160, 0);

QColor zColor(double z, double zMin, double zMax)
{
    const float t = zMax > zMin ? float(std::clamp((z - zMin) / (zMax - zMin), 0.0, 1.0)) : 0.0f;
    const auto mix = [t](float low, float high) { return low + t * (high - low); };
    return QColor::fromRgbF(mix(lowZColor.redF(), highZColor.redF()),
                            mix(lowZColor.greenF(), highZColor.greenF()),
                            mix(lowZColor.blueF(), highZColor.blueF()));
}

QColor jumpColor(PreviewSegment::Kind kind)
{
    switch (kind) {
    case PreviewSegment::ParkJump:
        return QColor(0, 128, 128);
    case PreviewSegment::RefJump:
        return QColor(160, 0, 160);
    case PreviewSegment::ZeroJump:
    case PreviewSegment::Move:
        break;
    }
    return QColor(96, 96, 96);
}

QChar jumpLetter(PreviewSegment::Kind kind)
{
    switch (kind) {
    case PreviewSegment::ParkJump:
        return QLatin1Char('P');
    case PreviewSegment::RefJump:
        return QLatin1Char('R');
    case PreviewSegment::ZeroJump:
    case PreviewSegment::Move:
        break;
    }
    return QLatin1Char('Z');
}

bool finite(const PreviewPosition& p)
{
    return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]);
}

// Cuts the line a-b to rect (Liang-Barsky); false when nothing of it lies inside. Keeps the
// painter away from the huge coordinates a far zoom or a far move would hand it.
bool clipLine(QPointF& a, QPointF& b, const QRectF& rect)
{
    double t0 = 0.0;
    double t1 = 1.0;
    const double dx = b.x() - a.x();
    const double dy = b.y() - a.y();
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x() - rect.left(), rect.right() - a.x(), a.y() - rect.top(),
                         rect.bottom() - a.y()};
    for (int k = 0; k < 4; ++k) {
        if (p[k] == 0.0) {
            if (q[k] < 0.0)
                return false;
            continue;
        }
        const double t = q[k] / p[k];
        if (p[k] < 0.0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1)
            return false;
    }
    const QPointF start = a;
    a = start + t0 * QPointF(dx, dy);
    b = start + t1 * QPointF(dx, dy);
    return true;
}

// A round length for a scale bar of about target pixels: 1, 2 or 5 times a power of ten mm.
double niceLength(double targetMm)
{
    const double power = std::pow(10.0, std::floor(std::log10(targetMm)));
    for (double m : {1.0, 2.0, 5.0}) {
        if (m * power >= targetMm)
            return m * power;
    }
    return 10.0 * power;
}

}  // namespace

ProgramPreview::ProgramPreview(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("programPreview"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    stepsPerMm.fill(DefaultPreviewStepsPerMm);
    rebuildTimer.setSingleShot(true);
    rebuildTimer.setInterval(RebuildDelayMs);
    connect(&rebuildTimer, &QTimer::timeout, this, &ProgramPreview::rebuild);
}

void ProgramPreview::SetEditor(QPlainTextEdit* newEditor)
{
    if (newEditor == editor && (newEditor || !hasProgram))
        return;
    if (editor)
        disconnect(editor, nullptr, this, nullptr);
    editor = newEditor;
    rebuildTimer.stop();
    autoFit = true;
    if (!editor) {
        clear();
        return;
    }
    connect(editor, &QPlainTextEdit::textChanged, this, &ProgramPreview::textChanged);
    connect(editor, &QPlainTextEdit::cursorPositionChanged, this, &ProgramPreview::cursorMoved);
    connect(editor, &QObject::destroyed, this, &ProgramPreview::clear);
    hasProgram = true;
    rebuild();
    cursorMoved();
}

void ProgramPreview::SetProgramText(const QString& text)
{
    if (editor)
        disconnect(editor, nullptr, this, nullptr);
    editor = nullptr;
    rebuildTimer.stop();
    programText = text;
    hasProgram = true;
    autoFit = true;
    rebuild();
}

void ProgramPreview::SetMachine(std::optional<std::array<double, 4>> resolutions,
                                const std::array<int32_t, 4>& park)
{
    if (resolutions)
        stepsPerMm = *resolutions;
    else
        stepsPerMm.fill(DefaultPreviewStepsPerMm);
    parkSteps = park;
    if (hasProgram) {
        rebuildTimer.stop();
        rebuild();
    }
}

void ProgramPreview::SetCurrentPosition(std::optional<std::array<int32_t, 4>> steps)
{
    if (steps == currentSteps)
        return;
    currentSteps = steps;
    update();
}

void ProgramPreview::SetHighlightedLine(int line)
{
    line = std::max(line, 0);
    if (line == highlightedLine)
        return;
    highlightedLine = line;
    update();
}

void ProgramPreview::textChanged()
{
    // Not restarted by further changes: while the operator types, the path follows at the
    // timer's pace instead of waiting for a pause.
    if (!rebuildTimer.isActive())
        rebuildTimer.start();
}

void ProgramPreview::cursorMoved()
{
    if (editor)
        SetHighlightedLine(editor->textCursor().blockNumber() + 1);
}

void ProgramPreview::clear()
{
    rebuildTimer.stop();
    editor = nullptr;
    hasProgram = false;
    programText.clear();
    path = PreviewPath();
    highlightedLine = 0;
    update();
    Q_EMIT SignalPathChanged();
}

void ProgramPreview::rebuild()
{
    if (editor)
        programText = editor->toPlainText();
    path = BuildPreviewPath(programText, stepsPerMm, parkSteps);
    zMin = 0.0;  // the start point reads 0
    zMax = 0.0;
    for (const PreviewSegment& segment : std::as_const(path.segments)) {
        for (double z : {segment.from[2], segment.to[2]}) {
            if (std::isfinite(z)) {
                zMin = std::min(zMin, z);
                zMax = std::max(zMax, z);
            }
        }
    }
    fitIfFollowing();
    update();
    Q_EMIT SignalPathChanged();
}

void ProgramPreview::fitIfFollowing()
{
    if (autoFit)
        FitToView();
}

void ProgramPreview::FitToView()
{
    autoFit = true;
    double minX = 0.0;  // the start point is part of the view
    double maxX = 0.0;
    double minY = 0.0;
    double maxY = 0.0;
    for (const PreviewSegment& segment : std::as_const(path.segments)) {
        for (const PreviewPosition* p : {&segment.from, &segment.to}) {
            if (!finite(*p))
                continue;
            minX = std::min(minX, (*p)[0]);
            maxX = std::max(maxX, (*p)[0]);
            minY = std::min(minY, (*p)[1]);
            maxY = std::max(maxY, (*p)[1]);
        }
    }
    double spanX = maxX - minX;
    double spanY = maxY - minY;
    if (!std::isfinite(spanX) || !std::isfinite(spanY)) {
        // Only reachable with moves near the float range; show around the start instead.
        minX = maxX = minY = maxY = 0.0;
        spanX = spanY = 0.0;
    }
    if (spanX <= 0.0 && spanY <= 0.0)
        spanX = spanY = 10.0;  // a point: show 10 mm around it
    // The bottom margin also keeps the path clear of the scale bar and the Z legend.
    const double bottom = FitMargin + QFontMetricsF(font()).height();
    const double width = std::max(1.0, double(this->width()) - 2 * FitMargin);
    const double height = std::max(1.0, double(this->height()) - FitMargin - bottom);
    double fit = MaxScale;
    if (spanX > 0.0)
        fit = std::min(fit, width / spanX);
    if (spanY > 0.0)
        fit = std::min(fit, height / spanY);
    scale = std::clamp(fit, MinScale, MaxScale);
    const QPointF centre((minX + maxX) / 2, (minY + maxY) / 2);
    offset = QPointF(this->width() / 2.0 - scale * centre.x(),
                     FitMargin + height / 2.0 + scale * centre.y());
    update();
}

QTransform ProgramPreview::ViewTransform() const
{
    return QTransform(scale, 0.0, 0.0, -scale, offset.x(), offset.y());
}

QSize ProgramPreview::sizeHint() const
{
    return QSize(320, 240);
}

QSize ProgramPreview::minimumSizeHint() const
{
    return QSize(120, 90);
}

void ProgramPreview::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    fitIfFollowing();
}

void ProgramPreview::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    dragging = true;
    dragStart = event->position();
    setCursor(Qt::ClosedHandCursor);
    event->accept();
}

void ProgramPreview::mouseMoveEvent(QMouseEvent* event)
{
    if (!dragging || !(event->buttons() & Qt::LeftButton)) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    const QPointF delta = event->position() - dragStart;
    dragStart = event->position();
    if (delta.isNull())
        return;
    offset += delta;
    autoFit = false;
    update();
    event->accept();
}

void ProgramPreview::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !dragging) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    dragging = false;
    unsetCursor();
    event->accept();
}

void ProgramPreview::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
    FitToView();
    event->accept();
}

void ProgramPreview::wheelEvent(QWheelEvent* event)
{
    const int delta = event->angleDelta().y();
    if (delta == 0) {
        event->ignore();
        return;
    }
    // One notch (120) zooms by a quarter; the point under the cursor stays put.
    const double newScale = std::clamp(scale * std::pow(1.25, delta / 120.0), MinScale, MaxScale);
    const QPointF at = event->position();
    const QPointF world((at.x() - offset.x()) / scale, (offset.y() - at.y()) / scale);
    scale = newScale;
    offset = QPointF(at.x() - scale * world.x(), at.y() + scale * world.y());
    autoFit = false;
    update();
    event->accept();
}

void ProgramPreview::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Base));
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor textColor = palette().color(QPalette::Text);

    if (!hasProgram || !path.message.isEmpty()) {
        painter.setPen(textColor);
        painter.drawText(rect().adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap,
                         hasProgram ? path.message : tr("No program to preview."));
        return;
    }

    const auto toWidget = [this](const PreviewPosition& p) {
        return QPointF(offset.x() + scale * p[0], offset.y() - scale * p[1]);
    };
    const QRectF clip = QRectF(rect()).adjusted(-16, -16, 16, 16);

    // Work axes through the point where the program starts.
    painter.setPen(QPen(palette().color(QPalette::Mid), 0, Qt::DotLine));
    const QPointF origin = toWidget(PreviewPosition{});
    if (origin.y() >= 0 && origin.y() <= height())
        painter.drawLine(QPointF(0, origin.y()), QPointF(width(), origin.y()));
    if (origin.x() >= 0 && origin.x() <= width())
        painter.drawLine(QPointF(origin.x(), 0), QPointF(origin.x(), height()));

    QFont markerFont = font();
    markerFont.setBold(true);
    markerFont.setPointSizeF(std::max(6.0, markerFont.pointSizeF() * 0.8));
    const QFontMetricsF markerMetrics(markerFont);

    const auto drawSegment = [&](const PreviewSegment& segment, bool highlighted) {
        if (!finite(segment.from) || !finite(segment.to))
            return;
        QPointF a = toWidget(segment.from);
        QPointF b = toWidget(segment.to);
        const bool jump = segment.kind != PreviewSegment::Move;
        const QColor color = jump ? jumpColor(segment.kind)
                                  : zColor((segment.from[2] + segment.to[2]) / 2, zMin, zMax);
        const QPointF d = b - a;
        if (std::abs(d.x()) < 0.5 && std::abs(d.y()) < 0.5 && !jump) {
            // A move of Z or C alone: a dot in the colour of the new Z.
            if (!clip.contains(b))
                return;
            const double r = highlighted ? 4.5 : 3.0;
            if (highlighted) {
                painter.setPen(Qt::NoPen);
                painter.setBrush(highlightHalo);
                painter.drawEllipse(b, r + 3, r + 3);
            }
            painter.setPen(Qt::NoPen);
            painter.setBrush(zColor(segment.to[2], zMin, zMax));
            painter.drawEllipse(b, r, r);
            return;
        }
        const QPointF end = b;
        if (clipLine(a, b, clip)) {
            if (highlighted) {
                painter.setPen(QPen(highlightHalo, 10, Qt::SolidLine, Qt::RoundCap));
                painter.drawLine(a, b);
            }
            // 1-pixel lines take the painter's fast path for thin lines; wider ones, and round
            // caps on every dash, cost several times the rest of the drawing.
            QPen pen(color, highlighted ? 3.0 : 1.0, jump ? Qt::DashLine : Qt::SolidLine,
                     jump ? Qt::FlatCap : Qt::RoundCap);
            painter.setPen(pen);
            painter.drawLine(a, b);
        }
        if (jump && clip.contains(end)) {
            painter.setPen(QPen(color, highlighted ? 2.5 : 1.0));
            painter.setBrush(palette().color(QPalette::Base));
            painter.drawEllipse(end, MarkerRadius + 2, MarkerRadius + 2);
            painter.setFont(markerFont);
            const QString letter(jumpLetter(segment.kind));
            const QRectF box(end.x() - MarkerRadius - 2, end.y() - MarkerRadius - 2,
                             2 * MarkerRadius + 4, 2 * MarkerRadius + 4);
            painter.drawText(box, Qt::AlignCenter, letter);
        }
    };

    bool anyHighlighted = false;
    for (const PreviewSegment& segment : std::as_const(path.segments)) {
        if (segment.line == highlightedLine)
            anyHighlighted = true;
        else
            drawSegment(segment, false);
    }
    if (anyHighlighted) {
        for (const PreviewSegment& segment : std::as_const(path.segments)) {
            if (segment.line == highlightedLine)
                drawSegment(segment, true);
        }
    }

    // Start point.
    if (clip.contains(origin)) {
        painter.setPen(QPen(textColor, 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(origin - QPointF(3.5, 3.5), QSizeF(7, 7)));
    }

    // Live machine position.
    if (currentSteps) {
        PreviewPosition p{};
        for (std::size_t a = 0; a < 4; ++a) {
            const double r = stepsPerMm[a];
            const double usable = std::isfinite(r) && r > 0.0 ? r : DefaultPreviewStepsPerMm;
            p[a] = (*currentSteps)[a] / usable;
        }
        const QPointF at = toWidget(p);
        if (clip.contains(at)) {
            painter.setPen(QPen(positionColor, 2.0));
            painter.setBrush(Qt::NoBrush);
            painter.drawEllipse(at, 6.0, 6.0);
            painter.drawLine(at - QPointF(10, 0), at + QPointF(10, 0));
            painter.drawLine(at - QPointF(0, 10), at + QPointF(0, 10));
        }
    }

    painter.setFont(font());
    const QFontMetricsF metrics(font());
    const double lineHeight = metrics.height();

    // Z legend, bottom right.
    {
        const QString label = zMax > zMin ? tr("Z %1 to %2 mm")
                                                .arg(FormatRamNumber(zMin), FormatRamNumber(zMax))
                                          : tr("Z %1 mm").arg(FormatRamNumber(zMin));
        const double barWidth = 80.0;
        const QRectF bar(width() - 8 - barWidth, height() - 8 - 8, barWidth, 8);
        QLinearGradient gradient(bar.topLeft(), bar.topRight());
        gradient.setColorAt(0.0, lowZColor);
        gradient.setColorAt(1.0, zMax > zMin ? highZColor : lowZColor);
        painter.setPen(Qt::NoPen);
        painter.fillRect(bar, gradient);
        painter.setPen(textColor);
        const double textWidth = metrics.horizontalAdvance(label);
        painter.drawText(QPointF(width() - 8 - textWidth, bar.top() - 4 - metrics.descent()),
                         label);
    }

    // Scale bar, bottom left.
    {
        const double length = niceLength(80.0 / scale);
        const double pixels = length * scale;
        if (std::isfinite(pixels) && pixels > 4 && pixels < width()) {
            const double y = height() - 10.0;
            painter.setPen(QPen(textColor, 1.0));
            painter.drawLine(QPointF(8, y), QPointF(8 + pixels, y));
            painter.drawLine(QPointF(8, y - 4), QPointF(8, y + 4));
            painter.drawLine(QPointF(8 + pixels, y - 4), QPointF(8 + pixels, y + 4));
            painter.drawText(QPointF(8, y - 6 - metrics.descent()),
                             tr("%1 mm").arg(FormatRamNumber(length)));
        }
    }

    // Lines the check refused, top left.
    if (!path.errors.isEmpty()) {
        QStringList shown = path.errors.mid(0, MaxListedErrors);
        if (path.errors.size() > MaxListedErrors) {
            shown.append(
                tr("(%1 more)").arg(path.errors.size() - MaxListedErrors));
        }
        double boxWidth = 0.0;
        for (const QString& text : std::as_const(shown))
            boxWidth = std::max(boxWidth, metrics.horizontalAdvance(text));
        boxWidth = std::min(boxWidth, width() - 16.0);
        for (QString& text : shown)
            text = metrics.elidedText(text, Qt::ElideRight, boxWidth);
        const QRectF box(4, 4, boxWidth + 8, shown.size() * lineHeight + 6);
        QColor back = palette().color(QPalette::Base);
        back.setAlpha(220);
        painter.setPen(QPen(QColor(200, 0, 0), 1.0));
        painter.setBrush(back);
        painter.drawRect(box);
        painter.setPen(QColor(200, 0, 0));
        for (int k = 0; k < shown.size(); ++k) {
            painter.drawText(QPointF(box.left() + 4, box.top() + 3 + k * lineHeight
                                                         + metrics.ascent()),
                             shown[k]);
        }
    }
}
