// The parameter transfer against a scripted controller: call order and count, retries, the
// watchdog restarts, the failure lines, the value and name encoding and the buffer decoding.

#include "kavrixkernel.h"
#include "parametertable.h"
#include "tarvocontroller.h"
#include "tarvoparameters.h"
#include "testenv.h"

#include <QTest>

#include <cstring>
#include <memory>

namespace {

// The transfer order (ascending keys without 0300..0303, as the device logs them) with the
// group and parameter constants that name a parameter in a failure line.
struct Transferred {
    const char* key;
    const char* group;
    const char* parameter;
};
const Transferred transferred[42] = {
    {"0000", "HBYTE_MOTORTEST", "LBYTE_MOTORTEST_WEGLAENGE_LONG"},
    {"0001", "HBYTE_MOTORTEST", "LBYTE_MOTORTEST_START_STOP_FLOAT"},
    {"0002", "HBYTE_MOTORTEST", "LBYTE_MOTORTEST_MAXGESCHWINDIGKEIT_FLOAT"},
    {"0003", "HBYTE_MOTORTEST", "LBYTE_MOTORTEST_BESCHLEUNIGUNG_LONG"},
    {"0100", "HBYTE_GESCHWINDIGKEITEN", "LBYTE_GESCHWINDIGKEITEN_START_STOP_FLOAT"},
    {"0101", "HBYTE_GESCHWINDIGKEITEN", "LBYTE_GESCHWINDIGKEITEN_FAHR_FLOAT"},
    {"0102", "HBYTE_GESCHWINDIGKEITEN", "LBYTE_GESCHWINDIGKEITEN_EILGANG_FLOAT"},
    {"0103", "HBYTE_GESCHWINDIGKEITEN", "LBYTE_GESCHWINDIGKEITEN_MANUEL_LANGSAM_FLOAT"},
    {"0104", "HBYTE_GESCHWINDIGKEITEN", "LBYTE_GESCHWINDIGKEITEN_MANUEL_SCHNELL_FLOAT"},
    {"0105", "HBYTE_GESCHWINDIGKEITEN", "LBYTE_GESCHWINDIGKEITEN_REFERENZFAHRT_FLOAT"},
    {"0106", "HBYTE_GESCHWINDIGKEITEN", "LBYTE_GESCHWINDIGKEITEN_REFERENZFAHRT_FREI_FLOAT"},
    {"0107", "HBYTE_GESCHWINDIGKEITEN", "LBYTE_GESCHWINDIGKEITEN_BESCHLEUNIGUNG_LONG"},
    {"0108", "HBYTE_GESCHWINDIGKEITEN", "LBYTE_GESCHWINDIGKEITEN_BREMSWINKEL_LONG"},
    {"0109", "HBYTE_GESCHWINDIGKEITEN", "LBYTE_GESCHWINDIGKEITEN_UMSCHALTZEIT_LONG"},
    {"0200", "HBYTE_SCHNITTSTELLE", "LBYTE_SCHNITTSTELLE_ZUSATZSIGNAL_SPINDEL_LONG"},
    {"0201", "HBYTE_SCHNITTSTELLE", "LBYTE_SCHNITTSTELLE_ZUSATZSIGNAL_KUEHLUNG_LONG"},
    {"0202", "HBYTE_SCHNITTSTELLE", "LBYTE_SCHNITTSTELLE_ZUSATZSIGNAL_STROMABSENKUNG_LONG"},
    {"0203", "HBYTE_SCHNITTSTELLE", "LBYTE_SCHNITTSTELLE_ZUSATZSIGNAL_BOOST_LONG"},
    {"0304", "HBYTE_REFERENZFAHRT", "LBYTE_REFERENZFAHRT_RICHTUNG_UND_REIHENFOLGE_UCHAR"},
    {"0305", "HBYTE_REFERENZFAHRT", "LBYTE_REFERENZFAHRT_ENDSCHALTER_UCHAR"},
    {"0400", "HBYTE_MECHANIK", "LBYTE_MECHANIK_AUFLOESUNG_X_FLOAT"},
    {"0401", "HBYTE_MECHANIK", "LBYTE_MECHANIK_AUFLOESUNG_Y_FLOAT"},
    {"0402", "HBYTE_MECHANIK", "LBYTE_MECHANIK_AUFLOESUNG_Z_FLOAT"},
    {"0403", "HBYTE_MECHANIK", "LBYTE_MECHANIK_AUFLOESUNG_C_FLOAT"},
    {"0404", "HBYTE_MECHANIK", "LBYTE_MECHANIK_UMKEHRSPIEL_X_LONG"},
    {"0405", "HBYTE_MECHANIK", "LBYTE_MECHANIK_UMKEHRSPIEL_Y_LONG"},
    {"0406", "HBYTE_MECHANIK", "LBYTE_MECHANIK_UMKEHRSPIEL_Z_LONG"},
    {"0407", "HBYTE_MECHANIK", "LBYTE_MECHANIK_UMKEHRSPIEL_C_LONG"},
    {"0408", "HBYTE_MECHANIK", "LBYTE_MECHANIK_RICHTUNGSUMKEHR_LONG"},
    {"0409", "HBYTE_MECHANIK", "LBYTE_MECHANIK_VERFAHRBEREICH_VON_LONG"},
    {"040a", "HBYTE_MECHANIK", "LBYTE_MECHANIK_VERFAHRBEREICH_BIS_LONG"},
    {"040b", "HBYTE_MECHANIK", "LBYTE_MECHANIK_PARKPOSITION_LONG"},
    {"040c", "HBYTE_MECHANIK", "LBYTE_MECHANIK_NULLPUNKT_LONG"},
    {"040d", "HBYTE_MECHANIK", "LBYTE_MECHANIK_ACHSENCONFIGURATION_UCHAR"},
    {"0500", "HBYTE_SONSTIGE", "LBYTE_SONSTIGE_WERKZEUGWECHSEL_LONG"},
    {"0501", "HBYTE_SONSTIGE", "LBYTE_SONSTIGE_REFERENZFAHRTZEITPUNKT_LONG"},
    {"0502", "HBYTE_SONSTIGE", "LBYTE_SONSTIGE_SPINDELHOCHLAUF_LONG"},
    {"0503", "HBYTE_SONSTIGE", "LBYTE_SONSTIGE_WERKZEUGANSCHNITT_LONG"},
    {"0504", "HBYTE_SONSTIGE", "LBYTE_SONSTIGE_UNBEKANNTEPROGRAMMBEFEHLE_LONG"},
    {"0505", "HBYTE_SONSTIGE", "LBYTE_SONSTIGE_CONTROLLERNAME_CHAR"},
    {"0506", "HBYTE_SONSTIGE", "LBYTE_SONSTIGE_SICHERHEITSABSTAND_LONG"},
    {"0507", "HBYTE_SONSTIGE", "LBYTE_SONSTIGE_WEITERE_LONG"},
};

QString readFailure(int i)
{
    return QStringLiteral("Fehler bei ParameterLesen    %1  %2.")
        .arg(QLatin1String(transferred[i].group), QLatin1String(transferred[i].parameter));
}

std::vector<uint8_t> int32Bytes(std::initializer_list<int32_t> values)
{
    std::vector<uint8_t> bytes;
    for (const int32_t value : values) {
        const uint32_t u = static_cast<uint32_t>(value);
        for (int shift = 0; shift < 32; shift += 8)
            bytes.push_back(static_cast<uint8_t>(u >> shift));
    }
    return bytes;
}

std::vector<uint8_t> floatBytes(float value)
{
    int32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return int32Bytes({bits});
}

std::vector<uint8_t> textBytes(const char* text, size_t length)
{
    return std::vector<uint8_t>(text, text + length);
}

// Scripts the device to answer every parameter with its default value, as a controller
// holding the default parameter text would.
void replyDefaults(quenta::ScriptedDevice& device)
{
    using ParameterTable::Type;
    const TarvoParameters defaults;
    for (const ParameterTable::Row* row = ParameterTable::begin(); row != ParameterTable::end();
         ++row) {
        std::vector<uint8_t> bytes;
        switch (row->type) {
        case Type::Long:
            bytes = int32Bytes({defaults.*row->intMember});
            break;
        case Type::Float:
            bytes = floatBytes(defaults.*row->floatMember);
            break;
        case Type::LongArray: {
            const int(&v)[4] = defaults.*row->arrayMember;
            bytes = int32Bytes({v[0], v[1], v[2], v[3]});
            break;
        }
        case Type::UcharArray:
            for (const int v : defaults.*row->arrayMember)
                bytes.push_back(static_cast<uint8_t>(v));
            break;
        case Type::RefSequence:
            for (const int v : defaults.REFERENZFAHRT_RICHTUNG_UND_REIHENFOLGE_UCHAR.direction)
                bytes.push_back(static_cast<uint8_t>(v));
            for (const int v : defaults.REFERENZFAHRT_RICHTUNG_UND_REIHENFOLGE_UCHAR.order)
                bytes.push_back(static_cast<uint8_t>(v));
            break;
        case Type::Name:
        case Type::Unused:
            continue;
        }
        device.setParameterReply(row->key, bytes);
    }
}

QList<int> four(const int (&values)[4])
{
    return {values[0], values[1], values[2], values[3]};
}

// The calls of a log that belong to the transfer (mode changes and parameter calls).
QStringList transferCalls(const std::vector<std::string>& log)
{
    QStringList calls;
    for (const std::string& call : log) {
        const QString text = QString::fromStdString(call);
        if (text.startsWith(QLatin1String("BetriebsArtenWechsel"))
            || text.startsWith(QLatin1String("Parameter")) || text == QLatin1String("restart"))
            calls << text;
    }
    return calls;
}

// A float write as the device logs it.
QString floatCall(const char* key, float value)
{
    return QStringLiteral("ParameterAendern_float(%1,%2)")
        .arg(QLatin1String(key), QString::fromStdString(quenta::formatLogFloat(value)));
}

// The 32-byte name buffer as the device logs it: hex of the name, then zeros.
QString nameHex(const QByteArray& latin1)
{
    return QString::fromLatin1(latin1.toHex()) + QString(64 - 2 * latin1.size(), QLatin1Char('0'));
}

// A scripted device that also notes when the controller's watchdog was restarted: before
// every mode change or parameter call it logs "restart" if the watchdog runs, then stops it,
// so the next restart shows again.
class WatchdogDevice : public quenta::ScriptedDevice {
public:
    TarvoController* watched = nullptr;
    std::vector<std::string> events;

