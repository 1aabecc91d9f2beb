#pragma once
// Colours a RAM program line by line: the first word as a known (bold blue) or unknown (bold
// blue with a red wave underline) command keyword, comments dark green.

#include <QSyntaxHighlighter>

class QTextDocument;

class TarvoProgSyntaxHighlighter : public QSyntaxHighlighter {
    Q_OBJECT
public:
    explicit TarvoProgSyntaxHighlighter(QTextDocument* parent);

protected:
    // Each line is highlighted on its own; no state passes from one block to the next.
    void highlightBlock(const QString& text) override;
};
