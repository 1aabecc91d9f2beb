// G-code job files in the window: opened through "Open G-code..." into a job tab with their
// problems, problems leading to their lines, files that cannot be read, a running job's tab
// kept open and followed, the program tabs' workflows beside job tabs, files named on the
// command line, and the recent files.

#include "mainwndtesting.h"

#include "jobdocument.h"
#include "jobtab.h"
#include "jobview.h"
#include "tarvoprogedit.h"

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <sys/stat.h>

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), qint64(bytes.size()));
}

// count lines of feed moves; where refusedAt > 0, that line (1-based) carries a word the
// controller refuses.
QByteArray feedLines(int count, int refusedAt = 0)
{
    QByteArray text = "G21 G90 G94\n";
    for (int line = 2; line <= count; ++line) {
        text += line == refusedAt ? QByteArray("G1 X1 E0.5 F500\n")
                                  : "G1 X" + QByteArray::number(line % 50) + " F500\n";
    }
    return text;
}

JobTab* jobTabAt(const KavrixMainWnd& window, int index)
{
    return qobject_cast<JobTab*>(window.GetEditorTabWidget()->widget(index));
}

}  // namespace

class TestJobFiles : public MainWndTestCase {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir;

    QString path(const QString& name) const { return dir->filePath(name); }

    // Opens path through the menu entry and its dialog and waits for the check.
    JobDocument* openThroughDialog(KavrixMainWnd& window, const QString& file)
    {
        dialogs->fileAnswers.enqueue(file);
        window.GetOpenJobAction()->trigger();
        JobDocument* const document = window.CurrentJobDocument();
        if (document && !QTest::qWaitFor([document] { return document->isLoaded(); },
                                          kUiTimeoutMs))
            return nullptr;
        return document;
    }

private Q_SLOTS:
    void initTestCase() { qRegisterMetaType<JobDocument*>(); }

    void init()
    {
        startEnvironment();
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
    }

    void cleanup()
    {
        stopEnvironment();
        dir.reset();
    }

    void openedFileShowsItsLinesAndProblemsInATab()
    {
        writeFile(path("part.nc"), feedLines(40, 7));
        KavrixMainWnd window;
        QSignalSpy current(&window, &KavrixMainWnd::CurrentJobDocumentChanged);
        JobDocument* const document = openThroughDialog(window, path("part.nc"));
        QVERIFY(document);
        QCOMPARE(dialogs->shown.last().kind, QString("open"));
        QVERIFY(dialogs->shown.last().text.contains("*.nc *.ngc *.gcode *.tap *.cnc"));

        QTabWidget* const tabs = window.GetEditorTabWidget();
        QCOMPARE(tabs->count(), 2);  // beside the "Untitled" program
        QCOMPARE(tabs->tabText(1), QString("part.nc"));
        QCOMPARE(current.count(), 1);
        QCOMPARE(current.at(0).at(0).value<JobDocument*>(), document);
        QCOMPARE(document->lineCount(), 40u);
        QCOMPARE(jobTabAt(window, 1)->problemCount(), 1);
        QVERIFY(stampedLines(window).last().contains("part.nc: 40 lines"));

        // Opened again: its tab becomes current, the file is not read twice.
        tabs->setCurrentIndex(0);
        QCOMPARE(current.count(), 2);
        QCOMPARE(current.at(1).at(0).value<JobDocument*>(), nullptr);
        openThroughDialog(window, path("part.nc"));
        QCOMPARE(tabs->count(), 2);
        QCOMPARE(tabs->currentIndex(), 1);
    }

