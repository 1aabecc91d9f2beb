#include "jobview.h"

#include "jobdocument.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

namespace {

// What a stretch of a line is, for its colour.
enum class Kind : uint8_t { Plain, Comment, Motion, Machine, Axis, Rate, Number, Percent };

struct Run {
    int start;
    int length;
    Kind kind;
};

Kind kindOfWord(QChar letter)
{
    switch (letter.toUpper().toLatin1()) {
    case 'G': return Kind::Motion;
    case 'M':
    case 'T': return Kind::Machine;
    case 'F':
    case 'S': return Kind::Rate;
    case 'N': return Kind::Number;
    case 'X': case 'Y': case 'Z': case 'A': case 'B': case 'C':
    case 'I': case 'J': case 'K': case 'R': case 'P': case 'Q': case 'L':
        return Kind::Axis;
    default: return Kind::Plain;
    }
}

// Splits a line into comments ("(...)" and ";" to the end), words (a letter and its value)
// and the rest.
std::vector<Run> tokenize(const QString& text)
{
    std::vector<Run> runs;
    const int size = int(text.size());
    int i = 0;
    while (i < size) {
        const QChar c = text.at(i);
        int end = i + 1;
        Kind kind = Kind::Plain;
        if (c == QLatin1Char('(')) {
            const qsizetype close = text.indexOf(QLatin1Char(')'), i);
            end = close < 0 ? size : int(close) + 1;
            kind = Kind::Comment;
        } else if (c == QLatin1Char(';')) {
            end = size;
            kind = Kind::Comment;
        } else if (c == QLatin1Char('%')) {
            kind = Kind::Percent;
        } else if (c.isLetter() && c.unicode() < 128) {
            while (end < size) {
                const QChar d = text.at(end);
                if (!d.isDigit() && d != QLatin1Char('.') && d != QLatin1Char('-')
                    && d != QLatin1Char('+'))
                    break;
                ++end;
            }
            kind = kindOfWord(c);
        } else {
            while (end < size && !text.at(end).isLetter() && text.at(end) != QLatin1Char('(')
                   && text.at(end) != QLatin1Char(';') && text.at(end) != QLatin1Char('%'))
                ++end;
        }
        if (!runs.empty() && runs.back().kind == kind && kind == Kind::Plain)
            runs.back().length += end - i;
        else
            runs.push_back({i, end - i, kind});
        i = end;
    }
    return runs;
}

QColor colourOf(Kind kind, const QPalette& palette)
{
    switch (kind) {
    case Kind::Comment: return QColor(0x2e, 0x7d, 0x32);
    case Kind::Motion: return QColor(0x15, 0x45, 0xc0);
    case Kind::Machine: return QColor(0x8e, 0x24, 0xaa);
    case Kind::Axis: return palette.color(QPalette::Text);
    case Kind::Rate: return QColor(0xb5, 0x5d, 0x00);
    case Kind::Number:
    case Kind::Percent: return palette.color(QPalette::PlaceholderText);
    case Kind::Plain: break;
    }
    return palette.color(QPalette::Text);
}

const QColor doneShade(0xd8, 0xee, 0xd8);
const QColor executingShade(0xff, 0xe0, 0x82);
const QColor refusedShade(0xfd, 0xe2, 0xe2);
const QColor markColours[] = {QColor(0xd3, 0x2f, 0x2f), QColor(0xef, 0x8a, 0x00),
                              QColor(0x1e, 0x88, 0xe5)};

}  // namespace

JobView::JobView(JobDocument* document, QWidget* parent)
    : QAbstractScrollArea(parent), document_(document)
{
    setObjectName(QStringLiteral("jobView"));
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    font_ = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    updateMetrics();

    connect(document_, &JobDocument::textLoaded, this, [this] {
        // The findings come with the program, after the text.
        markedLines_.clear();
        marks_.clear();
        updateScrollBars();
        viewport()->update();
    });
    connect(document_, &JobDocument::loaded, this, [this] {
        refreshFindings();
        updateScrollBars();
        viewport()->update();
    });
    connect(document_, &JobDocument::runProgressChanged, this,
            [this](uint32_t executing, uint32_t) { followRun(executing); });
    connect(document_, &JobDocument::runChanged, viewport(), qOverload<>(&QWidget::update));
    connect(verticalScrollBar(), &QScrollBar::valueChanged, viewport(),
            qOverload<>(&QWidget::update));
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, viewport(),
            qOverload<>(&QWidget::update));
    refreshFindings();
    updateScrollBars();
}

