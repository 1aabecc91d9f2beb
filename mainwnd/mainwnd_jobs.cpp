// G-code job files in the main window: "Open G-code..." and the recent files in "&File", a job
// tab per file beside the program tabs, the job of the current tab, and the files named on the
// command line.
#include "kavrixmainwnd.h"

#include "dialogs.h"
#include "jobdocument.h"
#include "jobtab.h"
#include "kavrixkernel.h"
#include "textfile.h"
#include "tarvoprogedit.h"
#include "waitcursor.h"

#include <QAction>
#include <QFileInfo>
#include <QMenu>
#include <QSettings>
#include <QStatusBar>
#include <QTabWidget>

namespace {

const QString recentKey = QStringLiteral("RecentJobFiles");
constexpr int maxRecentJobs = 8;

QString jobFileFilter()
{
    return KavrixMainWnd::tr("G-code Files (*.nc *.ngc *.gcode *.tap *.cnc);;All Files (*)");
}

bool isProgramFile(const QString& path)
{
    return QFileInfo(path).suffix().compare(QLatin1String("ncprg"), Qt::CaseInsensitive) == 0;
}

QString seconds(qint64 milliseconds)
{
    return QString::number(double(milliseconds) / 1000.0, 'f', 2);
}

}  // namespace

JobDocument* KavrixMainWnd::CurrentJobDocument() const
{
    const auto* const tab = qobject_cast<JobTab*>(editorTabWidget->currentWidget());
    return tab ? tab->document() : nullptr;
}

void KavrixMainWnd::CreateJobFiles()
{
    openJobAction = new QAction(tr("Open &G-code..."), this);
    openJobAction->setObjectName(QStringLiteral("openJobAction"));
    openJobAction->setStatusTip(tr("Open a G-code job file in a tab of its own"));
    openJobAction->setShortcut(QKeySequence(tr("Ctrl+Shift+O")));
    connect(openJobAction, &QAction::triggered, this, &KavrixMainWnd::SlotOpenJobFile);

    recentJobsMenu = new QMenu(tr("Recent G-code &Files"), this);
    recentJobsMenu->setObjectName(QStringLiteral("recentJobsMenu"));

    // Beside the program entries, before the last group ("&Quit").
    fileMenu->insertAction(actions.quit, openJobAction);
    fileMenu->insertMenu(actions.quit, recentJobsMenu);
    fileMenu->insertSeparator(actions.quit);
    UpdateRecentJobsMenu();

    // A job tab's close button; program tabs are closed by SlotEditTabCloseRequested.
    connect(editorTabWidget, &QTabWidget::tabCloseRequested, this,
            &KavrixMainWnd::SlotJobTabCloseRequested);
    connect(editorTabWidget, &QTabWidget::currentChanged, this, [this] {
        JobDocument* const current = CurrentJobDocument();
        if (current == announcedJob)
            return;
        announcedJob = current;
        Q_EMIT CurrentJobDocumentChanged(current);
    });
}

void KavrixMainWnd::SlotOpenJobFile()
{
    const JobDocument* const current = CurrentJobDocument();
    // The active machine's own last job folder first: each machine has its jobs somewhere.
    const QString machine = KavrixKernel::Instance()->GetActiveControllerPort();
    const QString folderKey = QStringLiteral("Machines/") + machine + QStringLiteral("/jobFolder");
    QString start = machine.isEmpty() ? QString() : QSettings().value(folderKey).toString();
    if (start.isEmpty() && current)
        start = current->path();
    if (start.isEmpty() && !RecentJobFiles().isEmpty())
        start = QFileInfo(RecentJobFiles().first()).path();
    const QString path =
        Dialogs::seam().openFileName(this, tr("Open G-code File"), start, jobFileFilter());
    if (path.isEmpty())
        return;
    if (!machine.isEmpty())
        QSettings().setValue(folderKey, QFileInfo(path).absolutePath());
    OpenJobFile(path);
}

