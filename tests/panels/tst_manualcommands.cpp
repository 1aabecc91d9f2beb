// The manual panel's command layer without widgets: every range at its edges in both units,
// the program line each command writes and the library call that goes with it.

#include "manualcommands.h"
#include "manualcommandvalues.h"
#include "quenta.h"
#include "testenv.h"

#include <QTest>

#include <cstring>
#include <memory>

using Unit = ManualCommands::Unit;
using Pair = ManualCommands::Pair;
using Result = ManualCommands::Result;
Q_DECLARE_METATYPE(Result)

namespace {

// A record opened on the scripted device of COM3, its calls cleared.
struct OpenRecord {
    ScriptedPorts ports;
    std::unique_ptr<TarvoPortSettings> record = std::make_unique<TarvoPortSettings>();

    OpenRecord()
    {
        InitCommPortSettings(record.get());
        std::strcpy(record->comPort, "COM3");
        TarvoOpenConnectionPort(record.get(), 0);
        ports.device("COM3")->clearCalls();
    }
    ~OpenRecord() { TarvoCloseConnection(record.get()); }

    // The one library call that call makes, as the device logs it.
    QString callOf(const ManualCommands::Call& call)
    {
        call(record.get());
        const std::vector<std::string> calls = ports.device("COM3")->calls();
        ports.device("COM3")->clearCalls();
        return calls.size() == 1 ? QString::fromStdString(calls.front())
                                 : QStringLiteral("%1 calls").arg(calls.size());
    }
};

}  // namespace

