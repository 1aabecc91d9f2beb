// Controller management from the main window: the controller dialog, add, edit, remove,
// connect, disconnect, the lost connection, and the controller list kept at exit.

#include "mainwndtesting.h"

#include "addeditcontrollerdlg.h"
#include "manualcontrolwnd.h"

#include <QAction>
#include <QBoxLayout>
#include <QDialogButtonBox>
#include <QDockWidget>
#include <QGridLayout>
#include <QGroupBox>
#include <QIntValidator>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTreeView>

class TestControllerFlows : public MainWndTestCase {
    Q_OBJECT

private:
    static QString stateOf(const QString& port)
    {
        return KavrixKernel::Instance()->FindControllerIndex(port).siblingAtColumn(2).data()
            .toString();
    }

private Q_SLOTS:
    void init() { startEnvironment(); }
    void cleanup() { stopEnvironment(); }

    // --- the dialog on its own ---

    void dialogFormHasItsNamesTextsAndLayout()
    {
        TarvoController controller("COM3", 110000);
        AddEditControllerDlg dialog(&controller, true);
        QCOMPARE(dialog.size(), QSize(269, 195));
        QVERIFY(dialog.isModal());
        QVERIFY(dialog.findChild<QVBoxLayout*>("verticalLayout"));
        auto* const group = dialog.findChild<QGroupBox*>("groupBox");
        QVERIFY(group);
        QCOMPARE(group->title(), QString("Communication"));
        QVERIFY(group->findChild<QHBoxLayout*>("horizontalLayout"));
        auto* const grid = group->findChild<QGridLayout*>("gridLayout");
        QVERIFY(grid);
        const auto at = [grid](int row, int column) {
            QLayoutItem* const item = grid->itemAtPosition(row, column);
            return item && item->widget() ? item->widget()->objectName() : QString();
        };
        QCOMPARE(at(0, 0), QString("comPortLabel"));
        QCOMPARE(at(0, 1), QString("comboBoxPort"));
        QCOMPARE(at(1, 0), QString("baudeRateLabel"));
        QCOMPARE(at(1, 1), QString("baudeRateEdit"));

        auto* const portLabel = dialog.findChild<QLabel*>("comPortLabel");
        QCOMPARE(portLabel->text(), QString("COM &port:"));
        QCOMPARE(portLabel->buddy(), dialog.findChild<QComboBox*>("comboBoxPort"));
        QCOMPARE(dialog.findChild<QLabel*>("baudeRateLabel")->text(), QString("Baude rate:"));
        auto* const combo = dialog.findChild<QComboBox*>("comboBoxPort");
        QStringList ports;
        for (int i = 0; i < combo->count(); ++i)
            ports << combo->itemText(i);
        QCOMPARE(ports, QStringList({"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7",
                                     "COM8"}));
        QCOMPARE(combo->currentText(), QString("COM3"));

        auto* const edit = dialog.findChild<QLineEdit*>("baudeRateEdit");
        QCOMPARE(edit->inputMask(), QString());
        QCOMPARE(edit->text(), QString("110000"));
        const auto* const validator = qobject_cast<const QIntValidator*>(edit->validator());
        QVERIFY(validator);
        QCOMPARE(validator->bottom(), 100000);
        QCOMPARE(validator->top(), 120000);

        auto* const status = dialog.findChild<QLabel*>("statusLabel");
        QCOMPARE(status->text(), QString());
        QCOMPARE(status->statusTip(), QString("Shows error messages"));
        QCOMPARE(status->frameShape(), QFrame::WinPanel);
        QCOMPARE(status->frameShadow(), QFrame::Sunken);
        auto* const buttons = dialog.findChild<QDialogButtonBox*>("buttonBox");
        QVERIFY(buttons);
        QCOMPARE(buttons->orientation(), Qt::Horizontal);
        QCOMPARE(buttons->standardButtons(), QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    }

    void addDialogOffersFreePortsOnly()
    {
        registerController("COM1");
        registerController("COM3");
        TarvoController fresh;
        AddEditControllerDlg dialog(&fresh, true);
        auto* const combo = dialog.findChild<QComboBox*>("comboBoxPort");
        auto* const edit = dialog.findChild<QLineEdit*>("baudeRateEdit");
        auto* const status = dialog.findChild<QLabel*>("statusLabel");
        QCOMPARE(dialog.windowTitle(), QString("Add Controller"));
        QCOMPARE(combo->count(), 8);
        QCOMPARE(combo->itemText(7), QString("COM8"));
        // The first port no controller uses is proposed.
        QCOMPARE(combo->currentText(), QString("COM2"));
        QVERIFY(combo->isEnabled());
        QCOMPARE(edit->text(), QString("115200"));
        QCOMPARE(status->toolTip(), QString("Shows error messages"));

        combo->setCurrentIndex(combo->findText("COM3"));
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(status->text(),
                 QString("COM port 'COM3' is already in use. Please select another port"));
        QCOMPARE(dialog.focusWidget(), combo);
        QCOMPARE(fresh.GetComPort(), QString());

        // Choosing another port clears the message; then OK stores port and rate.
        combo->setCurrentIndex(combo->findText("COM4"));
        QCOMPARE(status->text(), QString());
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(fresh.GetComPort(), QString("COM4"));
        QCOMPARE(fresh.GetBaudRate(), 115200);
    }

    void baudRateOutsideTheControllerRangeIsRefused_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::newRow("empty") << "";
        QTest::newRow("too low") << "99999";
        QTest::newRow("too high") << "120001";
        QTest::newRow("intermediate") << "12";
        QTest::newRow("not a number") << "fast";
        QTest::newRow("negative") << "-110000";
        QTest::newRow("overflow") << "99999999999999999999";
    }

