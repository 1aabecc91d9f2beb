// The program editor: construction, line-number gutter, current-line highlight and the
// per-line syntax highlighting.

#include "tarvoprogedit.h"
#include "tarvoprogsyntaxhighlighter.h"
#include "testenv.h"

#include <QImage>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>

namespace {

// The highlighter's formats of one block, as the document's layout holds them.
QList<QTextLayout::FormatRange> blockFormats(const TarvoProgEdit& editor, int block)
{
    return editor.document()->findBlockByNumber(block).layout()->formats();
}

// The format at position in a block; an invalid format where nothing is set.
QTextCharFormat formatAt(const QList<QTextLayout::FormatRange>& ranges, int position)
{
    QTextCharFormat format;
    for (const QTextLayout::FormatRange& range : ranges) {
        if (position >= range.start && position < range.start + range.length)
            format = range.format;
    }
    return format;
}

bool isKeyword(const QTextCharFormat& format)
{
    return format.fontWeight() == QFont::Bold && format.foreground().color() == Qt::blue
           && format.foreground().style() == Qt::SolidPattern
           && format.underlineStyle() == QTextCharFormat::NoUnderline;
}

bool isError(const QTextCharFormat& format)
{
    return format.fontWeight() == QFont::Bold && format.foreground().color() == Qt::blue
           && format.underlineStyle() == QTextCharFormat::WaveUnderline
           && format.underlineColor() == Qt::red;
}

bool isComment(const QTextCharFormat& format)
{
    return format.foreground().color() == Qt::darkGreen && format.fontWeight() != QFont::Bold
           && format.underlineStyle() == QTextCharFormat::NoUnderline;
}

bool isPlain(const QTextCharFormat& format)
{
    return !format.isValid() || format.properties().isEmpty();
}

}  // namespace