void JobView::updateMetrics()
{
    font_.setStyleHint(QFont::TypeWriter);
    boldFont_ = font_;
    boldFont_.setBold(true);
    const QFontMetrics metrics(font_);
    lineHeight_ = std::max(1, metrics.lineSpacing());
    ascent_ = metrics.ascent();
    charWidth_ = std::max(1, metrics.horizontalAdvance(QLatin1Char('0')));
    const int digits = int(QString::number(std::max<uint32_t>(document_->lineCount(), 999)).size());
    gutterWidth_ = 6 + digits * charWidth_ + 2 * charWidth_;
}

void JobView::updateScrollBars()
{
    updateMetrics();
    const uint32_t lines = document_->lineCount();
    const uint32_t visible = visibleLineCount();
    QScrollBar* const vertical = verticalScrollBar();
    vertical->setRange(0, int(lines > visible ? lines - visible : 0));
    vertical->setPageStep(int(visible));
    vertical->setSingleStep(1);
    const int textWidth = int(std::min<uint32_t>(document_->longestLine(), 100000)) * charWidth_
        + 2 * charWidth_;
    const int room = viewport()->width() - gutterWidth_;
    QScrollBar* const horizontal = horizontalScrollBar();
    horizontal->setRange(0, std::max(0, textWidth - room));
    horizontal->setPageStep(std::max(1, room));
    horizontal->setSingleStep(charWidth_);
}

uint32_t JobView::firstVisibleLine() const
{
    return document_->lineCount() == 0 ? 0 : uint32_t(verticalScrollBar()->value()) + 1;
}

uint32_t JobView::visibleLineCount() const
{
    return uint32_t(std::max(1, viewport()->height() / lineHeight_));
}

bool JobView::isLineVisible(uint32_t line) const
{
    const uint32_t first = firstVisibleLine();
    return line >= first && line < first + visibleLineCount();
}

void JobView::refreshFindings()
{
    markedLines_.clear();
    marks_.clear();
    const auto program = document_->program();
    if (!program)
        return;
    // Findings come sorted by line; the worst one of a line gives its mark.
    for (const gcode::Finding& finding : program->findings()) {
        const uint8_t mark = uint8_t(1 + uint8_t(finding.severity));
        if (!markedLines_.empty() && markedLines_.back() == finding.line) {
            marks_.back() = std::min(marks_.back(), mark);
        } else {
            markedLines_.push_back(finding.line);
            marks_.push_back(mark);
        }
    }
}

uint8_t JobView::markOf(uint32_t line) const
{
    const auto found = std::lower_bound(markedLines_.begin(), markedLines_.end(), line);
    if (found == markedLines_.end() || *found != line)
        return 0;
    return marks_[size_t(found - markedLines_.begin())];
}

void JobView::scrollToShow(uint32_t line, int placeDivisor)
{
    if (line == 0 || isLineVisible(line))
        return;
    const int above = int(visibleLineCount()) / placeDivisor;
    verticalScrollBar()->setValue(int(line) - 1 - above);
}

void JobView::goToLine(uint32_t line)
{
    const uint32_t lines = document_->lineCount();
    if (lines == 0)
        return;
    line = std::clamp<uint32_t>(line, 1, lines);
    setCurrentLine(line);
    scrollToShow(line, 2);
}

void JobView::setCurrentLine(uint32_t line)
{
    if (line == currentLine_)
        return;
    currentLine_ = line;
    viewport()->update();
    Q_EMIT currentLineChanged(line);
}

void JobView::followRun(uint32_t executingLine)
{
    // The executing line stays in view, a third down from the top when the view must move,
    // so the lines coming next show below it.
    scrollToShow(executingLine, 3);
    viewport()->update();
}

