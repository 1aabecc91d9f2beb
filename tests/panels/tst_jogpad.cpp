// The jog pad: a continuous jog ends whenever the hand lets go, a step jog never needs a stop.
#include "jogpad.h"
#include "kavrixkernel.h"
#include "manualcontrolwnd.h"
#include "scripteddevice.h"
#include "scripteddialogs.h"
#include "tarvocontroller.h"
#include "testenv.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <memory>

class TestJogPad : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void everyWayOfLettingGoCancels_data();
    void everyWayOfLettingGoCancels();
    void stepJogMovesOnceAndNeedsNoStop();
    void eachMachineKeepsItsStepAndFeed();

private:
    int halts() const { return ports->device("COM3")->countCalls("NotHalt_mitBremsrampe"); }
    int jogs() const { return ports->device("COM3")->countCalls("FahreRelativ_XY_mm"); }

    std::unique_ptr<ScriptedPorts> ports;
    std::unique_ptr<ScriptedDialogs> dialogs;
    TarvoController* controller = nullptr;
    ManualControlWnd* panel = nullptr;
    JogPad* pad = nullptr;
    QLineEdit* elsewhere = nullptr;  // a widget outside the pad that can take the focus
    std::unique_ptr<QWidget> other;  // another top-level window
};

void TestJogPad::init()
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
    panel = new ManualControlWnd(controller, nullptr);
    pad = panel->GetJogPad();
    QVERIFY(pad);
    elsewhere = panel->findChild<QLineEdit*>(QStringLiteral("XEdit"));
    QVERIFY(elsewhere);
    panel->show();
    panel->activateWindow();
    QVERIFY(QTest::qWaitForWindowExposed(panel));
}

void TestJogPad::cleanup()
{
    other.reset();
    delete panel;
    panel = nullptr;
    delete KavrixKernel::Instance();
    controller = nullptr;
    dialogs.reset();
    ports.reset();
}

void TestJogPad::everyWayOfLettingGoCancels_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("button release") << QStringLiteral("release");
    QTest::newRow("key release") << QStringLiteral("key");
    QTest::newRow("focus loss") << QStringLiteral("focus");
    QTest::newRow("window deactivation") << QStringLiteral("deactivate");
    QTest::newRow("pad hidden") << QStringLiteral("hide");
}

void TestJogPad::everyWayOfLettingGoCancels()
{
    QFETCH(QString, how);
    QCOMPARE(pad->StepMm(), 0.0);  // continuous to begin with
    QPushButton* const xPlus = pad->Button(0, 1);
    if (how == QLatin1String("key")) {
        xPlus->setFocus();
        QTest::keyPress(xPlus, Qt::Key_Right);
        // The key's auto-repeat neither stops nor restarts the jog.
        QTest::keyPress(xPlus, Qt::Key_Right, Qt::NoModifier, -1);
        QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier, QString(), true);
        QCoreApplication::sendEvent(xPlus, &repeat);
    } else {
        QTest::mousePress(xPlus, Qt::LeftButton);
    }
    QVERIFY(pad->IsJogging());
    QCOMPARE(jogs(), 1);
    QCOMPARE(halts(), 0);

    if (how == QLatin1String("release")) {
        QTest::mouseRelease(xPlus, Qt::LeftButton);
    } else if (how == QLatin1String("key")) {
        QTest::keyRelease(xPlus, Qt::Key_Right);
    } else if (how == QLatin1String("focus")) {
        elsewhere->setFocus();
    } else if (how == QLatin1String("deactivate")) {
        // Another window takes over, as when the operator clicks elsewhere on the desktop.
        other = std::make_unique<QWidget>();
        other->show();
        other->activateWindow();
        QTRY_VERIFY(!pad->isActiveWindow());
    } else {
        pad->hide();
    }
    QVERIFY(!pad->IsJogging());
    QCOMPARE(halts(), 1);
    // The hold's own report is acknowledged again: the operator is left without an error.
    QCOMPARE(ports->device("COM3")->countCalls("FehlerQuitieren"), 1);
    QCOMPARE(jogs(), 1);
}

void TestJogPad::stepJogMovesOnceAndNeedsNoStop()
{
    auto* const steps = pad->findChild<QComboBox*>(QStringLiteral("JogStepComboBox"));
    steps->setCurrentIndex(2);  // 0.1 mm
    QCOMPARE(pad->StepMm(), 0.1);
    QPushButton* const yMinus = pad->Button(1, -1);
    QTest::mouseClick(yMinus, Qt::LeftButton);
    QVERIFY(!pad->IsJogging());
    const std::vector<std::string> calls = ports->device("COM3")->calls();
    QCOMPARE(jogs(), 1);
    QVERIFY2(calls.front().find("-0.1") != std::string::npos, calls.front().c_str());
    elsewhere->setFocus();
    QCOMPARE(halts(), 0);
}

void TestJogPad::eachMachineKeepsItsStepAndFeed()
{
    auto* const step = pad->findChild<QComboBox*>(QStringLiteral("JogStepComboBox"));
    auto* const feed = pad->findChild<QDoubleSpinBox*>(QStringLiteral("JogFeedSpinBox"));
    step->setCurrentIndex(3);
    feed->setValue(1500);
    const double defaultFeed = [] {
        TarvoController elsewhereController(QStringLiteral("COM4"), 115200);
        return JogPad(&elsewhereController).FeedMmPerMin();
    }();
    QVERIFY(defaultFeed != 1500);
    // The same machine's next panel (the next start) takes them up; another machine does not.
    JogPad again(controller);
    QCOMPARE(again.findChild<QComboBox*>(QStringLiteral("JogStepComboBox"))->currentIndex(), 3);
    QCOMPARE(again.FeedMmPerMin(), 1500.0);
    TarvoController com4(QStringLiteral("COM4"), 115200);
    JogPad other4(&com4);
    QCOMPARE(other4.StepMm(), 0.0);
}

QTEST_MAIN(TestJogPad)
#include "tst_jogpad.moc"
