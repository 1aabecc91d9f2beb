// The controller registry: settings, list model, active controller, status event path,
// watchdog and shutdown.

#include "kavrixkernel.h"
#include "quenta.h"
#include "scrollingmessagebox.h"
#include "scripteddialogs.h"
#include "tarvocontroller.h"
#include "testenv.h"

#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTest>

#include <atomic>
#include <cstring>
#include <thread>

class TestKernel : public QObject {
    Q_OBJECT

private:
    KavrixKernel* kernel() { return KavrixKernel::Instance(); }
    QStringList modelColumn(int column)
    {
        QStringList texts;
        auto* model = kernel()->GetControllerModel();
        for (int row = 0; row < model->rowCount(); ++row)
            texts << model->index(row, column).data().toString();
        return texts;
    }
    void add(const QString& port, int baud = 115200)
    {
        QVERIFY(kernel()->AddController(new TarvoController(port, baud)));
    }

private Q_SLOTS:
    void init() { initTestSettings(); }
    void cleanup() { delete KavrixKernel::ExistingInstance(); }

    void readSettingsSkipsMalformedEntries()
    {
        QSettings().setValue("controllers", QStringList{"COM3:100000", "COM3", ":100000",
                                                        "COM3:fast", "COM3:120000:x",
                                                        "COM1:110000", "", "COM9:99999999999",
                                                        "COM12345678:115200"});
        QSettings().setValue("ActiveController", "COM1");
        kernel()->ReadSettings();
        QCOMPARE(modelColumn(0), (QStringList{"COM1", "COM1234", "COM3"}));
        QCOMPARE(kernel()->FindController("COM3")->GetBaudRate(), 100000);
        QCOMPARE(kernel()->FindController("COM1")->GetBaudRate(), 110000);
        QCOMPARE(kernel()->GetActiveControllerPort(), QString("COM1"));

        kernel()->RemoveController("COM1234");
        delete kernel();
        QCOMPARE(QSettings().value("controllers").toStringList(),
                 (QStringList{"COM1:110000", "COM3:100000"}));
        QCOMPARE(QSettings().value("ActiveController").toString(), QString("COM1"));
    }

    void readSettingsLaterEntriesAndActiveRules()
    {
        QSettings().setValue("controllers", QStringList{"COM3:120000:x", "COM2:0"});
        kernel()->ReadSettings();
        QCOMPARE(kernel()->FindController("COM3")->GetBaudRate(), 120000);
        // Baud 0 keeps the library's default; without a stored key the last added is active.
        QCOMPARE(kernel()->FindController("COM2")->GetBaudRate(), 115200);
        QCOMPARE(kernel()->GetActiveControllerPort(), QString("COM2"));
    }

    void unknownStoredActiveControllerLeavesNone()
    {
        QSettings().setValue("controllers", QStringList{"COM3:100000"});
        QSettings().setValue("ActiveController", "COM7");
        QSignalSpy spy(kernel(), &KavrixKernel::SignalActiveControllerChanged);
        kernel()->ReadSettings();
        QVERIFY(!kernel()->GetActiveController());
        QCOMPARE(spy.last().at(0).toString(), QString());
    }

    void writeSettingsRemovesKeysWhenEmpty()
    {
        QSettings().setValue("controllers", QStringList{"COM3:100000"});
        QSettings().setValue("ActiveController", "COM3");
        kernel()->WriteSettings();
        QSettings settings;
        QVERIFY(!settings.contains("controllers"));
        QVERIFY(!settings.contains("ActiveController"));
    }

    void registryIsSortedByPortTextAndRefusesDuplicates()
    {
        QSignalSpy added(kernel(), &KavrixKernel::SignalControllerAdded);
        QSignalSpy activeChanged(kernel(), &KavrixKernel::SignalActiveControllerChanged);
        add("COM2");
        add("COM10");
        add("COM1");
        QCOMPARE(modelColumn(0), (QStringList{"COM1", "COM10", "COM2"}));
        QCOMPARE(modelColumn(1), (QStringList{"Dorvik USB", "Dorvik USB", "Dorvik USB"}));
        QCOMPARE(modelColumn(2), (QStringList{"disconnected", "disconnected", "disconnected"}));
        QCOMPARE(added.size(), 3);
        QCOMPARE(activeChanged.size(), 3);
        QCOMPARE(kernel()->GetActiveControllerPort(), QString("COM1"));
        QVERIFY(!(kernel()->GetControllerModel()->item(0, 0)->flags() & Qt::ItemIsEditable));

        auto* duplicate = new TarvoController("COM2", 100000);
        QVERIFY(!kernel()->AddController(duplicate));
        delete duplicate;
        QVERIFY(!kernel()->AddController(nullptr));
        QCOMPARE(kernel()->GetControllerModel()->rowCount(), 3);
        QCOMPARE(kernel()->FindController("COM2")->GetBaudRate(), 115200);
        QVERIFY(kernel()->FindControllerIndex("COM10").isValid());
        QVERIFY(!kernel()->FindControllerIndex("COM4").isValid());
    }

