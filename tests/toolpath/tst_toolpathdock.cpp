// The "Toolpath" dock of the main window: it shows the job of the current tab, follows that
// job's loading and run, and places the tool at the active controller's position.
#include "mainwndtesting.h"

#include "jobdocument.h"
#include "tarvoparameters.h"
#include "toolpathpanel.h"

#include <QAction>
#include <QDockWidget>
#include <QFile>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

QString writeJob(const QTemporaryDir& dir, const QString& name, const QByteArray& text)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        return {};
    return path;
}

} // namespace

class TestToolpathDock : public MainWndTestCase {
    Q_OBJECT

private Q_SLOTS:
    void init() { startEnvironment(); }
    void cleanup() { stopEnvironment(); }

    void followsTheCurrentJobAndItsRun()
    {
        QTemporaryDir dir;
        const QString first = writeJob(dir, "a.nc", "G0 X-10\nG1 X-20 F100\nG1 Y-5\n");
        const QString second = writeJob(dir, "b.nc", "G1 X-1 Y-1 F100\n");
        QVERIFY(!first.isEmpty() && !second.isEmpty());
        KavrixMainWnd window;
        toolpath::ToolpathPanel* const panel = window.GetToolpathPanel();
        QVERIFY(panel);
        QVERIFY(window.GetViewMenu()->actions().contains(
            window.findChild<QDockWidget*>("toolpathDock")->toggleViewAction()));

        JobDocument a(first);
        QVERIFY(a.loadNow());
        a.setRunProgress(2, 1);
        Q_EMIT window.CurrentJobDocumentChanged(&a);
        QCOMPARE(panel->program(), a.program());
        QCOMPARE(panel->linesDone(), 1u);
        QTRY_VERIFY_WITH_TIMEOUT(panel->path(), kUiTimeoutMs);
        QCOMPARE(panel->path()->segmentCount(), 3u);
        a.setRunProgress(3, 2);
        QCOMPARE(panel->linesDone(), 2u);
        // A new run starts with nothing done.
        a.setRun(QStringLiteral("COM3"));
        QCOMPARE(panel->linesDone(), 0u);

        // Another tab's job, still loading: shown once it is loaded; the first one's run no
        // longer reaches the view.
        auto b = std::make_unique<JobDocument>(second);
        Q_EMIT window.CurrentJobDocumentChanged(b.get());
        QVERIFY(!panel->program());
        QTRY_VERIFY_WITH_TIMEOUT(!panel->path(), kUiTimeoutMs);
        b->load();
        QTRY_VERIFY_WITH_TIMEOUT(panel->program() && panel->program() == b->program(),
                                 kUiTimeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(panel->path() && panel->path()->segmentCount() == 1,
                                 kUiTimeoutMs);
        a.setRunProgress(3, 3);
        QCOMPARE(panel->linesDone(), 0u);

        // Its document closed: nothing is left drawn.
        b.reset();
        QVERIFY(!panel->program());
        QTRY_VERIFY_WITH_TIMEOUT(!panel->path(), kUiTimeoutMs);

        // A tab without a job.
        Q_EMIT window.CurrentJobDocumentChanged(&a);
        QCOMPARE(panel->program(), a.program());
        Q_EMIT window.CurrentJobDocumentChanged(nullptr);
        QVERIFY(!panel->program());
    }

    void toolFollowsTheActiveControllerInMillimetres()
    {
        TarvoController* const controller = registerController("COM3");
        KavrixMainWnd window;
        toolpath::ToolpathPanel* const panel = window.GetToolpathPanel();
        QVERIFY(!panel->toolPosition());

        controller->GetParameters().ResetToDefaults();
        controller->GetParameters().MECHANIK_AUFLOESUNG_X_FLOAT = 200.0f;
        controller->GetParameters().MECHANIK_AUFLOESUNG_Z_FLOAT = 400.0f;
        KavrixKernel::Instance()->ConnectActiveController();
        quenta::StatusReport status;
        status.pos[0] = 400;
        status.pos[1] = -250;
        status.pos[2] = -800;
        ports->device("COM3")->setStatus(status);
        UpdateControllerStatusEvent event("COM3");
        QCoreApplication::sendEvent(KavrixKernel::Instance(), &event);
        QVERIFY(panel->toolPosition());
        QCOMPARE(*panel->toolPosition(),
                 QVector3D(2.0f, -250.0f / float(controller->GetParameters()
                                                     .MECHANIK_AUFLOESUNG_Y_FLOAT),
                           -2.0f));

        KavrixKernel::Instance()->DisconnectActiveController();
        QVERIFY(!panel->toolPosition());
    }
};

QTEST_MAIN(TestToolpathDock)
#include "tst_toolpathdock.moc"
