// The job panel in the main window: the "Job" dock following the active controller and the
// current job tab, and the question before quitting while machines run.
//
// One panel in a dock rather than one per controller tab: the controller tab's page is the
// manual control panel, and the dock stays in view whichever tab and scroll position the
// operator is at. The panel keeps watching and logging the jobs it started on the other
// controllers while it shows the active one.
#include "kavrixmainwnd.h"

#include "dialogs.h"
#include "jobpanel.h"
#include "kavrixkernel.h"
#include "manualcommands.h"
#include "tarvocontroller.h"
#include "waitcursor.h"

#include <QCloseEvent>
#include <QDockWidget>
#include <QMenu>
#include <QScrollArea>

namespace {

// How long quitting waits for stopped jobs to come to their end.
constexpr int QuitStopTimeoutMs = 5000;

}  // namespace

void KavrixMainWnd::CreateJobDock()
{
    jobDock = new QDockWidget(tr("Job"), this);
    jobDock->setObjectName(QStringLiteral("jobDock"));
    jobPanel = new JobPanel;
    auto* const area = new QScrollArea(jobDock);
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    area->setWidget(jobPanel);
    jobDock->setWidget(area);
    // Beside the output log (not one more tab behind it), so the job's log and its panel are
    // seen together.
    addDockWidget(Qt::BottomDockWidgetArea, jobDock, Qt::Horizontal);
    viewMenu->addAction(jobDock->toggleViewAction());

    connect(jobPanel, &JobPanel::logLine, this, &KavrixMainWnd::LogAction);
    connect(KavrixKernel::Instance(), &KavrixKernel::SignalActiveControllerChanged, jobPanel,
            &JobPanel::setController);
    connect(this, &KavrixMainWnd::CurrentJobDocumentChanged, jobPanel, &JobPanel::setDocument);
    jobPanel->setController(KavrixKernel::Instance()->GetActiveControllerPort());
    jobPanel->setDocument(CurrentJobDocument());
}

bool KavrixMainWnd::ConfirmQuitWhileMachinesRun()
{
    QStringList running;
    for (const JobPanel::ActiveJob& job : jobPanel->activeJobs())
        running << tr("%1 is running %2 (%3 %).").arg(job.port, job.fileName).arg(job.percent);
    QList<TarvoController*> moving;
    for (TarvoController* const controller : KavrixKernel::Instance()->GetControllers()) {
        const QString port = controller->GetComPort();
        if (controller->IsConnected() && !controller->IsInFirmwareMode()
            && !jobPanel->hasActiveJob(port) && jobPanel->isMoving(port)) {
            moving << controller;
            running << tr("%1 is moving.").arg(port);
        }
    }
    if (running.isEmpty())
        return true;
    const QString ask =
        running.size() == 1 ? tr("Quit and stop it?") : tr("Quit and stop them?");
    if (Dialogs::question(this, tr("Quit"), running.join(QLatin1Char('\n')) + QLatin1Char(' ')
                                                + ask,
                          QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        != QMessageBox::Yes)
        return false;
    for (TarvoController* const controller : moving) {
        ManualCommands::NotHalt()(controller->GetPortSettings());
        LogAction(tr("Emergency stop (Not Halt) sent to %1").arg(controller->GetComPort()));
    }
    const WaitCursor wait;
    if (!jobPanel->stopAll(QuitStopTimeoutMs)) {
        // Closing the ports below ends what is left: the runners stop with their port.
        LogAction(tr("A job did not confirm its stop; its port is closed now."));
    }
    return true;
}