    void baudRateOutsideTheControllerRangeIsRefused()
    {
        QFETCH(QString, typed);
        TarvoController controller("COM3", 110000);
        AddEditControllerDlg dialog(&controller, false);
        auto* const edit = dialog.findChild<QLineEdit*>("baudeRateEdit");
        edit->setText(typed);
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(dialog.findChild<QLabel*>("statusLabel")->text(),
                 QString("Baud rate must be between 100000 and 120000"));
        QCOMPARE(dialog.focusWidget(), edit);
        QCOMPARE(controller.GetBaudRate(), 110000);
    }

    void baudRateFieldTakesOnlyWhatTheValidatorAllows()
    {
        TarvoController controller("COM3", 110000);
        AddEditControllerDlg dialog(&controller, false);
        auto* const edit = dialog.findChild<QLineEdit*>("baudeRateEdit");
        edit->clear();
        QTest::keyClicks(edit, "1x2y0000z0");
        QCOMPARE(edit->text(), QString("120000"));
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(controller.GetBaudRate(), 120000);
        // The edges are accepted.
        edit->setText("100000");
        dialog.accept();
        QCOMPARE(controller.GetBaudRate(), 100000);
    }

    // --- the flows ---

    void addRegistersTheChosenPort()
    {
        KavrixMainWnd window;
        ControllerDialogRun run;
        queueControllerDialog(*dialogs, "COM5", "100000", &run);
        window.GetActions().controllerAdd->trigger();

        QCOMPARE(run.title, QString("Add Controller"));
        QVERIFY(run.portEnabled);
        QCOMPARE(run.shownPort, QString("COM1"));
        QCOMPARE(run.shownBaud, QString("115200"));
        KavrixKernel* const kernel = KavrixKernel::Instance();
        TarvoController* const controller = kernel->FindController("COM5");
        QVERIFY(controller);
        QCOMPARE(controller->GetBaudRate(), 100000);
        QCOMPARE(kernel->GetActiveController(), controller);
        QCOMPARE(window.GetControllerTabWidget()->count(), 1);
        QCOMPARE(window.GetControllerTabWidget()->tabText(0), QString("COM5"));
        QVERIFY(outputLines(window).contains("Add controller COM5"));
        QVERIFY(window.GetActions().controllerConnect->isEnabled());
        QCOMPARE(window.GetControllerListView()->currentIndex().data().toString(),
                 QString("COM5"));
    }