    void removingTheActiveControllerPicksTheLowestPort()
    {
        add("COM5");
        add("COM3");
        add("COM4");
        QSignalSpy activeChanged(kernel(), &KavrixKernel::SignalActiveControllerChanged);
        QSignalSpy removed(kernel(), &KavrixKernel::SignalControllerRemoved);
        kernel()->RemoveController("COM4");
        QCOMPARE(kernel()->GetActiveControllerPort(), QString("COM3"));
        QCOMPARE(activeChanged.size(), 1);
        kernel()->RemoveController("COM5");  // not active: the active one stays
        QCOMPARE(kernel()->GetActiveControllerPort(), QString("COM3"));
        QCOMPARE(activeChanged.size(), 1);
        kernel()->RemoveController("COM3");
        QVERIFY(!kernel()->GetActiveController());
        QCOMPARE(activeChanged.size(), 2);
        QCOMPARE(activeChanged.last().at(0).toString(), QString());
        QCOMPARE(removed.size(), 3);
        QCOMPARE(kernel()->GetControllerModel()->rowCount(), 0);
    }

    void setActiveControllerByUnknownPortClearsIt()
    {
        add("COM3");
        QSignalSpy spy(kernel(), &KavrixKernel::SignalActiveControllerChanged);
        kernel()->SetActiveController(QString("COM3"));
        QCOMPARE(spy.size(), 0);  // unchanged: no signal
        kernel()->SetActiveController(QString("COM9"));
        QVERIFY(!kernel()->GetActiveController());
        QCOMPARE(spy.size(), 1);
    }

    void connectAndDisconnectUpdateTheStateColumn()
    {
        ScriptedPorts ports;
        add("COM3");
        QSignalSpy status(kernel(), &KavrixKernel::SignalUpdateControllerStatus);
        kernel()->ConnectActiveController();
        QVERIFY(kernel()->GetActiveController()->IsConnected());
        QCOMPARE(modelColumn(2), QStringList{"connected"});
        QCOMPARE(status.size(), 1);

        kernel()->ConnectActiveController();  // already connected: nothing at all
        QCOMPARE(status.size(), 1);
        QCOMPARE(ports.device("COM3")->countCalls("TarvoOpenConnectionPort"), 1);

        kernel()->DisconnectActiveController();
        QCOMPARE(modelColumn(2), QStringList{"disconnected"});
        QCOMPARE(status.size(), 2);
        QCOMPARE(ports.device("COM3")->countCalls("TarvoCloseTransfer"), 1);
        QCOMPARE(ports.device("COM3")->countCalls("TarvoCloseConnection"), 1);
    }

    void theNameColumnShowsTheNameReportedOnConnect()
    {
        ScriptedPorts ports;
        ports.device("COM3")->setControllerName("Werkbank 2");
        add("COM3");
        QCOMPARE(modelColumn(1), QStringList{"Dorvik USB"});  // nothing reported yet
        kernel()->ConnectActiveController();
        TarvoController* const c = kernel()->GetActiveController();
        QCOMPARE(c->GetControllerName(), QString("Werkbank 2"));
        QCOMPARE(modelColumn(1), QStringList{"Werkbank 2"});
        QCOMPARE(modelColumn(2), QStringList{"connected"});
    }

    void notificationForADisconnectedControllerLeavesTheWatchdogOff()
    {
        ScriptedPorts ports;
        add("COM3");
        TarvoController* const c = kernel()->GetActiveController();
        QSignalSpy status(kernel(), &KavrixKernel::SignalUpdateControllerStatus);
        StatusNotificationCallback(c->GetPortSettings());
        QVERIFY(status.isEmpty());  // posted, not handled on the caller's stack
        QCoreApplication::sendPostedEvents(kernel());
        QCOMPARE(status.size(), 1);
        QCOMPARE(status.at(0).at(0).toString(), QString("COM3"));
        QVERIFY(!c->IsTimerActive());
    }