    int changeMode(uint8_t mode) override
    {
        noteRestart();
        return logged(ScriptedDevice::changeMode(mode));
    }
    int readParameter(uint8_t group, uint8_t index, uint8_t result[16]) override
    {
        noteRestart();
        return logged(ScriptedDevice::readParameter(group, index, result));
    }
    int setParameter(uint8_t group, uint8_t index, const ParamValue& value) override
    {
        noteRestart();
        return logged(ScriptedDevice::setParameter(group, index, value));
    }

private:
    void noteRestart()
    {
        if (watched && watched->IsTimerActive()) {
            events.push_back("restart");
            watched->StopTimer();
        }
    }
    int logged(int result)
    {
        events.push_back(calls().back());
        return result;
    }
};

}  // namespace

// ReadFromController and WriteToController on an open port served by a WatchdogDevice.
class TestParameterTransfer : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void readWhenNothingAnswers();
    void writeWhenNothingAnswers();
    void successAtThirdTryIsSilent();
    void threeFailuresCostOneLine();
    void restartsAndModeChangesInOrder();
    void writeSendsHeldValues();
    void nameBufferBytes();
    void readDecodesEachLayout();
    void readNameStopsAtZeroOrSixteen();
    void readNameSavesAndLoadsBack_data();
    void readNameSavesAndLoadsBack();
    void shortRepliesDoNotDecodeLeftovers();
    void readStartsFromDefaults();
    void noRecordDoesNothing();

