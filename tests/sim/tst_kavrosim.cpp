// End to end through a real pseudo-terminal: the link library's C API and serial transport
// against kavro-sim started as a separate process, including the faults on the line.

#include "machinesetup.h"
#include "quenta.h"
#include "serialdevice.h"
#include "testenv.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSettings>
#include <QtTest>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

std::atomic<int> callbacks{0};

void countCallback(TarvoPortSettings*)
{
    ++callbacks;
}

// kavro-sim as a child process; its first output line is the pty path.
class SimProcess {
public:
    explicit SimProcess(const QStringList& args = {})
    {
        process.start(QStringLiteral(KAVRO_SIM_PATH), args);
        if (process.waitForStarted(5000) && process.waitForReadyRead(5000))
            path = QString::fromLatin1(process.readLine()).trimmed();
    }
    ~SimProcess()
    {
        if (process.state() != QProcess::NotRunning) {
            process.write("quit\n");
            if (!process.waitForFinished(2000))
                process.kill();
            process.waitForFinished(2000);
        }
    }
    // Sends a control command and returns kavro-sim's answer line.
    QString command(const QString& line)
    {
        process.write((line + QLatin1Char('\n')).toLatin1());
        process.waitForBytesWritten(1000);
        QElapsedTimer timer;
        timer.start();
        while (!process.canReadLine() && timer.elapsed() < 3000)
            process.waitForReadyRead(100);
        return QString::fromLatin1(process.readLine()).trimmed();
    }
    // One field of the "status" line, such as "blocks" or "crc".
    QString status(const QString& field)
    {
        const QStringList parts = command(QStringLiteral("status")).split(QLatin1Char(' '));
        for (const QString& p : parts) {
            if (p.startsWith(field + QLatin1Char('=')))
                return p.mid(field.size() + 1);
        }
        return QString();
    }
    // The fields of the "status" line that describe the machine (not the line's counters).
    QString machineState()
    {
        QStringList kept;
        const QStringList parts = command(QStringLiteral("status")).split(QLatin1Char(' '));
        for (const QString& p : parts) {
            const QString key = p.section(QLatin1Char('='), 0, 0);
            if (key != QLatin1String("requests") && key != QLatin1String("discarded")
                && key != QLatin1String("baud") && key != QLatin1String("connected"))
                kept << p;
        }
        return kept.join(QLatin1Char(' '));
    }
    void kill()
    {
        process.kill();
        process.waitForFinished(2000);
    }

    QProcess process;
    QString path;
};

struct Record {
    TarvoPortSettings s;
    Record()
    {
        InitCommPortSettings(&s);
        std::strcpy(s.comPort, "COM5");
    }
    ~Record() { TarvoCloseConnection(&s); }
};

void mapPort(const QString& path)
{
    QSettings settings(QStringLiteral("lumbrix"), QStringLiteral("Quenta"));
    settings.setValue(QStringLiteral("ports/COM5"), path);
    settings.sync();
}

struct Status {
    uint8_t first = 0, inputs = 0, flags = 0;
    int32_t pos[4] = {0, 0, 0, 0};
    uint8_t fill = 0, gin = 0, gout = 0, error = 0;
    int result = 0;
};

Status status(TarvoPortSettings* s)
{
    Status st;
    st.result = GetStatus_Schritte(s, &st.first, &st.inputs, &st.flags, &st.pos[0], &st.pos[1],
                                   &st.pos[2], &st.pos[3], &st.fill, &st.gin, &st.gout, &st.error);
    return st;
}

void write(TarvoPortSettings* s, const QByteArray& bytes)
{
    TarvoWriteChar(s, reinterpret_cast<const uint8_t*>(bytes.constData()), int32_t(bytes.size()));
}

// Polls TarvoReadChar until n bytes arrived or maxCalls calls in a row brought nothing.
QByteArray readReply(TarvoPortSettings* s, int n, int maxCalls = 2000)
{
    QByteArray got;
    int idle = 0;
    while (got.size() < n && idle < maxCalls) {
        uint8_t buffer[16] = {};
        const int r = TarvoReadChar(s, buffer, n - int(got.size()));
        got.append(reinterpret_cast<const char*>(buffer), r);
        idle = r > 0 ? 0 : idle + 1;
    }
    return got;
}