    void addCancelledRegistersNothing()
    {
        KavrixMainWnd window;
        dialogs->expectRejectedDialog();
        window.GetActions().controllerAdd->trigger();
        QCOMPARE(dialogs->count("exec"), 1);
        QVERIFY(KavrixKernel::Instance()->GetControllers().isEmpty());
        QCOMPARE(window.GetControllerTabWidget()->count(), 0);
        QVERIFY(!outputLines(window).join('\n').contains("Add controller"));
    }

    void addRunsWithTheWatchdogsStopped()
    {
        TarvoController* const controller = registerController("COM3");
        KavrixKernel::Instance()->ConnectActiveController();
        QVERIFY(controller->IsTimerActive());
        KavrixMainWnd window;
        bool timerActiveDuringDialog = true;
        dialogs->execAnswers.enqueue([&](QDialog*) {
            timerActiveDuringDialog = controller->IsTimerActive();
            return int(QDialog::Rejected);
        });
        window.GetActions().controllerAdd->trigger();
        QVERIFY(!timerActiveDuringDialog);
        QVERIFY(controller->IsTimerActive());
    }

    void addingATakenPortKeepsTheDialogOpen()
    {
        registerController("COM3");
        KavrixMainWnd window;
        ControllerDialogRun run;
        queueControllerDialog(*dialogs, "COM3", "100000", &run);
        window.GetActions().controllerAdd->trigger();
        QCOMPARE(run.statusText,
                 QString("COM port 'COM3' is already in use. Please select another port"));
        QCOMPARE(run.focusName, QString("comboBoxPort"));
        QCOMPARE(KavrixKernel::Instance()->GetControllers().size(), 1);
        QCOMPARE(KavrixKernel::Instance()->FindController("COM3")->GetBaudRate(), 115200);
    }

    void editChangesTheBaudRateOnly()
    {
        registerController("COM1");
        TarvoController* const com3 = registerController("COM3");
        KavrixMainWnd window;
        dialogs->expectRejectedDialog();
        window.GetActions().controllerEdit->trigger();  // cancelled: nothing changes
        QVERIFY(!outputLines(window).join('\n').contains("Edit active controller"));
        ControllerDialogRun run;
        queueControllerDialog(*dialogs, "COM1", "110000", &run);
        window.GetActions().controllerEdit->trigger();

        QCOMPARE(run.title, QString("Edit Controller Connection Settings"));
        QVERIFY(!run.portEnabled);
        QCOMPARE(run.shownPort, QString("COM3"));
        QCOMPARE(run.shownBaud, QString("115200"));
        // The (disabled) combo was changed behind the operator's back: the port stays.
        QCOMPARE(com3->GetComPort(), QString("COM3"));
        QCOMPARE(com3->GetBaudRate(), 110000);
        QVERIFY(outputLines(window).contains("Edit active controller COM3"));
    }

    void controllerSlotsWithoutControllerDoNothing()
    {
        KavrixMainWnd window;
        window.SlotControllerEdit();
        window.SlotControllerRemove();
        window.SlotControllerConnect();
        window.SlotControllerDisconnect();
        QCOMPARE(dialogs->shown.size(), 0);
        QCOMPARE(outputLines(window), QStringList({"Active controller changed: "}));
    }

    void removeDisconnectsFirstAndActivatesTheLowestPort_data()
    {
        QTest::addColumn<QString>("removed");
        QTest::newRow("middle") << "COM3";
        QTest::newRow("last") << "COM5";
        QTest::newRow("first") << "COM1";
    }

