// The job history: a run's row survives the program's death, a database that cannot be used
// leaves the history closed (never a job), filters and the CSV export.
#include "jobhistory.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cstdio>
#include <cstring>

class TestJobHistory : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void runsRecordedAndFiltered();
    void rowSurvivesKill();
    void unusableDatabaseLeavesHistoryClosed();
    void csvQuotesFields();
};

void TestJobHistory::runsRecordedAndFiltered()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sub/jobs.sqlite"));
    JobHistory h;
    QVERIFY2(h.open(path), qPrintable(h.lastError()));
    const qint64 a = h.begin(QStringLiteral("Mill"), QStringLiteral("COM1"),
                             QStringLiteral("/jobs/a.nc"), QStringLiteral("aa"), 100, 60.0);
    const qint64 b = h.begin(QStringLiteral("Lathe"), QStringLiteral("COM2"),
                             QStringLiteral("/jobs/b.nc"), QStringLiteral("bb"), 50, 30.0);
    QVERIFY(a > 0 && b > a);
    QVERIFY(h.finish(a, JobHistory::Result::Error, 42, QStringLiteral("undefined feed rate"),
                     41, 12.5));
    QVERIFY(!h.finish(a + 1000, JobHistory::Result::Completed, 0, {}, 0, 0));

    const auto all = h.runs();
    QCOMPARE(all.size(), 2);
    QCOMPARE(all[0].id, b);  // newest first
    QCOMPARE(all[0].result, JobHistory::Result::Running);
    QVERIFY(!all[0].ended.isValid());
    QCOMPARE(all[1].result, JobHistory::Result::Error);
    QCOMPARE(all[1].failedLine, 42u);
    QCOMPARE(all[1].linesDone, 41u);
    QCOMPARE(all[1].linesTotal, 100u);
    QVERIFY(all[1].ended.isValid());

    JobHistory::Filter byMachine;
    byMachine.machine = QStringLiteral("Mill");
    QCOMPARE(h.runs(byMachine).size(), 1);
    JobHistory::Filter byResult;
    byResult.result = JobHistory::Result::Error;
    QCOMPARE(h.runs(byResult).value(0).id, a);
    JobHistory::Filter future;
    future.from = QDateTime::currentDateTimeUtc().addDays(1);
    QVERIFY(h.runs(future).isEmpty());
    QCOMPARE(h.machines(), QStringList({QStringLiteral("Lathe"), QStringLiteral("Mill")}));

    // Another program's view of a run without an end: interrupted, not running.
    JobHistory other;
    QVERIFY(other.open(path));
    QCOMPARE(other.runs().value(0).result, JobHistory::Result::Interrupted);
}

// The child begins a run, says so and waits to be killed.
static int childBeginsAndWaits(const QString& path)
{
    JobHistory h;
    if (!h.open(path) || h.begin(QStringLiteral("Mill"), QStringLiteral("COM3"),
                                 QStringLiteral("/jobs/part.nc"), QStringLiteral("cc"), 10,
                                 5.0) == 0)
        return 1;
    std::fputs("begun\n", stdout);
    std::fflush(stdout);
    QThread::sleep(60);
    return 2;
}

void TestJobHistory::rowSurvivesKill()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("jobs.sqlite"));
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--begin-and-wait"), path});
    QVERIFY(child.waitForStarted(10000));
    QVERIFY(child.waitForReadyRead(20000));
    QCOMPARE(child.readAllStandardOutput().trimmed(), QByteArray("begun"));
    child.kill();  // SIGKILL: no destructor, no checkpoint
    QVERIFY(child.waitForFinished(10000));

    JobHistory h;
    QVERIFY(h.open(path));
    const auto runs = h.runs();
    QCOMPARE(runs.size(), 1);
    QCOMPARE(runs[0].filePath, QStringLiteral("/jobs/part.nc"));
    QCOMPARE(runs[0].result, JobHistory::Result::Interrupted);
}

void TestJobHistory::unusableDatabaseLeavesHistoryClosed()
{
    QTemporaryDir dir;
    const QString damaged = dir.filePath(QStringLiteral("damaged.sqlite"));
    {
        QFile f(damaged);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QByteArray junk(8192, 'x');
        f.write(junk);
    }
    // A regular file where a folder should be: nothing can be created below it.
    const QString blocker = dir.filePath(QStringLiteral("file"));
    {
        QFile f(blocker);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    for (const QString& path : {damaged, blocker + QStringLiteral("/jobs.sqlite")}) {
        JobHistory h;
        QVERIFY2(!h.open(path), qPrintable(path));
        QVERIFY(!h.lastError().isEmpty());
        QVERIFY(!h.isOpen());
        QCOMPARE(h.begin(QStringLiteral("Mill"), QStringLiteral("COM1"), QStringLiteral("a"),
                         QStringLiteral("b"), 1, 1),
                 qint64(0));
        QVERIFY(h.runs().isEmpty());
    }
}

void TestJobHistory::csvQuotesFields()
{
    JobHistory::Run r;
    r.machine = QStringLiteral("Mill, \"big\"");
    r.port = QStringLiteral("COM1");
    r.filePath = QStringLiteral("/a\nb.nc");
    r.result = JobHistory::Result::Completed;
    r.linesDone = r.linesTotal = 3;
    const QStringList lines = JobHistory::toCsv({r}).split(QLatin1Char('\n'));
    QVERIFY(lines[0].startsWith(QLatin1String("machine,port,file,")));
    QVERIFY(lines[1].startsWith(QLatin1String("\"Mill, \"\"big\"\"\",COM1,\"/a")));
    QCOMPARE(lines[2].left(2), QStringLiteral("b."));  // the quoted field goes on
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && std::strcmp(argv[1], "--begin-and-wait") == 0)
        return childBeginsAndWaits(QString::fromLocal8Bit(argv[2]));
    TestJobHistory test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_jobhistory.moc"