    void failedConnectStillEmitsAndStaysDisconnected()
    {
        ScriptedPorts ports;
        ports.device("COM3")->setOpenCode(3);
        add("COM3");
        QSignalSpy status(kernel(), &KavrixKernel::SignalUpdateControllerStatus);
        kernel()->ConnectActiveController();
        QVERIFY(!kernel()->GetActiveController()->IsConnected());
        QCOMPARE(kernel()->GetActiveController()->GetConnectErrorText(),
                 QString("No controller found"));
        QCOMPARE(modelColumn(2), QStringList{"disconnected"});
        QCOMPARE(status.size(), 1);
    }

    void closeAllConnectionsEmitsNothing()
    {
        ScriptedPorts ports;
        add("COM1");
        kernel()->ConnectActiveController();
        add("COM2");
        kernel()->ConnectActiveController();
        add("COM3");
        QSignalSpy status(kernel(), &KavrixKernel::SignalUpdateControllerStatus);
        kernel()->CloseAllConnections();
        QCOMPARE(status.size(), 0);
        QCOMPARE(modelColumn(2), (QStringList{"disconnected", "disconnected", "disconnected"}));
        QVERIFY(!ports.device("COM1")->isOpen());
        QVERIFY(!ports.device("COM2")->isOpen());
    }

    void firmwareConnectionLeavesModelAndSignalsAlone()
    {
        ScriptedPorts ports;
        add("COM3");
        QSignalSpy status(kernel(), &KavrixKernel::SignalUpdateControllerStatus);
        kernel()->ConnectActivController4FirmwareUpdate();
        TarvoController* const c = kernel()->GetActiveController();
        QVERIFY(c->IsConnected());
        QVERIFY(!c->IsTimerActive());
        QCOMPARE(modelColumn(2), QStringList{"disconnected"});
        kernel()->DisconnectActiveControllerNachFirmwareUpdate();
        QVERIFY(!c->IsConnected());
        QCOMPARE(status.size(), 0);
        QCOMPARE(ports.device("COM3")->countCalls("TarvoCloseTransfer"), 0);
    }

    void statusNotificationFromLibraryThreadRefreshesTheController()
    {
        ScriptedPorts ports;
        add("COM3");
        kernel()->ConnectActiveController();
        quenta::StatusReport report;
        report.pos[0] = 1234;
        report.errorCode = 0x13;
        ports.device("COM3")->setStatus(report);
        QSignalSpy status(kernel(), &KavrixKernel::SignalUpdateControllerStatus);
        ports.device("COM3")->notify();
        QVERIFY(status.wait(2000));
        QCOMPARE(status.last().at(0).toString(), QString("COM3"));
        TarvoController* const c = kernel()->GetActiveController();
        QCOMPARE(c->GetStatus().posX, 1234);
        QCOMPARE(c->GetStatus().errorCode, uint8_t(0x13));
        QVERIFY(c->IsTimerActive());
    }

    void unknownPortsAndNullRecordsAreDropped()
    {
        add("COM3");
        QSignalSpy status(kernel(), &KavrixKernel::SignalUpdateControllerStatus);
        TarvoPortSettings stranger;
        InitCommPortSettings(&stranger);
        std::strcpy(stranger.comPort, "COM8");
        std::thread library([&stranger] {
            StatusNotificationCallback(&stranger);
            StatusNotificationCallback(nullptr);
        });
        library.join();
        QCoreApplication::sendPostedEvents(kernel());
        QCOMPARE(status.size(), 0);
    }

    void watchdogRunsOutWhenTheControllerFallsSilent()
    {
        ScriptedPorts ports;
        add("COM3");
        kernel()->ConnectActiveController();
        QSignalSpy timeout(kernel(), &KavrixKernel::SignalTimeoutDisconnect);
        // A report two seconds in moves the deadline: the watchdog runs out three seconds
        // after the last report, not after the connect (timers may be 5 % early).
        QTest::qWait(2000);
        TarvoController* const controller = kernel()->GetActiveController();
        kernel()->OnStatusNotification(controller->GetPortSettings());
        QCoreApplication::sendPostedEvents(kernel());
        QElapsedTimer sinceReport;
        sinceReport.start();
        QVERIFY(timeout.wait(TarvoController::WatchdogIntervalMs + 1500));
        QVERIFY(sinceReport.elapsed() >= TarvoController::WatchdogIntervalMs * 95 / 100);
        QCOMPARE(timeout.size(), 1);
        QCOMPARE(timeout.at(0).at(0).toString(), QString("COM3"));
        // The controller does not disconnect itself.
        QVERIFY(kernel()->GetActiveController()->IsConnected());
    }

