// The GRBL device end to end: the link library's C calls through the port map ("grbl:<tty>"),
// the shared tty layer and a pseudo-terminal to the GRBL peer.

#include "grblpeer.h"
#include "device.h"
#include "quenta.h"

#include <QElapsedTimer>
#include <QSettings>
#include <QtTest>

#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>

namespace {

std::atomic<int> notifications{0};
void onStatus(TarvoPortSettings*)
{
    ++notifications;
}

struct Status {
    uint8_t first = 0, inputs = 0, flags = 0, fill = 0, gin = 0, gout = 0, error = 0;
    int32_t pos[4] = {0, 0, 0, 0};
};

bool fetch(TarvoPortSettings* s, Status& st)
{
    return GetStatus_Schritte(s, &st.first, &st.inputs, &st.flags, &st.pos[0], &st.pos[1],
                              &st.pos[2], &st.pos[3], &st.fill, &st.gin, &st.gout, &st.error)
           != 0;
}

// Waits (bounded) until the condition holds.
bool eventually(const std::function<bool()>& done, int ms = 3000)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QTest::qWait(10);
    }
    return true;
}

}  // namespace

class TestGrblDevice : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void connectNameAndStatus();
    void jogZeroPointAndPositionInSteps();
    void parkRefusedUntilReferenced();
    void haltDuringJogStopAndAcknowledge();
    void parametersWrittenOnlyOnChangeAndKept();
    void ramProgramStreamedThreeTimes();
    void hangUpEndsStatusAndCalls();
    void hardLimitNamesTheAxisUntilAcknowledged();
    void silentFirmwareFailsCallsAtOnce();
    // Found against the firmware.
    void haltStopsQueuedJogs();
    void haltDuringHomingResetsAtOnce();
    void haltAtRestKeepsReferenceAndLeavesNoHold();
    void softLimitAlarmNamesTheFailingLineAndStaysAlive();
    void stepMovesDoNotDrift();
    void homingIsNotSilence();
    void failedHomingNeverShowsReferenced();
    void slowSettingWriteIsRecorded();
    void nameAsTheFirmwareStoresIt();
    void parkOutsideTheEnvelopeIsRefused();
    void inchReportsGiveSteps();
    void statusDoesNotWaitBehindCalls();
    void bufferFillWithoutBfFollowsThePlanner();

private:
    int connect();
    std::string peerState();
    bool peerIdle() { return peerState() == "Idle"; }

    template <typename T>
    T peer(T (*get)(GrblPeer&))
    {
        T v{};
        server->with([&](GrblPeer& p) { v = get(p); });
        return v;
    }
    double machineX() { return peer<double>([](GrblPeer& p) { return p.machine(0); }); }
    // Waits until the peer has not moved for a while.
    bool settled(int ms = 6000);
    bool home();

    std::unique_ptr<GrblPtyServer> server;
    TarvoPortSettings record;
};

void TestGrblDevice::init()
{
    server = std::make_unique<GrblPtyServer>();
    QVERIFY(server->start());
    QSettings link(QStringLiteral("lumbrix"), QStringLiteral("Quenta"));
    // Parameters the library keeps for a GRBL port persist: every test starts without them.
    link.remove(QStringLiteral("grbl"));
    link.setValue(QStringLiteral("ports/COM7"),
                  QStringLiteral("grbl:") + QString::fromStdString(server->path()));
    InitCommPortSettings(&record);
    std::strcpy(record.comPort, "COM7");
    notifications = 0;
    SetStatusNotificationCallback(onStatus);
}

void TestGrblDevice::cleanup()
{
    TarvoCloseConnection(&record);
    SetStatusNotificationCallback(nullptr);
    server.reset();
}

int TestGrblDevice::connect()
{
    return TarvoOpenConnectionPort(&record, 0);
}

std::string TestGrblDevice::peerState()
{
    std::string s;
    server->with([&](GrblPeer& p) { s = p.state(); });
    return s;
}