quint32 crc32Of(const QByteArray& data)
{
    quint32 reg = 0xFFFFFFFFu;
    for (const char c : data) {
        const auto byte = static_cast<uchar>(c);
        for (int i = 0; i < 8; ++i)
            reg = ((reg ^ (byte >> i)) & 1u) ? (reg >> 1) ^ 0xEDB88320u : reg >> 1;
    }
    return ~reg;
}

// The 42 transferable parameters: key, kind and a new valid value.
struct Param {
    uint16_t key;
    char kind;  // l long, f float, 4 four longs, u four bytes, r reference order, n name
    double v[8];
};

const Param params[] = {
    {0x0000, 'l', {500}},     {0x0001, 'f', {0.75}},    {0x0002, 'f', {12.5}},
    {0x0003, 'l', {20}},      {0x0100, 'f', {0.25}},    {0x0101, 'f', {5.5}},
    {0x0102, 'f', {15}},      {0x0103, 'f', {1}},       {0x0104, 'f', {3}},
    {0x0105, 'f', {2}},       {0x0106, 'f', {0.75}},    {0x0107, 'l', {8}},
    {0x0108, 'l', {5}},       {0x0109, 'l', {10}},      {0x0200, 'l', {1}},
    {0x0201, 'l', {2}},       {0x0202, 'l', {1}},       {0x0203, 'l', {2}},
    {0x0304, 'r', {0, 0, 1, 1, 0, 1, 2, 3}},            {0x0305, 'u', {0, 1, 0, 1}},
    {0x0400, 'f', {80}},      {0x0401, 'f', {81}},      {0x0402, 'f', {82}},
    {0x0403, 'f', {83}},      {0x0404, 'l', {1}},       {0x0405, 'l', {2}},
    {0x0406, 'l', {3}},       {0x0407, 'l', {4}},       {0x0408, '4', {1, 0, 1, 0}},
    {0x0409, '4', {-10, -20, 0, 0}},                    {0x040A, '4', {200, 150, 60, 40}},
    {0x040B, '4', {5, 5, 5, 5}}, {0x040C, '4', {1, 2, 3, 4}}, {0x040D, 'u', {0, 0, 0, 1}},
    {0x0500, 'l', {2}},       {0x0501, 'l', {3}},       {0x0502, 'l', {100}},
    {0x0503, 'l', {200}},     {0x0504, 'l', {2}},       {0x0505, 'n', {}},
    {0x0506, 'l', {7}},       {0x0507, 'l', {0}},
};

int writeParam(TarvoPortSettings* s, const Param& p)
{
    const auto g = static_cast<uint8_t>(p.key >> 8);
    const auto i = static_cast<uint8_t>(p.key);
    const auto l = [&](int k) { return static_cast<int32_t>(p.v[k]); };
    const auto u = [&](int k) { return static_cast<uint32_t>(p.v[k]); };
    switch (p.kind) {
    case 'l':
        return ParameterAendern_long(s, g, i, l(0));
    case 'f':
        return ParameterAendern_float(s, g, i, static_cast<float>(p.v[0]));
    case '4':
        return ParameterAendern_4_longs(s, g, i, l(0), l(1), l(2), l(3));
    case 'u':
        return ParameterAendern_4_uchar(s, g, i, u(0), u(1), u(2), u(3));
    case 'r':
        return ParameterAendern_Richtung_Sequenz_ReferenzFahrt(s, g, i, u(0), u(1), u(2), u(3),
                                                               u(4), u(5), u(6), u(7));
    default: {
        char name[32] = "E2E Mill";
        return ParameterAendern_ControllerName(s, g, i, name);
    }
    }
}