private:
    TarvoParameters& set() { return controller->GetParameters(); }
    QStringList read();
    QStringList write();

    std::shared_ptr<WatchdogDevice> device;
    TarvoController* controller = nullptr;
};

void TestParameterTransfer::initTestCase()
{
    initTestSettings();
}

void TestParameterTransfer::init()
{
    device = std::make_shared<WatchdogDevice>();
    quenta::setDeviceFactory([served = device](const std::string&) { return served; });
    KavrixKernel* const kernel = KavrixKernel::Instance();
    controller = new TarvoController(QStringLiteral("COM3"), 115200);
    QVERIFY(kernel->AddController(controller));
    kernel->ConnectActiveController();
    QVERIFY(controller->IsConnected());
    device->clearCalls();
}

void TestParameterTransfer::cleanup()
{
    delete KavrixKernel::Instance();
    controller = nullptr;
    quenta::setDeviceFactory({});
    device.reset();
}

QStringList TestParameterTransfer::read()
{
    QStringList messages;
    set().ReadFromController(controller->GetPortSettings(), messages);
    return messages;
}

QStringList TestParameterTransfer::write()
{
    QStringList messages;
    set().WriteToController(controller->GetPortSettings(), messages);
    return messages;
}

void TestParameterTransfer::readWhenNothingAnswers()
{
    set().SetFileName(QStringLiteral("/tmp/alt.ncp"));
    set().MOTORTEST_WEGLAENGE_LONG = 9;
    device->setDefaultResult(0);

    QStringList expected;
    for (int i = 0; i < 42; ++i)
        expected << readFailure(i);
    QCOMPARE(read(), expected);

    const QStringList calls = transferCalls(device->calls());
    QCOMPARE(calls.size(), 2 + 42 * 3);
    QCOMPARE(calls.first(), QStringLiteral("BetriebsArtenWechsel(1)"));
    QCOMPARE(calls.last(), QStringLiteral("BetriebsArtenWechsel(2)"));
    for (int i = 0; i < 42 * 3; ++i)
        QCOMPARE(calls.at(1 + i),
                 QStringLiteral("ParameterLesen(%1)").arg(QLatin1String(transferred[i / 3].key)));

    // The set holds the defaults, is defined and has no file.
    TarvoParameters defaults;
    defaults.ResetToDefaults();
    QCOMPARE(set().SaveToText(), defaults.SaveToText());
    QVERIFY(set().IsDefined());
    QVERIFY(set().GetFileName().isEmpty());
}