void TestGrblDevice::connectNameAndStatus()
{
    // No bootloader to talk to: the firmware mode is refused as "not a controller".
    QCOMPARE(TarvoOpenConnection4FirmwareUpdate(&record), 0);
    QCOMPARE(int(record.openResult), 2);

    // The peer greeted at power-up, before the port opened: the soft reset after 1 s brings
    // the welcome line again.
    QCOMPARE(connect(), 1);
    QCOMPARE(QString::fromLatin1(record.controllerName), QStringLiteral("Grbl 1.1h"));
    Status st;
    QVERIFY(fetch(&record, st));
    QCOMPARE(int(st.error), 0);
    // Unchanged status still notifies about every 500 ms, so the watchdog stays quiet.
    notifications = 0;
    QTest::qWait(1300);
    QVERIFY(notifications >= 2 && notifications <= 6);
    // Raw bytes are not for GRBL ports.
    uint8_t b = 0;
    QCOMPARE(TarvoWriteChar(&record, &b, 1), 0);

    // A name set with $I= is the controller name from then on, as the firmware stored it.
    TarvoCloseConnection(&record);
    server->with([](GrblPeer& p) {
        p.receive(reinterpret_cast<const uint8_t*>("$I=Mill 3\n"), 10);
    });
    QCOMPARE(connect(), 1);
    QCOMPARE(QString::fromLatin1(record.controllerName), QStringLiteral("MILL3"));
}

void TestGrblDevice::jogZeroPointAndPositionInSteps()
{
    QCOMPARE(connect(), 1);
    int32_t x[6] = {2500, 0, 0, 0, 0, 0};  // 10 mm at 250 steps/mm
    int32_t y[6] = {-500, 0, 0, 0, 0, 0};
    quenta::takeSentLines(&record);
    QCOMPARE(FahreRelativ_XY_Schritte(&record, 25000, 1, x, y, 3), 1);
    // What went to the firmware for the call, for the operator's log.
    const std::vector<std::string> sent = quenta::takeSentLines(&record);
    QCOMPARE(sent.size(), size_t(1));
    QVERIFY2(sent.front().rfind("$J=G91 G21 X10 Y-2 F", 0) == 0, sent.front().c_str());
    QVERIFY(quenta::takeSentLines(&record).empty());
    QVERIFY(eventually([&] {
        double m = 0;
        server->with([&](GrblPeer& p) { m = p.machine(0); });
        return peerIdle() && m > 9.99;
    }));
    Status st;
    QVERIFY(eventually([&] { return fetch(&record, st) && st.pos[0] == 2500; }));
    QCOMPARE(st.pos[1], -500);
    QCOMPARE(st.pos[3], 0);

    // The current position then reads as the given values.
    QCOMPARE(NullPunktSetzen_mm(&record, 1.0f, 0.0f, 2.0f, 0.0f), 1);
    QVERIFY(eventually([&] { return fetch(&record, st) && st.pos[0] == 250; }));
    QCOMPARE(st.pos[1], 0);
    QCOMPARE(st.pos[2], 500);
    double offset = 0;
    server->with([&](GrblPeer& p) { offset = p.workOffset(0); });
    QCOMPARE(offset, 9.0);

    float zmm[6] = {-1.0f, 0, 0, 0, 0, 0};
    float cmm[6] = {5.0f, 0, 0, 0, 0, 0};  // no fourth axis: C stays
    QCOMPARE(FahreRelativ_ZC_mm(&record, 20.0f, 1, zmm, cmm, 3), 1);
    QVERIFY(eventually([&] { return fetch(&record, st) && st.pos[2] == 250 && peerIdle(); }));
    QCOMPARE(st.pos[3], 0);
}

void TestGrblDevice::parkRefusedUntilReferenced()
{
    QCOMPARE(connect(), 1);
    Status st;
    QCOMPARE(ParkPositionAnfahren(&record), 0);
    QVERIFY(fetch(&record, st));
    QCOMPARE(int(st.error), 0x03);
    QCOMPARE(FehlerQuitieren(&record), 1);
    QVERIFY(fetch(&record, st));
    QCOMPARE(int(st.error), 0);

    // Homing disabled: GRBL's error becomes the code.
    QCOMPARE(Referenzfahrt(&record, 0, 0), 0);
    QVERIFY(fetch(&record, st));
    QCOMPARE(int(st.error), 0x0a);
    // ... and the reason says what is off and where it is switched on.
    const std::string why = quenta::takeRefusal(&record);
    QVERIFY2(why.find("$22=0") != std::string::npos, why.c_str());
    QVERIFY(why.find("Referenzfahrt") != std::string::npos);
    FehlerQuitieren(&record);

    server->with([](GrblPeer& p) { p.setSetting(22, 1); });
    Referenzfahrt(&record, 0, 0);
    QVERIFY(eventually([&] { return fetch(&record, st) && (st.flags & 0x07) == 0x07; }));
    QCOMPARE(int(st.error), 0);
    int32_t x[6] = {-1250, 0, 0, 0, 0, 0};
    int32_t y[6] = {0, 0, 0, 0, 0, 0};
    FahreRelativ_XY_Schritte(&record, 50000, 1, x, y, 3);
    // Idle again only once the jog has arrived and run (not before it started).
    QVERIFY(eventually([&] {
        double m = 0;
        server->with([&](GrblPeer& p) { m = p.machine(0); });
        return peerIdle() && m < -1e-3;
    }));
    QCOMPARE(ParkPositionAnfahren(&record), 1);
    QVERIFY(eventually([&] {
        double m = -1;
        server->with([&](GrblPeer& p) { m = p.machine(0); });
        return peerIdle() && std::fabs(m) < 1e-6;
    }));
}