// The 16 bytes a read of the parameter returns after writeParam.
QByteArray expectedBytes(const Param& p)
{
    QByteArray b(16, '\0');
    const auto putLong = [&](int at, int32_t v) { std::memcpy(b.data() + at, &v, 4); };
    switch (p.kind) {
    case 'l':
        putLong(0, static_cast<int32_t>(p.v[0]));
        break;
    case 'f': {
        const auto f = static_cast<float>(p.v[0]);
        std::memcpy(b.data(), &f, 4);
        break;
    }
    case '4':
        for (int k = 0; k < 4; ++k)
            putLong(4 * k, static_cast<int32_t>(p.v[k]));
        break;
    case 'u':
    case 'r':
        for (int k = 0; k < (p.kind == 'u' ? 4 : 8); ++k)
            b[k] = static_cast<char>(p.v[k]);
        break;
    default:
        b.replace(0, 8, "E2E Mill");
        break;
    }
    return b;
}

}  // namespace

class TestKavroSim : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void connectNotifyAndMove();
    void readAndWriteAllParameters();
    void ramProgramLoadAndStart();
    void linearMoveThroughTheSerialDevice();
    void firmwareTransferOf10000Bytes();
    void cancelledFirmwareUpdateLeavesTheMachineAsItWas();
    void openFailures();
    void silenceMakesCallsFailWithinTheirBound();
    void garbageOnTheLine();
    void ptyClosedMidSession();
    void silentBootloader();
};

void TestKavroSim::initTestCase()
{
    QVERIFY2(QFile::exists(QStringLiteral(KAVRO_SIM_PATH)), KAVRO_SIM_PATH);
}

void TestKavroSim::init()
{
    initTestSettings();
    callbacks = 0;
    SetStatusNotificationCallback(countCallback);
}

void TestKavroSim::cleanup()
{
    SetStatusNotificationCallback(nullptr);
}

void TestKavroSim::connectNotifyAndMove()
{
    SimProcess sim({QStringLiteral("--name=Pty Mill")});
    QVERIFY(sim.path.startsWith(QLatin1String("/dev/")));
    mapPort(sim.path);
    Record r;
    r.s.baudRate = 100000;  // not a standard rate: set through termios2
    QCOMPARE(TarvoOpenConnectionPort(&r.s, 0), 1);
    QCOMPARE(QByteArray(r.s.controllerName), QByteArray("Pty Mill"));
    QCOMPARE(sim.status(QStringLiteral("connected")), QStringLiteral("1"));
    QCOMPARE(sim.status(QStringLiteral("baud")), QStringLiteral("100000"));
    QTRY_VERIFY_WITH_TIMEOUT(callbacks >= 1, 2000);
    callbacks = 0;
    QTest::qWait(1100);
    QVERIFY2(callbacks >= 1 && callbacks <= 4, qPrintable(QString::number(callbacks)));  // ~2

    float x[6] = {1.5f, 0, 0, 0, 0, 0};
    float y[6] = {0, 0, 0, 0, 0, 0};
    callbacks = 0;
    QCOMPARE(FahreRelativ_XY_mm(&r.s, 5.0f, 1, x, y, 3), 1);  // 300 ms
    QTRY_COMPARE_WITH_TIMEOUT(status(&r.s).pos[0], 150, 2000);
    QVERIFY2(callbacks >= 5, qPrintable(QString::number(callbacks)));
    QCOMPARE(SpindelKuhlungSetzen(&r.s, 1, 1), 1);
    QTRY_COMPARE_WITH_TIMEOUT(int(status(&r.s).flags & 0x30), 0x30, 1000);
    const int32_t before = status(&r.s).pos[0];
    QCOMPARE(NotStop_ohneBremsrampe(&r.s), 1);
    QTRY_COMPARE_WITH_TIMEOUT(int(status(&r.s).error), 0x99, 1000);
    QCOMPARE(status(&r.s).pos[0], before);
    QCOMPARE(FehlerQuitieren(&r.s), 1);
    QTRY_COMPARE_WITH_TIMEOUT(int(status(&r.s).error), 0, 1000);

    QCOMPARE(TarvoCloseTransfer(&r.s), 1);
    QCOMPARE(sim.status(QStringLiteral("connected")), QStringLiteral("0"));
    TarvoCloseConnection(&r.s);
    callbacks = 0;
    QTest::qWait(600);
    QCOMPARE(callbacks.load(), 0);
}