    void removeDisconnectsFirstAndActivatesTheLowestPort()
    {
        QFETCH(QString, removed);
        registerController("COM1");
        registerController("COM3");
        registerController("COM5");
        KavrixKernel* const kernel = KavrixKernel::Instance();
        KavrixMainWnd window;
        kernel->SetActiveController(removed);
        kernel->ConnectActiveController();
        QVERIFY(kernel->GetActiveController()->IsConnected());
        auto device = ports->device(removed.toStdString());
        device->clearCalls();

        dialogs->buttonAnswers.enqueue(QMessageBox::Yes);
        window.GetActions().controllerRemove->trigger();
        QCOMPARE(dialogs->count("question"), 1);
        QCOMPARE(device->countCalls("TarvoCloseConnection"), 1);
        QVERIFY(!device->isOpen());
        QVERIFY(!kernel->FindController(removed));
        QVERIFY(!kernel->FindControllerIndex(removed).isValid());
        QTabWidget* const tabs = window.GetControllerTabWidget();
        QCOMPARE(tabs->count(), 2);
        QCOMPARE(window.FindControllerTab(removed), -1);
        const QString lowest = removed == "COM1" ? "COM3" : "COM1";
        QCOMPARE(kernel->GetActiveControllerPort(), lowest);
        QCOMPARE(tabs->tabText(tabs->currentIndex()), lowest);
        QCOMPARE(window.GetControllerListView()->currentIndex().siblingAtColumn(0).data()
                     .toString(),
                 lowest);
        QVERIFY(outputLines(window).contains("Remove active controller " + removed));
        QCOMPARE(dialogs->shown.size(), 1);
    }

    void removingAConnectedControllerAsksFirst()
    {
        TarvoController* const controller = registerController("COM3");
        KavrixMainWnd window;
        KavrixKernel::Instance()->ConnectActiveController();
        dialogs->buttonAnswers.enqueue(QMessageBox::No);
        window.GetActions().controllerRemove->trigger();

        QCOMPARE(dialogs->shown.size(), 1);
        const ScriptedDialogs::Shown& box = dialogs->shown.first();
        QCOMPARE(box.kind, QString("question"));
        QCOMPARE(box.text, QString("Controller on COM3 is connected. Disconnect and remove it?"));
        QCOMPARE(box.buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(box.defaultButton, QMessageBox::No);
        // No: the machine keeps its panel, its connection and its list row.
        QCOMPARE(KavrixKernel::Instance()->FindController("COM3"), controller);
        QVERIFY(controller->IsConnected());
        QCOMPARE(window.GetControllerTabWidget()->count(), 1);
        QVERIFY(!outputLines(window).contains("Remove active controller COM3"));
    }

    void deleteKeyRemovesOnlyFromTheControllerList()
    {
        registerController("COM3");
        KavrixMainWnd window;
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTextEdit* const log = window.GetOutputLog();
        log->setFocus();
        QTest::keyClick(log, Qt::Key_Delete);
        QVERIFY(KavrixKernel::Instance()->FindController("COM3"));

        QTreeView* const list = window.GetControllerListView();
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Delete);
        QVERIFY(!KavrixKernel::Instance()->FindController("COM3"));
        QCOMPARE(dialogs->shown.size(), 0);  // disconnected: removed without a question
    }

    void removingTheLastControllerLeavesNothingActive()
    {
        registerController("COM3");
        KavrixMainWnd window;
        window.GetActions().controllerRemove->trigger();
        QCOMPARE(KavrixKernel::Instance()->GetActiveController(), nullptr);
        QCOMPARE(window.GetControllerTabWidget()->count(), 0);
        QVERIFY(!window.GetActions().controllerRemove->isEnabled());
        QVERIFY(!window.GetActions().controllerConnect->isEnabled());
        QCOMPARE(window.GetActiveControllerDock()->windowTitle(), QString("Active Controller"));
    }

