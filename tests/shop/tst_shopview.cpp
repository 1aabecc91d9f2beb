// The shop view in the window: an error on a machine that is not the active one colours its
// tile, tab and list row and is told once; a tile's click makes its machine active; Stop All
// Jobs stops the jobs of every machine.
#include "mainwndtesting.h"

#include "filejob.h"
#include "jobs.h"
#include "notifier.h"
#include "shopview.h"

#include <QAction>
#include <QLabel>
#include <QStandardItemModel>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

namespace {

QColor tabColour(const KavrixMainWnd& window, const QString& port)
{
    return window.GetControllerTabWidget()->tabBar()->tabTextColor(window.FindControllerTab(port));
}

QVariant rowColour(const QString& port)
{
    KavrixKernel* const kernel = KavrixKernel::Instance();
    return kernel->GetControllerModel()->data(kernel->FindControllerIndex(port),
                                              Qt::ForegroundRole);
}

QString banner(const KavrixMainWnd& window, const QString& port)
{
    return window.GetShopView()->tile(port)->findChild<QLabel*>(QStringLiteral("banner"))->text();
}

}  // namespace

class TestShopView : public MainWndTestCase {
    Q_OBJECT
private Q_SLOTS:
    void init() { startEnvironment(); }
    void cleanup()
    {
        DesktopNotifier::setSink({});
        stopEnvironment();
    }

    void errorOnAnotherMachineIsShownEverywhereAndToldOnce()
    {
        KavrixMainWnd window;
        QStringList told;
        DesktopNotifier::setSink(
            [&told](const QString& title, const QString&) { told << title; });
        KavrixKernel* const kernel = KavrixKernel::Instance();
        for (const char* port : {"COM1", "COM2"}) {
            QVERIFY(registerController(QString::fromLatin1(port)));
            kernel->SetActiveController(QString::fromLatin1(port));
            kernel->ConnectActiveController();
        }
        QCOMPARE(kernel->GetActiveControllerPort(), QStringLiteral("COM2"));
        const QColor normal = tabColour(window, QStringLiteral("COM1"));

        quenta::StatusReport report;
        report.errorCode = 0x13;
        ports->device("COM1")->setStatus(report);
        ports->device("COM1")->notify();
        QTRY_COMPARE_WITH_TIMEOUT(banner(window, QStringLiteral("COM1")), QStringLiteral("Error"),
                                  kUiTimeoutMs);
        QCOMPARE(banner(window, QStringLiteral("COM2")), QStringLiteral("Idle"));
        QVERIFY(tabColour(window, QStringLiteral("COM1")) != normal);
        QVERIFY(rowColour(QStringLiteral("COM1")).isValid());
        QVERIFY(!rowColour(QStringLiteral("COM2")).isValid());
        QCOMPARE(told, QStringList({QStringLiteral("COM1 needs attention")}));
        QVERIFY(stampedLines(window).contains(QStringLiteral("COM1 needs attention: Error: 0x13 : X Endschalter ist ausgelöst")));

        // The same pending error reported again is no new event.
        ports->device("COM1")->notify();
        QTest::qWait(400);
        QCOMPARE(told.size(), 1);

        // Acknowledged: the colours go.
        ports->device("COM1")->setStatus(quenta::StatusReport());
        ports->device("COM1")->notify();
        QTRY_VERIFY_WITH_TIMEOUT(!rowColour(QStringLiteral("COM1")).isValid(), kUiTimeoutMs);
        QCOMPARE(tabColour(window, QStringLiteral("COM1")), normal);

        // A click on a tile makes its machine the active one.
        QTest::mouseClick(window.GetShopView()->tile(QStringLiteral("COM1")), Qt::LeftButton);
        QCOMPARE(kernel->GetActiveControllerPort(), QStringLiteral("COM1"));
    }

    void stopAllJobsStopsEveryMachine()
    {
        ports.reset();  // the built-in simulated controllers
        KavrixMainWnd window;
        KavrixKernel* const kernel = KavrixKernel::Instance();
        std::string job = "G21 G91 F600\n";
        for (int i = 0; i < 200; ++i)
            job += "G1 X0.5\n";
        QStringList started;
        for (const char* port : {"COM4", "COM5"}) {
            QVERIFY(registerController(QString::fromLatin1(port)));
            kernel->SetActiveController(QString::fromLatin1(port));
            kernel->ConnectActiveController();
            TarvoController* const c = kernel->FindController(QString::fromLatin1(port));
            QVERIFY(c->IsConnected());
            gcode::Program::Options options;
            QVERIFY(quenta::jobProgramOptions(c->GetPortSettings(), options));
            auto program = std::make_shared<const gcode::Program>(job, options);
            QVERIFY(quenta::startJob(c->GetPortSettings(),
                                     std::make_shared<quenta::ProgramJob>(program), {}));
        }
        window.GetActions().stopAll->trigger();
        for (const char* port : {"COM4", "COM5"}) {
            TarvoController* const c = kernel->FindController(QString::fromLatin1(port));
            QTRY_COMPARE_WITH_TIMEOUT(int(quenta::jobProgress(c->GetPortSettings()).state),
                                      int(quenta::JobState::Stopped), kWatchdogTimeoutMs);
        }
        QVERIFY(stampedLines(window).contains(QStringLiteral("Stop all jobs: COM4, COM5 stopped")));
        window.GetActions().holdAll->trigger();
        QCOMPARE(stampedLines(window).last(), QStringLiteral("Hold all: no job is running"));
    }
};

QTEST_MAIN(TestShopView)
#include "tst_shopview.moc"