    void linesShownBeforeTheCheckAreTheChecksLines()
    {
        writeFile(path("ends.nc"), "G0 X1\r\nG0 X2\rG0 X3\n\n\r\nG0 X4");
        JobDocument document(path("ends.nc"));
        QStringList early;
        connect(&document, &JobDocument::textLoaded, this, [&] {
            QVERIFY(!document.isLoaded());
            for (uint32_t line = 0; line < document.lineCount(); ++line)
                early << QString::fromStdString(std::string(document.lineText(line)));
        });
        QVERIFY(document.loadNow());
        QStringList checked;
        for (uint32_t line = 0; line < document.program()->lineCount(); ++line)
            checked << QString::fromStdString(std::string(document.program()->lineText(line)));
        QCOMPARE(early, checked);
        QCOMPARE(early, QStringList({"G0 X1", "G0 X2", "G0 X3", "", "", "G0 X4"}));
        QCOMPARE(document.longestLine(), 5u);
    }

    void problemLeadsToItsLine()
    {
        writeFile(path("long.nc"), feedLines(3000, 2500));
        KavrixMainWnd window;
        window.resize(1200, 800);
        window.show();
        QVERIFY(openThroughDialog(window, path("long.nc")));
        JobTab* const tab = jobTabAt(window, 1);
        QCOMPARE(tab->problemCount(), 1);
        QVERIFY(!tab->view()->isLineVisible(2500));

        QTreeView* const problems = tab->problemsView();
        const QModelIndex first = problems->model()->index(0, 2);
        QVERIFY(first.data().toString().contains("E0.5"));
        QTest::mouseClick(problems->viewport(), Qt::LeftButton, {},
                          problems->visualRect(first).center());
        QCOMPARE(tab->view()->currentLine(), 2500u);
        QVERIFY(tab->view()->isLineVisible(2500));
    }

    void fileThatCannotBeReadIsReportedWithoutATab()
    {
        writeFile(path("locked.nc"), "G0 X1\n");
        QVERIFY(QFile::setPermissions(path("locked.nc"), QFileDevice::WriteOwner));
        QVERIFY(::mkfifo(QFile::encodeName(path("pipe.nc")).constData(), 0600) == 0);
        QStringList names = {"missing.nc", "pipe.nc"};
        // Root reads every file.
        if (!QFile(path("locked.nc")).open(QIODevice::ReadOnly))
            names << "locked.nc";
        KavrixMainWnd window;
        for (const QString& name : names) {
            dialogs->expectBox();
            dialogs->fileAnswers.enqueue(path(name));
            window.GetOpenJobAction()->trigger();
            QTRY_COMPARE_WITH_TIMEOUT(dialogs->count("warning"), 1, kUiTimeoutMs);
            const auto box = dialogs->shown.last();
            QCOMPARE(box.title, QString("Error Loading G-code File"));
            QVERIFY2(box.text.contains(path(name) + ":\n"), qPrintable(box.text));
            QTRY_COMPARE(window.GetEditorTabWidget()->count(), 1);
            dialogs->clear();
        }
        QVERIFY(dialogs->count("warning") == 0);
        QVERIFY(window.RecentJobFiles().isEmpty());
    }

    void runningJobsTabStaysOpenAndFollowsTheRun()
    {
        writeFile(path("run.nc"), feedLines(5000));
        KavrixMainWnd window;
        window.resize(1200, 800);
        window.show();
        JobDocument* const document = openThroughDialog(window, path("run.nc"));
        QVERIFY(document);
        JobView* const view = jobTabAt(window, 1)->view();

        document->setRun("COM3");
        document->setRunProgress(4000, 3999);
        QVERIFY(view->isLineVisible(4000));
        QTabWidget* const tabs = window.GetEditorTabWidget();
        Q_EMIT tabs->tabCloseRequested(1);
        QCOMPARE(tabs->count(), 2);
        QVERIFY(window.statusBar()->currentMessage().contains("run.nc is running on COM3"));

        document->setRun(QString());
        QSignalSpy current(&window, &KavrixMainWnd::CurrentJobDocumentChanged);
        Q_EMIT tabs->tabCloseRequested(1);
        QCOMPARE(tabs->count(), 1);
        QCOMPARE(current.count(), 1);
        QCOMPARE(window.CurrentJobDocument(), nullptr);
    }

