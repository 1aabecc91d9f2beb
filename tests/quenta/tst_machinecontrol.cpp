// Work coordinates, zeroing and jogs through the library: the GRBL device against the GRBL peer
// on a pseudo-terminal, and the simulated controller in process.
#include "device.h"
#include "grblpeer.h"
#include "machinecontrol.h"
#include "quenta.h"

#include <QElapsedTimer>
#include <QSettings>
#include <QtTest>

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>

namespace {

bool eventually(const std::function<bool()>& done, int ms = 4000)
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

uint8_t errorCode(TarvoPortSettings* s)
{
    uint8_t first = 0, inputs = 0, flags = 0, fill = 0, gin = 0, gout = 0, error = 0;
    int32_t x = 0, y = 0, z = 0, c = 0;
    if (!GetStatus_Schritte(s, &first, &inputs, &flags, &x, &y, &z, &c, &fill, &gin, &gout,
                            &error))
        return 0xff;
    return error;
}

// Waits until the work position has stood still for 300 ms; returns it.
bool standing(TarvoPortSettings* s, quenta::WorkCoordinates& wc, int ms = 6000)
{
    double last[4] = {1e300, 0, 0, 0};
    int still = 0;
    return eventually([&] {
        if (!quenta::workCoordinates(s, wc))
            return false;
        still = std::equal(last, last + 4, wc.work) ? still + 1 : 0;
        std::copy(wc.work, wc.work + 4, last);
        return still >= 30;
    }, ms);
}

}  // namespace

class TestMachineControl : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void grblZeroingMovesTheWorkNotTheMachine();
    void grblContinuousJogStopsOnCancelInsideTheSoftLimits();
    void ownZeroingAndCancelledJog();

private:
    bool peerIdle();
    double peerX();
    double travelled();

    std::unique_ptr<GrblPtyServer> server;
    TarvoPortSettings grbl;
    TarvoPortSettings own;
};

void TestMachineControl::init()
{
    server = std::make_unique<GrblPtyServer>();
    QVERIFY(server->start());
    QSettings link(QStringLiteral("lumbrix"), QStringLiteral("Quenta"));
    link.remove(QStringLiteral("grbl"));
    link.setValue(QStringLiteral("ports/COM9"),
                  QStringLiteral("grbl:") + QString::fromStdString(server->path()));
    link.remove(QStringLiteral("ports/COM31"));  // the simulated controller
    InitCommPortSettings(&grbl);
    std::strcpy(grbl.comPort, "COM9");
    InitCommPortSettings(&own);
    std::strcpy(own.comPort, "COM31");
}

void TestMachineControl::cleanup()
{
    TarvoCloseConnection(&grbl);
    TarvoCloseConnection(&own);
    server.reset();
}

bool TestMachineControl::peerIdle()
{
    std::string state;
    server->with([&](GrblPeer& p) { state = p.state(); });
    return state == "Idle";
}

double TestMachineControl::peerX()
{
    double x = 0;
    server->with([&](GrblPeer& p) { x = p.machine(0); });
    return x;
}

double TestMachineControl::travelled()
{
    double mm = 0;
    server->with([&](GrblPeer& p) { mm = p.travelled; });
    return mm;
}

void TestMachineControl::grblZeroingMovesTheWorkNotTheMachine()
{
    QCOMPARE(TarvoOpenConnectionPort(&grbl, 0), 1);
    QCOMPARE(quenta::jog(&grbl, 0, -1, 5.0, 1200), 1);
    QCOMPARE(quenta::jog(&grbl, 2, -1, 2.0, 1200), 1);
    quenta::WorkCoordinates wc;
    QVERIFY(eventually([&] { return peerIdle() && std::fabs(peerX() + 5.0) < 1e-6; }));
    QVERIFY(standing(&grbl, wc));

    // G10 L20 of the system in force (G54 after power-up) on X only.
    QCOMPARE(quenta::zeroAxes(&grbl, 1), 1);
    QVERIFY(eventually([&] {
        return quenta::workCoordinates(&grbl, wc) && wc.haveMachine && wc.haveOffsets
               && std::fabs(wc.work[0]) < 1e-6;
    }));
    QCOMPARE(wc.millimetres, true);
    QCOMPARE(wc.activeSystem, 0);
    QCOMPARE(wc.machine[0], -5.0);
    QCOMPARE(wc.offsets[0][0], -5.0);
    QCOMPARE(wc.work[2], -2.0);  // Z keeps its zero
    QCOMPARE(peerX(), -5.0);     // nothing moved
    double offset = 0;
    server->with([&](GrblPeer& p) { offset = p.workOffset(0); });
    QCOMPARE(offset, -5.0);

    // Go to zero: X back to its new zero (it is there), Z up to its zero.
    QCOMPARE(quenta::goToZero(&grbl), 1);
    QVERIFY(eventually([&] {
        return quenta::workCoordinates(&grbl, wc) && std::fabs(wc.work[2]) < 1e-6 && peerIdle();
    }));
    QCOMPARE(wc.machine[0], -5.0);
    QCOMPARE(errorCode(&grbl), uint8_t(0));
}