void TestParameterTransfer::writeWhenNothingAnswers()
{
    set().ResetToDefaults();
    device->setDefaultResult(0);

    const QStringList messages = write();
    const QString prefix = QStringLiteral("Fehler bei Parameterübertragung");
    // One line per parameter in key order (0202 names its parameter "BYTE_...").
    QCOMPARE(messages.size(), 42);
    for (int i = 0; i < 42; ++i) {
        QVERIFY(messages.at(i).startsWith(prefix));
        QVERIFY(messages.at(i).contains(QLatin1String(transferred[i].group)));
        QVERIFY(messages.at(i).endsWith(QLatin1String(transferred[i].parameter + 1) + QLatin1Char('.')));
    }
    // The controller's irregular spacing, line by line where it differs.
    QCOMPARE(messages.at(0), prefix + "    HBYTE_MOTORTEST  LBYTE_MOTORTEST_WEGLAENGE_LONG.");
    QCOMPARE(messages.at(11), prefix + "    HBYTE_GESCHWINDIGKEITEN  "
                                       "LBYTE_GESCHWINDIGKEITEN_BESCHLEUNIGUNG_LONG.");
    QCOMPARE(messages.at(12), prefix + "      HBYTE_GESCHWINDIGKEITEN  "
                                       "LBYTE_GESCHWINDIGKEITEN_BREMSWINKEL_LONG.");
    QCOMPARE(messages.at(13), prefix + "      HBYTE_GESCHWINDIGKEITEN  "
                                       "LBYTE_GESCHWINDIGKEITEN_UMSCHALTZEIT_LONG.");
    QCOMPARE(messages.at(16), prefix + "    HBYTE_SCHNITTSTELLE  "
                                       "BYTE_SCHNITTSTELLE_ZUSATZSIGNAL_STROMABSENKUNG_LONG.");
    QCOMPARE(messages.at(18), prefix + "    HBYTE_REFERENZFAHRT  "
                                       "LBYTE_REFERENZFAHRT_RICHTUNG_UND_REIHENFOLGE_UCHAR.");
    QCOMPARE(messages.at(20), prefix + "      HBYTE_MECHANIK  LBYTE_MECHANIK_AUFLOESUNG_X_FLOAT.");
    QCOMPARE(messages.at(32), prefix + "      HBYTE_MECHANIK  LBYTE_MECHANIK_NULLPUNKT_LONG.");
    QCOMPARE(messages.at(33), prefix + "      HBYTE_MECHANIK  "
                                       "LBYTE_MECHANIK_ACHSENCONFIGURATION_UCHAR.");
    QCOMPARE(messages.at(39), prefix + "    HBYTE_SONSTIGE LBYTE_SONSTIGE_CONTROLLERNAME_CHAR.");
    QCOMPARE(messages.at(41), prefix + "    HBYTE_SONSTIGE  LBYTE_SONSTIGE_WEITERE_LONG.");

    const QStringList calls = transferCalls(device->calls());
    QCOMPARE(calls.size(), 2 + 42 * 3);
    QCOMPARE(calls.first(), QStringLiteral("BetriebsArtenWechsel(1)"));
    QCOMPARE(calls.last(), QStringLiteral("BetriebsArtenWechsel(2)"));
    for (int i = 0; i < 42; ++i) {
        const QString first = calls.at(1 + 3 * i);
        QVERIFY2(first.contains(QLatin1String("(") + QLatin1String(transferred[i].key)),
                 qPrintable(first));
        QCOMPARE(calls.at(2 + 3 * i), first);
        QCOMPARE(calls.at(3 + 3 * i), first);
    }
}

