// RAM programs from the main window: writing the current editor into a chosen slot, and
// starting a slot with a repeat count through the RAM program dialog.

#include "mainwndtesting.h"

#include "ramprogrammdlg.h"
#include "tarvoprogedit.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>

namespace {

// What the RAM program dialog showed before it was answered.
struct RamDialogRun {
    QString title;
    QStringList items;
    QString current;
    int value = -1;
    QString shownValue;
    int minimum = -1;
    int maximum = -1;
};

// Queues an answer for the next RAM program dialog: choose ram and count, then OK (or
// Cancel when ram is empty).
void queueRamDialog(ScriptedDialogs& dialogs, const QString& ram, int count,
                    RamDialogRun* run = nullptr)
{
    dialogs.execAnswers.enqueue([ram, count, run](QDialog* dialog) {
        auto* const combo =
            dialog->findChild<QComboBox*>(QStringLiteral("ramProgrammNumberComboBox"));
        auto* const spin =
            dialog->findChild<QSpinBox*>(QStringLiteral("ramProgrammStartsNumberSpinBox"));
        if (!combo || !spin)
            return int(QDialog::Rejected);
        if (run) {
            run->title = dialog->windowTitle();
            for (int i = 0; i < combo->count(); ++i)
                run->items << combo->itemText(i);
            run->current = combo->currentText();
            run->value = spin->value();
            run->shownValue = spin->text();
            run->minimum = spin->minimum();
            run->maximum = spin->maximum();
        }
        if (ram.isEmpty()) {
            dialog->reject();
        } else {
            combo->setCurrentIndex(combo->findText(ram));
            spin->setValue(count);
            dialog->accept();
        }
        return dialog->result();
    });
}

}  // namespace

class TestRamProgrammFlow : public MainWndTestCase {
    Q_OBJECT

private:
    std::shared_ptr<quenta::ScriptedDevice> device;

    // COM3 registered, connected and active; its device's call log cleared.
    TarvoController* connectedController()
    {
        TarvoController* const controller = registerController("COM3");
        KavrixKernel::Instance()->ConnectActiveController();
        device = ports->device("COM3");
        device->clearCalls();
        return controller;
    }

private Q_SLOTS:
    void init() { startEnvironment(); }

    void cleanup()
    {
        device.reset();
        stopEnvironment();
    }

    void writeGoesIntoTheChosenSlot()
    {
        connectedController();
        KavrixMainWnd window;
        window.CurrentEditor()->setPlainText("GO_PARK;\nWAIT 100;");
        dialogs->itemAnswers.enqueue("RAM3");
        window.GetActions().ramProgrammWrite->trigger();

        QCOMPARE(dialogs->count("item"), 1);
        const ScriptedDialogs::Shown& item = dialogs->shown.first();
        QCOMPARE(item.title, QString("Select RAM"));
        QCOMPARE(item.text, QString("RAM number to store programm"));
        QCOMPARE(item.items, QStringList({"RAM1", "RAM2", "RAM3", "RAM4"}));
        QCOMPARE(device->countCalls("LoadRAMprogramm(3)"), 1);
        QCOMPARE(device->countCalls("ParkPositionAnfahren"), 1);
        QCOMPARE(device->countCalls("HaltePosition(100)"), 1);
        QCOMPARE(window.statusBar()->currentMessage(),
                 QString("RAM-Programmübertragung ist abgeschlossen."));
        QCOMPARE(dialogs->shown.size(), 1);
    }

    void failedTransferCallStopsAndIsReported_data()
    {
        QTest::addColumn<QString>("failing");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("waitCalls");
        QTest::newRow("line 3") << "HaltePosition" << "Error: RAM-Programm transfer failed at line 3."
                                << 1;
        QTest::newRow("slot") << "LoadRAMprogramm" << "Error: RAM-Programm transfer failed." << 0;
    }