void TestGrblDevice::haltDuringJogStopAndAcknowledge()
{
    QCOMPARE(connect(), 1);
    int32_t x[6] = {250000, 0, 0, 0, 0, 0};  // 1 m at 10 mm/s
    int32_t y[6] = {0, 0, 0, 0, 0, 0};
    QCOMPARE(FahreRelativ_XY_Schritte(&record, 2500, 1, x, y, 3), 1);
    QVERIFY(eventually([&] { return peerState() == "Jog"; }));
    QCOMPARE(NotHalt_mitBremsrampe(&record), 1);
    Status st;
    QVERIFY(fetch(&record, st));
    QCOMPARE(int(st.error), 0x99);
    QVERIFY(eventually([&] { return peerIdle(); }, 3000));  // braking from 10 mm/s takes 1 s
    double stoppedAt = 0;
    server->with([&](GrblPeer& p) { stoppedAt = p.machine(0); });
    QVERIFY(stoppedAt > 0 && stoppedAt < 100);
    QTest::qWait(200);
    double later = 0;
    server->with([&](GrblPeer& p) { later = p.machine(0); });
    QCOMPARE(later, stoppedAt);
    // Commands wait for the acknowledgement; $X clears the code.
    QCOMPARE(FehlerQuitieren(&record), 1);
    QVERIFY(eventually([&] { return fetch(&record, st) && st.error == 0; }));

    // Not Stop: a soft reset at once; GRBL raises its reset-in-motion alarm.
    SpindelKuhlungSetzen(&record, 1, 0);
    QVERIFY(eventually([&] { return fetch(&record, st) && (st.flags & 0x10); }));
    QCOMPARE(FahreRelativ_XY_Schritte(&record, 2500, 1, x, y, 3), 1);
    QVERIFY(eventually([&] { return peerState() == "Jog"; }));
    QCOMPARE(NotStop_ohneBremsrampe(&record), 1);
    QVERIFY(eventually([&] { return peerState() == "Alarm"; }, 1000));
    QVERIFY(eventually([&] { return fetch(&record, st) && !(st.flags & 0x10); }));
    QCOMPARE(int(st.error), 0x99);
    QCOMPARE(st.flags & 0x0f, 0);
    QCOMPARE(FehlerQuitieren(&record), 1);
    QVERIFY(eventually([&] { return peerIdle(); }));
    QVERIFY(fetch(&record, st));
    QCOMPARE(int(st.error), 0);
}