void JobView::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    const QPalette& pal = palette();
    const QRect area = viewport()->rect();
    const uint32_t lines = document_->lineCount();
    const uint32_t first = firstVisibleLine();
    const uint32_t done = document_->linesDone();
    const uint32_t executing = document_->executingLine();
    const int textLeft = gutterWidth_ - horizontalScrollBar()->value();
    const int firstColumn = horizontalScrollBar()->value() / charWidth_;
    const int columns = area.width() / charWidth_ + 2;

    painter.fillRect(QRect(0, 0, gutterWidth_, area.height()), pal.color(QPalette::AlternateBase));
    const int rows = area.height() / lineHeight_ + 1;
    for (int row = 0; row < rows; ++row) {
        const uint32_t line = first + uint32_t(row);
        if (first == 0 || line > lines)
            break;
        const int top = row * lineHeight_;
        if (top > event->rect().bottom())
            break;
        const QRect textRow(gutterWidth_, top, area.width() - gutterWidth_, lineHeight_);
        const uint8_t mark = markOf(line);
        if (line == executing)
            painter.fillRect(textRow, executingShade);
        else if (line <= done)
            painter.fillRect(textRow, doneShade);
        else if (mark == 1)
            painter.fillRect(textRow, refusedShade);
        if (line == currentLine_) {
            QColor outline = pal.color(QPalette::Highlight);
            painter.setPen(outline);
            painter.drawRect(textRow.adjusted(0, 0, -1, -1));
        }

        // The gutter: the line number, coloured and marked when the check found something.
        if (mark) {
            painter.fillRect(QRect(0, top, 4, lineHeight_), markColours[mark - 1]);
            painter.setPen(markColours[mark - 1]);
            painter.setFont(boldFont_);
        } else {
            painter.setPen(pal.color(QPalette::PlaceholderText));
            painter.setFont(font_);
        }
        painter.drawText(QRect(0, top, gutterWidth_ - charWidth_, lineHeight_),
                         Qt::AlignRight | Qt::AlignVCenter, QString::number(line));

        // The text, only the columns in view.
        // Bytes beyond the right edge are not converted: a line may be megabytes long.
        const std::string_view bytes = document_->lineText(line - 1).substr(
            0, size_t(firstColumn) + size_t(columns));
        if (bytes.empty())
            continue;
        QString text = QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
        text.replace(QLatin1Char('\t'), QLatin1Char(' '));
        painter.save();
        painter.setClipRect(textRow);
        for (const Run& run : tokenize(text)) {
            const int from = std::max(run.start, firstColumn);
            const int to = std::min(run.start + run.length, firstColumn + columns);
            if (from >= to)
                continue;
            const bool bold = run.kind == Kind::Motion || run.kind == Kind::Machine;
            painter.setFont(bold ? boldFont_ : font_);
            painter.setPen(colourOf(run.kind, pal));
            painter.drawText(textLeft + from * charWidth_, top + ascent_,
                             text.mid(from, to - from));
        }
        painter.restore();
    }
}

void JobView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void JobView::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        updateScrollBars();
        viewport()->update();
    }
}

void JobView::mousePressEvent(QMouseEvent* event)
{
    const uint32_t first = firstVisibleLine();
    if (first == 0)
        return;
    const uint32_t line = first + uint32_t(event->position().y() / lineHeight_);
    if (line <= document_->lineCount())
        setCurrentLine(line);
}

void JobView::keyPressEvent(QKeyEvent* event)
{
    const uint32_t lines = document_->lineCount();
    if (lines == 0) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    if (event->matches(QKeySequence::Copy)) {
        if (currentLine_ > 0) {
            const std::string_view text = document_->lineText(currentLine_ - 1);
            QApplication::clipboard()->setText(
                QString::fromUtf8(text.data(), qsizetype(text.size())));
        }
        return;
    }
    const int64_t current = currentLine_ ? currentLine_ : firstVisibleLine();
    const int64_t page = std::max<int64_t>(1, int64_t(visibleLineCount()) - 1);
    int64_t target = current;
    switch (event->key()) {
    case Qt::Key_Up: target = current - 1; break;
    case Qt::Key_Down: target = current + 1; break;
    case Qt::Key_PageUp: target = current - page; break;
    case Qt::Key_PageDown: target = current + page; break;
    case Qt::Key_Home: target = 1; break;
    case Qt::Key_End: target = lines; break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    const uint32_t line = uint32_t(std::clamp<int64_t>(target, 1, lines));
    setCurrentLine(line);
    // Moving by keys scrolls only as far as needed.
    const uint32_t firstLine = firstVisibleLine();
    if (line < firstLine)
        verticalScrollBar()->setValue(int(line) - 1);
    else if (line >= firstLine + visibleLineCount())
        verticalScrollBar()->setValue(int(line) - int(visibleLineCount()));
}