    void programWorkflowsLeaveJobTabsAlone()
    {
        writeFile(path("part.nc"), feedLines(10));
        KavrixMainWnd window;
        TarvoProgEdit* const untitled = window.CurrentEditor();
        untitled->insertPlainText("GO_PARK;");
        QVERIFY(openThroughDialog(window, path("part.nc")));
        QVERIFY(!window.CurrentEditor());
        const KavrixMainWnd::Actions& actions = window.GetActions();
        QVERIFY(!actions.fileSave->isEnabled());
        QVERIFY(!actions.fileClose->isEnabled());

        // "&Close" on a job tab and a command for the editor touch no job tab.
        window.SlotFileClose();
        window.SlotCommandToEdit("WAIT 100;");
        QTabWidget* const tabs = window.GetEditorTabWidget();
        QCOMPARE(tabs->count(), 3);
        QVERIFY(jobTabAt(window, 1));
        QCOMPARE(window.CurrentEditor()->toPlainText(), QString("WAIT 100;"));

        // Quitting asks about the two modified programs only.
        dialogs->expectBox(QMessageBox::No);
        dialogs->expectBox(QMessageBox::No);
        QVERIFY(window.close());
        QCOMPARE(dialogs->count("question"), 2);
    }

    void commandLineFilesOpenByTheirExtension()
    {
        writeFile(path("ram.ncprg"), "GO_PARK;\n");
        writeFile(path("a.gcode"), feedLines(3));
        writeFile(path("b.tap"), feedLines(4));
        KavrixMainWnd window;
        window.OpenFiles({path("ram.ncprg"), path("a.gcode"), path("b.tap")});
        QTabWidget* const tabs = window.GetEditorTabWidget();
        QCOMPARE(tabs->count(), 4);
        auto* const program = qobject_cast<TarvoProgEdit*>(tabs->widget(1));
        QVERIFY(program);
        QCOMPARE(program->toPlainText(), QString("GO_PARK;\n"));
        QVERIFY(jobTabAt(window, 2));
        QCOMPARE(jobTabAt(window, 3)->document()->path(), path("b.tap"));
        QTRY_VERIFY_WITH_TIMEOUT(jobTabAt(window, 3)->document()->isLoaded(),
                                 kUiTimeoutMs);
        QCOMPARE(jobTabAt(window, 3)->document()->lineCount(), 4u);
    }

    void recentFilesKeepTheNewestEightAndDropMissingOnes()
    {
        KavrixMainWnd window;
        for (int i = 1; i <= 9; ++i) {
            writeFile(path(QString("job%1.nc").arg(i)), feedLines(2));
            window.OpenJobFile(path(QString("job%1.nc").arg(i)));
        }
        window.OpenJobFile(path("job3.nc"));  // open already: moves to the top
        QStringList expected;
        for (int i : {3, 9, 8, 7, 6, 5, 4, 2})
            expected << path(QString("job%1.nc").arg(i));
        QCOMPARE(window.RecentJobFiles(), expected);
        QCOMPARE(QSettings().value("RecentJobFiles").toStringList(), expected);

        // A file that went away is dropped when chosen, with a word why.
        QVERIFY(QFile::remove(path("job9.nc")));
        QMenu* const menu = window.GetRecentJobsMenu();
        QCOMPARE(menu->actions().size(), 8 + 2);  // the files, a separator, "&Clear List"
        QAction* const job9 = menu->actions().at(1);
        QCOMPARE(job9->statusTip(), path("job9.nc"));
        dialogs->expectBox();
        job9->trigger();
        QCOMPARE(dialogs->count("information"), 1);
        QVERIFY(!window.RecentJobFiles().contains(path("job9.nc")));
        QCOMPARE(menu->actions().size(), 7 + 2);

        // A recent file opens its tab.
        QTabWidget* const tabs = window.GetEditorTabWidget();
        tabs->setCurrentIndex(0);
        menu->actions().at(0)->trigger();
        QCOMPARE(window.CurrentJobDocument()->path(), path("job3.nc"));
    }
};

QTEST_MAIN(TestJobFiles)
#include "tst_jobfiles.moc"
