// The RAM program language: keyword list, number forms, line and field splitting, the check
// pass with its messages, and the transfer into a controller slot.

#include "kavrixkernel.h"
#include "quenta.h"
#include "ramcommandformat.h"
#include "ramprogram.h"
#include "ramsyntax.h"
#include "scripteddialogs.h"
#include "tarvocontroller.h"
#include "testenv.h"

#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QTest>

#include <clocale>
#include <cstdio>

#include <cfloat>
#include <chrono>
#include <memory>

namespace {

QString noSemicolon(int line)
{
    return QStringLiteral("Syntax Error: There is no ';' at line %1.").arg(line);
}
QString badParameter(int parameter, int line)
{
    return QStringLiteral("Syntax Error: Parameter %1 at line %2 is invalid.")
        .arg(parameter)
        .arg(line);
}
QString unknownCommand(int line)
{
    return QStringLiteral("Syntax Error: Unknown command at line %1.").arg(line);
}

std::vector<std::string> calls(const QStringList& list)
{
    std::vector<std::string> result;
    for (const QString& text : list)
        result.push_back(text.toStdString());
    return result;
}

}  // namespace

class TestRamProgram : public QObject {
    Q_OBJECT

private:
    // A connected controller at COM3 whose scripted device has an empty call log.
    TarvoController* connectController(ScriptedPorts& ports)
    {
        auto* controller = new TarvoController(QStringLiteral("COM3"), 115200);
        KavrixKernel::Instance()->AddController(controller);
        KavrixKernel::Instance()->ConnectActiveController();
        if (!controller->IsConnected())
            return nullptr;
        ports.device("COM3")->clearCalls();
        return controller;
    }

private Q_SLOTS:
    void init() { initTestSettings(); }
    void cleanup() { delete KavrixKernel::ExistingInstance(); }

    void keywordList()
    {
        QCOMPARE(RAMCommandList(),
                 (QStringList{"GO_XY_S", "GO_XY_MM", "GO_ZC_S", "GO_ZC_MM", "WAIT", "GO_PARK",
                              "GO_REF", "SET_ZERO_S", "SET_ZERO_MM", "SET_FUNC", "SET_O"}));
        QVERIFY(KavrixKernel::IsRAMCommand("go_ref"));
        QVERIFY(KavrixKernel::IsRAMCommand("Set_Zero_Mm"));
        QVERIFY(KavrixKernel::IsRAMCommand("SET_O"));
        QVERIFY(!KavrixKernel::IsRAMCommand("GO_REF;"));
        QVERIFY(!KavrixKernel::IsRAMCommand("GO"));
        QVERIFY(!KavrixKernel::IsRAMCommand("GO_XY_SS"));
        QVERIFY(!KavrixKernel::IsRAMCommand(""));
    }

    void numberForms_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("integerOk");
        QTest::addColumn<int>("integer");
        QTest::addColumn<bool>("unsignedOk");
        QTest::addColumn<bool>("numberOk");
        QTest::addColumn<float>("number");

