#pragma once
// The read-only view of a G-code job's lines: line numbers, G-code highlighting, the lines a
// run has done shaded, the executing line marked and kept in view, and the lines the check
// found problems on marked in the gutter.
//
// Only the lines in view are laid out and painted, straight from the document, so a file of
// a million lines opens and scrolls as fast as one of ten.

#include <QAbstractScrollArea>
#include <QFont>

#include <cstdint>
#include <vector>

class JobDocument;

class JobView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit JobView(JobDocument* document, QWidget* parent = nullptr);

    JobDocument* document() const { return document_; }

    // Lines are 1-based here, as the operator and the findings count them; 0: none.
    uint32_t currentLine() const { return currentLine_; }
    // Makes line current and scrolls it into the middle of the view when it is out of view.
    void goToLine(uint32_t line);
    uint32_t firstVisibleLine() const;
    // Lines that fit wholly into the view.
    uint32_t visibleLineCount() const;
    bool isLineVisible(uint32_t line) const;

    // The worst severity the check found per line; rebuilt when the document is loaded.
    void refreshFindings();

Q_SIGNALS:
    void currentLineChanged(uint32_t line);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void updateMetrics();
    void updateScrollBars();
    void followRun(uint32_t executingLine);
    void setCurrentLine(uint32_t line);
    void scrollToShow(uint32_t line, int placeDivisor);
    int lineHeight() const { return lineHeight_; }
    // 0: none; else 1 + the worst gcode::Severity's value on the line.
    uint8_t markOf(uint32_t line) const;

    JobDocument* document_;
    QFont font_;
    QFont boldFont_;
    int lineHeight_ = 1;
    int ascent_ = 0;
    int charWidth_ = 1;
    int gutterWidth_ = 0;
    uint32_t currentLine_ = 0;
    // Lines with findings (1-based, ascending) and their marks.
    std::vector<uint32_t> markedLines_;
    std::vector<uint8_t> marks_;
};
