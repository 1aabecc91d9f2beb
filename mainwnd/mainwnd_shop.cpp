// The shop: a tile per machine, the job history, the hold, resume and stop of every running
// job, and the colours and notifications of a machine that waits with an error or alarm.
#include "kavrixmainwnd.h"

#include "dialogs.h"
#include "jobdocument.h"
#include "jobhistory.h"
#include "jobhistorywnd.h"
#include "jobpanel.h"
#include "kavrixkernel.h"
#include "notifier.h"
#include "shopview.h"
#include "tarvocontroller.h"

#include <QAction>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>
#include <QDockWidget>
#include <QMenu>
#include <QScrollArea>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QToolBar>

void KavrixMainWnd::CreateShopDocks()
{
    shopDock = new QDockWidget(tr("Shop"), this);
    shopDock->setObjectName(QStringLiteral("shopDock"));
    shopView = new ShopView;
    // Scrolled: many machines never widen the window, and the dock can be made small.
    auto* const shopArea = new QScrollArea(shopDock);
    shopArea->setWidgetResizable(true);
    shopArea->setWidget(shopView);
    shopDock->setWidget(shopArea);
    addDockWidget(Qt::BottomDockWidgetArea, shopDock);
    tabifyDockWidget(outputDock, shopDock);
    viewMenu->addAction(shopDock->toggleViewAction());
    connect(shopView, &ShopView::activateRequested, this, [](const QString& comPort) {
        KavrixKernel::Instance()->SetActiveController(comPort);
    });
    connect(shopView, &ShopView::attentionNeeded, this, &KavrixMainWnd::MarkAttention);
    connect(shopView, &ShopView::attentionCleared, this, &KavrixMainWnd::ClearAttention);
    notifier = new DesktopNotifier(this);

    // The history never stands between the operator and a job: a database that cannot be
    // used is told once, and the program goes on without it.
    jobHistory = std::make_unique<JobHistory>();
    if (!jobHistory->open(JobHistory::defaultPath()))
        LogAction(tr("The job history is not kept: %1").arg(jobHistory->lastError()));
    jobHistoryDock = new QDockWidget(tr("Job History"), this);
    jobHistoryDock->setObjectName(QStringLiteral("jobHistoryDock"));
    jobHistoryWnd = new JobHistoryWnd(jobHistory.get());
    auto* const historyArea = new QScrollArea(jobHistoryDock);
    historyArea->setWidgetResizable(true);
    historyArea->setWidget(jobHistoryWnd);
    jobHistoryDock->setWidget(historyArea);
    addDockWidget(Qt::BottomDockWidgetArea, jobHistoryDock);
    tabifyDockWidget(outputDock, jobHistoryDock);
    viewMenu->addAction(jobHistoryDock->toggleViewAction());
    outputDock->raise();

    actions.holdAll = new QAction(tr("Hold All"), this);
    actions.holdAll->setObjectName(QStringLiteral("actionHoldAll"));
    actions.holdAll->setStatusTip(tr("Holds every running job"));
    connect(actions.holdAll, &QAction::triggered, this, &KavrixMainWnd::HoldAllJobs);
    actions.resumeAll = new QAction(tr("Resume All"), this);
    actions.resumeAll->setObjectName(QStringLiteral("actionResumeAll"));
    actions.resumeAll->setStatusTip(tr("Resumes every held job"));
    connect(actions.resumeAll, &QAction::triggered, this, &KavrixMainWnd::ResumeAllJobs);
    actions.stopAll = new QAction(tr("Stop All Jobs"), this);
    actions.stopAll->setObjectName(QStringLiteral("actionStopAll"));
    actions.stopAll->setStatusTip(tr("Stops every job on every machine"));
    connect(actions.stopAll, &QAction::triggered, this, &KavrixMainWnd::StopAllJobs);
    // After the main tool bar's own entries: in a narrow window they go behind its extension
    // button rather than into a second row.
    mainToolBar->addSeparator();
    for (QAction* a : {actions.holdAll, actions.resumeAll, actions.stopAll})
        mainToolBar->addAction(a);
}

namespace {

QString portList(const QStringList& ports)
{
    return ports.join(QStringLiteral(", "));
}

}  // namespace

void KavrixMainWnd::HoldAllJobs()
{
    const QStringList ports = shopView->holdAll();
    LogAction(ports.isEmpty() ? tr("Hold all: no job is running")
                                   : tr("Hold all: %1 held").arg(portList(ports)));
}

void KavrixMainWnd::ResumeAllJobs()
{
    const QStringList ports = shopView->resumeAll();
    LogAction(ports.isEmpty() ? tr("Resume all: no job is held")
                                   : tr("Resume all: %1 resumed").arg(portList(ports)));
}

void KavrixMainWnd::StopAllJobs()
{
    const QStringList ports = shopView->stopAll();
    LogAction(ports.isEmpty() ? tr("Stop all jobs: no job is active")
                                   : tr("Stop all jobs: %1 stopped").arg(portList(ports)));
}

void KavrixMainWnd::ColourController(const QString& comPort, const QColor& colour)
{
    const int tab = FindControllerTab(comPort);
    if (tab >= 0)
        controllerTabWidget->tabBar()->setTabTextColor(tab, colour);
    KavrixKernel* const kernel = KavrixKernel::Instance();
    const QModelIndex index = kernel->FindControllerIndex(comPort);
    QStandardItemModel* const model = kernel->GetControllerModel();
    if (!index.isValid())
        return;
    for (int column = 0; column < model->columnCount(); ++column) {
        QStandardItem* const item = model->item(index.row(), column);
        if (!item)
            continue;
        if (colour.isValid())
            item->setData(colour, Qt::ForegroundRole);
        else
            item->setData(QVariant(), Qt::ForegroundRole);
    }
}

