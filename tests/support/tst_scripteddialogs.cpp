// The strict dialog seam fails a test function for a box nobody scripted and for an answer
// nobody used. Two of these functions fail on purpose: CMake checks the totals (4 passed,
// counting initTestCase and cleanupTestCase, and 2 failed), not the exit code.

#include "scripteddialogs.h"

#include <QTest>

class TestScriptedDialogs : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void unscriptedBoxFailsTheTest()
    {
        ScriptedDialogs dialogs;
        Dialogs::critical(nullptr, QStringLiteral("Connection Lost Error"), QStringLiteral("x"));
    }

    void unusedAnswerFailsTheTest()
    {
        ScriptedDialogs dialogs;
        dialogs.expectBox();
        dialogs.fileAnswers.enqueue(QStringLiteral("/tmp/never.ncprg"));
    }

    void scriptedBoxesPass()
    {
        ScriptedDialogs dialogs;
        dialogs.expectBox(QMessageBox::No);
        QCOMPARE(Dialogs::question(nullptr, QStringLiteral("t"), QStringLiteral("q"),
                                   QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes),
                 QMessageBox::No);
        dialogs.expectCancelledFile();
        QCOMPARE(Dialogs::seam().openFileName(nullptr, {}, {}, {}), QString());
    }

    void tolerantSeamLetsBoxesThrough()
    {
        ScriptedDialogs dialogs;
        dialogs.strict = false;
        QCOMPARE(Dialogs::warning(nullptr, QStringLiteral("t"), QStringLiteral("w")),
                 QMessageBox::Ok);
    }
};

QTEST_MAIN(TestScriptedDialogs)
#include "tst_scripteddialogs.moc"