void KavrixMainWnd::OpenJobFile(const QString& givenPath)
{
    const QString path = QFileInfo(givenPath).absoluteFilePath();
    for (int i = 0; i < editorTabWidget->count(); ++i) {
        const auto* const tab = qobject_cast<JobTab*>(editorTabWidget->widget(i));
        if (tab && tab->document()->path() == path) {
            editorTabWidget->setCurrentIndex(i);
            AddRecentJobFile(path);
            return;
        }
    }

    auto* const document = new JobDocument(path);
    auto* const tab = new JobTab(document, editorTabWidget);
    connect(document, &JobDocument::failed, this, [this, tab, path](const QString& reason) {
        const int index = editorTabWidget->indexOf(tab);
        if (index >= 0)
            editorTabWidget->removeTab(index);
        tab->deleteLater();
        RemoveRecentJobFile(path);
        LogAction(tr("Cannot open G-code file %1: %2").arg(path, reason));
        Dialogs::warning(this, tr("Error Loading G-code File"),
                         tr("Cannot read file %1:\n%2.").arg(path, reason), QMessageBox::Ok);
    });
    connect(document, &JobDocument::loaded, this, [this, document] {
        const auto program = document->program();
        // One arg() for all: a "%" in the path must not be taken for a place holder.
        LogAction(tr("Opened G-code file %1: %2 lines, shown after %3 s, checked after "
                          "%4 s, %5 problems")
                           .arg(document->path(), QString::number(program->lineCount()),
                                seconds(document->textMilliseconds()),
                                seconds(document->loadMilliseconds()),
                                QString::number(program->findings().size())));
    });

    QString label = document->fileName();
    label.replace(QLatin1Char('&'), QStringLiteral("&&"));
    const int index = editorTabWidget->addTab(tab, label);
    editorTabWidget->setTabToolTip(index, path);
    editorTabWidget->setCurrentIndex(index);
    AddRecentJobFile(path);
    document->load();
}

void KavrixMainWnd::SlotJobTabCloseRequested(int index)
{
    auto* const tab = qobject_cast<JobTab*>(editorTabWidget->widget(index));
    if (!tab)
        return;
    const JobDocument* const document = tab->document();
    if (document->isRunning()) {
        statusBar()->showMessage(
            tr("%1 is running on %2: stop the job before closing its tab.")
                .arg(document->fileName(), document->runningOn()),
            10000);
        return;
    }
    // Removed first: whoever follows the current job lets go of it before it is deleted.
    editorTabWidget->removeTab(index);
    delete tab;
    UpdateEditActions();
}

QStringList KavrixMainWnd::RecentJobFiles() const
{
    return QSettings().value(recentKey).toStringList();
}

void KavrixMainWnd::AddRecentJobFile(const QString& path)
{
    QStringList recent = RecentJobFiles();
    recent.removeAll(path);
    recent.prepend(path);
    while (recent.size() > maxRecentJobs)
        recent.removeLast();
    QSettings().setValue(recentKey, recent);
    UpdateRecentJobsMenu();
}

void KavrixMainWnd::RemoveRecentJobFile(const QString& path)
{
    QStringList recent = RecentJobFiles();
    if (recent.removeAll(path) == 0)
        return;
    QSettings().setValue(recentKey, recent);
    UpdateRecentJobsMenu();
}

void KavrixMainWnd::UpdateRecentJobsMenu()
{
    recentJobsMenu->clear();
    const QStringList recent = RecentJobFiles();
    for (int i = 0; i < recent.size(); ++i) {
        const QString path = recent.at(i);
        QString name = QFileInfo(path).fileName();
        name.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* const action =
            recentJobsMenu->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(name));
        action->setStatusTip(path);
        action->setToolTip(path);
        connect(action, &QAction::triggered, this, [this, path] {
            if (!QFileInfo::exists(path)) {
                RemoveRecentJobFile(path);
                Dialogs::information(
                    this, tr("Open G-code File"),
                    tr("%1 no longer exists; it was removed from the recent files.").arg(path),
                    QMessageBox::Ok);
                return;
            }
            OpenJobFile(path);
        });
    }
    if (!recent.isEmpty()) {
        recentJobsMenu->addSeparator();
        QAction* const clear = recentJobsMenu->addAction(tr("&Clear List"));
        connect(clear, &QAction::triggered, this, [this] {
            QSettings().remove(recentKey);
            UpdateRecentJobsMenu();
        });
    }
    recentJobsMenu->setEnabled(!recent.isEmpty());
}

void KavrixMainWnd::OpenFiles(const QStringList& paths)
{
    for (const QString& path : paths) {
        if (isProgramFile(path))
            OpenProgramPath(QFileInfo(path).absoluteFilePath());
        else
            OpenJobFile(path);
    }
}

void KavrixMainWnd::OpenProgramPath(const QString& path)
{
    // As "&Open" after its dialog: an open file only gets its tab made current.
    const int open = FindEditorTabByPath(path);
    if (open >= 0) {
        editorTabWidget->setCurrentIndex(open);
        return;
    }
    TextFile::Contents contents;
    QString error;
    {
        const WaitCursor wait;
        if (!TextFile::read(path, contents, &error)) {
            Dialogs::warning(this, tr("Error Loading Program from File"),
                             tr("Cannot read file %1:\n%2.").arg(path, error), QMessageBox::Ok);
            return;
        }
    }
    const WaitCursor wait;
    CreateEditorTab(path, contents.text)->setFileEncoding(contents.encoding);
    UpdateEditActions();
}
