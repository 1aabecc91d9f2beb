// GRBL's line grammar, status reports and the table from its alarms, errors and pins to the
// controller's codes and inputs.

#include "grblprotocol.h"

#include <QtTest>

#include <cmath>

using namespace quenta::grbl;

class TestGrblProtocol : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void reportsOfBothPositionKinds();
    void malformedReportsAreRejected();
    void linesAreClassified();
    void errorTable();
    void pinsAndNumbers();
};

void TestGrblProtocol::reportsOfBothPositionKinds()
{
    Report r;
    QVERIFY(parseReport("<Hold:1|MPos:1.000,-2.500,3.125|Bf:12,100|FS:500,8000|"
                        "WCO:0.500,0.000,-1.000|Pn:XP|Ov:120,50,90|A:SF>\r\n",
                        r));
    QCOMPARE(QString::fromStdString(r.state), QStringLiteral("Hold"));
    QCOMPARE(r.subState, 1);
    QVERIFY(r.machinePos);
    QCOMPARE(r.axes, 3);
    QCOMPARE(r.pos[1], -2.5);
    QVERIFY(r.haveWco);
    QCOMPARE(r.wco[2], -1.0);
    QVERIFY(r.haveBuffer);
    QCOMPARE(r.blocksFree, 12);
    QCOMPARE(r.bytesFree, 100);
    QCOMPARE(r.feed, 500.0);
    QCOMPARE(QString::fromStdString(r.pins), QStringLiteral("XP"));
    QVERIFY(r.haveOverrides && r.spindle && r.coolant);
    QCOMPARE(r.overrides[0], 120);
    QCOMPARE(r.overrides[1], 50);
    QCOMPARE(r.overrides[2], 90);

    Report w;
    QVERIFY(parseReport("<Idle|WPos:0.000,0.000,0.000,90.000|F:0>", w));
    QVERIFY(!w.machinePos);
    QCOMPARE(w.axes, 4);
    QCOMPARE(w.pos[3], 90.0);
    QCOMPARE(w.subState, -1);
    QVERIFY(!w.haveWco && !w.haveBuffer && !w.haveOverrides && w.pins.empty());
}

void TestGrblProtocol::malformedReportsAreRejected()
{
    Report r;
    r.state = "kept";
    for (const char* bad : {"<Idle>", "<Idle|MPos:1,2>", "<Idle|MPos:1,x,3>", "Idle|MPos:1,2,3",
                            "<Idle|MPos:1,2,3|Bf:15>", "<|MPos:1,2,3>", "<Hold:x|MPos:1,2,3>"})
        QVERIFY2(!parseReport(bad, r), bad);
    QCOMPARE(QString::fromStdString(r.state), QStringLiteral("kept"));
}

void TestGrblProtocol::linesAreClassified()
{
    QCOMPARE(classifyLine("ok\r").kind, LineKind::Ok);
    const Line e = classifyLine("error:22");
    QCOMPARE(e.kind, LineKind::Error);
    QCOMPARE(e.code, 22);
    QCOMPARE(classifyLine("ALARM:3").code, 3);
    QCOMPARE(classifyLine("error:x").kind, LineKind::Other);
    const Line w = classifyLine("Grbl 1.1h ['$' for help]");
    QCOMPARE(w.kind, LineKind::Welcome);
    QCOMPARE(QString::fromStdString(w.text), QStringLiteral("1.1h"));
    const Line s = classifyLine("$110=500.000");
    QCOMPARE(s.kind, LineKind::Setting);
    QCOMPARE(s.code, 110);
    QCOMPARE(QString::fromStdString(s.text), QStringLiteral("500.000"));
    const Line v = classifyLine("[VER:1.1h.20190825:Mill one]");
    QCOMPARE(v.kind, LineKind::Version);
    QCOMPARE(QString::fromStdString(v.info), QStringLiteral("Mill one"));
    const Line o = classifyLine("[OPT:VL,15,128]");
    QCOMPARE(o.kind, LineKind::Options);
    QCOMPARE(o.code, 15);
    QCOMPARE(o.value, 128);
    QCOMPARE(classifyLine("[MSG:Reset to continue]").kind, LineKind::Message);
    QCOMPARE(classifyLine("[GC:G0 G54]").kind, LineKind::Other);
    QCOMPARE(classifyLine(">G54:ok").kind, LineKind::Other);  // a startup line: no stream ok
}

void TestGrblProtocol::errorTable()
{
    // Hard limit: the end switch of the triggered pin; unknown pin: axes stopped.
    QCOMPARE(errorCodeForAlarm(1, "Y"), uint8_t(0x23));
    QCOMPARE(errorCodeForAlarm(1, "PA"), uint8_t(0x43));
    QCOMPARE(errorCodeForAlarm(1, ""), uint8_t(0x99));
    // Soft limit and jog beyond travel: the limit in the direction of the last motion.
    QCOMPARE(errorCodeForAlarm(2, "", 2, -1), uint8_t(0x31));
    QCOMPARE(errorCodeForError(15, 0, 1), uint8_t(0x12));
    QCOMPARE(errorCodeForError(15), uint8_t(0x03));
    QCOMPARE(errorCodeForAlarm(3, "X"), uint8_t(0x99));  // reset in motion, pins ignored
    QCOMPARE(errorCodeForAlarm(9, ""), uint8_t(0x0a));
    QCOMPARE(errorCodeForError(5), uint8_t(0x0a));       // homing disabled
    QCOMPARE(errorCodeForError(9), uint8_t(0x03));       // locked out
    QCOMPARE(errorCodeForError(8), uint8_t(0x03));       // not idle
    QCOMPARE(errorCodeForError(4), uint8_t(0x71));       // setting value refused
    QCOMPARE(errorCodeForError(13), uint8_t(0x99));      // door
}

void TestGrblProtocol::pinsAndNumbers()
{
    QCOMPARE(inputsFromPins("XYZA"), uint8_t(0x0f));
    QCOMPARE(inputsFromPins("RDHPS"), uint8_t(0xf0));
    QCOMPARE(QString::fromStdString(formatNumber(2.5)), QStringLiteral("2.5"));
    QCOMPARE(QString::fromStdString(formatNumber(-0.0001)), QStringLiteral("0"));
    QCOMPARE(QString::fromStdString(formatNumber(std::nan(""))), QStringLiteral("0"));
    QCOMPARE(QString::fromStdString(formatNumber(-1e300)), QStringLiteral("-1000000000"));
    QCOMPARE(QString::fromStdString(formatNumber(-12.34567)), QStringLiteral("-12.346"));
}

QTEST_GUILESS_MAIN(TestGrblProtocol)
#include "tst_grblprotocol.moc"