    void failedTransferCallStopsAndIsReported()
    {
        QFETCH(QString, failing);
        QFETCH(QString, message);
        QFETCH(int, waitCalls);
        connectedController();
        KavrixMainWnd window;
        window.CurrentEditor()->setPlainText("GO_PARK;\n// pause\nWAIT 100;\nWAIT 200;");
        // The port drops under the transfer: the first call of that kind fails.
        device->queueResult(failing.toStdString(), 0);
        dialogs->itemAnswers.enqueue("RAM2");
        dialogs->expectBox();
        window.GetActions().ramProgrammWrite->trigger();

        QVERIFY(outputLines(window).contains(message));
        QCOMPARE(device->countCalls("HaltePosition"), waitCalls);  // nothing after the failure
        QCOMPARE(device->calls().back(), std::string("BetriebsArtenWechsel(2)"));
        QCOMPARE(dialogs->count("warning"), 1);
        QCOMPARE(dialogs->shown.last().text, QString("RAM-Programm enthält Fehler."));
        QVERIFY(window.statusBar()->currentMessage()
                != QString("RAM-Programmübertragung ist abgeschlossen."));
    }

    void programWithErrorsGoesToTheLogAndWarns()
    {
        connectedController();
        KavrixMainWnd window;
        window.CurrentEditor()->clear();
        dialogs->itemAnswers.enqueue("RAM1");
        dialogs->expectBox();
        window.GetActions().ramProgrammWrite->trigger();

        QVERIFY(outputLines(window).contains("Error: RAM-Programm is empty."));
        QCOMPARE(dialogs->count("warning"), 1);
        QCOMPARE(dialogs->shown.last().title, QString("RAMProgrammWrite"));
        QCOMPARE(dialogs->shown.last().text, QString("RAM-Programm enthält Fehler."));
        QCOMPARE(device->countCalls("LoadRAMprogramm"), 0);
        QCOMPARE(window.statusBar()->currentMessage(), QString("Ready"));

        // Several messages form one log entry, one line each.
        window.CurrentEditor()->setPlainText("NOPE;\nWAIT;\n");
        const int before = outputLines(window).size();
        dialogs->itemAnswers.enqueue("RAM2");
        dialogs->expectBox();
        window.GetActions().ramProgrammWrite->trigger();
        QVERIFY(outputLines(window).size() >= before + 2);
        QCOMPARE(dialogs->count("warning"), 2);
        QCOMPARE(device->countCalls("LoadRAMprogramm"), 0);
    }

    void writeStopsBeforeTheControllerIsTouched()
    {
        KavrixMainWnd window;
        window.SlotRAMProgrammWrite();  // no controller at all
        QCOMPARE(dialogs->shown.size(), 0);

        registerController("COM3");
        dialogs->expectBox();
        window.SlotRAMProgrammWrite();  // not connected
        QCOMPARE(dialogs->shown.size(), 1);
        QCOMPARE(dialogs->shown[0].title, QString("Connecting to Controller"));
        QCOMPARE(dialogs->shown[0].text, QString("Controller on COM3 isn't connected.\n"));
        QCOMPARE(dialogs->count("item"), 0);
    }

    void pendingErrorMustBeAcknowledgedFirst()
    {
        TarvoController* const controller = connectedController();
        controller->GetStatus().errorCode = 0x99;
        KavrixMainWnd window;
        window.CurrentEditor()->setPlainText("GO_PARK;");
        dialogs->buttonAnswers.enqueue(QMessageBox::No);
        window.GetActions().ramProgrammWrite->trigger();
        QCOMPARE(dialogs->count("question"), 1);
        QCOMPARE(dialogs->shown[0].title, QString("SlotRAMProgrammWrite"));
        QCOMPARE(dialogs->count("item"), 0);
        QVERIFY(device->calls().empty());

        dialogs->buttonAnswers.enqueue(QMessageBox::Yes);
        dialogs->itemAnswers.enqueue("RAM2");
        window.GetActions().ramProgrammWrite->trigger();
        QCOMPARE(device->countCalls("FehlerQuitieren"), 1);
        QCOMPARE(device->countCalls("LoadRAMprogramm(2)"), 1);
        QCOMPARE(device->calls().front(), std::string("FehlerQuitieren()"));

        // The start asks under the same title.
        dialogs->buttonAnswers.enqueue(QMessageBox::No);
        window.GetActions().ramProgrammStart->trigger();
        QCOMPARE(dialogs->shown.last().title, QString("SlotRAMProgrammWrite"));
        QCOMPARE(dialogs->count("exec"), 0);
    }

