// One controller handle: its record, open results, watchdog and firmware-mode connection.

#include "kavrixkernel.h"
#include "quenta.h"
#include "tarvocontroller.h"
#include "testenv.h"

#include <QTest>

class TestController : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { initTestSettings(); }
    void cleanup() { delete KavrixKernel::ExistingInstance(); }

    void recordIsInitialisedByTheLibrary()
    {
        TarvoController defaults;
        QCOMPARE(defaults.GetComPort(), QString());
        QCOMPARE(defaults.GetBaudRate(), 115200);
        QCOMPARE(defaults.GetControllerName(), QString("Dorvik USB"));
        QCOMPARE(defaults.GetConnectErrorText(), QString());

        TarvoController c("COM12345678", 100000);
        QCOMPARE(c.GetComPort(), QString("COM1234"));
        QCOMPARE(c.GetBaudRate(), 100000);
        QCOMPARE(c.GetPortSettings()->comPort[7], '\0');
        QCOMPARE(c.GetStatus().errorCode, uint8_t(0));
        QVERIFY(!c.IsConnected());
    }

    void openResultCodesGiveTheirTexts_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        QTest::newRow("cannot open") << 1 << "Error open COM port";
        QTest::newRow("not a controller") << 2 << "Device is not recognized as controller";
        QTest::newRow("no answer") << 3 << "No controller found";
        QTest::newRow("name mismatch") << 4 << "No controller with given name is found";
        QTest::newRow("unknown code") << 5 << "";
    }

    void openResultCodesGiveTheirTexts()
    {
        QFETCH(int, code);
        QFETCH(QString, text);
        ScriptedPorts ports;
        ports.device("COM3")->setOpenCode(code);
        TarvoController c("COM3", 115200);
        c.Connect();
        QVERIFY(!c.IsConnected());
        QVERIFY(!c.IsTimerActive());
        QCOMPARE(c.GetConnectErrorText(), text);
    }

    void successfulConnectArmsTheWatchdogAndClearsTheOldCode()
    {
        ScriptedPorts ports;
        ports.device("COM3")->setOpenCode(2);
        TarvoController c("COM3", 115200);
        c.Connect();
        QCOMPARE(c.GetConnectErrorText(), QString("Device is not recognized as controller"));
        ports.device("COM3")->setOpenCode(0);
        c.Connect();
        QVERIFY(c.IsConnected());
        QVERIFY(c.IsTimerActive());
        QCOMPARE(c.GetConnectErrorText(), QString());
        QCOMPARE(ports.device("COM3")->calls().front(),
                 std::string("TarvoOpenConnectionPort(115200)"));
        c.Disconnect();
        QVERIFY(!c.IsConnected());
        QVERIFY(!c.IsTimerActive());
    }

    void failedReopenLeavesNoWatchdogRunning()
    {
        ScriptedPorts ports;
        TarvoController c("COM3", 115200);
        c.Connect();
        QVERIFY(c.IsTimerActive());
        ports.device("COM3")->setOpenCode(3);
        c.Connect();
        QVERIFY(!c.IsConnected());
        QVERIFY(!c.IsTimerActive());
    }

    void unmappedPortWithoutNameCannotOpen()
    {
        TarvoController c;  // no port text at all
        c.Connect();
        QVERIFY(!c.IsConnected());
        QCOMPARE(c.GetConnectErrorText(), QString("Error open COM port"));
    }

    void firmwareModeHasNoWatchdog()
    {
        ScriptedPorts ports;
        TarvoController c("COM3", 115200);
        QCOMPARE(c.Connect4FirmwareUpdate(), 1);
        QVERIFY(c.IsConnected());
        QVERIFY(!c.IsTimerActive());
        // Nothing re-arms it: the raw channel carries no status, a watchdog would only
        // close the port under a running transfer.
        c.RestartTimer();
        QVERIFY(!c.IsTimerActive());
        QCOMPARE(c.DisconnectNachFirmwareUpdate(), 1);
        QVERIFY(!c.IsConnected());
        QCOMPARE(ports.device("COM3")->countCalls("TarvoCloseTransfer"), 0);
        QCOMPARE(ports.device("COM3")->countCalls("TarvoOpenConnection4FirmwareUpdate"), 1);
    }

    void callsOnAClosedPortFail()
    {
        ScriptedPorts ports;
        TarvoController c("COM3", 115200);
        QCOMPARE(FehlerQuitieren(c.GetPortSettings()), 0);
        c.Connect();
        QCOMPARE(FehlerQuitieren(c.GetPortSettings()), 1);
        c.Disconnect();
        QCOMPARE(FehlerQuitieren(c.GetPortSettings()), 0);
        QCOMPARE(ports.device("COM3")->countCalls("FehlerQuitieren"), 1);
    }

    void destroyingAConnectedControllerClosesItsPort()
    {
        ScriptedPorts ports;
        auto* c = new TarvoController("COM3", 115200);
        c->Connect();
        QVERIFY(ports.device("COM3")->isOpen());
        delete c;
        QVERIFY(!ports.device("COM3")->isOpen());
    }
};

QTEST_MAIN(TestController)
#include "tst_controller.moc"