    void connectSucceedsQuietly()
    {
        TarvoController* const controller = registerController("COM3");
        KavrixMainWnd window;
        window.GetActions().controllerConnect->trigger();
        QVERIFY(controller->IsConnected());
        QCOMPARE(dialogs->count("critical"), 0);
        QCOMPARE(stateOf("COM3"), QString("connected"));
        QVERIFY(!window.GetActions().controllerConnect->isEnabled());
        QVERIFY(window.GetActions().controllerDisconnect->isEnabled());
        QVERIFY(window.GetActions().ramProgrammWrite->isEnabled());
        QCOMPARE(window.GetActiveControllerDock()->windowTitle(),
                 QString("Active Controller: COM3 - connected"));

        window.GetActions().controllerDisconnect->trigger();
        QVERIFY(!controller->IsConnected());
        QCOMPARE(stateOf("COM3"), QString("disconnected"));
        QVERIFY(window.GetActions().controllerConnect->isEnabled());
        QVERIFY(!window.GetActions().controllerDisconnect->isEnabled());
        QCOMPARE(window.GetActiveControllerDock()->windowTitle(),
                 QString("Active Controller: COM3"));
    }

    void actionsAndTheirAnswersAreLoggedWithTheTime()
    {
        registerController("COM3");
        KavrixMainWnd window;
        window.GetActions().controllerConnect->trigger();
        ManualControlWnd* const panel = window.GetControlPanel(0);
        QVERIFY(panel);
        panel->findChild<QPushButton*>(QStringLiteral("NotHaltMitBremsenButton"))->click();
        ports->device("COM3")->queueResult("Referenzfahrt", 0);
        panel->findChild<QPushButton*>(QStringLiteral("ReferenzfahrtButton"))->click();
        // The refused run does not leave the status bar saying the axes are being referenced.
        QCOMPARE(window.statusBar()->currentMessage(),
                 QString("Reference run refused by the controller"));
        // An error the controller raises is logged once, whether or not it is the active one.
        quenta::StatusReport report;
        report.errorCode = 0x99;
        ports->device("COM3")->setStatus(report);
        for (int i = 0; i < 2; ++i) {
            UpdateControllerStatusEvent event(QStringLiteral("COM3"));
            QCoreApplication::sendEvent(KavrixKernel::Instance(), &event);
        }
        window.GetActions().controllerDisconnect->trigger();
        QCOMPARE(stampedLines(window),
                 (QStringList{"COM3: connected to Dorvik USB",
                              "COM3: parameters read from the controller", "COM3: Not Halt sent",
                              "COM3: Referenzfahrt refused by the controller",
                              "COM3: controller error 0x99 : Notstop der Achsen",
                              "COM3: disconnected"}));
        // The specified lines keep their exact form, without the time.
        QVERIFY(outputLines(window).contains("GO_REF;"));
    }