void TestKavroSim::readAndWriteAllParameters()
{
    SimProcess sim;
    mapPort(sim.path);
    Record r;
    QCOMPARE(TarvoOpenConnectionPort(&r.s, 0), 1);
    QCOMPARE(BetriebsArtenWechsel(&r.s, 1), 1);
    uint8_t buffer[16];
    for (const Param& p : params) {
        std::memset(buffer, 0, sizeof buffer);
        QVERIFY2(ParameterLesen(&r.s, uint8_t(p.key >> 8), uint8_t(p.key), buffer),
                 qPrintable(QString::number(p.key, 16)));
    }
    QVERIFY(ParameterLesen(&r.s, 0x04, 0x0A, buffer));
    int32_t range[4];
    std::memcpy(range, buffer, 16);
    QCOMPARE(range[1], 100);  // the default before writing
    for (const Param& p : params)
        QVERIFY2(writeParam(&r.s, p), qPrintable(QString::number(p.key, 16)));
    for (const Param& p : params) {
        std::memset(buffer, 0xEE, sizeof buffer);
        QVERIFY(ParameterLesen(&r.s, uint8_t(p.key >> 8), uint8_t(p.key), buffer));
        QCOMPARE(QByteArray(reinterpret_cast<char*>(buffer), 16), expectedBytes(p));
    }
    QCOMPARE(ParameterLesen(&r.s, 0x03, 0x00, buffer), 0);  // no value: unknown number
    QCOMPARE(BetriebsArtenWechsel(&r.s, 2), 1);
    QTRY_COMPARE_WITH_TIMEOUT(int(status(&r.s).error), 0x91, 1000);
    // The new name is reported at the next open.
    TarvoCloseTransfer(&r.s);
    TarvoCloseConnection(&r.s);
    QCOMPARE(TarvoOpenConnectionPort(&r.s, 0), 1);
    QCOMPARE(QByteArray(r.s.controllerName), QByteArray("E2E Mill"));
}

void TestKavroSim::ramProgramLoadAndStart()
{
    SimProcess sim;
    mapPort(sim.path);
    Record r;
    QCOMPARE(TarvoOpenConnectionPort(&r.s, 0), 1);
    QCOMPARE(BetriebsArtenWechsel(&r.s, 3), 1);
    QCOMPARE(LoadRAMprogramm(&r.s, 2), 1);
    int32_t x[6] = {100, 0, 0, 0, 0, 0};
    int32_t y[6] = {0, 0, 0, 0, 0, 0};
    QCOMPARE(FahreRelativ_XY_Schritte(&r.s, 2000, 1, x, y, 3), 1);
    QCOMPARE(HaltePosition(&r.s, 20), 1);
    QCOMPARE(AllgemeineAusgaeneSetzen(&r.s, 0x21), 1);
    QCOMPARE(BetriebsArtenWechsel(&r.s, 2), 1);
    QTest::qWait(100);
    QCOMPARE(status(&r.s).pos[0], 0);  // stored, not run
    QCOMPARE(StartRAMprogramm(&r.s, 2, 3), 1);
    QTRY_COMPARE_WITH_TIMEOUT(status(&r.s).pos[0], 300, 3000);
    QTRY_COMPARE_WITH_TIMEOUT(int(status(&r.s).gout), 0x21, 1000);
    QCOMPARE(StartRAMprogramm(&r.s, 4, 1), 0);  // empty slot
    QTRY_COMPARE_WITH_TIMEOUT(int(status(&r.s).error), 0x0c, 1000);
}

