#include "tarvoprogsyntaxhighlighter.h"

#include "ramprogram.h"
#include "ramsyntax.h"

#include <QBrush>
#include <QFont>
#include <QTextCharFormat>

TarvoProgSyntaxHighlighter::TarvoProgSyntaxHighlighter(QTextDocument* parent)
    : QSyntaxHighlighter(parent)
{
}

void TarvoProgSyntaxHighlighter::highlightBlock(const QString& text)
{
    // An empty line has no word and no comment. Returning before the patterns also keeps the
    // empty program a new window opens with from compiling them (JIT included) at start-up.
    if (text.isEmpty())
        return;

    QTextCharFormat keywordFormat;
    keywordFormat.setFontWeight(QFont::Bold);
    keywordFormat.setForeground(QBrush(Qt::blue, Qt::SolidPattern));
    QTextCharFormat errorFormat = keywordFormat;
    errorFormat.setUnderlineStyle(QTextCharFormat::WaveUnderline);
    errorFormat.setUnderlineColor(Qt::red);

    // The first word runs from the first non-blank character to the next white space.
    const QString trimmed = text.trimmed();
    const QRegularExpressionMatch gap = RamWordSeparator().match(trimmed);
    QString word = gap.hasMatch() ? trimmed.left(gap.capturedStart()) : trimmed;
    if (!word.isEmpty() && !word.startsWith(QLatin1Char('#'))
        && !word.startsWith(QLatin1String("//"))) {
        const qsizetype semicolon = word.indexOf(QLatin1Char(';'));
        if (semicolon >= 0)
            word.truncate(semicolon);
        const qsizetype position = text.indexOf(word);
        if (!word.isEmpty() && position >= 0) {
            setFormat(int(position), int(word.size()),
                      IsRamKeyword(word) ? keywordFormat : errorFormat);
        }
    }

    const QRegularExpressionMatch comment = RamCommentPattern().match(text);
    if (comment.hasMatch()) {
        QTextCharFormat commentFormat;
        commentFormat.setForeground(Qt::darkGreen);
        const qsizetype start = comment.capturedStart();
        setFormat(int(start), int(text.size() - start), commentFormat);
    }
}