    void failedConnectNamesTheReason_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("reason");
        QTest::newRow("cannot open") << 1 << "Error open COM port";
        QTest::newRow("no answer") << 3 << "No controller found";
        QTest::newRow("name") << 4 << "No controller with given name is found";
    }

    void failedConnectNamesTheReason()
    {
        QFETCH(int, code);
        QFETCH(QString, reason);
        ports->device("COM3")->setOpenCode(code);
        TarvoController* const controller = registerController("COM3");
        KavrixMainWnd window;
        dialogs->expectBox();
        window.GetActions().controllerConnect->trigger();
        QVERIFY(!controller->IsConnected());
        QCOMPARE(dialogs->shown.size(), 1);
        QCOMPARE(dialogs->shown[0].kind, QString("critical"));
        QCOMPARE(dialogs->shown[0].title, QString("Connecting to Controller"));
        QCOMPARE(dialogs->shown[0].text, "Connection to controller on COM3 failed:\n" + reason);
        QCOMPARE(dialogs->shown[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QVERIFY(window.GetActions().controllerConnect->isEnabled());
        QCOMPARE(stateOf("COM3"), QString("disconnected"));
        // Nothing but the open was tried on a port that did not open.
        QCOMPARE(ports->device("COM3")->countCalls("ParameterLesen"), 0);
    }

    void lostConnectionIsReportedForConnectedControllersOnly()
    {
        TarvoController* const controller = registerController("COM3");
        registerController("COM5");
        KavrixKernel* const kernel = KavrixKernel::Instance();
        KavrixMainWnd window;
        kernel->SetActiveController(QString("COM3"));
        kernel->ConnectActiveController();

        Q_EMIT kernel->SignalTimeoutDisconnect("COM5");  // registered, not connected
        Q_EMIT kernel->SignalTimeoutDisconnect("COM7");  // not registered
        Q_EMIT kernel->SignalTimeoutDisconnect(QString());
        QCOMPARE(dialogs->shown.size(), 0);

        dialogs->expectBox();
        Q_EMIT kernel->SignalTimeoutDisconnect("COM3");
        QVERIFY(!controller->IsConnected());
        QCOMPARE(stateOf("COM3"), QString("disconnected"));
        QCOMPARE(dialogs->shown.size(), 1);
        QCOMPARE(dialogs->shown[0].kind, QString("critical"));
        QCOMPARE(dialogs->shown[0].title, QString("Connection Lost Error"));
        QCOMPARE(dialogs->shown[0].text,
                 QString("Connection to controller on COM3 is lost.\n"
                         "Disconnecting from the controller."));
        QVERIFY(window.GetActions().controllerConnect->isEnabled());

        // A second expiry after the disconnect shows nothing more.
        Q_EMIT kernel->SignalTimeoutDisconnect("COM3");
        QCOMPARE(dialogs->shown.size(), 1);
    }

    void silentControllerIsDisconnectedByItsWatchdog()
    {
        TarvoController* const controller = registerController("COM3");
        KavrixMainWnd window;
        window.GetActions().controllerConnect->trigger();
        QVERIFY(controller->IsConnected());
        dialogs->clear();
        // The scripted device never reports status: the 3000 ms watchdog runs out.
        dialogs->expectBox();
        QTRY_VERIFY_WITH_TIMEOUT(!controller->IsConnected(), kWatchdogTimeoutMs);
        QCOMPARE(dialogs->count("critical"), 1);
        QCOMPARE(dialogs->shown.last().title, QString("Connection Lost Error"));
    }

    void controllerListIsStoredAtExitAndRestored()
    {
        {
            KavrixMainWnd window;
            queueControllerDialog(*dialogs, "COM4", "100000");
            window.GetActions().controllerAdd->trigger();
            queueControllerDialog(*dialogs, "COM2", "120000");
            window.GetActions().controllerAdd->trigger();
            queueControllerDialog(*dialogs, "COM7", "110000");
            window.GetActions().controllerAdd->trigger();
            window.GetActions().controllerRemove->trigger();  // COM7, the active one
            window.GetControllerTabWidget()->setCurrentIndex(window.FindControllerTab("COM4"));
            queueControllerDialog(*dialogs, QString(), "115200");
            window.GetActions().controllerEdit->trigger();
            window.GetActions().controllerConnect->trigger();
            QVERIFY(window.close());
        }
        delete KavrixKernel::ExistingInstance();

        QSettings settings;
        QCOMPARE(settings.value("controllers").toStringList(),
                 QStringList({"COM2:120000", "COM4:115200"}));
        QCOMPARE(settings.value("ActiveController").toString(), QString("COM4"));

        KavrixKernel::Instance()->ReadSettings();
        KavrixMainWnd window;
        QCOMPARE(window.GetControllerTabWidget()->count(), 2);
        QCOMPARE(KavrixKernel::Instance()->GetActiveControllerPort(), QString("COM4"));
        QCOMPARE(KavrixKernel::Instance()->FindController("COM2")->GetBaudRate(), 120000);
        QVERIFY(!KavrixKernel::Instance()->FindController("COM4")->IsConnected());
    }
};

QTEST_MAIN(TestControllerFlows)
#include "tst_controllerflows.moc"
