// Status record, error texts and the command guard shared by all command slots.

#include "commandguard.h"
#include "kavrixkernel.h"
#include "quenta.h"
#include "scripteddialogs.h"
#include "tarvocontroller.h"
#include "tarvostatus.h"
#include "testenv.h"

#include <QTest>
#include <QTranslator>
#include <QWidget>

namespace {

// Marks every text with the context it was translated in.
class ContextTranslator : public QTranslator {
public:
    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* sourceText, const char* = nullptr,
                      int = -1) const override
    {
        return QStringLiteral("[%1]").arg(QLatin1String(context))
            + QString::fromUtf8(sourceText);
    }
};

// Stands for a command window; its class name is the translation context of the guard.
class CallingWindow : public QWidget {
    Q_OBJECT
};

}  // namespace

class TestStatusGuard : public QObject {
    Q_OBJECT

private:
    TarvoController* addConnected(ScriptedPorts& ports, uint8_t errorCode)
    {
        auto* c = new TarvoController("COM3", 115200);
        KavrixKernel::Instance()->AddController(c);
        KavrixKernel::Instance()->ConnectActiveController();
        quenta::StatusReport report;
        report.errorCode = errorCode;
        ports.device("COM3")->setStatus(report);
        c->UpdateStatus();
        ports.device("COM3")->clearCalls();
        return c;
    }

private Q_SLOTS:
    void init() { initTestSettings(); }
    void cleanup() { delete KavrixKernel::ExistingInstance(); }