void TestGrblDevice::parametersWrittenOnlyOnChangeAndKept()
{
    QCOMPARE(connect(), 1);
    uint8_t out[16] = {};
    // Only in parameter mode.
    QCOMPARE(ParameterLesen(&record, 0x04, 0x00, out), 0);
    FehlerQuitieren(&record);
    QCOMPARE(BetriebsArtenWechsel(&record, 1), 1);
    QCOMPARE(ParameterLesen(&record, 0x04, 0x00, out), 1);
    float f = 0;
    std::memcpy(&f, out, 4);
    QCOMPARE(f, 250.0f);
    int writes = -1;
    const auto eeprom = [&] { server->with([&](GrblPeer& p) { writes = p.eepromWrites; }); };
    eeprom();
    const int before = writes;
    QCOMPARE(ParameterAendern_float(&record, 0x04, 0x00, 250.0f), 1);
    eeprom();
    QCOMPARE(writes, before);
    QCOMPARE(ParameterAendern_float(&record, 0x04, 0x00, 100.0f), 1);
    eeprom();
    QCOMPARE(writes, before + 1);
    QCOMPARE(ParameterAendern_float(&record, 0x01, 0x02, 20.0f), 1);  // rapid: three axes
    eeprom();
    QCOMPARE(writes, before + 4);
    // A parameter GRBL has no setting for is kept by the library, across a reconnect.
    QCOMPARE(ParameterAendern_4_longs(&record, 0x04, 0x0B, 5, 6, 7, 8), 1);
    QCOMPARE(ParameterAendern_long(&record, 0x04, 0x04, 999), 0);  // beyond 500
    TarvoCloseConnection(&record);
    QCOMPARE(connect(), 1);
    QCOMPARE(BetriebsArtenWechsel(&record, 1), 1);
    QCOMPARE(ParameterLesen(&record, 0x04, 0x0B, out), 1);
    int32_t park[4];
    std::memcpy(park, out, 16);
    QCOMPARE(park[0], 5);
    QCOMPARE(park[3], 8);
    QCOMPARE(ParameterLesen(&record, 0x01, 0x02, out), 1);
    std::memcpy(&f, out, 4);
    QCOMPARE(f, 20.0f);
    // Positions follow the new resolution.
    QCOMPARE(BetriebsArtenWechsel(&record, 2), 1);
    float x[6] = {2.0f, 0, 0, 0, 0, 0};
    float y[6] = {0, 0, 0, 0, 0, 0};
    FahreRelativ_XY_mm(&record, 20.0f, 1, x, y, 3);
    Status st;
    QVERIFY(eventually([&] { return fetch(&record, st) && st.pos[0] == 200 && peerIdle(); }));
}

void TestGrblDevice::ramProgramStreamedThreeTimes()
{
    QCOMPARE(connect(), 1);
    QCOMPARE(BetriebsArtenWechsel(&record, 3), 1);
    QCOMPARE(LoadRAMprogramm(&record, 1), 1);
    for (int i = 0; i < 40; ++i) {
        int32_t x[6] = {i % 2 ? 25 : 50, 0, 0, 0, 0, 0};
        int32_t y[6] = {-25, 0, 0, 0, 0, 0};
        QCOMPARE(FahreRelativ_XY_Schritte(&record, 5000, 1, x, y, 3), 1);
    }
    QCOMPARE(HaltePosition(&record, 10), 1);
    QCOMPARE(BetriebsArtenWechsel(&record, 2), 1);
    Status st;
    QCOMPARE(StartRAMprogramm(&record, 2, 1), 0);  // empty slot
    QVERIFY(fetch(&record, st));
    QCOMPARE(int(st.error), 0x0c);
    FehlerQuitieren(&record);
    int done = 0;
    server->with([&](GrblPeer& p) { done = p.linesDone; });
    const int before = done;
    QCOMPARE(StartRAMprogramm(&record, 1, 3), 1);
    quenta::RunState runs;
    QVERIFY(quenta::runState(&record, runs));
    QCOMPARE(runs.ram.slot, 1);
    QCOMPARE(runs.ram.passes, 3);
    QVERIFY(eventually([&] {
        server->with([&](GrblPeer& p) { done = p.linesDone; });
        return done - before == 3 * 41 && peerIdle();
    }, 8000));
    // Its end is told once, after the last pass.
    std::vector<quenta::RamRunEnd> ends;
    QVERIFY(eventually([&] { return !(ends = quenta::takeRamRunEnds(&record)).empty(); }));
    QCOMPARE(ends.size(), size_t(1));
    QVERIFY(ends.front().completed);
    QCOMPARE(ends.front().run.pass, 3);
    QVERIFY(quenta::runState(&record, runs));
    QCOMPARE(runs.ram.slot, 0);
    server->with([&](GrblPeer& p) {
        QCOMPARE(p.rxOverflows, 0);
        QVERIFY(p.rxHighWater <= GrblPeer::RxBuffer - 1);
        QVERIFY(p.rxHighWater > 64);  // the buffer was kept well filled
        QCOMPARE(p.machine(0), 3 * 20 * (0.2 + 0.1));
    });
    QVERIFY(eventually([&] { return fetch(&record, st) && st.pos[1] == -3 * 40 * 25; }));
    QCOMPARE(int(st.error), 0);
}