void TestKavroSim::linearMoveThroughTheSerialDevice()
{
    SimProcess sim;
    QVERIFY(sim.path.startsWith(QLatin1String("/dev/")));
    quenta::SerialDevice device(sim.path.toStdString());
    std::string name = "Dorvik USB";
    QCOMPARE(device.open(quenta::OpenMode::Normal, 115200, name), 0);
    // 2.5 mm with ramps only (Y accelerates and brakes at 4 mm/s^2): about 1.4 s.
    const float target[4] = {1.5f, -2.0f, 0.0f, 0.0f};
    QCOMPARE(device.moveLinearMm(target, 0.0f), 1);
    quenta::StatusReport s;
    int midway = 0;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 4000 && !(s.pos[0] == 150 && s.pos[1] == -200)) {
        QTest::qWait(10);
        QVERIFY(device.getStatus(s));
        if (s.pos[0] > 0 && s.pos[0] < 150) {
            ++midway;
            QVERIFY2(std::abs(3 * s.pos[1] + 4 * s.pos[0]) <= 4,  // on the line
                     qPrintable(QStringLiteral("%1,%2").arg(s.pos[0]).arg(s.pos[1])));
        }
    }
    QCOMPARE(s.pos[0], 150);
    QCOMPARE(s.pos[1], -200);
    QVERIFY2(midway >= 10, qPrintable(QString::number(midway)));
    QCOMPARE(sim.status(QStringLiteral("pos")), QStringLiteral("150,-200,0,0"));
    // A refusal travels back as result 0 with the controller's error in the status.
    const float nowhere[4] = {0.0f, std::nanf(""), 0.0f, 0.0f};
    QCOMPARE(device.moveLinearMm(nowhere, 0.0f), 0);
    QTRY_VERIFY_WITH_TIMEOUT(device.getStatus(s) && s.errorCode == 0x03, 1000);
    device.close();
}

void TestKavroSim::firmwareTransferOf10000Bytes()
{
    SimProcess sim;
    mapPort(sim.path);
    Record r;
    QCOMPARE(TarvoOpenConnectionPort(&r.s, 0), 1);  // running normally first
    TarvoCloseTransfer(&r.s);
    TarvoCloseConnection(&r.s);
    QCOMPARE(TarvoOpenConnection4FirmwareUpdate(&r.s), 1);
    QCOMPARE(sim.status(QStringLiteral("bootloader")), QStringLiteral("0"));

    QByteArray image(10000, '\0');
    for (int i = 0; i < image.size(); ++i)
        image[i] = char((i * 31 + 7) & 0xFF);
    QByteArray data = image;
    data.append(QByteArray(2 * 8192 - image.size(), char(0xFF)));

    write(&r.s, "S");
    QCOMPARE(readReply(&r.s, 7), QByteArray("AVRB128"));
    QCOMPARE(sim.status(QStringLiteral("bootloader")), QStringLiteral("1"));
    write(&r.s, "P");
    QCOMPARE(readReply(&r.s, 1).size(), 1);
    write(&r.s, "e");
    QCOMPARE(readReply(&r.s, 1).size(), 1);
    write(&r.s, "A..");
    QCOMPARE(readReply(&r.s, 3).size(), 1);
    for (int block = 0; block < 2; ++block) {
        const QByteArray frame = '#' + data.mid(block * 8192, 8192);
        write(&r.s, frame.left(513));
        for (int at = 513; at < frame.size(); at += 512)
            write(&r.s, frame.mid(at, 512));
        QCOMPARE(readReply(&r.s, 1).size(), 1);
    }
    write(&r.s, "$");
    const QByteArray crc = readReply(&r.s, 4);
    QCOMPARE(crc.size(), 4);
    const quint32 reported = quint32(uchar(crc[0])) << 24 | quint32(uchar(crc[1])) << 16
                             | quint32(uchar(crc[2])) << 8 | uchar(crc[3]);
    QCOMPARE(reported, crc32Of(data));
    QCOMPARE(sim.status(QStringLiteral("blocks")), QStringLiteral("2"));
    QCOMPARE(sim.status(QStringLiteral("bootloader")), QStringLiteral("0"));
    TarvoCloseConnection(&r.s);
    // The new firmware answers in normal mode.
    QCOMPARE(TarvoOpenConnectionPort(&r.s, 0), 1);
}