void TestMachineControl::grblContinuousJogStopsOnCancelInsideTheSoftLimits()
{
    server->with([](GrblPeer& p) {
        p.setSetting(22, 1);
        p.setSetting(20, 1);
        p.setHomingCycleMs(150);
    });
    QCOMPARE(TarvoOpenConnectionPort(&grbl, 0), 1);
    QCOMPARE(Referenzfahrt(&grbl, 0, 0), 1);
    QVERIFY(eventually([&] { return peerIdle() && std::fabs(peerX() + 1.0) < 1e-6; }));

    // A step beyond the envelope [-200, 0]: GRBL refuses the jog (error:15), nothing moves
    // and no alarm follows.
    QCOMPARE(quenta::jog(&grbl, 0, 1, 10.0, 1200), 0);
    QVERIFY(eventually([&] { return errorCode(&grbl) == 0x12; }));
    QVERIFY(peerIdle());
    QCOMPARE(peerX(), -1.0);
    QCOMPARE(FehlerQuitieren(&grbl), 1);

    // Continuous, away from the limit: it runs until the cancel, then stops and stays idle.
    QCOMPARE(quenta::jog(&grbl, 0, -1, quenta::ContinuousJog, 1200), 1);
    QTest::qWait(800);  // the peer accelerates at GRBL's default 10 mm/s^2
    QVERIFY(peerX() < -2.5);
    QCOMPARE(quenta::cancelJog(&grbl), 1);
    QVERIFY(eventually([&] { return peerIdle(); }, 2000));
    const double stopped = peerX();
    QTest::qWait(300);
    QCOMPARE(peerX(), stopped);
    QVERIFY(stopped > -20.0);
    QCOMPARE(errorCode(&grbl), uint8_t(0));

    // Pressed again while the cancel still brakes: GRBL would plan that jog and flush it with
    // the cancelled one. It waits for the stop and then runs: 1 mm back from where the
    // cancelled jog stopped, so the path exceeds the net way by 2 mm.
    const double x0 = peerX();
    const double t0 = travelled();
    QCOMPARE(quenta::jog(&grbl, 0, -1, quenta::ContinuousJog, 1200), 1);
    QTest::qWait(800);
    QCOMPARE(quenta::cancelJog(&grbl), 1);
    QCOMPARE(quenta::jog(&grbl, 0, 1, 1.0, 600), 1);
    double last = 1e9;
    int still = 0;
    QVERIFY(eventually([&] {
        const double t = travelled();
        still = t == last && peerIdle() ? still + 1 : 0;
        last = t;
        return still >= 40;  // 400 ms at rest: longer than the library's status poll
    }, 6000));
    const double extra = travelled() - t0 - (x0 - peerX());
    QVERIFY2(std::fabs(extra - 2.0) < 0.01, qPrintable(QString::number(extra)));

    // Continuous towards the limit: it ends just inside it, without error or alarm.
    QCOMPARE(quenta::jog(&grbl, 0, 1, quenta::ContinuousJog, 3000), 1);
    QVERIFY(eventually([&] { return peerIdle() && peerX() > -0.02; }, 5000));
    QVERIFY(peerX() <= 0.0);
    QCOMPARE(errorCode(&grbl), uint8_t(0));
    bool critical = true;
    server->with([&](GrblPeer& p) { critical = p.critical(); });
    QVERIFY(!critical);
}

void TestMachineControl::ownZeroingAndCancelledJog()
{
    QCOMPARE(TarvoOpenConnectionPort(&own, 0), 1);
    quenta::WorkCoordinates wc;
    QCOMPARE(quenta::jog(&own, 0, 1, 5.0, 1200), 1);
    QCOMPARE(quenta::jog(&own, 2, -1, 1.0, 1200), 1);
    QVERIFY(eventually([&] { return quenta::workCoordinates(&own, wc) && wc.work[2] < 0; }));
    QVERIFY(standing(&own, wc));
    const double machineX = wc.machine[0];
    const double z = wc.work[2];
    QVERIFY(wc.work[0] > 0);

    // The zero point on X only; Z keeps its reading and nothing moves.
    QCOMPARE(quenta::zeroAxes(&own, 1), 1);
    QVERIFY(eventually([&] { return quenta::workCoordinates(&own, wc) && wc.work[0] == 0; }));
    QCOMPARE(wc.work[2], z);
    QCOMPARE(wc.machine[0], machineX);
    QCOMPARE(wc.offsets[0][0], machineX);

    // A continuous jog, cancelled by the hold: it stops, and no error is left behind.
    QCOMPARE(quenta::jog(&own, 1, -1, quenta::ContinuousJog, 600), 1);
    QTest::qWait(300);
    QVERIFY(quenta::workCoordinates(&own, wc) && wc.work[1] < 0);
    QCOMPARE(quenta::cancelJog(&own), 1);
    QVERIFY(standing(&own, wc));
    const double y = wc.work[1];
    QTest::qWait(200);
    QVERIFY(quenta::workCoordinates(&own, wc));
    QCOMPARE(wc.work[1], y);
    QCOMPARE(errorCode(&own), uint8_t(0));
    // The machine takes the next command at once.
    QCOMPARE(quenta::jog(&own, 1, 1, 1.0, 600), 1);
    QCOMPARE(errorCode(&own), uint8_t(0));
}

QTEST_GUILESS_MAIN(TestMachineControl)
#include "tst_machinecontrol.moc"