    void errorTexts_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << 0 << "0x00 : Unbekannter Fehler";
        QTest::newRow("1") << 1 << "0x01 : Befehlspuffer ist nicht leer";
        QTest::newRow("3") << 3 << "0x03 : Menüpunkt/Befehl ist unzulässig";
        QTest::newRow("5") << 5 << "0x05 : Unbekannter Fehler";
        QTest::newRow("10") << 10 << "0x0a : Anzahl der Achsen für Referenzfahrt ist falsch";
        QTest::newRow("13") << 13 << "0x0d : RAM-Programm ist zu groß";
        QTest::newRow("16") << 16 << "0x10 : Unbekannter Fehler";
        QTest::newRow("17") << 17 << "0x11 : X Achse hat untere Grenze erreicht";
        QTest::newRow("34") << 34 << "0x22 : Y Achse hat obere Grenze erreicht";
        QTest::newRow("51") << 51 << "0x33 : Z Endschalter ist ausgelöst";
        QTest::newRow("65") << 65 << "0x41 : C Achse hat untere Grenze erreicht";
        QTest::newRow("68") << 68 << "0x44 : Unbekannter Fehler";
        QTest::newRow("83") << 83 << "0x53 : Notaus ist ausgelöst";
        QTest::newRow("84") << 84 << "0x54 : Unbekannter Fehler";
        QTest::newRow("113") << 113 << "0x71 : Parameter ist unzulässig";
        QTest::newRow("145") << 145 << "0x91 : Parameternummer ist ungültig";
        QTest::newRow("153") << 153 << "0x99 : Notstop der Achsen";
        QTest::newRow("255") << 255 << "0xff : Unbekannter Fehler";
    }

    void errorTexts()
    {
        QFETCH(int, code);
        QFETCH(QString, text);
        TarvoStatus status;
        status.errorCode = static_cast<uint8_t>(code);
        QCOMPARE(status.GetErrorText(), text);
    }

    void fetchStatusFillsEveryFieldInOrder()
    {
        ScriptedPorts ports;
        TarvoController c("COM3", 115200);
        c.Connect();
        quenta::StatusReport report;
        report.firstValue = 1;
        report.inputs = 0x12;
        report.flags = 0x35;
        report.pos[0] = -1;
        report.pos[1] = 2;
        report.pos[2] = -300000;
        report.pos[3] = 2147483647;
        report.bufferFill = 255;
        report.generalInputs = 0x81;
        report.generalOutputs = 0x7e;
        report.errorCode = 0x99;
        ports.device("COM3")->setStatus(report);
        TarvoStatus& s = c.GetStatus();
        s.FetchStatus(nullptr);  // no record: nothing happens
        QCOMPARE(s.posX, 0);
        c.UpdateStatus();
        QCOMPARE(s.firstValue, uint8_t(1));
        QCOMPARE(s.inputs, uint8_t(0x12));
        QCOMPARE(s.flags, uint8_t(0x35));
        QCOMPARE(s.posX, -1);
        QCOMPARE(s.posY, 2);
        QCOMPARE(s.posZ, -300000);
        QCOMPARE(s.posC, 2147483647);
        QCOMPARE(s.bufferFill, uint8_t(255));
        QCOMPARE(s.generalInputs, uint8_t(0x81));
        QCOMPARE(s.generalOutputs, uint8_t(0x7e));
        QCOMPARE(s.errorCode, uint8_t(0x99));

        c.Disconnect();  // the record keeps the last report
        c.UpdateStatus();
        QCOMPARE(s.errorCode, uint8_t(0x99));
    }

    void disconnectedControllerGetsTheWarningOnly()
    {
        ScriptedDialogs dialogs;
        auto* c = new TarvoController("COM3", 115200);
        KavrixKernel::Instance()->AddController(c);
        c->GetStatus().errorCode = 0x13;
        dialogs.expectBox();
        QVERIFY(!RequireConnectedController(nullptr));
        QCOMPARE(dialogs.shown.size(), 1);
        QCOMPARE(dialogs.shown[0].kind, QString("warning"));
        QCOMPARE(dialogs.shown[0].title, QString("Connecting to Controller"));
        QCOMPARE(dialogs.shown[0].text, QString("Controller on COM3 isn't connected.\n"));
        QCOMPARE(dialogs.shown[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(dialogs.shown[0].defaultButton, QMessageBox::NoButton);
    }

    void warningIsTranslatedInTheCallingWindowsContext()
    {
        ScriptedDialogs dialogs;
        KavrixKernel::Instance()->AddController(new TarvoController("COM3", 115200));
        ContextTranslator translator;
        QCoreApplication::installTranslator(&translator);
        CallingWindow window;
        dialogs.expectBox();
        QVERIFY(!RequireConnectedController(&window));
        QCoreApplication::removeTranslator(&translator);
        QCOMPARE(dialogs.shown.size(), 1);
        QCOMPARE(dialogs.shown[0].title, QString("[CallingWindow]Connecting to Controller"));
        QCOMPARE(dialogs.shown[0].text,
                 QString("[CallingWindow]Controller on COM3 isn't connected.\n"));
    }

    void noActiveControllerIsRefusedSilently()
    {
        ScriptedDialogs dialogs;
        QVERIFY(!RequireConnectedController(nullptr));
        QVERIFY(!AcknowledgePendingError(nullptr, "ManualControlWnd"));
        QCOMPARE(dialogs.shown.size(), 0);
    }

    void noPendingErrorAsksNothing()
    {
        ScriptedPorts ports;
        ScriptedDialogs dialogs;
        addConnected(ports, 0);
        QVERIFY(RequireConnectedController(nullptr));
        QVERIFY(AcknowledgePendingError(nullptr, "ManualControlWnd"));
        QCOMPARE(dialogs.shown.size(), 0);
        QCOMPARE(ports.device("COM3")->countCalls("FehlerQuitieren"), 0);
    }

    void pendingErrorDeclinedSendsNothing()
    {
        ScriptedPorts ports;
        ScriptedDialogs dialogs;
        addConnected(ports, 19);
        dialogs.buttonAnswers.enqueue(QMessageBox::No);
        QVERIFY(!AcknowledgePendingError(nullptr, "ManualControlWnd"));
        QCOMPARE(dialogs.shown.size(), 1);
        const auto& box = dialogs.shown[0];
        QCOMPARE(box.kind, QString("question"));
        QCOMPARE(box.title, QString("ManualControlWnd"));
        QCOMPARE(box.text, QString("Ein Fehler ist aufgetretten:\n0x13 : X Endschalter ist "
                                   "ausgelöst\nMöchten Sie den Fehler quitieren?"));
        QCOMPARE(box.buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(box.defaultButton, QMessageBox::Yes);
        QCOMPARE(ports.device("COM3")->countCalls("FehlerQuitieren"), 0);

        dialogs.buttonAnswers.enqueue(QMessageBox::Escape);  // box closed
        QVERIFY(!AcknowledgePendingError(nullptr, "SlotRAMProgrammWrite"));
        QCOMPARE(ports.device("COM3")->countCalls("FehlerQuitieren"), 0);
    }

    void pendingErrorAcknowledgedOnYes()
    {
        ScriptedPorts ports;
        ScriptedDialogs dialogs;
        TarvoController* const c = addConnected(ports, 0x99);
        dialogs.buttonAnswers.enqueue(QMessageBox::Yes);
        QVERIFY(AcknowledgePendingError(nullptr, "SlotRAMProgrammWrite"));
        QCOMPARE(ports.device("COM3")->calls(), std::vector<std::string>{"FehlerQuitieren()"});
        // The record is not refreshed until the next report.
        QCOMPARE(c->GetStatus().errorCode, uint8_t(0x99));
    }
};

QTEST_MAIN(TestStatusGuard)
#include "tst_statusguard.moc"