void TestParameterTransfer::successAtThirdTryIsSilent()
{
    device->setParameterReply(0x0000, int32Bytes({1234}));
    device->queueResult("ParameterLesen", 0);
    device->queueResult("ParameterLesen", 0);
    QCOMPARE(read(), QStringList());
    QCOMPARE(set().MOTORTEST_WEGLAENGE_LONG, 1234);
    QCOMPARE(device->countCalls("ParameterLesen(0000)"), 3);
    QCOMPARE(device->countCalls("ParameterLesen"), 3 + 41);

    device->clearCalls();
    device->queueResult("ParameterAendern_ControllerName", 0);
    device->queueResult("ParameterAendern_ControllerName", 0);
    QCOMPARE(write(), QStringList());
    QCOMPARE(device->countCalls("ParameterAendern_ControllerName"), 3);
    QCOMPARE(device->countCalls("ParameterAendern"), 3 + 41);
}

void TestParameterTransfer::threeFailuresCostOneLine()
{
    for (int i = 0; i < 3; ++i) {
        device->queueResult("ParameterLesen", 0);
        device->queueResult("ParameterAendern_4_uchar", 0);
    }
    device->setParameterReply(0x0001, floatBytes(2.5f));
    QCOMPARE(read(), QStringList{readFailure(0)});
    QCOMPARE(device->countCalls("ParameterLesen"), 3 + 41);
    QCOMPARE(set().MOTORTEST_WEGLAENGE_LONG, 400);  // keeps its default
    QCOMPARE(set().MOTORTEST_START_STOP_FLOAT, 2.5f);

    // 0305 is the first byte-array parameter; 040D is written at the first try.
    QCOMPARE(write(), QStringList{QStringLiteral("Fehler bei Parameterübertragung    "
                                                 "HBYTE_REFERENZFAHRT  "
                                                 "LBYTE_REFERENZFAHRT_ENDSCHALTER_UCHAR.")});
    QCOMPARE(device->countCalls("ParameterAendern_4_uchar"), 4);
}

void TestParameterTransfer::restartsAndModeChangesInOrder()
{
    QStringList expected;
    expected << QStringLiteral("restart") << QStringLiteral("BetriebsArtenWechsel(1)");
    for (int i = 0; i < 42; ++i) {
        if (i == 14 || i == 28)  // before 0200 and before 0408
            expected << QStringLiteral("restart");
        expected << QStringLiteral("ParameterLesen(%1)").arg(QLatin1String(transferred[i].key));
    }
    expected << QStringLiteral("BetriebsArtenWechsel(2)");

    device->watched = controller;
    controller->StopTimer();
    QCOMPARE(read(), QStringList());
    QCOMPARE(transferCalls(device->events), expected);
    QVERIFY(!controller->IsTimerActive());  // nothing restarts it after the last parameter

    device->events.clear();
    QCOMPARE(write(), QStringList());
    const QStringList calls = transferCalls(device->events);
    QCOMPARE(calls.size(), expected.size());
    for (int i = 0; i < calls.size(); ++i) {
        if (expected.at(i).startsWith(QLatin1String("ParameterLesen")))
            QVERIFY(calls.at(i).startsWith(QLatin1String("ParameterAendern")));
        else
            QCOMPARE(calls.at(i), expected.at(i));
    }
}