class TestTarvoProgEdit : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { initTestSettings(); }

    void construction()
    {
        TarvoProgEdit editor;
        QCOMPARE(editor.lineWrapMode(), QPlainTextEdit::NoWrap);
        const QFont font = editor.font();
        QCOMPARE(font.family(), QString("Courier New"));
        QCOMPARE(font.pointSize(), 10);
        QCOMPARE(font.weight(), QFont::Normal);
        QVERIFY(!font.italic());
        QVERIFY(font.fixedPitch());
        QCOMPARE(font.styleHint(), QFont::TypeWriter);
        QCOMPARE(font.styleStrategy(), QFont::PreferDefault);
        QCOMPARE(editor.tabStopDistance(), 4.0 * QFontMetrics(font).averageCharWidth());
        QVERIFY(editor.syntaxHighlighter());
        QCOMPARE(editor.syntaxHighlighter()->document(), editor.document());
        QCOMPARE(editor.lineNumberArea()->parentWidget(), &editor);
    }

    void gutterGrowsAtTenthLine()
    {
        TarvoProgEdit editor;
        editor.resize(400, 300);
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        const int digit = editor.fontMetrics().horizontalAdvance(QLatin1Char('9'));

        QCOMPARE(editor.numberAreaWidth(), 3 + digit);
        QCOMPARE(editor.lineNumberArea()->sizeHint(), QSize(3 + digit, 0));
        QCOMPARE(editor.lineNumberArea()->width(), 3 + digit);
        const int textLeft = editor.viewport()->geometry().left();

        editor.setPlainText(QStringLiteral("1\n2\n3\n4\n5\n6\n7\n8\n9"));
        QCOMPARE(editor.blockCount(), 9);
        QCOMPARE(editor.numberAreaWidth(), 3 + digit);

        editor.appendPlainText(QStringLiteral("10"));
        QCOMPARE(editor.numberAreaWidth(), 3 + 2 * digit);
        QCOMPARE(editor.viewport()->geometry().left(), textLeft + digit);
        QCOMPARE(editor.lineNumberArea()->width(), 3 + 2 * digit);

        // Back to nine lines: one digit again.
        QTextCursor cursor(editor.document());
        cursor.movePosition(QTextCursor::End);
        cursor.movePosition(QTextCursor::StartOfBlock, QTextCursor::KeepAnchor);
        cursor.movePosition(QTextCursor::PreviousCharacter, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        QCOMPARE(editor.blockCount(), 9);
        QCOMPARE(editor.numberAreaWidth(), 3 + digit);
        QCOMPARE(editor.viewport()->geometry().left(), textLeft);

        editor.setPlainText(QString(999, QLatin1Char('\n')));
        QCOMPARE(editor.numberAreaWidth(), 3 + 4 * digit);
    }

    void gutterPaintsVisibleLineNumbers()
    {
        TarvoProgEdit editor;
        editor.resize(300, 200);
        editor.setPlainText(QStringLiteral("GO_REF;\n").repeated(200));
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));

        const auto darkRows = [&]() {
            const QImage image = editor.lineNumberArea()->grab().toImage();
            QList<int> rows;
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x) {
                    if (qGray(image.pixel(x, y)) < 100) {
                        rows.append(y);
                        break;
                    }
                }
            }
            return rows;
        };
        const QImage image = editor.lineNumberArea()->grab().toImage();
        QCOMPARE(QColor(image.pixel(0, image.height() - 1)), QColor(Qt::lightGray));
        const QList<int> rows = darkRows();
        QVERIFY(!rows.isEmpty());
        // Digits down the whole visible height, not only in the first line.
        QVERIFY(rows.last() > image.height() / 2);

        // A one-line document has a number only in its first line.
        editor.setPlainText(QStringLiteral("GO_REF;"));
        const int lineHeight = editor.fontMetrics().height();
        const QList<int> single = darkRows();
        QVERIFY(!single.isEmpty());
        QVERIFY(single.last() < 2 * lineHeight + 4);

        // Scrolled, the first visible block's number is drawn at the top.
        editor.setPlainText(QStringLiteral("GO_REF;\n").repeated(200));
        editor.verticalScrollBar()->setValue(150);
        QCOMPARE(editor.cursorForPosition(QPoint(0, 0)).blockNumber(), 150);
        QVERIFY(!darkRows().isEmpty());
        QVERIFY(darkRows().first() < lineHeight + 4);
    }

    void currentLineHighlight()
    {
        TarvoProgEdit editor;
        editor.setPlainText(QStringLiteral("GO_REF;\nGO_PARK;\nWAIT 1;"));
        QTextCursor cursor = editor.textCursor();
        cursor.setPosition(editor.document()->findBlockByNumber(1).position() + 2);
        cursor.movePosition(QTextCursor::Right, QTextCursor::KeepAnchor, 3);
        editor.setTextCursor(cursor);

        const QList<QTextEdit::ExtraSelection> selections = editor.extraSelections();
        QCOMPARE(selections.size(), 1);
        const QTextEdit::ExtraSelection& line = selections.first();
        QCOMPARE(line.format.background().color(), QColor(Qt::yellow).lighter(160));
        QVERIFY(line.format.property(QTextFormat::FullWidthSelection).toBool());
        QVERIFY(!line.cursor.hasSelection());
        QCOMPARE(line.cursor.blockNumber(), 1);

        editor.moveCursor(QTextCursor::End);
        QCOMPARE(editor.extraSelections().first().cursor.blockNumber(), 2);

        // Read-only: no highlight, also after the cursor moves; editable again: back.
        editor.setReadOnly(true);
        QVERIFY(editor.extraSelections().isEmpty());
        editor.moveCursor(QTextCursor::Start);
        QVERIFY(editor.extraSelections().isEmpty());
        editor.setReadOnly(false);
        QCOMPARE(editor.extraSelections().size(), 1);
        QCOMPARE(editor.extraSelections().first().cursor.blockNumber(), 0);
    }

    void highlighting()
    {
        TarvoProgEdit editor;
        editor.setPlainText(QStringLiteral("\n"                           // 0
                                           " \t \n"                       // 1
                                           "go_xy_s 100 200 300;\n"       // 2
                                           "FOO 1;\n"                     // 3
                                           "GO_REF;\n"                    // 4
                                           "  // comment GO_REF\n"        // 5
                                           "#GO_REF;\n"                   // 6
                                           "GO_PARK; # park\n"            // 7
                                           "GO_REF#x;\n"                  // 8
                                           "\tSet_O;set_o 5\n"            // 9
                                           ";\n"                          // 10
                                           "WAIT;GO_REF; // a # b"));     // 11

        QVERIFY(blockFormats(editor, 0).isEmpty());
        QVERIFY(blockFormats(editor, 1).isEmpty());

        const auto keyword = blockFormats(editor, 2);
        for (int i = 0; i < 7; ++i)
            QVERIFY2(isKeyword(formatAt(keyword, i)), qPrintable(QString::number(i)));
        for (int i = 7; i < 20; ++i)
            QVERIFY(isPlain(formatAt(keyword, i)));  // parameters stay plain

        const auto unknown = blockFormats(editor, 3);
        QVERIFY(isError(formatAt(unknown, 0)) && isError(formatAt(unknown, 2)));
        QVERIFY(isPlain(formatAt(unknown, 3)));

        const auto glued = blockFormats(editor, 4);
        QVERIFY(isKeyword(formatAt(glued, 5)));
        QVERIFY(isPlain(formatAt(glued, 6)));  // the ";" stays plain

        const auto comment = blockFormats(editor, 5);
        QVERIFY(isPlain(formatAt(comment, 1)));
        for (int i = 2; i < 19; ++i)
            QVERIFY(isComment(formatAt(comment, i)));
        const auto hashComment = blockFormats(editor, 6);
        for (int i = 0; i < 8; ++i)
            QVERIFY(isComment(formatAt(hashComment, i)));

        const auto trailing = blockFormats(editor, 7);
        QVERIFY(isKeyword(formatAt(trailing, 0)) && isKeyword(formatAt(trailing, 6)));
        QVERIFY(isPlain(formatAt(trailing, 7)) && isPlain(formatAt(trailing, 8)));
        QVERIFY(isComment(formatAt(trailing, 9)) && isComment(formatAt(trailing, 14)));

        // The "#" belongs to the first word, so it is no keyword; the comment wins from "#".
        const auto attached = blockFormats(editor, 8);
        QVERIFY(isError(formatAt(attached, 0)) && isError(formatAt(attached, 5)));
        QVERIFY(isComment(formatAt(attached, 6)) && isComment(formatAt(attached, 8)));

        // The word is found at its first case-sensitive occurrence.
        const auto indented = blockFormats(editor, 9);
        QVERIFY(isPlain(formatAt(indented, 0)));
        QVERIFY(isKeyword(formatAt(indented, 1)) && isKeyword(formatAt(indented, 5)));
        for (int i = 6; i < 14; ++i)
            QVERIFY(isPlain(formatAt(indented, i)));

        QVERIFY(blockFormats(editor, 10).isEmpty());

        const auto two = blockFormats(editor, 11);
        QVERIFY(isKeyword(formatAt(two, 3)));
        QVERIFY(isPlain(formatAt(two, 5)));  // only the first word counts
        QVERIFY(isComment(formatAt(two, 13)) && isComment(formatAt(two, 20)));
    }

    void editingRehighlightsTheLine()
    {
        TarvoProgEdit editor;
        editor.setPlainText(QStringLiteral("GO_RE;"));
        QVERIFY(isError(formatAt(blockFormats(editor, 0), 0)));
        QTextCursor cursor(editor.document());
        cursor.setPosition(5);
        cursor.insertText(QStringLiteral("F"));
        QVERIFY(isKeyword(formatAt(blockFormats(editor, 0), 0)));
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(QStringLiteral(" //x"));
        QVERIFY(isComment(formatAt(blockFormats(editor, 0), 8)));
    }
};

QTEST_MAIN(TestTarvoProgEdit)
#include "tst_tarvoprogedit.moc"
