// The job panel in the main window, on the in-process simulated controller: a job runs to its
// end with its progress and log, a refused program never starts, pause, resume and stop, a
// tool change waits for Continue, and quitting while a job runs asks and stops it. On a GRBL
// peer: the check is the firmware's own dry run, and an alarm ends the job as an alarm.

#include "mainwndtesting.h"

#include "filejob.h"
#include "grblpeer.h"
#include "jobdocument.h"
#include "jobhistory.h"
#include "jobhistorywnd.h"
#include "jobpanel.h"
#include "jobs.h"

#include <QListWidget>
#include <QTableWidget>
#include "simdevice.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

namespace {

constexpr int JobTimeoutMs = 20000;

// count moves of step mm along X at feed mm/min, relative.
QByteArray moves(int count, const char* step, int feed)
{
    QByteArray text = "G21 G91 F" + QByteArray::number(feed) + "\n";
    for (int i = 0; i < count; ++i)
        text += QByteArray("G1 X") + step + "\n";
    return text;
}

}  // namespace

class TestJobPanel : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ScriptedDialogs> dialogs;
    std::unique_ptr<KavrixMainWnd> window;
    std::unique_ptr<QTemporaryDir> dir;
    TarvoController* controller = nullptr;
    JobPanel* panel = nullptr;

    JobDocument* document(const QByteArray& text)
    {
        const QString path = dir->filePath(QStringLiteral("part.nc"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
            return nullptr;
        file.close();
        auto* const doc = new JobDocument(path, window.get());
        if (!doc->loadNow())
            return nullptr;
        panel->setDocument(doc);
        return doc;
    }
    QPushButton* button(const char* name) const
    {
        return panel->findChild<QPushButton*>(QString::fromLatin1(name));
    }
    QString text(const char* name) const
    {
        return panel->findChild<QLabel*>(QString::fromLatin1(name))->text();
    }
    quenta::JobState state() const
    {
        return quenta::jobProgress(controller->GetPortSettings()).state;
    }
    bool logged(const QString& pattern) const
    {
        const QRegularExpression re(pattern);
        const QStringList lines = stampedLines(*window);
        return std::any_of(lines.begin(), lines.end(),
                           [&re](const QString& line) { return re.match(line).hasMatch(); });
    }
    // COM7 served by the GRBL peer, connected and active.
    void connectGrbl(GrblPtyServer& server)
    {
        QSettings(QStringLiteral("lumbrix"), QStringLiteral("Quenta"))
            .setValue(QStringLiteral("ports/COM7"),
                      QStringLiteral("grbl:") + QString::fromStdString(server.path()));
        controller = registerController(QStringLiteral("COM7"));
        KavrixKernel::Instance()->ConnectActiveController();
        QVERIFY(controller->IsConnected());
        QCOMPARE(panel->controller(), QStringLiteral("COM7"));
    }
    // Start answering the question about the machine not referenced (the simulated one is not).
    void startUnreferenced()
    {
        dialogs->expectBox(QMessageBox::Yes);
        button("jobStartButton")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!panel->isBusy(), JobTimeoutMs);
    }

private Q_SLOTS:
    void init()
    {
        initTestSettings();
        dialogs = std::make_unique<ScriptedDialogs>();
        dir = std::make_unique<QTemporaryDir>();
        quenta::SimDevice::forgetPorts();  // unmapped ports: a fresh simulated controller
        controller = registerController(QStringLiteral("COM3"));
        KavrixKernel::Instance()->ConnectActiveController();
        QVERIFY(controller->IsConnected());
        window = std::make_unique<KavrixMainWnd>();
        panel = window->GetJobPanel();
        QCOMPARE(panel->controller(), QStringLiteral("COM3"));
    }

    void cleanup()
    {
        if (panel && controller)
            panel->stopAll(JobTimeoutMs);
        window.reset();
        delete KavrixKernel::ExistingInstance();
        dialogs.reset();
        dir.reset();
        quenta::SimDevice::forgetPorts();
    }

    void jobRunsToCompletedWithProgressAndLog()
    {
        JobDocument* const doc = document(moves(10, "0.5", 3000));
        QVERIFY(doc);
        QSignalSpy runs(doc, &JobDocument::runChanged);
        startUnreferenced();
        QCOMPARE(dialogs->shown.first().kind, QStringLiteral("question"));
        QVERIFY(dialogs->shown.first().text.startsWith(QStringLiteral("COM3 is not referenced")));
        QCOMPARE(doc->runningOn(), QStringLiteral("COM3"));

        QTRY_COMPARE_WITH_TIMEOUT(panel->banner(), JobPanel::Banner::Completed, JobTimeoutMs);
        auto* const bar = panel->findChild<QProgressBar*>(QStringLiteral("jobProgressBar"));
        QCOMPARE(bar->maximum(), 11);
        QCOMPARE(bar->value(), 11);
        QCOMPARE(doc->linesDone(), 11u);
        QVERIFY(!doc->isRunning());
        QCOMPARE(runs.count(), 2);
        QTRY_COMPARE_WITH_TIMEOUT(controller->GetStatus().posX, 500, kUiTimeoutMs);  // 100 steps per mm
        QVERIFY(logged(QStringLiteral("^COM3: part.nc started, 11 lines \\(estimated \\d+:\\d\\d\\)$")));
        QVERIFY(logged(QStringLiteral("^COM3: part.nc completed in \\d+:\\d\\d \\(estimated \\d+:\\d\\d\\)$")));
        QVERIFY(button("jobStartButton")->isEnabled());

        // The run is in the job history, newest first.
        const JobHistory::Run recorded = window->GetJobHistory()->runs().value(0);
        QCOMPARE(recorded.port, QStringLiteral("COM3"));
        QCOMPARE(recorded.filePath, doc->path());
        QCOMPARE(recorded.sha256.size(), 64);
        QCOMPARE(recorded.result, JobHistory::Result::Completed);
        QCOMPARE(recorded.linesDone, 11u);
        QCOMPARE(recorded.linesTotal, 11u);
        QVERIFY(recorded.estimatedSeconds > 0);
        QVERIFY(window->GetJobHistoryWnd()->table()->rowCount() >= 1);
    }

    // One job on several machines: each started and recorded, a machine that cannot take it
    // named once and left out.
    void runOnMachinesStartsEachAndNamesTheOnesLeftOut()
    {
        KavrixKernel* const kernel = KavrixKernel::Instance();
        for (const char* p : {"COM4", "COM5"}) {
            QVERIFY(registerController(QString::fromLatin1(p)));
            kernel->SetActiveController(QString::fromLatin1(p));
            kernel->ConnectActiveController();
        }
        // COM5 is busy with a job of its own.
        TarvoController* const busy = kernel->FindController(QStringLiteral("COM5"));
        gcode::Program::Options options;
        QVERIFY(quenta::jobProgramOptions(busy->GetPortSettings(), options));
        auto other = std::make_shared<const gcode::Program>(moves(400, "0.5", 600).toStdString(),
                                                            options);
        QVERIFY(quenta::startJob(busy->GetPortSettings(),
                                 std::make_shared<quenta::ProgramJob>(other), {}));
        kernel->SetActiveController(QStringLiteral("COM3"));

        // The job of the current tab, as the operator opens it.
        const QString path = dir->filePath(QStringLiteral("part.nc"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(moves(10, "0.5", 3000));
        file.close();
        window->OpenJobFile(path);
        QTRY_VERIFY_WITH_TIMEOUT(window->CurrentJobDocument()
                                     && window->CurrentJobDocument()->isLoaded(),
                                 JobTimeoutMs);
        QStringList listed;
        dialogs->execAnswers.enqueue([&listed](QDialog* dialog) {
            auto* const list = dialog->findChild<QListWidget*>(QStringLiteral("machineList"));
            for (int i = 0; list && i < list->count(); ++i) {
                listed << list->item(i)->data(Qt::UserRole).toString();
                list->item(i)->setCheckState(Qt::Checked);
            }
            dialog->accept();
            return dialog->result();
        });
        dialogs->expectBox(QMessageBox::Yes);  // COM3 and COM4 are not referenced
        dialogs->expectBox(QMessageBox::Yes);
        dialogs->expectBox();  // then the summary: COM5 left out
        window->GetActions().runOnMachines->trigger();
        QCOMPARE(listed, QStringList({"COM3", "COM4", "COM5"}));
        QTRY_VERIFY_WITH_TIMEOUT(!panel->isBusy(), JobTimeoutMs);
        for (const char* p : {"COM3", "COM4"}) {
            TarvoController* const c = kernel->FindController(QString::fromLatin1(p));
            QTRY_COMPARE_WITH_TIMEOUT(int(quenta::jobProgress(c->GetPortSettings()).state),
                                      int(quenta::JobState::Completed), JobTimeoutMs);
        }
        QCOMPARE(dialogs->count("warning"), 1);
        QVERIFY(dialogs->shown.last().text.contains(QStringLiteral("A job is already running on COM5.")));
        QVERIFY(logged(QStringLiteral("^COM5 left out: A job is already running on COM5\\.$")));
        // Both runs are in the history, COM5's own job is not.
        QTRY_VERIFY_WITH_TIMEOUT(window->GetJobHistory()->runs().size() >= 2, JobTimeoutMs);
        QStringList recorded;
        for (const JobHistory::Run& r : window->GetJobHistory()->runs().mid(0, 2))
            recorded << r.port;
        recorded.sort();
        QCOMPARE(recorded, QStringList({"COM3", "COM4"}));
        quenta::controlJob(busy->GetPortSettings(), quenta::JobControl::Stop);
    }

    void refusedProgramCannotStart()
    {
        // No feed rate in force for the G1: the controller would refuse the line.
        QVERIFY(document("G21 G90\nG1 X10\n"));
        dialogs->expectBox();
        button("jobStartButton")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!panel->isBusy(), JobTimeoutMs);
        QCOMPARE(dialogs->count("warning"), 1);
        QVERIFY(dialogs->shown.last().text.startsWith(
            QStringLiteral("part.nc cannot run on COM3: line 2: ")));
        QVERIFY(logged(QStringLiteral("^COM3: part.nc refused by the check: line 2: ")));
        QCOMPARE(state(), quenta::JobState::Idle);
        QCOMPARE(panel->banner(), JobPanel::Banner::Idle);
    }

    void pauseResumeAndStop()
    {
        QVERIFY(document(moves(60, "0.5", 600)));
        startUnreferenced();
        QTRY_COMPARE_WITH_TIMEOUT(panel->banner(), JobPanel::Banner::Running, JobTimeoutMs);
        // A second start on the same controller is not offered while this one runs.
        QVERIFY(!button("jobStartButton")->isEnabled());

        button("jobPauseButton")->click();
        QTRY_COMPARE_WITH_TIMEOUT(panel->banner(), JobPanel::Banner::Paused, JobTimeoutMs);
        QCOMPARE(button("jobPauseButton")->text(), QStringLiteral("Resume"));
        QVERIFY(logged(QStringLiteral("^COM3: part.nc paused at line \\d+$")));

        button("jobPauseButton")->click();
        QTRY_COMPARE_WITH_TIMEOUT(panel->banner(), JobPanel::Banner::Running, JobTimeoutMs);
        QVERIFY(logged(QStringLiteral("^COM3: part.nc resumed$")));

        button("jobStopButton")->click();
        QTRY_COMPARE_WITH_TIMEOUT(panel->banner(), JobPanel::Banner::Stopped, JobTimeoutMs);
        QCOMPARE(state(), quenta::JobState::Stopped);
        QVERIFY(logged(QStringLiteral("^COM3: part.nc stopped at line \\d+ after \\d+:\\d\\d "
                                      "\\(estimated \\d+:\\d\\d\\): stopped by the operator$")));
        QVERIFY(controller->GetStatus().posX < 3000);  // it did not run on to the end
    }

    // A machine keeps the overrides last set on it, and its next job starts with them.
    void overridesAreKeptPerMachine()
    {
        QSettings().setValue(QStringLiteral("Machines/COM3/overrides"), QStringLiteral("120 100 100"));
        QVERIFY(document(moves(60, "0.5", 600)));
        startUnreferenced();
        QTRY_COMPARE_WITH_TIMEOUT(panel->banner(), JobPanel::Banner::Running, JobTimeoutMs);
        QVERIFY(logged(QStringLiteral("^COM3: overrides as last set on this machine: feed 120 %, "
                                      "rapid 100 %, spindle 100 %$")));
        QTRY_COMPARE_WITH_TIMEOUT(int(quenta::jobProgress(controller->GetPortSettings()).overrides[0]),
                                  120, JobTimeoutMs);
        button("jobOverride92")->click();  // feed -10 %
        QCOMPARE(QSettings().value(QStringLiteral("Machines/COM3/overrides")).toString(),
                 QStringLiteral("110 100 100"));
        button("jobStopButton")->click();
        QTRY_COMPARE_WITH_TIMEOUT(panel->banner(), JobPanel::Banner::Stopped, JobTimeoutMs);
    }

    void toolChangeWaitsForContinue()
    {
        QVERIFY(document("G21 G91 F3000\nG1 X1\nM6 T3\nG1 X1\n"));
        startUnreferenced();
        QTRY_COMPARE_WITH_TIMEOUT(panel->banner(), JobPanel::Banner::ToolChange, JobTimeoutMs);
        QVERIFY(panel->findChild<QWidget*>(QStringLiteral("jobAttentionBar"))->isVisibleTo(panel));
        QCOMPARE(text("jobAttentionLabel"), QStringLiteral("Insert tool T3, then continue"));
        QVERIFY(logged(QStringLiteral("^COM3: part.nc waits for tool T3 at line \\d+$")));
        QTest::qWait(300);  // it waits however long the operator takes
        QCOMPARE(state(), quenta::JobState::ToolChange);
        QCOMPARE(controller->GetStatus().posX, 100);

        button("jobContinueButton")->click();
        QTRY_COMPARE_WITH_TIMEOUT(panel->banner(), JobPanel::Banner::Completed, JobTimeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(controller->GetStatus().posX, 200, kUiTimeoutMs);
    }

    void startFromLineShowsTheEditablePreambleFirst()
    {
        QVERIFY(document("G21 G91 F3000\nG1 X1\nG1 X1\nG1 X1\n"));
        QString preamble;
        int32_t xWhileShown = -1;
        int preambleLines = 0;
        dialogs->expectBox(QMessageBox::Yes);
        dialogs->execAnswers.enqueue([&](QDialog* dialog) {
            dialog->findChild<QSpinBox*>(QStringLiteral("restartLineSpinBox"))->setValue(4);
            auto* const edit =
                dialog->findChild<QPlainTextEdit*>(QStringLiteral("restartPreambleEdit"));
            preamble = edit->toPlainText();
            xWhileShown = controller->GetStatus().posX;
            edit->appendPlainText(QStringLiteral("G0 Y1"));  // the operator's own line
            preambleLines = int(edit->toPlainText().split(QLatin1Char('\n')).size());
            dialog->accept();
            return dialog->result();
        });
        button("jobFromLineButton")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!panel->isBusy(), JobTimeoutMs);
        QVERIFY(!preamble.isEmpty());
        QCOMPARE(xWhileShown, 0);  // nothing moved before the operator agreed
        QVERIFY(logged(QStringLiteral("^COM3: part.nc started from line 4 ")));
        QCOMPARE(quenta::jobProgress(controller->GetPortSettings()).linesTotal,
                 uint32_t(preambleLines + 1));
        QTRY_COMPARE_WITH_TIMEOUT(panel->banner(), JobPanel::Banner::Completed, JobTimeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(controller->GetStatus().posY, 100, kUiTimeoutMs);
        QCOMPARE(controller->GetStatus().posX, 300);  // over line 4's start, then its move
    }

    void checkOnGrblIsTheFirmwaresDryRun()
    {
        GrblPtyServer server;
        QVERIFY(server.start());
        connectGrbl(server);
        QVERIFY(document("G21 G90 F500\nG1 X5 Y2\nG0 Z1\n"));

        button("jobCheckButton")->click();
        QTRY_COMPARE_WITH_TIMEOUT(panel->banner(), JobPanel::Banner::Completed, JobTimeoutMs);
        QCOMPARE(text("jobBanner"), QStringLiteral("Check: Completed"));
        QVERIFY(logged(QStringLiteral("^COM7: checking part.nc in the controller's check mode")));
        QVERIFY(logged(QStringLiteral("^COM7: part.nc: the controller's check found no problems$")));
        double x = -1;
        server.with([&x](GrblPeer& peer) { x = peer.machine(0); });
        QCOMPARE(x, 0.0);  // nothing moved
        QVERIFY(button("jobStartButton")->isEnabled());
        KavrixKernel::Instance()->RemoveController(QStringLiteral("COM7"));
        controller = nullptr;
    }

    void alarmEndsTheJobWithTheAlarmInWords()
    {
        GrblPtyServer server;
        QVERIFY(server.start());
        connectGrbl(server);
        // Soft limits switched on behind the program's back: the firmware alarms on line 3.
        server.with([](GrblPeer& peer) { peer.setSetting(20, 1); });
        QVERIFY(document("G21 G91 F3000\nG1 X-1\nG1 X5\n"));
        button("jobStartButton")->click();
        QTRY_COMPARE_WITH_TIMEOUT(panel->banner(), JobPanel::Banner::Alarm, JobTimeoutMs);
        QCOMPARE(text("jobBanner"), QStringLiteral("Alarm"));
        QVERIFY(logged(QStringLiteral("^COM7: part.nc: alarm at line \\d+: ALARM:2: ")));
        QVERIFY(!panel->hasActiveJob(QStringLiteral("COM7")));
        KavrixKernel::Instance()->RemoveController(QStringLiteral("COM7"));
        controller = nullptr;
    }

    void quitWhileRunningAsksAndStops()
    {
        QVERIFY(document(moves(60, "0.5", 600)));
        startUnreferenced();
        QTRY_COMPARE_WITH_TIMEOUT(panel->banner(), JobPanel::Banner::Running, JobTimeoutMs);
        window->show();

        dialogs->expectBox(QMessageBox::No);
        window->close();
        QVERIFY(window->isVisible());
        QVERIFY(controller->IsConnected());
        QCOMPARE(dialogs->shown.last().title, QStringLiteral("Quit"));
        QVERIFY(QRegularExpression(QStringLiteral(
                                       "^COM3 is running part.nc \\(\\d+ %\\). Quit and stop it\\?$"))
                    .match(dialogs->shown.last().text)
                    .hasMatch());

        dialogs->expectBox(QMessageBox::Yes);
        window->close();
        QVERIFY(!window->isVisible());
        QVERIFY(panel->activeJobs().isEmpty());
        QVERIFY(logged(QStringLiteral("^COM3: part.nc stopped at line \\d+ after ")));
        QVERIFY(!controller->IsConnected());
    }
};

QTEST_MAIN(TestJobPanel)
#include "tst_jobpanel.moc"
