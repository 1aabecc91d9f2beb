// The console window on one of our controllers: a RAM program line runs at once with the
// manual panel's call, a line the program check or the panel's ranges refuse runs nothing, a
// pending error is asked about first, and the history steps back through earlier lines.

#include "console.h"
#include "consolewnd.h"
#include "kavrixkernel.h"
#include "quenta.h"
#include "scripteddialogs.h"
#include "tarvocontroller.h"
#include "testenv.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <memory>

class TestConsoleWnd : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void ramLineRunsAsThePanelWouldRunIt();
    void refusedLinesRunNothing();
    void pendingErrorIsAskedAboutFirst();
    void historyStepsBackAndForth();
    void statusReportsShowOnlyWhenAsked();

private:
    QString transcript() const
    {
        return wnd->findChild<QPlainTextEdit*>(QStringLiteral("consoleTranscript"))
            ->toPlainText();
    }
    int calls(const std::string& prefix) const { return ports->device("COM3")->countCalls(prefix); }

    std::unique_ptr<ScriptedPorts> ports;
    std::unique_ptr<ScriptedDialogs> dialogs;
    TarvoController* controller = nullptr;
    ConsoleWnd* wnd = nullptr;
};

void TestConsoleWnd::init()
{
    initTestSettings();
    ports = std::make_unique<ScriptedPorts>();
    dialogs = std::make_unique<ScriptedDialogs>();
    KavrixKernel* const kernel = KavrixKernel::Instance();
    controller = new TarvoController(QStringLiteral("COM3"), 115200);
    QVERIFY(kernel->AddController(controller));
    kernel->ConnectActiveController();
    QVERIFY(controller->IsConnected());
    ports->device("COM3")->clearCalls();
    wnd = new ConsoleWnd(nullptr);
}

void TestConsoleWnd::cleanup()
{
    delete wnd;
    wnd = nullptr;
    delete KavrixKernel::Instance();
    controller = nullptr;
    dialogs.reset();
    ports.reset();
}

void TestConsoleWnd::ramLineRunsAsThePanelWouldRunIt()
{
    QVERIFY(!quenta::consoleAvailable(controller->GetPortSettings()));
    wnd->SendLine(QStringLiteral("  go_xy_s 100 10 -5;  "));
    QCOMPARE(ports->device("COM3")->calls(),
             std::vector<std::string>{
                 "FahreRelativ_XY_Schritte(100,1,[10,0,0,0,0,0],[-5,0,0,0,0,0],3)"});
    QVERIFY(transcript().contains(QStringLiteral("> GO_XY_S 100 10 -5;")));
    // Coolant first in the program line, spindle first in the call.
    wnd->SendLine(QStringLiteral("SET_FUNC 1 0;"));
    QCOMPARE(calls("SpindelKuhlungSetzen(0,1)"), 1);
    // A refusal the controller gives follows the line.
    ports->device("COM3")->setRefusal("X, Y and Z are not referenced");
    wnd->SendLine(QStringLiteral("GO_PARK;"));
    QVERIFY(transcript().endsWith(QStringLiteral("Refused: X, Y and Z are not referenced")));
    // Unlock and home have no realtime meaning here: they acknowledge and reference.
    ports->device("COM3")->clearCalls();
    wnd->findChild<QPushButton*>(QStringLiteral("consoleUnlockButton"))->click();
    wnd->findChild<QPushButton*>(QStringLiteral("consoleHomeButton"))->click();
    QCOMPARE(ports->device("COM3")->calls(),
             (std::vector<std::string>{"FehlerQuitieren()", "Referenzfahrt(0,0)"}));
    QVERIFY(!wnd->findChild<QPushButton*>(QStringLiteral("consoleHoldButton"))->isEnabled());
}

void TestConsoleWnd::refusedLinesRunNothing()
{
    wnd->SendLine(QStringLiteral("GO_XY_S 100;"));           // the program check
    wnd->SendLine(QStringLiteral("GO_XY_S 1000 0 0;"));      // the panel's speed range
    wnd->SendLine(QStringLiteral("G0 X10"));                 // G-code on our controller
    QVERIFY(ports->device("COM3")->calls().empty());
    const QString text = transcript();
    QVERIFY(text.contains(QStringLiteral("Syntax Error: Parameter 3 at line 1 is invalid.")));
    QVERIFY(text.contains(QStringLiteral("Value out of range [0 ... 999]")));
    QVERIFY(text.contains(QStringLiteral("Syntax Error: Unknown command at line 1.")));
}

void TestConsoleWnd::pendingErrorIsAskedAboutFirst()
{
    quenta::StatusReport report;
    report.errorCode = 0x13;
    ports->device("COM3")->setStatus(report);
    controller->UpdateStatus();
    ports->device("COM3")->clearCalls();
    dialogs->expectBox(QMessageBox::No);
    wnd->SendLine(QStringLiteral("WAIT 500;"));
    QCOMPARE(dialogs->count(QStringLiteral("question")), 1);
    QVERIFY(ports->device("COM3")->calls().empty());
    QVERIFY(transcript().contains(QStringLiteral("Not sent")));

    dialogs->expectBox(QMessageBox::Yes);
    wnd->SendLine(QStringLiteral("WAIT 500;"));
    QCOMPARE(ports->device("COM3")->calls(),
             (std::vector<std::string>{"FehlerQuitieren()", "HaltePosition(500)"}));
}

void TestConsoleWnd::historyStepsBackAndForth()
{
    auto* const edit = wnd->findChild<QLineEdit*>(QStringLiteral("consoleCommandEdit"));
    for (const char* line : {"GO_REF;", "WAIT 1;", "WAIT 1;", "GO_PARK;"}) {
        edit->setText(QString::fromLatin1(line));
        QTest::keyClick(edit, Qt::Key_Return);
    }
    QCOMPARE(wnd->History(), (QStringList{QStringLiteral("GO_REF;"), QStringLiteral("WAIT 1;"),
                                          QStringLiteral("GO_PARK;")}));
    QVERIFY(edit->text().isEmpty());
    edit->setText(QStringLiteral("SET_O 3;"));
    QTest::keyClick(edit, Qt::Key_Up);
    QTest::keyClick(edit, Qt::Key_Up);
    QCOMPARE(edit->text(), QStringLiteral("WAIT 1;"));
    QTest::keyClick(edit, Qt::Key_Down);
    QTest::keyClick(edit, Qt::Key_Down);
    QCOMPARE(edit->text(), QStringLiteral("SET_O 3;"));  // what was being typed comes back
}

void TestConsoleWnd::statusReportsShowOnlyWhenAsked()
{
    quenta::ConsoleEntry report;
    report.text = "<Idle|MPos:0.000,0.000,0.000|FS:0,0>";
    report.status = true;
    QVERIFY(ConsoleWnd::EntryText(report, false).isEmpty());
    QVERIFY(ConsoleWnd::EntryText(report, true).contains(QStringLiteral("<Idle|")));
}

QTEST_MAIN(TestConsoleWnd)
#include "tst_consolewnd.moc"