void TestGrblDevice::hangUpEndsStatusAndCalls()
{
    QCOMPARE(connect(), 1);
    Status st;
    QVERIFY(fetch(&record, st));
    server->hangup();
    QVERIFY(eventually([&] { return !fetch(&record, st); }, 1000));
    int32_t x[6] = {100, 0, 0, 0, 0, 0};
    int32_t y[6] = {0, 0, 0, 0, 0, 0};
    QElapsedTimer t;
    t.start();
    QCOMPARE(FahreRelativ_XY_Schritte(&record, 100, 1, x, y, 3), 0);
    QVERIFY(t.elapsed() < 200);
    notifications = 0;
    QTest::qWait(700);
    QCOMPARE(notifications.load(), 0);  // silence: the window's watchdog takes over
}

void TestGrblDevice::hardLimitNamesTheAxisUntilAcknowledged()
{
    QCOMPARE(connect(), 1);
    // GRBL says nothing after a limit alarm, not even which pin: the generic stop, shown for
    // as long as the alarm stands (the controller is alive, not lost).
    server->with([](GrblPeer& p) { p.hardLimit('Y'); });
    Status st;
    QVERIFY(eventually([&] { return fetch(&record, st) && st.error == 0x99; }));
    int32_t x[6] = {100, 0, 0, 0, 0, 0};
    int32_t y[6] = {0, 0, 0, 0, 0, 0};
    QCOMPARE(FahreRelativ_XY_Schritte(&record, 100, 1, x, y, 3), 0);
    notifications = 0;
    QTest::qWait(1100);
    QVERIFY(notifications >= 2);
    QVERIFY(fetch(&record, st));
    QCOMPARE(int(st.error), 0x99);  // the first error stays
    // A pin named by the last report before the alarm names the axis.
    QCOMPARE(FehlerQuitieren(&record), 1);
    QVERIFY(eventually([&] { return fetch(&record, st) && st.error == 0 && peerIdle(); }));
    QVERIFY(eventually([&] { return fetch(&record, st) && (st.inputs & 0x02); }));
    server->with([](GrblPeer& p) { p.hardLimit('Y'); });
    QVERIFY(eventually([&] { return fetch(&record, st) && st.error == 0x23; }));
    QCOMPARE(FehlerQuitieren(&record), 1);
}

void TestGrblDevice::silentFirmwareFailsCallsAtOnce()
{
    QCOMPARE(connect(), 1);
    server->mute = true;
    QElapsedTimer t;
    t.start();
    int failed = 0;
    for (int i = 0; i < 40; ++i)
        failed += HaltePosition(&record, 10) == 0;
    // Two waits for an answer, then every call fails without one.
    QVERIFY2(t.elapsed() < 2000, qPrintable(QString::number(t.elapsed())));
    QVERIFY(failed >= 38);
}

bool TestGrblDevice::settled(int ms)
{
    double last = -1e9;
    int still = 0;
    return eventually([&] {
        const double now = peer<double>([](GrblPeer& p) { return p.travelled; });
        still = now == last && peerIdle() ? still + 1 : 0;
        last = now;
        return still >= 30;  // 300 ms without motion
    }, ms);
}

bool TestGrblDevice::home()
{
    server->with([](GrblPeer& p) {
        p.setSetting(22, 1);
        p.setHomingCycleMs(150);
    });
    if (Referenzfahrt(&record, 0, 0) != 1)
        return false;
    Status st;
    return eventually([&] { return fetch(&record, st) && (st.flags & 0x07) == 0x07; });
}

void TestGrblDevice::haltStopsQueuedJogs()
{
    // Twenty 2 mm jogs at 300 mm/min: the firmware plans some, the library holds the rest.
    QCOMPARE(connect(), 1);
    float x[6] = {2.0f, 0, 0, 0, 0, 0};
    float y[6] = {0, 0, 0, 0, 0, 0};
    for (int i = 0; i < 20; ++i)
        QCOMPARE(FahreRelativ_XY_mm(&record, 5.0f, 1, x, y, 3), 1);
    QTest::qWait(1000);
    const double atHalt = machineX();
    QVERIFY(atHalt > 1.0);
    QCOMPARE(NotHalt_mitBremsrampe(&record), 1);
    QVERIFY(settled());
    // Braking from 5 mm/s at 10 mm/s^2 takes 1.25 mm; nothing commanded before may run after.
    const double after = machineX() - atHalt;
    QVERIFY2(after < 1.5, qPrintable(QStringLiteral("travelled %1 mm after the halt").arg(after)));
    Status st;
    QVERIFY(fetch(&record, st));
    QCOMPARE(int(st.error), 0x99);
    QCOMPARE(peerState(), std::string("Idle"));  // reset at rest: no hold, no alarm
    QCOMPARE(FehlerQuitieren(&record), 1);
    QVERIFY(settled(3000));
    QCOMPARE(machineX(), atHalt + after);
}