void TestKavroSim::cancelledFirmwareUpdateLeavesTheMachineAsItWas()
{
    SimProcess sim;
    mapPort(sim.path);
    Record r;
    QCOMPARE(TarvoOpenConnectionPort(&r.s, 0), 1);
    const QString setUp = setUpWorkingMachine(&r.s);
    QVERIFY2(setUp.isEmpty(), qPrintable(setUp));
    TarvoCloseTransfer(&r.s);
    TarvoCloseConnection(&r.s);
    const QString before = sim.machineState();
    QVERIFY2(before.contains(QLatin1String("ram=0,1,0,0")), qPrintable(before));
    const QString requests = sim.status(QStringLiteral("requests"));
    const QString discarded = sim.status(QStringLiteral("discarded"));

    // Open in firmware mode, then cancel (file dialog or prompt): nothing goes on the line.
    QCOMPARE(TarvoOpenConnection4FirmwareUpdate(&r.s), 1);
    QTest::qWait(100);
    QCOMPARE(sim.machineState(), before);
    QCOMPARE(TarvoCloseConnection(&r.s), 1);
    QTest::qWait(50);
    QCOMPARE(sim.machineState(), before);
    QCOMPARE(sim.status(QStringLiteral("requests")), requests);
    QCOMPARE(sim.status(QStringLiteral("discarded")), discarded);
    QCOMPARE(TarvoOpenConnectionPort(&r.s, 0), 1);
    QCOMPARE(status(&r.s).pos[0], 10);
    QCOMPARE(int(status(&r.s).flags), 0x31);
}

void TestKavroSim::openFailures()
{
    {
        SimProcess busy({QStringLiteral("--fail-open=1")});
        mapPort(busy.path);
        Record r;
        QCOMPARE(TarvoOpenConnectionPort(&r.s, 0), 0);
        QCOMPARE(int(r.s.openResult), 1);
    }
    SimProcess sim;
    mapPort(sim.path);
    for (const int code : {2, 3, 4}) {
        QCOMPARE(sim.command(QStringLiteral("fail-open %1").arg(code)),
                 QStringLiteral("ok fail-open"));
        Record r;
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(TarvoOpenConnectionPort(&r.s, 0), 0);
        QCOMPARE(int(r.s.openResult), code);
        QVERIFY(timer.elapsed() < 1000);
    }
    QCOMPARE(sim.command(QStringLiteral("fail-open 0")), QStringLiteral("ok fail-open"));
    Record r;
    QCOMPARE(TarvoOpenConnectionPort(&r.s, 0), 1);
    // A device path that does not exist.
    mapPort(QStringLiteral("/dev/kavro-no-such-tty"));
    Record missing;
    QCOMPARE(TarvoOpenConnectionPort(&missing.s, 0), 0);
    QCOMPARE(int(missing.s.openResult), 1);
}

void TestKavroSim::silenceMakesCallsFailWithinTheirBound()
{
    SimProcess sim;
    mapPort(sim.path);
    Record r;
    QCOMPARE(TarvoOpenConnectionPort(&r.s, 0), 1);
    QTRY_VERIFY_WITH_TIMEOUT(callbacks >= 1, 2000);
    QCOMPARE(sim.command(QStringLiteral("silence")), QStringLiteral("ok silence"));
    QTest::qWait(100);
    callbacks = 0;
    uint8_t buffer[16];
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(BetriebsArtenWechsel(&r.s, 1), 0);
    QCOMPARE(ParameterLesen(&r.s, 0, 0, buffer), 0);
    QCOMPARE(AllgemeineAusgaeneSetzen(&r.s, 1), 0);
    const qint64 threeCalls = timer.elapsed();
    QVERIFY2(threeCalls < 1500, qPrintable(QString::number(threeCalls)));  // each bounded
    QTest::qWait(700);
    QCOMPARE(callbacks.load(), 0);
    QCOMPARE(sim.command(QStringLiteral("talk")), QStringLiteral("ok talk"));
    // The link counts as silent until the controller's first status frame arrives.
    QTRY_VERIFY_WITH_TIMEOUT(callbacks >= 1, 1000);
    QCOMPARE(AllgemeineAusgaeneSetzen(&r.s, 1), 1);
}