void TestParameterTransfer::writeSendsHeldValues()
{
    set().ResetToDefaults();
    set().MOTORTEST_START_STOP_FLOAT = 0.25f;
    set().GESCHWINDIGKEITEN_BESCHLEUNIGUNG_LONG = 70000;  // sent unchecked
    set().REFERENZFAHRT_RICHTUNG_UND_REIHENFOLGE_UCHAR = {{-1, 0, 2, 256}, {3, 2, 1, 0}};
    set().MECHANIK_ACHSENCONFIGURATION_UCHAR[0] = 258;
    set().MECHANIK_VERFAHRBEREICH_VON_LONG[1] = -32767;
    set().SONSTIGE_CONTROLLERNAME_CHAR = QStringLiteral("Mill");

    QCOMPARE(write(), QStringList());
    const QStringList expected = {
        QStringLiteral("BetriebsArtenWechsel(1)"),
        QStringLiteral("ParameterAendern_long(0000,400)"),
        floatCall("0001", 0.25f),
        floatCall("0002", 10.0f),
        QStringLiteral("ParameterAendern_long(0003,10)"),
        floatCall("0100", 0.5f),
        floatCall("0101", 4.0f),
        floatCall("0102", 10.0f),
        floatCall("0103", 0.5f),
        floatCall("0104", 2.5f),
        floatCall("0105", 2.5f),
        floatCall("0106", 0.5f),
        QStringLiteral("ParameterAendern_long(0107,70000)"),
        QStringLiteral("ParameterAendern_long(0108,0)"),
        QStringLiteral("ParameterAendern_long(0109,0)"),
        QStringLiteral("ParameterAendern_long(0200,3)"),
        QStringLiteral("ParameterAendern_long(0201,3)"),
        QStringLiteral("ParameterAendern_long(0202,3)"),
        QStringLiteral("ParameterAendern_long(0203,3)"),
        QStringLiteral("ParameterAendern_Richtung_Sequenz_ReferenzFahrt(0304,255,0,2,0,3,2,1,0)"),
        QStringLiteral("ParameterAendern_4_uchar(0305,1,1,1,1)"),
        floatCall("0400", 100.0f),
        floatCall("0401", 100.0f),
        floatCall("0402", 100.0f),
        floatCall("0403", 100.0f),
        QStringLiteral("ParameterAendern_long(0404,0)"),
        QStringLiteral("ParameterAendern_long(0405,0)"),
        QStringLiteral("ParameterAendern_long(0406,0)"),
        QStringLiteral("ParameterAendern_long(0407,0)"),
        QStringLiteral("ParameterAendern_4_longs(0408,0,0,0,0)"),
        QStringLiteral("ParameterAendern_4_longs(0409,0,-32767,0,0)"),
        QStringLiteral("ParameterAendern_4_longs(040a,100,100,50,50)"),
        QStringLiteral("ParameterAendern_4_longs(040b,0,0,0,0)"),
        QStringLiteral("ParameterAendern_4_longs(040c,0,0,0,0)"),
        QStringLiteral("ParameterAendern_4_uchar(040d,2,0,0,0)"),
        QStringLiteral("ParameterAendern_long(0500,4)"),
        QStringLiteral("ParameterAendern_long(0501,1)"),
        QStringLiteral("ParameterAendern_long(0502,0)"),
        QStringLiteral("ParameterAendern_long(0503,0)"),
        QStringLiteral("ParameterAendern_long(0504,1)"),
        QStringLiteral("ParameterAendern_ControllerName(0505,") + nameHex("Mill")
            + QLatin1Char(')'),
        QStringLiteral("ParameterAendern_long(0506,0)"),
        QStringLiteral("ParameterAendern_long(0507,0)"),
        QStringLiteral("BetriebsArtenWechsel(2)"),
    };
    QCOMPARE(transferCalls(device->calls()), expected);
}