void KavrixMainWnd::MarkAttention(const QString& comPort, const QString& text)
{
    ColourController(comPort, QColor(0xc6, 0x28, 0x28));
    LogAction(tr("%1 needs attention: %2").arg(comPort, text));
    notifier->notify(tr("%1 needs attention").arg(comPort), text);
}

void KavrixMainWnd::ClearAttention(const QString& comPort)
{
    ColourController(comPort, QColor());
}

namespace {

JobHistory::Result historyResult(const quenta::JobProgress& p)
{
    switch (p.state) {
    case quenta::JobState::Completed: return JobHistory::Result::Completed;
    case quenta::JobState::Stopped: return JobHistory::Result::Stopped;
    default: break;
    }
    if (quenta::jobAlarm(p))
        return JobHistory::Result::Alarm;
    const QString reason = QString::fromStdString(p.reason);
    if (reason.contains(QLatin1String("connection"), Qt::CaseInsensitive))
        return JobHistory::Result::LostConnection;
    return p.failedFileLine ? JobHistory::Result::Error : JobHistory::Result::Failed;
}

}  // namespace

void KavrixMainWnd::ConnectShopToJobs()
{
    shopView->setJobInfo([this](const QString& comPort) {
        const JobPanel::RunInfo run = jobPanel->runInfo(comPort);
        return ShopJobInfo{run.fileName, run.secondsLeft};
    });
    connect(jobPanel, &JobPanel::runStateChanged, shopView, &ShopView::controllerUpdated);
    connect(jobPanel, &JobPanel::jobStarted, this,
            [this](const QString& comPort, const QString& path, const QString& sha256,
                   uint32_t linesTotal, double estimatedSeconds) {
                TarvoController* const c = KavrixKernel::Instance()->FindController(comPort);
                const qint64 row = jobHistory->begin(c ? c->GetControllerName() : QString(),
                                                     comPort, path, sha256, linesTotal,
                                                     estimatedSeconds);
                historyRows.insert(comPort, row);
                jobHistoryWnd->refresh();
            });
    connect(jobPanel, &JobPanel::jobEnded, this,
            [this](const QString& comPort, const quenta::JobProgress& progress,
                   uint32_t linesDone, double seconds) {
                const qint64 row = historyRows.take(comPort);
                if (row <= 0)
                    return;
                const JobHistory::Result result = historyResult(progress);
                const uint32_t line = result == JobHistory::Result::Error
                                              || result == JobHistory::Result::Alarm
                                          ? progress.failedFileLine
                                          : 0;
                if (!jobHistory->finish(row, result, line, QString::fromStdString(progress.reason),
                                        linesDone, seconds))
                    LogAction(tr("The job history could not record the end of the job on "
                                      "%1: %2")
                                       .arg(comPort, jobHistory->lastError()));
                jobHistoryWnd->refresh();
            });
}

void KavrixMainWnd::CreateRunOnMachines()
{
    actions.runOnMachines = new QAction(tr("Run on &Machines..."), this);
    actions.runOnMachines->setObjectName(QStringLiteral("actionRunOnMachines"));
    actions.runOnMachines->setStatusTip(
        tr("Starts the job of the current tab on several connected machines"));
    connect(actions.runOnMachines, &QAction::triggered, this, &KavrixMainWnd::RunOnMachines);
    // After the job file entries, before the last group ("&Quit").
    fileMenu->insertAction(actions.quit, actions.runOnMachines);
    fileMenu->insertSeparator(actions.quit);
}

void KavrixMainWnd::RunOnMachines()
{
    const QString title = tr("Run on Machines");
    JobDocument* const document = CurrentJobDocument();
    if (!document || !document->isLoaded()) {
        Dialogs::warning(this, title, tr("Open a G-code file first (File › Open G-code...)."));
        return;
    }
    QDialog dialog(this);
    dialog.setWindowTitle(title);
    auto* const list = new QListWidget(&dialog);
    list->setObjectName(QStringLiteral("machineList"));
    for (TarvoController* c : KavrixKernel::Instance()->GetControllers()) {
        if (!c->IsConnected() || c->IsInFirmwareMode())
            continue;
        auto* const item =
            new QListWidgetItem(c->GetComPort() + QStringLiteral(" · ") + c->GetControllerName());
        item->setData(Qt::UserRole, c->GetComPort());
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
        list->addItem(item);
    }
    if (list->count() == 0) {
        Dialogs::warning(this, title, tr("No machine is connected."));
        return;
    }
    list->sortItems();
    auto* const buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* const layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(tr("Run %1 on:").arg(document->fileName()), &dialog));
    layout->addWidget(list);
    layout->addWidget(buttons);
    if (Dialogs::seam().exec(&dialog) != QDialog::Accepted)
        return;
    QStringList ports;
    for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->checkState() == Qt::Checked)
            ports << list->item(i)->data(Qt::UserRole).toString();
    }
    if (ports.isEmpty())
        return;
    LogAction(tr("Run on machines: %1 on %2").arg(document->fileName(), portList(ports)));
    jobPanel->startOn(ports);
}
