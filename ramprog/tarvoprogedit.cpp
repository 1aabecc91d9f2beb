#include "tarvoprogedit.h"

#include "tarvoprogsyntaxhighlighter.h"

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>
#include <QTextBlock>

TarvoProgEdit::TarvoProgEdit(QWidget* parent)
    : QPlainTextEdit(parent)
{
    setLineWrapMode(QPlainTextEdit::NoWrap);

    QFont font(QStringLiteral("Courier New"), 10, -1, false);
    font.setStyleHint(QFont::TypeWriter, QFont::PreferDefault);
    font.setFixedPitch(true);
    setFont(font);

    setTabStopDistance(4 * QFontMetrics(font).averageCharWidth());

    highlighter = new TarvoProgSyntaxHighlighter(document());
    numberArea = new LineNumberArea(this);

    connect(this, &QPlainTextEdit::blockCountChanged, this,
            &TarvoProgEdit::updateLineNumberAreaWidth);
    connect(this, &QPlainTextEdit::updateRequest, this, &TarvoProgEdit::updateLineNumberArea);
    connect(this, &QPlainTextEdit::cursorPositionChanged, this,
            &TarvoProgEdit::highlightCurrentLine);

    updateLineNumberAreaWidth(0);
    highlightCurrentLine();
}

int TarvoProgEdit::numberAreaWidth() const
{
    int digits = 1;
    for (int max = qMax(1, blockCount()); max >= 10; max /= 10)
        ++digits;
    return 3 + digits * fontMetrics().horizontalAdvance(QLatin1Char('9'));
}

void TarvoProgEdit::updateLineNumberAreaWidth(int /*newBlockCount*/)
{
    setViewportMargins(numberAreaWidth(), 0, 0, 0);
}

void TarvoProgEdit::updateLineNumberArea(QRect rect, int dy)
{
    if (dy != 0)
        numberArea->scroll(0, dy);
    else
        numberArea->update(0, rect.y(), numberArea->width(), rect.height());

    if (rect.contains(viewport()->rect()))
        updateLineNumberAreaWidth(0);
}

void TarvoProgEdit::resizeEvent(QResizeEvent* event)
{
    QPlainTextEdit::resizeEvent(event);
    const QRect contents = contentsRect();
    numberArea->setGeometry(QRect(contents.left(), contents.top(), numberAreaWidth(),
                                  contents.height()));
}

void TarvoProgEdit::changeEvent(QEvent* event)
{
    QPlainTextEdit::changeEvent(event);
    if (event->type() == QEvent::ReadOnlyChange)
        highlightCurrentLine();
}

void TarvoProgEdit::highlightCurrentLine()
{
    QList<QTextEdit::ExtraSelection> selections;
    if (!isReadOnly()) {
        QTextEdit::ExtraSelection selection;
        selection.format.setBackground(QColor(Qt::yellow).lighter(160));
        selection.format.setProperty(QTextFormat::FullWidthSelection, true);
        selection.cursor = textCursor();
        selection.cursor.clearSelection();
        selections.append(selection);
    }
    setExtraSelections(selections);
}

void TarvoProgEdit::paintNumberArea(QPaintEvent* event)
{
    QPainter painter(numberArea);
    painter.fillRect(event->rect(), Qt::lightGray);
    painter.setPen(Qt::black);

    QTextBlock block = firstVisibleBlock();
    int blockNumber = block.blockNumber();
    int top = qRound(blockBoundingGeometry(block).translated(contentOffset()).top());
    int bottom = top + qRound(blockBoundingRect(block).height());
    const int lineHeight = fontMetrics().height();

    while (block.isValid() && top <= event->rect().bottom()) {
        if (block.isVisible() && bottom >= event->rect().top()) {
            painter.drawText(0, top, numberArea->width(), lineHeight, Qt::AlignRight,
                             QString::number(blockNumber + 1));
        }
        block = block.next();
        top = bottom;
        bottom = top + qRound(blockBoundingRect(block).height());
        ++blockNumber;
    }
}

LineNumberArea::LineNumberArea(TarvoProgEdit* editor)
    : QWidget(editor), editor(editor)
{
}

QSize LineNumberArea::sizeHint() const
{
    return QSize(editor->numberAreaWidth(), 0);
}

void LineNumberArea::paintEvent(QPaintEvent* event)
{
    editor->paintNumberArea(event);
}