void TestParameterTransfer::nameBufferBytes()
{
    const auto sentName = [this](const QString& name) {
        set().SONSTIGE_CONTROLLERNAME_CHAR = name;
        device->clearCalls();
        QStringList messages;
        set().WriteToController(controller->GetPortSettings(), messages);
        for (const QString& call : transferCalls(device->calls())) {
            if (call.startsWith(QLatin1String("ParameterAendern_ControllerName(0505,")))
                return call.mid(37).chopped(1);
        }
        return QString();
    };
    QCOMPARE(sentName(QStringLiteral("Dorvik USB")), nameHex("Dorvik USB"));
    QCOMPARE(sentName(QStringLiteral("Fräse")), nameHex("Fr\xe4se"));
    QCOMPARE(sentName(QStringLiteral("ABCDEFGHIJKLMNOP")), nameHex("ABCDEFGHIJKLMNOP"));
    // A name longer than the controller keeps is sent as its first 16 characters.
    QCOMPARE(sentName(QStringLiteral("ABCDEFGHIJKLMNOPQRST")), nameHex("ABCDEFGHIJKLMNOP"));
    QCOMPARE(sentName(QString()), nameHex(""));
}

void TestParameterTransfer::readDecodesEachLayout()
{
    device->setParameterReply(0x0000, int32Bytes({-1234}));
    device->setParameterReply(0x0107, int32Bytes({70000}));  // stored without range check
    device->setParameterReply(0x0001, floatBytes(1.25f));
    device->setParameterReply(0x0403, floatBytes(-0.5f));
    device->setParameterReply(0x0304, {2, 0, 1, 0, 3, 1, 0, 2});
    device->setParameterReply(0x0305, {0, 1, 0, 1});
    device->setParameterReply(0x040D, {2, 1, 0, 255});
    device->setParameterReply(0x040A, int32Bytes({10, -20, 30000, -32767}));
    device->setParameterReply(0x0505, textBytes("Fr\xe4se\0xyz", 9));

    QCOMPARE(read(), QStringList());
    QCOMPARE(set().MOTORTEST_WEGLAENGE_LONG, -1234);
    QCOMPARE(set().GESCHWINDIGKEITEN_BESCHLEUNIGUNG_LONG, 70000);
    QCOMPARE(set().MOTORTEST_START_STOP_FLOAT, 1.25f);
    QCOMPARE(set().MECHANIK_AUFLOESUNG_C_FLOAT, -0.5f);
    QCOMPARE(four(set().REFERENZFAHRT_RICHTUNG_UND_REIHENFOLGE_UCHAR.direction),
             QList<int>({2, 0, 1, 0}));
    QCOMPARE(four(set().REFERENZFAHRT_RICHTUNG_UND_REIHENFOLGE_UCHAR.order),
             QList<int>({3, 1, 0, 2}));
    QCOMPARE(four(set().REFERENZFAHRT_ENDSCHALTER_UCHAR), QList<int>({0, 1, 0, 1}));
    QCOMPARE(four(set().MECHANIK_ACHSENCONFIGURATION_UCHAR), QList<int>({2, 1, 0, 255}));
    QCOMPARE(four(set().MECHANIK_VERFAHRBEREICH_BIS_LONG), QList<int>({10, -20, 30000, -32767}));
    QCOMPARE(set().SONSTIGE_CONTROLLERNAME_CHAR, QStringLiteral("Fräse"));
    // Parameters that answered without bytes read as zero.
    QCOMPARE(set().SCHNITTSTELLE_ZUSATZSIGNAL_SPINDEL_LONG, 0);
    QCOMPARE(set().GESCHWINDIGKEITEN_FAHR_FLOAT, 0.0f);
}

void TestParameterTransfer::readNameStopsAtZeroOrSixteen()
{
    device->setParameterReply(0x0505, textBytes("ABCDEFGHIJKLMNOP", 16));
    QCOMPARE(read(), QStringList());
    QCOMPARE(set().SONSTIGE_CONTROLLERNAME_CHAR, QStringLiteral("ABCDEFGHIJKLMNOP"));

    device->setParameterReply(0x0505, textBytes("Mill\0garbage", 12));
    QCOMPARE(read(), QStringList());
    QCOMPARE(set().SONSTIGE_CONTROLLERNAME_CHAR, QStringLiteral("Mill"));
}

