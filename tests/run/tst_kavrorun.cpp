// kavro-run's interface as scripts see it: exit codes and the lines on stdout, for a job on the
// built-in simulated controller, a refused job, an estimate without a machine, and bad usage.

#include "jobrun.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>

namespace {

// Runs kavro-run's main work with stdout and stderr captured.
struct Captured {
    int exit = -1;
    QStringList out;
    QString err;
};

QStringList lines(std::FILE* f)
{
    std::rewind(f);
    QByteArray all;
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        all.append(buffer, qsizetype(n));
    std::fclose(f);
    return QString::fromUtf8(all).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

Captured runWith(const QStringList& args, const std::atomic<bool>* stop = nullptr)
{
    Captured c;
    kavrorun::Options o;
    QString error;
    if (!kavrorun::parseArguments(args, o, error)) {
        c.exit = kavrorun::Trouble;
        c.err = error;
        return c;
    }
    kavrorun::Io io;
    io.out = std::tmpfile();
    io.err = std::tmpfile();
    io.stop = stop;
    c.exit = kavrorun::run(o, io);
    c.out = lines(io.out);
    c.err = lines(io.err).join(QLatin1Char('\n'));
    return c;
}

}  // namespace

class TestKavroRun : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(dir.isValid()); }
    void jobRunsToTheEndOnTheSimulator();
    void refusedJobFailsWithItsLine();
    void estimateWithoutAMachineUsesGrblDefaults();
    void usageAndFileProblemsExitTwo();
    void stopRequestEndsTheJob();

private:
    QString file(const QByteArray& text);
    QTemporaryDir dir;
    int files = 0;
};

QString TestKavroRun::file(const QByteArray& text)
{
    const QString path = dir.filePath(QStringLiteral("job%1.nc").arg(++files));
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(text);
    return path;
}

void TestKavroRun::jobRunsToTheEndOnTheSimulator()
{
    const Captured c = runWith({QStringLiteral("--port"), QStringLiteral("COM31"),
                                file("G21 G90\nG1 X0.5 Y0.25 F600\nG0 X0 Y0\n")});
    QCOMPARE(c.exit, int(kavrorun::Done));
    QVERIFY2(c.out.size() >= 3, qPrintable(c.out.join(QLatin1Char('|'))));
    QVERIFY(c.out.first().startsWith(QLatin1String("estimate: ")));
    QCOMPARE(c.out.at(1), QStringLiteral("extents: X 0.000 0.500 Y 0.000 0.250 Z 0.000 0.000 mm"));
    QVERIFY2(c.out.last().startsWith(QLatin1String("done: 3 lines in ")), qPrintable(c.out.last()));
}

void TestKavroRun::refusedJobFailsWithItsLine()
{
    const Captured c = runWith({QStringLiteral("--port"), QStringLiteral("COM32"),
                                file("G21\n(no feed yet)\nG1 X1\n")});
    QCOMPARE(c.exit, int(kavrorun::Failed));
    QVERIFY2(c.out.last().startsWith(QLatin1String("failed at line 3: error:22")),
             qPrintable(c.out.last()));
}

void TestKavroRun::estimateWithoutAMachineUsesGrblDefaults()
{
    // 10 mm at 300 mm/min is 2 s of cruise; with GRBL's 10 mm/s^2 the ramps add 0.5 s
    // (5 mm/s reached after 0.5 s and 1.25 mm each way).
    const Captured c = runWith({QStringLiteral("--estimate"), file("G21 G1 X10 F300\n")});
    QCOMPARE(c.exit, int(kavrorun::Done));
    QCOMPARE(c.out.first(), QStringLiteral("estimate: 2.5 s"));
    QCOMPARE(c.out.size(), 2);
}

void TestKavroRun::usageAndFileProblemsExitTwo()
{
    QCOMPARE(runWith({}).exit, int(kavrorun::Trouble));
    QCOMPARE(runWith({QStringLiteral("--tool-change"), QStringLiteral("later"), QStringLiteral("a.nc")}).exit,
             int(kavrorun::Trouble));
    QCOMPARE(runWith({QStringLiteral("--from"), QStringLiteral("0"), QStringLiteral("a.nc")}).exit,
             int(kavrorun::Trouble));
    const Captured missing = runWith({QStringLiteral("--estimate"), dir.filePath(QStringLiteral("none.nc"))});
    QCOMPARE(missing.exit, int(kavrorun::Trouble));
    QVERIFY(missing.out.isEmpty());
    QVERIFY(missing.err.startsWith(QLatin1String("kavro-run: cannot read")));
    const Captured beyond = runWith({QStringLiteral("--port"), QStringLiteral("COM33"),
                                     QStringLiteral("--from"), QStringLiteral("9"), file("G0 X1\n")});
    QCOMPARE(beyond.exit, int(kavrorun::Trouble));
}

void TestKavroRun::stopRequestEndsTheJob()
{
    // SIGINT / SIGTERM set the flag: the job stops like the stop control and exits 1.
    std::atomic<bool> stop{true};
    QByteArray text = "G21 G91 F600\n";
    for (int i = 0; i < 50; ++i)
        text += "G1 X0.5\n";
    const Captured c = runWith({QStringLiteral("--port"), QStringLiteral("COM34"), file(text)}, &stop);
    QCOMPARE(c.exit, int(kavrorun::Failed));
    QVERIFY2(c.out.last().contains(QLatin1String("stopped")), qPrintable(c.out.last()));
}

QTEST_GUILESS_MAIN(TestKavroRun)
#include "tst_kavrorun.moc"