void TestKavroSim::garbageOnTheLine()
{
    SimProcess sim({QStringLiteral("--garbage")});
    mapPort(sim.path);
    Record r;
    QCOMPARE(TarvoOpenConnectionPort(&r.s, 0), 1);
    QCOMPARE(BetriebsArtenWechsel(&r.s, 1), 1);
    uint8_t buffer[16];
    for (int round = 0; round < 3; ++round) {
        for (const Param& p : params) {
            int ok = 0;
            for (int attempt = 0; attempt < 3 && !ok; ++attempt)
                ok = ParameterLesen(&r.s, uint8_t(p.key >> 8), uint8_t(p.key), buffer);
            QVERIFY(ok);
        }
    }
    QCOMPARE(BetriebsArtenWechsel(&r.s, 2), 1);
    int32_t x[6] = {400, 0, 0, 0, 0, 0};
    int32_t y[6] = {0, 0, 0, 0, 0, 0};
    callbacks = 0;
    QCOMPARE(FahreRelativ_XY_Schritte(&r.s, 1000, 1, x, y, 3), 1);
    QTRY_COMPARE_WITH_TIMEOUT(status(&r.s).pos[0], 400, 2000);
    QVERIFY(callbacks >= 5);
    QVERIFY(sim.status(QStringLiteral("requests")).toInt() >= 128);
}

void TestKavroSim::ptyClosedMidSession()
{
    SimProcess sim;
    mapPort(sim.path);
    Record r;
    QCOMPARE(TarvoOpenConnectionPort(&r.s, 0), 1);
    QTRY_VERIFY_WITH_TIMEOUT(callbacks >= 1, 2000);
    sim.kill();
    QTest::qWait(50);
    callbacks = 0;
    QElapsedTimer timer;
    timer.start();
    uint8_t buffer[16];
    for (int i = 0; i < 20; ++i)
        QCOMPARE(ParameterLesen(&r.s, 0, 0, buffer), 0);
    QCOMPARE(status(&r.s).result, 0);
    const qint64 elapsed = timer.elapsed();
    // Far below 20 request time-outs (3 s): the calls fail at once.
    QVERIFY2(elapsed < 1000, qPrintable(QString::number(elapsed)));
    QTest::qWait(700);
    QCOMPARE(callbacks.load(), 0);
    QCOMPARE(TarvoCloseConnection(&r.s), 1);
    QCOMPARE(TarvoOpenConnectionPort(&r.s, 0), 0);
    QVERIFY(r.s.openResult != 0);
}

void TestKavroSim::silentBootloader()
{
    {
        SimProcess sim({QStringLiteral("--bootloader-silent-after=0")});
        mapPort(sim.path);
        Record r;
        QCOMPARE(TarvoOpenConnection4FirmwareUpdate(&r.s), 1);
        write(&r.s, "S");
        QCOMPARE(readReply(&r.s, 7), QByteArray("AVRB128"));
        write(&r.s, "PeA..");
        QCOMPARE(readReply(&r.s, 3).size(), 3);
        QByteArray frame(8193, char(0x42));
        frame[0] = '#';
        write(&r.s, frame);
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(readReply(&r.s, 1, 300), QByteArray());
        QVERIFY(timer.elapsed() < 3000);  // every read call is bounded
        TarvoCloseConnection(&r.s);
        // A framed request brings the firmware back.
        QCOMPARE(TarvoOpenConnectionPort(&r.s, 0), 1);
    }
    SimProcess sim({QStringLiteral("--no-bootloader")});
    mapPort(sim.path);
    Record r;
    QCOMPARE(TarvoOpenConnection4FirmwareUpdate(&r.s), 1);
    write(&r.s, "S");
    QCOMPARE(readReply(&r.s, 7, 300), QByteArray());
}

QTEST_GUILESS_MAIN(TestKavroSim)
#include "tst_kavrosim.moc"