void TestGrblDevice::haltDuringHomingResetsAtOnce()
{
    QCOMPARE(connect(), 1);
    server->with([](GrblPeer& p) {
        p.setSetting(22, 1);
        p.setHomingCycleMs(3000);
    });
    QCOMPARE(Referenzfahrt(&record, 0, 0), 1);
    QVERIFY(eventually([&] { return peer<bool>([](GrblPeer& p) { return p.homing(); }); }));
    QCOMPARE(NotHalt_mitBremsrampe(&record), 1);
    QVERIFY(eventually([&] { return !peer<bool>([](GrblPeer& p) { return p.homing(); }); },
                       1000));  // the cycle would take 3 s
    Status st;
    QVERIFY(eventually([&] { return fetch(&record, st) && peerState() == "Alarm"; }));
    QCOMPARE(int(st.error), 0x99);
    QCOMPARE(st.flags & 0x07, 0);
}

void TestGrblDevice::haltAtRestKeepsReferenceAndLeavesNoHold()
{
    QCOMPARE(connect(), 1);
    QVERIFY(home());
    QCOMPARE(NotHalt_mitBremsrampe(&record), 1);
    const int resets = peer<int>([](GrblPeer& p) { return p.resets; });
    QVERIFY(eventually([&] { return peer<int>([](GrblPeer& p) { return p.resets; }) > resets; }));
    QVERIFY(settled(3000));
    QCOMPARE(peerState(), std::string("Idle"));
    Status st;
    QVERIFY(fetch(&record, st));
    QCOMPARE(st.flags & 0x07, 0x07);  // GRBL kept its position
    QCOMPARE(int(st.error), 0x99);
}

void TestGrblDevice::softLimitAlarmNamesTheFailingLineAndStaysAlive()
{
    QCOMPARE(connect(), 1);
    server->with([](GrblPeer& p) { p.setSetting(130, 50); });
    QVERIFY(home());
    server->with([](GrblPeer& p) { p.setSetting(20, 1); });
    // X-60 leaves the travel at its lower end; the Y move loaded after it is not the culprit.
    QCOMPARE(BetriebsArtenWechsel(&record, 3), 1);
    QCOMPARE(LoadRAMprogramm(&record, 1), 1);
    float x[6] = {-60.0f, 0, 0, 0, 0, 0};
    float none[6] = {0, 0, 0, 0, 0, 0};
    float y[6] = {0.5f, 0, 0, 0, 0, 0};
    QCOMPARE(FahreRelativ_XY_mm(&record, 20.0f, 1, x, none, 3), 1);
    QCOMPARE(FahreRelativ_XY_mm(&record, 20.0f, 1, none, y, 3), 1);
    QCOMPARE(BetriebsArtenWechsel(&record, 2), 1);
    QCOMPARE(StartRAMprogramm(&record, 1, 1), 1);
    QVERIFY(eventually([&] { return peer<bool>([](GrblPeer& p) { return p.critical(); }); }));
    Status st;
    QVERIFY(eventually([&] { return fetch(&record, st) && st.error != 0; }));
    QCOMPARE(int(st.error), 0x11);
    // The stream stopped before its end, and says why.
    const std::vector<quenta::RamRunEnd> ends = quenta::takeRamRunEnds(&record);
    QCOMPARE(ends.size(), size_t(1));
    QVERIFY(!ends.front().completed);
    QCOMPARE(int(ends.front().errorCode), 0x11);
    QVERIFY2(ends.front().reason.rfind("ALARM:2", 0) == 0, ends.front().reason.c_str());
    // GRBL answers nothing now, yet the controller is alive: the alarm keeps being reported.
    notifications = 0;
    QTest::qWait(1300);
    QVERIFY(notifications >= 2);
    QVERIFY(fetch(&record, st));
    QCOMPARE(int(st.error), 0x11);
    QCOMPARE(FehlerQuitieren(&record), 1);
    QVERIFY(eventually([&] { return peerIdle() && fetch(&record, st) && st.error == 0; }));
}