        QTest::newRow("plain") << "42" << true << 42 << true << true << 42.0f;
        QTest::newRow("plus") << "+5" << true << 5 << true << true << 5.0f;
        QTest::newRow("minus") << "-7" << true << -7 << false << true << -7.0f;
        QTest::newRow("minus zero") << "-0" << true << 0 << false << true << -0.0f;
        QTest::newRow("leading zeros") << "007" << true << 7 << true << true << 7.0f;
        QTest::newRow("int max") << "2147483647" << true << 2147483647 << true << true
                                 << 2147483647.0f;
        QTest::newRow("int min") << "-2147483648" << true << int(-2147483648LL) << false << true
                                 << -2147483648.0f;
        QTest::newRow("int max + 1") << "2147483648" << false << 0 << true << true
                                     << 2147483648.0f;
        QTest::newRow("int min - 1") << "-2147483649" << false << 0 << false << true
                                     << -2147483649.0f;
        QTest::newRow("unsigned max") << "4294967295" << false << 0 << true << true
                                      << 4294967295.0f;
        QTest::newRow("unsigned max + 1") << "4294967296" << false << 0 << false << true
                                          << 4294967296.0f;
        QTest::newRow("beyond 32 bits") << "99999999999" << false << 0 << false << true
                                        << 99999999999.0f;
        QTest::newRow("exponent") << "1E5" << false << 0 << false << true << 100000.0f;
        QTest::newRow("lower exponent") << "1e5" << false << 0 << false << true << 100000.0f;
        QTest::newRow("negative exponent") << "1.5E-3" << false << 0 << false << true << 0.0015f;
        QTest::newRow("signed exponent") << "1E+06" << false << 0 << false << true << 1e6f;
        QTest::newRow("decimal") << "1.5" << false << 0 << false << true << 1.5f;
        QTest::newRow("trailing point") << "5." << false << 0 << false << true << 5.0f;
        QTest::newRow("leading point") << ".5" << false << 0 << false << true << 0.5f;
        QTest::newRow("comma") << "1,5" << false << 0 << false << false << 0.0f;
        QTest::newRow("hex") << "0X10" << false << 0 << false << false << 0.0f;
        QTest::newRow("empty") << "" << false << 0 << false << false << 0.0f;
        QTest::newRow("sign only") << "-" << false << 0 << false << false << 0.0f;
        QTest::newRow("point only") << "." << false << 0 << false << false << 0.0f;
        QTest::newRow("bare exponent") << "1E" << false << 0 << false << false << 0.0f;
        QTest::newRow("exponent only") << "E5" << false << 0 << false << false << 0.0f;
        QTest::newRow("double sign") << "--1" << false << 0 << false << false << 0.0f;
        QTest::newRow("inf") << "INF" << false << 0 << false << false << 0.0f;
        QTest::newRow("nan") << "NAN" << false << 0 << false << false << 0.0f;
        QTest::newRow("blank") << " 1" << false << 0 << false << false << 0.0f;
        QTest::newRow("float overflow") << "1E39" << false << 0 << false << false << 0.0f;
        QTest::newRow("double overflow") << "1E999" << false << 0 << false << false << 0.0f;
        QTest::newRow("underflow") << "1E-999" << false << 0 << false << true << 0.0f;
        QTest::newRow("arabic digit") << QString(QChar(0x0663)) << false << 0 << false << false
                                      << 0.0f;
    }

    void numberForms()
    {
        QFETCH(QString, text);
        QFETCH(bool, integerOk);
        QFETCH(int, integer);
        QFETCH(bool, unsignedOk);
        QFETCH(bool, numberOk);
        QFETCH(float, number);

        int32_t i = 12345;
        QCOMPARE(ParseRamInteger(text, i), integerOk);
        if (integerOk)
            QCOMPARE(i, integer);
        uint32_t u = 0;
        QCOMPARE(ParseRamUnsigned(text, u), unsignedOk);
        if (unsignedOk && integerOk)
            QCOMPARE(u, uint32_t(integer));
        float f = 12345.0f;
        QCOMPARE(ParseRamNumber(text, f), numberOk);
        if (numberOk)
            QCOMPARE(f, number);
    }

    void formatRamNumber()
    {
        QCOMPARE(FormatRamNumber(1.5f), QString("1.5"));
        QCOMPARE(FormatRamNumber(10.0f), QString("10"));
        QCOMPARE(FormatRamNumber(999999.0f), QString("999999"));
        QCOMPARE(FormatRamNumber(0.00001f), QString("1e-05"));
        QCOMPARE(FormatRamNumber(0.0001f), QString("0.0001"));
        QCOMPARE(FormatRamNumber(1000000.0f), QString("1e+06"));
        QCOMPARE(FormatRamNumber(-2.25f), QString("-2.25"));
        QCOMPARE(FormatRamNumber(0.1f), QString("0.1"));
        QCOMPARE(FormatRamNumber(123.4567f), QString("123.457"));
        QCOMPARE(FormatRamNumber(0.0), QString("0"));
        // C's %g to the letter: ties go the way of the exactly represented value, -0 keeps
        // its sign, and so does every float the panel may produce.
        QCOMPARE(FormatRamNumber(1000.125f), QString("1000.12"));
        QCOMPARE(FormatRamNumber(-0.0f), QString("-0"));
        std::setlocale(LC_NUMERIC, "C");
        QRandomGenerator random(7);
        for (int i = 0; i < 2000; ++i) {
            const float value = float(random.bounded(65534.0) - 32767.0) * (i % 2 ? 1.0f : 1e-3f);
            char expected[32];
            std::snprintf(expected, sizeof expected, "%g", double(value));
            QCOMPARE(FormatRamNumber(value), QString::fromLatin1(expected));
        }
        // Whatever the panel writes, the compiler reads back.
        for (const double value : {1.5, 1e-05, 1e+06, -123.457, 3.4e38}) {
            float back = 0.0f;
            QVERIFY(ParseRamNumber(FormatRamNumber(value).toUpper(), back));
            QCOMPARE(back, float(FormatRamNumber(value).toDouble()));
        }
    }

    void lineSplitting()
    {
        const QList<RamProgramLine> lines = SplitRamProgramLines(
            u"GO_REF;\r\n\n \t \r\n// c\n  GO_PARK; // p\nWAIT 5;#x//y\n"
            u"SET_O 1;//a#b\n\tA\t1  2;\t");
        QCOMPARE(lines.size(), 5);
        QCOMPARE(lines[1].lineNumber, qsizetype(5));
        QCOMPARE(lines[4].lineNumber, qsizetype(8));
        QCOMPARE(lines[0].text, QString("GO_REF;"));
        QCOMPARE(lines[1].text, QString("GO_PARK;"));
        QCOMPARE(lines[2].text, QString("WAIT 5;"));
        QCOMPARE(lines[3].text, QString("SET_O 1;"));
        QCOMPARE(lines[4].text, QString("A\t1  2;"));
        // The limit stops collecting one line past it.
        QCOMPARE(SplitRamProgramLines(u"A\nB\nC\nD", 2).size(), 3);
    }

    void fieldSplitting()
    {
        using Fields = std::array<QString, 5>;
        QCOMPARE(SplitRamCommandFields("SET_ZERO_S\t 1  2 3 4 5 6"),
                 (Fields{"SET_ZERO_S", "1", "2", "3", "4"}));
        QCOMPARE(SplitRamCommandFields("GO_REF "), (Fields{"GO_REF", "", "", "", ""}));
    }

    void fieldSplitFollowsPattern()
    {
        QStringList samples{"A B", " A", "A ", "", "  ", "\tA\t\tB  C\r\nD E F G",
                            QStringLiteral("A\u00A0B"), QStringLiteral("A\u2003B \u0085C"),
                            QStringLiteral("\u00E4 \u00F6\t\u00FC\v1 2 3 4")};
        for (char16_t c = 0; c < 128; ++c)
            samples << QStringLiteral("X") + QChar(c) + QStringLiteral("Y Z") + QChar(c);
        for (const QString& sample : samples) {
            QStringList expected = sample.split(RamWordSeparator());
            while (expected.size() < 5)
                expected << QString();
            const std::array<QString, 5> fields = SplitRamCommandFields(sample);
            for (int i = 0; i < 5; ++i)
                QCOMPARE(fields[size_t(i)], expected[i]);
        }
    }

    void checkMessages_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("messages");

        QTest::newRow("empty") << "" << QStringList{"Error: RAM-Programm is empty."};
        QTest::newRow("comments only") << "// a\n# b\n  \n"
                                       << QStringList{"Error: RAM-Programm is empty."};
        QTest::newRow("lower case") << "go_ref;\nGo_Park;\nwait 10;" << QStringList{};
        QTest::newRow("missing semicolon") << "GO_REF" << QStringList{noSemicolon(1)};
        QTest::newRow("unknown without semicolon")
            << "FOO 1 2" << QStringList{noSemicolon(1), unknownCommand(1)};
        QTest::newRow("unknown with semicolon") << "FOO;" << QStringList{unknownCommand(1)};
        QTest::newRow("only a semicolon") << "GO_REF;\n;" << QStringList{unknownCommand(2)};
        QTest::newRow("keyword glued to comment-free text") << "GO_REFX;"
                                                            << QStringList{unknownCommand(1)};
        QTest::newRow("comment lines counted")
            << "// head\n# more\n\nGO_XY_S 1 2;" << QStringList{badParameter(3, 4)};
        QTest::newRow("trailing comment") << "GO_PARK; // park it" << QStringList{};
        QTest::newRow("comment hides semicolon") << "GO_PARK // ;" << QStringList{noSemicolon(1)};
        QTest::newRow("second command dropped") << "GO_REF; FOO BAR;" << QStringList{};
        QTest::newRow("parameter 3 missing") << "GO_XY_S 100 200;"
                                             << QStringList{badParameter(3, 1)};
        QTest::newRow("space before semicolon") << "GO_XY_S 100 200 ;"
                                                << QStringList{badParameter(3, 1)};
        QTest::newRow("negative speed") << "GO_XY_S -5 10 10;" << QStringList{badParameter(1, 1)};
        QTest::newRow("no speed limit") << "GO_XY_S 5000 -10 10;\nGO_ZC_S 0 -1 -2;"
                                        << QStringList{};
        QTest::newRow("step parameters in order")
            << "GO_ZC_S x 1.5 1E3;" << QStringList{badParameter(1, 1), badParameter(2, 1),
                                                   badParameter(3, 1)};
        QTest::newRow("mm moves") << "GO_XY_MM 10.5 -1.25 .5;\nGO_ZC_MM 0 1E2 -3;"
                                  << QStringList{};
        QTest::newRow("mm negative speed") << "GO_ZC_MM -0.1 1 1;"
                                           << QStringList{badParameter(1, 1)};
        QTest::newRow("mm comma") << "GO_XY_MM 1 1,5 0;" << QStringList{badParameter(2, 1)};
        QTest::newRow("wait bounds") << "WAIT 0;\nWAIT 12000000;" << QStringList{};
        QTest::newRow("wait too long") << "WAIT 12000001;" << QStringList{badParameter(1, 1)};
        QTest::newRow("wait negative") << "WAIT -1;" << QStringList{badParameter(1, 1)};
        QTest::newRow("wait missing") << "WAIT;" << QStringList{badParameter(1, 1)};
        QTest::newRow("wait beyond 32 bits") << "WAIT 99999999999;"
                                             << QStringList{badParameter(1, 1)};
        QTest::newRow("park and ref ignore parameters") << "GO_PARK 5;\nGO_REF x y z;"
                                                        << QStringList{};
        QTest::newRow("zero steps") << "SET_ZERO_S 1 -2 3 -4;" << QStringList{};
        QTest::newRow("zero steps fourth missing") << "SET_ZERO_S 1 2 3;"
                                                   << QStringList{badParameter(4, 1)};
        QTest::newRow("zero mm") << "SET_ZERO_MM 1.5 0 0 0;" << QStringList{};
        QTest::newRow("zero mm comma") << "SET_ZERO_MM 1,5 0 0 0;"
                                       << QStringList{badParameter(1, 1)};
        QTest::newRow("func valid") << "SET_FUNC 1 0;\nSET_FUNC 0 1;" << QStringList{};
        QTest::newRow("func coolant 2") << "SET_FUNC 2 0;" << QStringList{badParameter(1, 1)};
        QTest::newRow("func both bad") << "SET_FUNC -1 2;"
                                       << QStringList{badParameter(1, 1), badParameter(2, 1)};
        QTest::newRow("outputs bounds") << "SET_O 0;\nSET_O 255;" << QStringList{};
        QTest::newRow("outputs 256") << "SET_O 256;" << QStringList{badParameter(1, 1)};
        QTest::newRow("outputs -1") << "SET_O -1;" << QStringList{badParameter(1, 1)};
        QTest::newRow("sixth field ignored") << "SET_ZERO_S 1 2 3 4 garbage;" << QStringList{};
        QTest::newRow("tabs and CR LF") << "GO_XY_S\t100\t1\t2;\r\nSET_O\t\t7;\r\n"
                                        << QStringList{};
        QTest::newRow("messages in line order, per line in order")
            << "FOO\nGO_XY_S -1 0 0\nWAIT 1;\nSET_O 300"
            << QStringList{noSemicolon(1),  unknownCommand(1), noSemicolon(2),
                           badParameter(1, 2), noSemicolon(4), badParameter(1, 4)};
        QTest::newRow("only semicolons") << ";;;;\n;\n;;"
                                         << QStringList{unknownCommand(1), unknownCommand(2),
                                                        unknownCommand(3)};
        // Every form the manual panel writes reads back clean, its float texts included
        // (exponent forms in lower case, a negative zero, the endless jog distance).
        QTest::newRow("manual panel lines")
            << "GO_XY_S 100 -10 0;\nGO_ZC_MM 2.5 0 1;\nGO_ZC_S 999 0 -999999;\n"
               "GO_XY_MM 999 999999 0;\nGO_XY_MM 0 -0 1e-05;\nGO_ZC_MM 1e-06 -1e-05 32767;\n"
               "WAIT 500;\nSET_ZERO_S 0 0 -200 0;\nSET_ZERO_MM -0 1.5 -32767 0.000123;\n"
               "GO_PARK;\nGO_REF;\nSET_FUNC 1 0;\nSET_O 129;\nSET_O 255;\nSET_O 0;"
            << QStringList{};
    }

    void checkMessages()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, messages);
        const RamProgramCheck check = CheckRamProgram(program);
        QCOMPARE(check.messages, messages);
        if (messages.isEmpty())
            QCOMPARE(check.commands.size(), SplitRamProgramLines(program).size());
    }

    void lineLimit()
    {
        // 100 commands with blank and comment lines between them are accepted.
        QString hundred;
        for (int i = 0; i < 100; ++i)
            hundred += QStringLiteral("WAIT %1;\n\n// pause\n").arg(i);
        const RamProgramCheck ok = CheckRamProgram(hundred);
        QVERIFY(ok.messages.isEmpty());
        QCOMPARE(ok.commands.size(), 100);
        QCOMPARE(ok.commands.last().lineNumber, qsizetype(298));

        // One more is too big, and nothing else is checked.
        const RamProgramCheck big = CheckRamProgram(hundred + QStringLiteral("nonsense"));
        QCOMPARE(big.messages, QStringList{"Error: RAM-Programm is too big."});
        QVERIFY(big.commands.isEmpty());

        QString badLines;
        for (int i = 0; i < 101; ++i)
            badLines += QStringLiteral("FOO\n# c\n");
        QCOMPARE(CheckRamProgram(badLines).messages,
                 QStringList{"Error: RAM-Programm is too big."});
    }

    void badInputNeverCrashes()
    {
        // Binary garbage, including NUL and lone surrogates.
        QString garbage;
        for (int i = 0; i < 4096; ++i)
            garbage += QChar(char16_t((i * 7919) % 0xFFFF));
        const RamProgramCheck g = CheckRamProgram(garbage);
        QVERIFY(!g.messages.isEmpty());

        // One line of 1 MB: a valid command with a huge parameter, and plain filler.
        const QString huge = QStringLiteral("GO_XY_MM 1 ") + QString(1 << 20, QLatin1Char('9'))
                             + QStringLiteral(" 0;");
        QCOMPARE(CheckRamProgram(huge).messages, QStringList{badParameter(2, 1)});
        const QString hugeInt = QStringLiteral("WAIT ") + QString(1 << 20, QLatin1Char('1'))
                                + QStringLiteral(";");
        QCOMPARE(CheckRamProgram(hugeInt).messages, QStringList{badParameter(1, 1)});
        const QString filler(1 << 20, QLatin1Char('x'));
        QCOMPARE(CheckRamProgram(filler).messages,
                 (QStringList{noSemicolon(1), unknownCommand(1)}));
        const QString semicolons(1 << 20, QLatin1Char(';'));
        QCOMPARE(CheckRamProgram(semicolons).messages, QStringList{unknownCommand(1)});

        // A million blank lines are still empty; a million command lines are too big.
        QCOMPARE(CheckRamProgram(QString(1 << 20, QLatin1Char('\n'))).messages,
                 QStringList{"Error: RAM-Programm is empty."});
        QCOMPARE(CheckRamProgram(QStringLiteral("GO_REF;\n").repeated(1 << 17)).messages,
                 QStringList{"Error: RAM-Programm is too big."});
    }

    void transferSendsOneCallPerLine()
    {
        ScriptedPorts ports;
        ScriptedDialogs dialogs;
        TarvoController* controller = connectController(ports);
        QVERIFY(controller);
        KavrixKernel::Instance()->StopAllTimers();
        QVERIFY(!controller->IsTimerActive());

        QPlainTextEdit editor;
        editor.setPlainText(QStringLiteral("// every command once\n"
                                           "GO_XY_S +100 -2147483648 2147483647;\n"
                                           "GO_XY_MM 2.5 1.5 -0.25;\n"
                                           "GO_ZC_S 50 3 4;\n"
                                           "GO_ZC_MM 1 -2 0.5;\n"
                                           "WAIT 1500;\n"
                                           "\n"
                                           "GO_PARK;\n"
                                           "go_ref; GO_PARK;\n"
                                           "SET_ZERO_S 1 -2 3 -4;\n"
                                           "SET_ZERO_MM 1.5 0 0 -7.25;\n"
                                           "SET_FUNC 1 0;  # coolant on, spindle off\n"
                                           "SET_O 0129;\r\n"));
        QStringList messages;
        QElapsedTimer clock;
        clock.start();
        KavrixKernel::Instance()->WriteRAMProgramm(controller->GetPortSettings(), &editor, 3,
                                                   messages);
        QVERIFY(clock.elapsed() >= 200);
        QVERIFY(messages.isEmpty());
        QVERIFY(controller->IsTimerActive());

        const std::vector<std::string> expected = calls({
            "BetriebsArtenWechsel(3)",
            "LoadRAMprogramm(3)",
            "FahreRelativ_XY_Schritte(100,1,[-2147483648,0,0,0,0,0],[2147483647,0,0,0,0,0],3)",
            "FahreRelativ_XY_mm(2.5,1,[1.5,0,0,0,0,0],[-0.25,0,0,0,0,0],3)",
            "FahreRelativ_ZC_Schritte(50,1,[3,0,0,0,0,0],[4,0,0,0,0,0],3)",
            "FahreRelativ_ZC_mm(1,1,[-2,0,0,0,0,0],[0.5,0,0,0,0,0],3)",
            "HaltePosition(1500)",
            "ParkPositionAnfahren()",
            "Referenzfahrt(0,0)",
            "NullPunktSetzen_Schritte(1,-2,3,-4)",
            "NullPunktSetzen_mm(1.5,0,0,-7.25)",
            "SpindelKuhlungSetzen(0,1)",
            "AllgemeineAusgaeneSetzen(129)",
            "BetriebsArtenWechsel(2)",
        });
        QCOMPARE(ports.device("COM3")->calls(), expected);
        QVERIFY(dialogs.shown.isEmpty());
    }

    void transferWaitsBetweenModeChangeAndSlot()
    {
        // The controller gets its 200 ms to switch into load mode before the slot is chosen.
        class TimedDevice : public quenta::ScriptedDevice {
        public:
            std::chrono::steady_clock::time_point modeChanged, slotLoaded;
            int changeMode(uint8_t mode) override
            {
                if (mode == 3)
                    modeChanged = std::chrono::steady_clock::now();
                return ScriptedDevice::changeMode(mode);
            }
            int loadRam(uint8_t ram) override
            {
                slotLoaded = std::chrono::steady_clock::now();
                return ScriptedDevice::loadRam(ram);
            }
        };
        const auto device = std::make_shared<TimedDevice>();
        quenta::setDeviceFactory([device](const std::string&) { return device; });
        auto* controller = new TarvoController(QStringLiteral("COM3"), 115200);
        KavrixKernel::Instance()->AddController(controller);
        KavrixKernel::Instance()->ConnectActiveController();
        const bool connected = controller->IsConnected();
        QPlainTextEdit editor;
        editor.setPlainText(QStringLiteral("GO_REF;"));
        QStringList messages;
        std::vector<std::string> sent;
        if (connected) {
            device->clearCalls();
            KavrixKernel::Instance()->WriteRAMProgramm(controller->GetPortSettings(), &editor,
                                                       2, messages);
            sent = device->calls();
        }
        KavrixKernel::Instance()->DisconnectActiveController();
        quenta::setDeviceFactory({});
        QVERIFY(connected);
        QVERIFY(messages.isEmpty());
        QCOMPARE(sent, calls({"BetriebsArtenWechsel(3)", "LoadRAMprogramm(2)",
                                         "Referenzfahrt(0,0)", "BetriebsArtenWechsel(2)"}));
        QVERIFY(device->slotLoaded - device->modeChanged >= std::chrono::milliseconds(200));
    }

    void transferRefusedOnErrors()
    {
        ScriptedPorts ports;
        TarvoController* controller = connectController(ports);
        QVERIFY(controller);

        QPlainTextEdit editor;
        QStringList messages;
        KavrixKernel::Instance()->WriteRAMProgramm(controller->GetPortSettings(), &editor, 1,
                                                   messages);
        QCOMPARE(messages, QStringList{"Error: RAM-Programm is empty."});

        messages.clear();
        editor.setPlainText(QStringLiteral("GO_REF;\nSET_O 256;\nGO_PARK"));
        KavrixKernel::Instance()->WriteRAMProgramm(controller->GetPortSettings(), &editor, 1,
                                                   messages);
        QCOMPARE(messages, (QStringList{badParameter(1, 2), noSemicolon(3)}));

        messages.clear();
        KavrixKernel::Instance()->WriteRAMProgramm(controller->GetPortSettings(), nullptr, 1,
                                                   messages);
        QCOMPARE(messages, QStringList{"Error: RAM-Programm is empty."});
        QVERIFY(ports.device("COM3")->calls().empty());
    }

    void startProgramInSlot()
    {
        ScriptedPorts ports;
        TarvoController* controller = connectController(ports);
        QVERIFY(controller);
        auto device = ports.device("COM3");
        device->queueResult("StartRAMprogramm", 7);
        KavrixKernel* kernel = KavrixKernel::Instance();
        QCOMPARE(kernel->StartRAMProgrammInSlot(controller->GetPortSettings(), 4, 0), 7);
        kernel->StartRAMProgrammInSlot(controller->GetPortSettings(), 1, 255);
        QCOMPARE(device->calls(), calls({"StartRAMprogramm(4,0)", "StartRAMprogramm(1,255)"}));
    }
};

QTEST_MAIN(TestRamProgram)
#include "tst_ramprogram.moc"