    void writeWithoutEditorTabShowsNothing()
    {
        connectedController();
        KavrixMainWnd window;
        window.GetActions().fileClose->trigger();
        window.GetActions().ramProgrammWrite->trigger();
        QCOMPARE(dialogs->shown.size(), 0);
        QVERIFY(device->calls().empty());
    }

    void cancelledSlotChoiceWritesNothing()
    {
        connectedController();
        KavrixMainWnd window;
        window.CurrentEditor()->setPlainText("GO_PARK;");
        dialogs->expectCancelledItem();
        window.GetActions().ramProgrammWrite->trigger();
        QCOMPARE(dialogs->count("item"), 1);
        QVERIFY(device->calls().empty());
        dialogs->itemAnswers.enqueue("");  // confirmed, but empty
        window.GetActions().ramProgrammWrite->trigger();
        QVERIFY(device->calls().empty());
    }

    void startDialogFormHasItsNamesTextsAndLayout()
    {
        RamProgrammDlg dialog;
        QCOMPARE(dialog.objectName(), QString("RamProgrammDlgClass"));
        QCOMPARE(dialog.windowTitle(), QString("RamProgrammDlg"));
        QCOMPARE(dialog.size(), QSize(217, 95));
        auto* const outer = dialog.findChild<QGridLayout*>("gridLayout_2");
        auto* const inner = dialog.findChild<QGridLayout*>("gridLayout");
        QVERIFY(outer && inner);
        QCOMPARE(outer->spacing(), 6);
        QCOMPARE(outer->contentsMargins(), QMargins(11, 11, 11, 11));
        QCOMPARE(inner->spacing(), 6);
        int row = -1, column = -1, rowSpan = 0, columnSpan = 0;
        outer->getItemPosition(outer->indexOf(inner), &row, &column, &rowSpan, &columnSpan);
        QCOMPARE(QList<int>({row, column, rowSpan, columnSpan}), QList<int>({0, 0, 1, 2}));
        const auto at = [](QGridLayout* grid, int r, int c) {
            QLayoutItem* const item = grid->itemAtPosition(r, c);
            return item && item->widget() ? item->widget()->objectName() : QString();
        };
        QCOMPARE(at(inner, 0, 0), QString("ramProgrammNumberLabel"));
        QCOMPARE(at(inner, 0, 1), QString("ramProgrammNumberComboBox"));
        QCOMPARE(at(inner, 1, 0), QString("ramProgrammNumberLabel_2"));
        QCOMPARE(at(inner, 1, 1), QString("ramProgrammStartsNumberSpinBox"));
        QCOMPARE(at(outer, 1, 1), QString("ramProgrammButtonBox"));
        QVERIFY(outer->itemAtPosition(1, 0) && outer->itemAtPosition(1, 0)->spacerItem());
        QCOMPARE(dialog.findChild<QLabel*>("ramProgrammNumberLabel")->text(),
                 QString("Programm Nummer"));
        QCOMPARE(dialog.findChild<QLabel*>("ramProgrammNumberLabel_2")->text(),
                 QString("Anzahl Start"));
        QCOMPARE(dialog.findChild<QDialogButtonBox*>("ramProgrammButtonBox")->standardButtons(),
                 QDialogButtonBox::Ok | QDialogButtonBox::Cancel);

        // Nothing is chosen before OK; OK keeps what the form shows; Cancel leaves it empty.
        QCOMPARE(dialog.GetRamProgrammNumber(), QString());
        dialog.findChild<QComboBox*>("ramProgrammNumberComboBox")->setCurrentIndex(2);
        dialog.findChild<QSpinBox*>("ramProgrammStartsNumberSpinBox")->setValue(17);
        dialog.reject();
        QCOMPARE(dialog.GetRamProgrammNumber(), QString());
        dialog.accept();
        QCOMPARE(dialog.GetRamProgrammNumber(), QString("RAM3"));
        QCOMPARE(dialog.GetStartsNumber(), 17);
    }