class TestManualCommands : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void valuesAtTheEdgesOfTheirRanges_data()
    {
        QTest::addColumn<Result>("result");
        QTest::addColumn<int>("rejected");
        QTest::addColumn<QString>("message");
        ManualCommandValues v;
        const ManualCommands c(v);
        const QString velocitySteps = "Value out of range [0 ... 999]";
        const QString velocityMm = "Value out of range [0.0 ... 999.0]";
        const QString distanceSteps = "Value out of range [-32767 ... 32767]";
        const QString distanceMm = "Value out of range [-32767.0 ... 32767.0]";
        const QString holdTime = "Value out of range [0 ... 12000000]";
        const auto move = [&c](Unit unit, const char* velocity, const char* first,
                               const char* second) {
            return c.MoveRelative(unit, Pair::XY, velocity, first, second);
        };
        const auto zero = [&c](Unit unit, const char* value, int axis) {
            std::array<QString, 4> values = {"0", "0", "0", "0"};
            values[size_t(axis)] = value;
            return c.SetZero(unit, values);
        };
        QTest::newRow("velocity 0 steps") << c.Jog(Unit::Steps, 0, 1, "0", 0) << -1 << "";
        QTest::newRow("velocity 999 steps") << c.Jog(Unit::Steps, 0, 1, "999", 0) << -1 << "";
        QTest::newRow("velocity -1 steps")
            << c.Jog(Unit::Steps, 0, 1, "-1", 0) << 0 << velocitySteps;
        QTest::newRow("velocity 1000 steps")
            << move(Unit::Steps, "1000", "0", "0") << 0 << velocitySteps;
        QTest::newRow("velocity 999 mm") << move(Unit::Mm, "999", "0", "0") << -1 << "";
        QTest::newRow("velocity 999.01 mm")
            << c.Jog(Unit::Mm, 3, -1, "999.01", 0) << 0 << velocityMm;
        QTest::newRow("velocity -0.01 mm")
            << move(Unit::Mm, "-0.01", "0", "0") << 0 << velocityMm;
        QTest::newRow("velocity nan mm") << move(Unit::Mm, "nan", "0", "0") << 0 << velocityMm;
        QTest::newRow("distance ±32767 steps")
            << move(Unit::Steps, "1", "-32767", "32767") << -1 << "";
        QTest::newRow("distance -32768 steps")
            << move(Unit::Steps, "1", "-32768", "0") << 1 << distanceSteps;
        QTest::newRow("second distance 32768 steps")
            << move(Unit::Steps, "1", "0", "32768") << 2 << distanceSteps;
        QTest::newRow("distance ±32767.0 mm")
            << move(Unit::Mm, "1", "-32767.0", "32767") << -1 << "";
        QTest::newRow("distance 32767.01 mm")
            << move(Unit::Mm, "1", "0", "32767.01") << 2 << distanceMm;
        QTest::newRow("zero C -32767 steps") << zero(Unit::Steps, "-32767", 3) << -1 << "";
        QTest::newRow("zero C -32768 steps")
            << zero(Unit::Steps, "-32768", 3) << 3 << distanceSteps;
        QTest::newRow("zero X 32767.5 mm") << zero(Unit::Mm, "32767.5", 0) << 0 << distanceMm;
        QTest::newRow("hold 0 ms") << c.HoldPosition("0") << -1 << "";
        QTest::newRow("hold 12000000 ms") << c.HoldPosition("12000000") << -1 << "";
        QTest::newRow("hold 12000001 ms") << c.HoldPosition("12000001") << 0 << holdTime;
        QTest::newRow("hold -1 ms") << c.HoldPosition("-1") << 0 << holdTime;
        QTest::newRow("text that is no number counts as 0")
            << c.HoldPosition("soon") << -1 << "";
    }

    void valuesAtTheEdgesOfTheirRanges()
    {
        QFETCH(Result, result);
        QFETCH(int, rejected);
        QFETCH(QString, message);
        QCOMPARE(result.rejected, rejected);
        QCOMPARE(result.message, message);
        QCOMPARE(result.Accepted(), rejected < 0);
        QCOMPARE(result.line.isEmpty(), !result.Accepted());
        QCOMPARE(bool(result.call), result.Accepted());
    }

    void eachCommandWritesItsLineAndMakesItsCall()
    {
        OpenRecord port;
        ManualCommandValues v;
        const ManualCommands c(v);
        const auto check = [&port](const Result& result, const QString& line,
                                   const QString& call) {
            QCOMPARE(result.line, line);
            QCOMPARE(port.callOf(result.call), call);
        };
        // Jogs: the distance from the table, the other axis of the pair at 0; an index outside
        // the table takes its nearest end.
        check(c.Jog(Unit::Steps, 1, -1, "5", 2), "GO_XY_S 5 0 -100;",
              "FahreRelativ_XY_Schritte(5,1,[0,0,0,0,0,0],[-100,0,0,0,0,0],3)");
        check(c.Jog(Unit::Mm, 2, 1, "1.5", 9), "GO_ZC_MM 1.5 999999 0;",
              "FahreRelativ_ZC_mm(1.5,1,[999999,0,0,0,0,0],[0,0,0,0,0,0],3)");
        check(c.Jog(Unit::Steps, 3, 1, "7", -1), "GO_ZC_S 7 0 1;",
              "FahreRelativ_ZC_Schritte(7,1,[0,0,0,0,0,0],[1,0,0,0,0,0],3)");
        check(c.MoveRelative(Unit::Mm, Pair::XY, "2.5", "-1.25", "0.00001"),
              "GO_XY_MM 2.5 -1.25 1e-05;",
              "FahreRelativ_XY_mm(2.5,1,[-1.25,0,0,0,0,0],[1e-05,0,0,0,0,0],3)");
        check(c.HoldPosition("1500"), "WAIT 1500;", "HaltePosition(1500)");
        check(c.SetZero(Unit::Steps, {"1", "-2", "3", "-4"}), "SET_ZERO_S 1 -2 3 -4;",
              "NullPunktSetzen_Schritte(1,-2,3,-4)");
        check(c.SetZero(Unit::Mm, {"1.5", "0", "0", "-7.25"}), "SET_ZERO_MM 1.5 0 0 -7.25;",
              "NullPunktSetzen_mm(1.5,0,0,-7.25)");
        check(c.Park(), "GO_PARK;", "ParkPositionAnfahren()");
        check(c.Reference(), "GO_REF;", "Referenzfahrt(0,0)");
        // The line names the coolant first, the call takes the spindle first.
        check(c.SetSpindleCooling(true, false), "SET_FUNC 0 1;", "SpindelKuhlungSetzen(1,0)");
        check(c.SetOutputs(0x81), "SET_O 129;", "AllgemeineAusgaeneSetzen(129)");
        QCOMPARE(port.callOf(ManualCommands::NotHalt()), "NotHalt_mitBremsrampe()");
        QCOMPARE(port.callOf(ManualCommands::NotStop()), "NotStop_ohneBremsrampe()");
        QCOMPARE(port.callOf(ManualCommands::AcknowledgeError()), "FehlerQuitieren()");
    }

    void rejectionKeepsTheValuesReadBeforeIt()
    {
        ManualCommandValues v;
        const ManualCommands c(v);
        QVERIFY(!c.MoveRelative(Unit::Steps, Pair::ZC, "40", "12", "40000").Accepted());
        QCOMPARE(v.velocitySteps, 40);
        QCOMPARE(v.distSteps[2][0], 12);
        QVERIFY(!c.Jog(Unit::Steps, 2, 1, "1000", 1).Accepted());
        QCOMPARE(v.distSteps[2][0], 12);  // the jog stopped at its velocity
    }
};

QTEST_GUILESS_MAIN(TestManualCommands)
#include "tst_manualcommands.moc"