void TestGrblDevice::stepMovesDoNotDrift()
{
    server->with([](GrblPeer& p) {
        p.setSetting(101, 400);
        p.setSetting(102, 320.5);
    });
    QCOMPARE(connect(), 1);
    int32_t none[6] = {0, 0, 0, 0, 0, 0};
    int32_t one[6] = {1, 0, 0, 0, 0, 0};
    for (int i = 0; i < 100; ++i)
        QCOMPARE(FahreRelativ_XY_Schritte(&record, 400, 1, none, one, 3), 1);
    for (int i = 0; i < 40; ++i)
        QCOMPARE(FahreRelativ_ZC_Schritte(&record, 400, 1, one, none, 3), 1);
    QVERIFY(settled(10000));
    QCOMPARE(peer<int32_t>([](GrblPeer& p) { return p.steps(1); }), 100);
    QCOMPARE(peer<int32_t>([](GrblPeer& p) { return p.steps(2); }), 40);
}

void TestGrblDevice::homingIsNotSilence()
{
    QCOMPARE(connect(), 1);
    server->with([](GrblPeer& p) {
        p.setSetting(22, 1);
        p.setHomingCycleMs(600);
    });
    QElapsedTimer t;
    t.start();
    QCOMPARE(Referenzfahrt(&record, 0, 0), 1);
    // Queued behind the cycle, answered when it ends: sent, so done.
    QCOMPARE(SpindelKuhlungSetzen(&record, 0, 0), 1);
    QTest::qWait(400);
    QCOMPARE(HaltePosition(&record, 10), 1);
    QVERIFY(t.elapsed() < 2500);  // each call within its bound, not after the cycle
    Status st;
    QVERIFY(eventually([&] { return fetch(&record, st) && (st.flags & 0x07) == 0x07; }));
    QCOMPARE(int(st.error), 0);
}

void TestGrblDevice::failedHomingNeverShowsReferenced()
{
    QCOMPARE(connect(), 1);
    server->with([](GrblPeer& p) {
        p.setSetting(22, 1);
        p.setHomingCycleMs(150);
        p.failNextHoming(9);
    });
    QCOMPARE(Referenzfahrt(&record, 0, 0), 1);
    Status st;
    QElapsedTimer t;
    t.start();
    bool referenced = false;
    while (t.elapsed() < 1200) {
        if (fetch(&record, st) && (st.flags & 0x07))
            referenced = true;
        QTest::qWait(2);
    }
    QVERIFY(!referenced);
    QCOMPARE(int(st.error), 0x0a);
}

void TestGrblDevice::slowSettingWriteIsRecorded()
{
    QCOMPARE(connect(), 1);
    server->with([](GrblPeer& p) { p.setEepromStallMs(160); });
    QCOMPARE(BetriebsArtenWechsel(&record, 1), 1);
    QCOMPARE(ParameterAendern_float(&record, 0x04, 0x02, 400.0f), 1);
    uint8_t out[16] = {};
    QCOMPARE(ParameterLesen(&record, 0x04, 0x02, out), 1);
    float f = 0;
    std::memcpy(&f, out, 4);
    QCOMPARE(f, 400.0f);
    // Slower than any call may wait: refused now, recorded when the firmware confirms.
    server->with([](GrblPeer& p) { p.setEepromStallMs(400); });
    ParameterAendern_float(&record, 0x04, 0x02, 320.0f);
    QTest::qWait(600);
    QCOMPARE(ParameterLesen(&record, 0x04, 0x02, out), 1);
    std::memcpy(&f, out, 4);
    QCOMPARE(f, 320.0f);
}

void TestGrblDevice::nameAsTheFirmwareStoresIt()
{
    QCOMPARE(connect(), 1);
    QCOMPARE(BetriebsArtenWechsel(&record, 1), 1);
    char name[32] = "Mill 2b";  // the call takes a 32-byte buffer
    QCOMPARE(ParameterAendern_ControllerName(&record, 0x05, 0x05, name), 1);
    uint8_t out[16] = {};
    QCOMPARE(ParameterLesen(&record, 0x05, 0x05, out), 1);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(out)), QByteArray("MILL2B"));
    TarvoCloseConnection(&record);
    QCOMPARE(connect(), 1);
    QCOMPARE(QString::fromLatin1(record.controllerName), QStringLiteral("MILL2B"));
}