    void startDialogStartsFreshEveryTime()
    {
        connectedController();
        KavrixMainWnd window;
        RamDialogRun first;
        queueRamDialog(*dialogs, "RAM4", 255, &first);
        window.GetActions().ramProgrammStart->trigger();
        QCOMPARE(first.title, QString("Select RAM"));
        QCOMPARE(first.items, QStringList({"RAM1", "RAM2", "RAM3", "RAM4"}));
        QCOMPARE(first.current, QString("RAM1"));
        QCOMPARE(first.value, 0);
        QCOMPARE(first.shownValue, QString("unendlich"));
        QCOMPARE(first.minimum, 0);
        QCOMPARE(first.maximum, 255);
        QCOMPARE(device->calls(), std::vector<std::string>({"StartRAMprogramm(4,255)"}));

        RamDialogRun second;
        queueRamDialog(*dialogs, "RAM1", 0, &second);
        window.GetActions().ramProgrammStart->trigger();
        QCOMPARE(second.current, QString("RAM1"));
        QCOMPARE(second.value, 0);
        QCOMPARE(device->calls().back(), std::string("StartRAMprogramm(1,0)"));
        QCOMPARE(dialogs->count("warning") + dialogs->count("critical"), 0);
    }

    void startAndEndAreLogged()
    {
        connectedController();
        KavrixMainWnd window;
        queueRamDialog(*dialogs, "RAM2", 5);
        window.GetActions().ramProgrammStart->trigger();
        QCOMPARE(stampedLines(window).last(), QString("COM3: RAM2 started, passes: 5"));

        // An end comes with a status report: a program stopped early says why.
        quenta::RamRunEnd end;
        end.run = {2, 3, 5};
        end.errorCode = 0x99;
        end.reason = "emergency stop (Not Halt)";
        device->queueRamRunEnd(end);
        end = quenta::RamRunEnd();
        end.run = {1, 2, 2};
        end.completed = true;
        device->queueRamRunEnd(end);
        UpdateControllerStatusEvent event(QStringLiteral("COM3"));
        QCoreApplication::sendEvent(KavrixKernel::Instance(), &event);
        const QStringList lines = stampedLines(window);
        QCOMPARE(lines.mid(lines.size() - 2),
                 (QStringList{"COM3: RAM2 stopped in pass 3 of 5: 0x99 : Notstop der Achsen; "
                              "emergency stop (Not Halt)",
                              "COM3: RAM1 finished, passes: 2"}));
    }

    void cancelledStartSendsNothing()
    {
        connectedController();
        KavrixMainWnd window;
        queueRamDialog(*dialogs, QString(), 0);
        window.GetActions().ramProgrammStart->trigger();
        QCOMPARE(dialogs->count("exec"), 1);
        QVERIFY(device->calls().empty());
    }

    void connectionLostWhileChoosingSendsNothing()
    {
        connectedController();
        KavrixMainWnd window;
        dialogs->execAnswers.enqueue([](QDialog* dialog) {
            Q_EMIT KavrixKernel::Instance()->SignalTimeoutDisconnect("COM3");
            dialog->accept();
            return dialog->result();
        });
        dialogs->expectBox();  // the lost connection
        dialogs->expectBox();  // and the refusal to send
        window.GetActions().ramProgrammStart->trigger();
        QCOMPARE(device->countCalls("StartRAMprogramm"), 0);
        QCOMPARE(dialogs->count("critical"), 1);  // the lost connection
        QCOMPARE(dialogs->count("warning"), 1);   // and the refusal to send
    }

};

QTEST_MAIN(TestRamProgrammFlow)
#include "tst_ramprogrammflow.moc"
