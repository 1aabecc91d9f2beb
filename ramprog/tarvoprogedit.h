#pragma once
// The RAM program editor of one tab: fixed-pitch text without wrapping, a line-number gutter
// on the left, the current line highlighted and the program's keywords and comments coloured.

#include <QPlainTextEdit>
#include <QStringConverter>
#include <QWidget>

class LineNumberArea;
class TarvoProgSyntaxHighlighter;

class TarvoProgEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TarvoProgEdit(QWidget* parent = nullptr);

    // Gutter width in pixels: 3 + the width of "9" for every digit of the block count.
    int numberAreaWidth() const;
    // Paints the line numbers of the visible blocks into the gutter.
    void paintNumberArea(QPaintEvent* event);

    LineNumberArea* lineNumberArea() const { return numberArea; }
    TarvoProgSyntaxHighlighter* syntaxHighlighter() const { return highlighter; }

    // The encoding of the file the text was read from, used to write it back; UTF-8 for a
    // program that did not come from a file.
    QStringConverter::Encoding fileEncoding() const { return encoding; }
    void setFileEncoding(QStringConverter::Encoding fileEncoding) { encoding = fileEncoding; }

private Q_SLOTS:
    void updateLineNumberAreaWidth(int newBlockCount);
    void highlightCurrentLine();
    void updateLineNumberArea(QRect rect, int dy);

protected:
    void resizeEvent(QResizeEvent* event) override;
    // Drops or restores the current-line highlight when the editor turns read-only or back.
    void changeEvent(QEvent* event) override;

private:
    TarvoProgSyntaxHighlighter* highlighter = nullptr;
    LineNumberArea* numberArea = nullptr;
    QStringConverter::Encoding encoding = QStringConverter::Utf8;
};

// The gutter beside a TarvoProgEdit; the editor paints it.
class LineNumberArea : public QWidget {
    Q_OBJECT
public:
    explicit LineNumberArea(TarvoProgEdit* editor);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TarvoProgEdit* editor;
};
