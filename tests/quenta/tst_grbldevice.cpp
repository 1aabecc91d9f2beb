// The GRBL device end to end: the link library's C calls through the port map ("grbl:<tty>"),
// the shared tty layer and a pseudo-terminal to the GRBL peer.

#include "grblpeer.h"
#include "quenta.h"

#include <QElapsedTimer>
#include <QSettings>
#include <QtTest>

#include <atomic>
#include <cstring>
#include <functional>
#include <memory>

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

private:
    int connect();
    std::string peerState();
    bool peerIdle() { return peerState() == "Idle"; }

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

    // A name set with $I= is the controller name from then on.
    TarvoCloseConnection(&record);
    server->with([](GrblPeer& p) {
        p.receive(reinterpret_cast<const uint8_t*>("$I=Mill 3\n"), 10);
    });
    QCOMPARE(connect(), 1);
    QCOMPARE(QString::fromLatin1(record.controllerName), QStringLiteral("Mill 3"));
}

void TestGrblDevice::jogZeroPointAndPositionInSteps()
{
    QCOMPARE(connect(), 1);
    int32_t x[6] = {2500, 0, 0, 0, 0, 0};  // 10 mm at 250 steps/mm
    int32_t y[6] = {-500, 0, 0, 0, 0, 0};
    QCOMPARE(FahreRelativ_XY_Schritte(&record, 25000, 1, x, y, 3), 1);
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
    QVERIFY(eventually([&] { return peerIdle(); }, 1000));
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
    QVERIFY(eventually([&] {
        server->with([&](GrblPeer& p) { done = p.linesDone; });
        return done - before == 3 * 41 && peerIdle();
    }, 8000));
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
    server->with([](GrblPeer& p) { p.hardLimit('Y'); });
    Status st;
    // The alarm comes first, the report that shows the pin after it.
    QVERIFY(eventually([&] { return fetch(&record, st) && st.error == 0x23; }));
    QVERIFY(st.inputs & 0x02);  // EndY
    // Refused while the alarm stands.
    int32_t x[6] = {100, 0, 0, 0, 0, 0};
    int32_t y[6] = {0, 0, 0, 0, 0, 0};
    FahreRelativ_XY_Schritte(&record, 100, 1, x, y, 3);
    QVERIFY(fetch(&record, st));
    QCOMPARE(int(st.error), 0x23);  // the first error stays
    QCOMPARE(FehlerQuitieren(&record), 1);
    QVERIFY(eventually([&] { return fetch(&record, st) && st.error == 0 && peerIdle(); }));
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

QTEST_GUILESS_MAIN(TestGrblDevice)
#include "tst_grbldevice.moc"