    void stopAndRestartAllTimersOnlyTouchConnectedControllers()
    {
        ScriptedPorts ports;
        add("COM1");
        kernel()->ConnectActiveController();
        add("COM2");
        TarvoController* const connected = kernel()->FindController("COM1");
        TarvoController* const idle = kernel()->FindController("COM2");
        kernel()->StopAllTimers();
        QVERIFY(!connected->IsTimerActive());
        kernel()->RestartAllTimers();
        QVERIFY(connected->IsTimerActive());
        QVERIFY(!idle->IsTimerActive());
    }

    void writeCommandFollowsTheDestination()
    {
        QSignalSpy toEdit(kernel(), &KavrixKernel::SignalCommandToEdit);
        QSignalSpy toOutput(kernel(), &KavrixKernel::SignalCommandToOutput);
        kernel()->WriteCommand("GO_REF;");
        kernel()->SetCommandToEditor(true);
        kernel()->WriteCommand("GO_PARK;");
        QCOMPARE(toOutput.size(), 1);
        QCOMPARE(toOutput.at(0).at(0).toString(), QString("GO_REF;"));
        QCOMPARE(toEdit.size(), 1);
        QCOMPARE(toEdit.at(0).at(0).toString(), QString("GO_PARK;"));
    }

    void execDialogWithoutTimersStopsWatchdogsMeanwhile()
    {
        ScriptedPorts ports;
        ScriptedDialogs dialogs;
        add("COM3");
        kernel()->ConnectActiveController();
        TarvoController* const c = kernel()->GetActiveController();
        bool activeDuringDialog = true;
        dialogs.execAnswers.enqueue([&](QDialog*) {
            activeDuringDialog = c->IsTimerActive();
            return int(QDialog::Accepted);
        });
        QDialog dialog;
        QCOMPARE(kernel()->ExecDialogWithoutTimers(&dialog), int(QDialog::Accepted));
        QVERIFY(!activeDuringDialog);
        QVERIFY(c->IsTimerActive());
    }

    // Notifications keep arriving from the library's thread while the kernel is destroyed:
    // no event may reach a freed kernel and no record may be read after its controller died.
    void shutdownWhileNotificationsRace()
    {
        for (int round = 0; round < 5; ++round) {
            ScriptedPorts ports;
            add("COM1");
            kernel()->ConnectActiveController();
            add("COM2");
            kernel()->ConnectActiveController();
            std::atomic<bool> stop{false};
            auto d1 = ports.device("COM1");
            auto d2 = ports.device("COM2");
            std::thread feeder([&] {
                while (!stop.load()) {
                    d1->notify();
                    d2->notify();
                    std::this_thread::yield();
                }
            });
            QTest::qWait(20);
            delete kernel();
            QVERIFY(!KavrixKernel::ExistingInstance());
            stop.store(true);
            feeder.join();
            QVERIFY(!d1->isOpen());  // destroyed while connected: the port was closed first
            QVERIFY(!d2->isOpen());
            QCoreApplication::processEvents();
        }
    }

    void longMessageScrollsAndKeepsItsButtonInReach()
    {
        QStringList lines;
        for (int i = 0; i < 42; ++i)
            lines << QStringLiteral("Parameter %1 konnte nicht übertragen werden").arg(i);
        const QString text = "Fehler bei der Parameterübertragung:\n" + lines.join('\n');
        QVERIFY(!ScrollingMessageBox::IsTooTall(nullptr, "one\ntwo\nthree"));
        QVERIFY(ScrollingMessageBox::IsTooTall(nullptr, text));

        ScrollingMessageBox box(QMessageBox::Critical, "Title", text, QMessageBox::Ok,
                                QMessageBox::NoButton);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY(box.frameGeometry().height() <= screen.height());
        QCOMPARE(box.findChild<QLabel*>("messageText")->text(), text);
        QPushButton* const ok = box.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
        QVERIFY(ok->isVisible());
        QVERIFY(box.rect().contains(QRect(ok->mapTo(&box, QPoint(0, 0)), ok->size())));
        QTest::mouseClick(ok, Qt::LeftButton);
        QVERIFY(!box.isVisible());
        QCOMPARE(box.ClickedButton(), QMessageBox::Ok);
    }
};

QTEST_MAIN(TestKernel)
#include "tst_kernel.moc"