void TestParameterTransfer::readNameSavesAndLoadsBack_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("name");
    QTest::newRow("all zero") << QByteArray(16, '\0') << QString();
    QTest::newRow("all blank") << QByteArray(16, ' ') << QString();
    QTest::newRow("surrounding blanks") << QByteArray("  Mill 2 \t") << QStringLiteral("Mill 2");
    QTest::newRow("percent") << QByteArray("50%Mill") << QStringLiteral("50 Mill");
    QTest::newRow("percent last") << QByteArray("Mill 50%") << QStringLiteral("Mill 50");
    QTest::newRow("controls") << QByteArray("A\nB\rC\x7f" "D") << QStringLiteral("A B C D");
    QTest::newRow("Latin-1") << QByteArray("Fr\xe4se \xff") << QStringLiteral("Fräse ÿ");
}

void TestParameterTransfer::readNameSavesAndLoadsBack()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, name);
    replyDefaults(*device);
    device->setParameterReply(0x0505, textBytes(bytes.constData(), size_t(bytes.size())));
    QCOMPARE(read(), QStringList());
    QCOMPARE(set().SONSTIGE_CONTROLLERNAME_CHAR, name);

    // The set saves to a text that reads back silently, with the same name.
    const QString saved = set().SaveToText();
    TarvoParameters back;
    QStringList messages;
    back.LoadFromText(saved, messages);
    QCOMPARE(messages, QStringList());
    QCOMPARE(back.SONSTIGE_CONTROLLERNAME_CHAR, name);
    QCOMPARE(back.SaveToText(), saved);

    // Written back, the controller gets that name (an empty one as sixteen zero bytes).
    device->clearCalls();
    QCOMPARE(write(), QStringList());
    QVERIFY(transferCalls(device->calls())
                .contains(QStringLiteral("ParameterAendern_ControllerName(0505,")
                          + nameHex(name.toLatin1()) + QLatin1Char(')')));
}

void TestParameterTransfer::shortRepliesDoNotDecodeLeftovers()
{
    // Each short reply follows a parameter whose reply filled more of the buffer.
    device->setParameterReply(0x0000, {1, 2, 3, 0x40});
    device->setParameterReply(0x0001, {0, 0});
    device->setParameterReply(0x040A, int32Bytes({1, 2, 3, 4}));
    device->setParameterReply(0x040B, int32Bytes({5}));
    device->setParameterReply(0x040C, {9});
    device->setParameterReply(0x0504, {'w', 'x', 'y', 'z'});
    device->setParameterReply(0x0505, {'A', 'B'});

    QCOMPARE(read(), QStringList());
    QCOMPARE(set().MOTORTEST_START_STOP_FLOAT, 0.0f);
    QCOMPARE(four(set().MECHANIK_PARKPOSITION_LONG), QList<int>({5, 0, 0, 0}));
    QCOMPARE(four(set().MECHANIK_NULLPUNKT_LONG), QList<int>({9, 0, 0, 0}));
    QCOMPARE(set().SONSTIGE_CONTROLLERNAME_CHAR, QStringLiteral("AB"));
}

void TestParameterTransfer::readStartsFromDefaults()
{
    TarvoParameters& parameters = set();
    QStringList messages;
    parameters.LoadFromText(QStringLiteral("0000=5 %eigen\n0600=1 %fremd\n"), messages);
    QCOMPARE(messages, QStringList());
    parameters.SetFileName(QStringLiteral("/tmp/eigen.ncp"));

    device->setParameterReply(0x0000, int32Bytes({77}));
    QCOMPARE(read(), QStringList());
    QCOMPARE(parameters.comments.size(), 46);
    QVERIFY(!parameters.comments.contains(0x0600));
    QVERIFY(parameters.comments.value(0x0000).startsWith(QLatin1String("%MOTORTEST_WEGLAENGE")));
    QVERIFY(parameters.GetFileName().isEmpty());
    QCOMPARE(parameters.MOTORTEST_WEGLAENGE_LONG, 77);
}

void TestParameterTransfer::noRecordDoesNothing()
{
    QStringList messages;
    set().ReadFromController(nullptr, messages);
    set().WriteToController(nullptr, messages);
    QCOMPARE(messages, QStringList());
    QVERIFY(!set().IsDefined());
    QVERIFY(device->calls().empty());
}

QTEST_MAIN(TestParameterTransfer)
#include "tst_parametertransfer.moc"
