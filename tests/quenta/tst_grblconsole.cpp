// The console of a GRBL port, end to end against the GRBL peer on a pseudo-terminal: a typed
// line's answer comes back tied to it, lines are refused while a job runs but a hold is not,
// and $$ lists every setting with its meaning.

#include "console.h"
#include "filejob.h"
#include "grblpeer.h"
#include "jobs.h"
#include "program.h"
#include "quenta.h"

#include <QSettings>
#include <QtTest>

#include <cstring>
#include <memory>

using quenta::ConsoleEntry;

class TestGrblConsole : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void answerComesTiedToItsLine();
    void linesAreRefusedWhileAJobRunsButHoldPausesIt();
    void settingsListedWithTheirMeanings();
    void realtimeCharactersInsideALineAreRefused();

private:
    // Takes the transcript until an entry satisfies pred (kept in `taken`), for at most 3 s.
    bool takeUntil(const std::function<bool(const ConsoleEntry&)>& pred)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 3000) {
            const size_t from = taken.size();
            quenta::consoleTake(&record, taken);
            for (size_t i = from; i < taken.size(); ++i) {
                if (pred(taken[i]))
                    return true;
            }
            QTest::qWait(20);
        }
        return false;
    }

    std::unique_ptr<GrblPtyServer> server;
    TarvoPortSettings record;
    std::vector<ConsoleEntry> taken;
};

void TestGrblConsole::init()
{
    server = std::make_unique<GrblPtyServer>();
    QVERIFY(server->start());
    QSettings link(QStringLiteral("lumbrix"), QStringLiteral("Quenta"));
    link.setValue(QStringLiteral("ports/COM7"),
                  QStringLiteral("grbl:") + QString::fromStdString(server->path()));
    InitCommPortSettings(&record);
    std::strcpy(record.comPort, "COM7");
    QVERIFY(TarvoOpenConnectionPort(&record, 0));
    QVERIFY(quenta::consoleAvailable(&record));
    taken.clear();
}

void TestGrblConsole::cleanup()
{
    TarvoCloseConnection(&record);
    server.reset();
}

void TestGrblConsole::answerComesTiedToItsLine()
{
    std::string why;
    QVERIFY(quenta::consoleSend(&record, "G64", why));  // GRBL has no path blending mode
    QVERIFY(takeUntil([](const ConsoleEntry& e) { return e.kind == ConsoleEntry::Kind::Answer
                                                         && e.line == "G64"; }));
    const ConsoleEntry& answer = taken.back();
    QCOMPARE(answer.text, std::string("error:20"));
    QVERIFY(answer.console);
    QVERIFY(!answer.meaning.empty());
    // Shown in the console, not raised as the controller's error.
    uint8_t first, inputs, flags, fill, gin, gout, error = 0xFF;
    int32_t pos[4];
    GetStatus_Schritte(&record, &first, &inputs, &flags, &pos[0], &pos[1], &pos[2], &pos[3],
                       &fill, &gin, &gout, &error);
    QCOMPARE(error, uint8_t(0));

    // The sent line came before its answer; status polls and reports are marked as such.
    const auto sent = std::find_if(taken.begin(), taken.end(), [](const ConsoleEntry& e) {
        return e.kind == ConsoleEntry::Kind::Sent && e.text == "G64";
    });
    QVERIFY(sent != taken.end() && sent->console);
    for (const ConsoleEntry& e : taken) {
        if (e.text.rfind("<", 0) == 0 || e.text == "?")
            QVERIFY(e.status);
    }

    // An operator's "?" shows its report.
    taken.clear();
    QVERIFY(quenta::consoleSend(&record, "?", why));
    QVERIFY(takeUntil([](const ConsoleEntry& e) {
        return e.kind == ConsoleEntry::Kind::Received && e.text.rfind("<Idle", 0) == 0
               && !e.status;
    }));
}

void TestGrblConsole::linesAreRefusedWhileAJobRunsButHoldPausesIt()
{
    std::string text = "G21 G90 F300\n";
    for (int i = 1; i <= 20; ++i)
        text += "G1 X" + std::to_string(i) + "\n";
    gcode::Program::Options o;
    o.target = gcode::Target::Grbl;
    auto job = std::make_shared<quenta::ProgramJob>(std::make_shared<const gcode::Program>(text, o));
    QVERIFY(quenta::startJob(&record, job, {}));
    std::string why;
    QCOMPARE(quenta::consoleSend(&record, "G0 X50", why), 0);
    QVERIFY(why.find("job") != std::string::npos);
    QVERIFY(quenta::consoleRealtime(&record, '!'));
    QTRY_COMPARE_WITH_TIMEOUT(quenta::jobProgress(&record).state, quenta::JobState::Paused, 3000);
    QVERIFY(quenta::consoleRealtime(&record, '~'));
    QTRY_COMPARE_WITH_TIMEOUT(quenta::jobProgress(&record).state, quenta::JobState::Running,
                              3000);
    QVERIFY(quenta::controlJob(&record, quenta::JobControl::Stop));
    QTRY_VERIFY_WITH_TIMEOUT(!quenta::jobActive(quenta::jobProgress(&record).state), 8000);
    // Once the job has ended the console takes lines again.
    QTRY_VERIFY_WITH_TIMEOUT(quenta::consoleSend(&record, "$G", why), 3000);
}

void TestGrblConsole::settingsListedWithTheirMeanings()
{
    std::string why;
    QVERIFY(quenta::consoleSend(&record, "$$", why));
    QVERIFY(takeUntil([](const ConsoleEntry& e) {
        return e.kind == ConsoleEntry::Kind::Answer && e.line == "$$";
    }));
    int settings = 0;
    for (const ConsoleEntry& e : taken) {
        if (e.kind != ConsoleEntry::Kind::Received || e.text.rfind("$", 0) != 0)
            continue;
        ++settings;
        QVERIFY2(!e.meaning.empty(), e.text.c_str());
        if (e.text.rfind("$110=", 0) == 0)
            QCOMPARE(e.meaning, std::string("X maximum rate, mm/min"));
    }
    QVERIFY(settings >= 30);
}

void TestGrblConsole::realtimeCharactersInsideALineAreRefused()
{
    // GRBL would obey the "!" at once and hold the machine, whatever the rest of the line says.
    std::string why;
    QCOMPARE(quenta::consoleSend(&record, "G0 X1 (stop!)", why), 0);
    QVERIFY(why.find("'!'") != std::string::npos);
    QCOMPARE(quenta::consoleSend(&record, std::string(200, 'G'), why), 0);
    QVERIFY(!why.empty());
}

QTEST_GUILESS_MAIN(TestGrblConsole)
#include "tst_grblconsole.moc"