void TestGrblDevice::parkOutsideTheEnvelopeIsRefused()
{
    QCOMPARE(connect(), 1);
    QVERIFY(home());
    QCOMPARE(BetriebsArtenWechsel(&record, 1), 1);
    QCOMPARE(ParameterAendern_4_longs(&record, 0x04, 0x0B, 5, -10, -5, 0), 1);
    QCOMPARE(BetriebsArtenWechsel(&record, 2), 1);
    const int blocks = peer<int>([](GrblPeer& p) { return p.blocksStarted; });
    QCOMPARE(ParkPositionAnfahren(&record), 0);
    Status st;
    QVERIFY(fetch(&record, st));
    QCOMPARE(int(st.error), 0x12);  // X beyond its upper end (machine zero)
    QVERIFY(quenta::takeRefusal(&record).find("envelope") != std::string::npos);
    QVERIFY(quenta::takeRefusal(&record).empty());  // told once
    QCOMPARE(peer<int>([](GrblPeer& p) { return p.blocksStarted; }), blocks);
    QCOMPARE(FehlerQuitieren(&record), 1);
    QCOMPARE(BetriebsArtenWechsel(&record, 1), 1);
    QCOMPARE(ParameterAendern_4_longs(&record, 0x04, 0x0B, -20, -10, -5, 0), 1);
    QCOMPARE(BetriebsArtenWechsel(&record, 2), 1);
    QCOMPARE(ParkPositionAnfahren(&record), 1);
    QVERIFY(settled());
    QCOMPARE(machineX(), -20.0);
}

void TestGrblDevice::inchReportsGiveSteps()
{
    server->with([](GrblPeer& p) { p.setSetting(13, 1); });
    QCOMPARE(connect(), 1);
    float x[6] = {10.0f, 0, 0, 0, 0, 0};
    float y[6] = {0, 0, 0, 0, 0, 0};
    QCOMPARE(FahreRelativ_XY_mm(&record, 20.0f, 1, x, y, 3), 1);
    QVERIFY(settled());
    Status st;
    QVERIFY(eventually([&] { return fetch(&record, st) && st.pos[0] == 2500; }));
}

void TestGrblDevice::statusDoesNotWaitBehindCalls()
{
    QCOMPARE(connect(), 1);
    std::atomic<bool> stop{false};
    // Dwells of a second: each call waits its full reply time.
    std::thread caller([&] {
        while (!stop)
            HaltePosition(&record, 1000);
    });
    qint64 worst = 0;
    Status st;
    for (int i = 0; i < 20; ++i) {
        QElapsedTimer t;
        t.start();
        fetch(&record, st);
        worst = std::max(worst, t.elapsed());
        QTest::qWait(37);
    }
    stop = true;
    caller.join();
    QVERIFY2(worst < 120, qPrintable(QString::number(worst)));  // a call takes 150 ms
}

void TestGrblDevice::bufferFillWithoutBfFollowsThePlanner()
{
    // Moves each followed by a spindle switch, which GRBL runs only once the planner is empty:
    // the planner never holds more than one block, and GRBL's default reports carry no Bf.
    QCOMPARE(connect(), 1);
    QCOMPARE(BetriebsArtenWechsel(&record, 3), 1);
    QCOMPARE(LoadRAMprogramm(&record, 1), 1);
    float x[6] = {1.0f, 0, 0, 0, 0, 0};
    float none[6] = {0, 0, 0, 0, 0, 0};
    for (int i = 0; i < 12; ++i) {
        QCOMPARE(FahreRelativ_XY_mm(&record, 5.0f, 1, x, none, 3), 1);
        QCOMPARE(SpindelKuhlungSetzen(&record, i % 2, 0), 1);
    }
    QCOMPARE(BetriebsArtenWechsel(&record, 2), 1);
    QCOMPARE(StartRAMprogramm(&record, 1, 1), 1);
    int most = 0;
    Status st;
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 2000) {
        if (fetch(&record, st))
            most = std::max(most, int(st.fill));
        QTest::qWait(20);
    }
    QVERIFY(most > 0);
    QVERIFY2(most <= 2 * 256 / 15, qPrintable(QString::number(most)));
}

QTEST_GUILESS_MAIN(TestGrblDevice)
#include "tst_grbldevice.moc"
