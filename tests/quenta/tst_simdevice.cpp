// The in-process simulated controller through the C API in real time: open, name, status
// notifications, motion, parameters, firmware mode, faults, the port map and threads.

#include "machinesetup.h"
#include "quenta.h"
#include "simdevice.h"
#include "testenv.h"

#include <QElapsedTimer>
#include <QSettings>
#include <QtTest>

#include <zlib.h>

#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

using quenta::SimController;
using quenta::SimDevice;

namespace {

std::atomic<int> callbacks{0};
std::atomic<TarvoPortSettings*> lastRecord{nullptr};

void countCallback(TarvoPortSettings* s)
{
    lastRecord = s;
    ++callbacks;
}

// A port record that is closed again when the test ends, whatever happens.
struct Record {
    TarvoPortSettings s;
    explicit Record(const char* port = "COM3")
    {
        InitCommPortSettings(&s);
        std::strncpy(s.comPort, port, 7);
    }
    ~Record() { TarvoCloseConnection(&s); }
};

int32_t statusX(TarvoPortSettings* s)
{
    int32_t x = 0;
    GetStatus_Schritte(s, nullptr, nullptr, nullptr, &x, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr);
    return x;
}

uint8_t statusError(TarvoPortSettings* s)
{
    uint8_t e = 0;
    GetStatus_Schritte(s, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr, &e);
    return e;
}

// Reads bytes until n arrived or maxCalls read calls returned nothing.
QByteArray readReply(TarvoPortSettings* s, int n, int maxCalls = 500)
{
    QByteArray got;
    for (int calls = 0; got.size() < n && calls < maxCalls; ++calls) {
        uint8_t buffer[16] = {};
        const int r = TarvoReadChar(s, buffer, n - int(got.size()));
        got.append(reinterpret_cast<const char*>(buffer), r);
    }
    return got;
}

void write(TarvoPortSettings* s, const QByteArray& bytes)
{
    TarvoWriteChar(s, reinterpret_cast<const uint8_t*>(bytes.constData()), int32_t(bytes.size()));
}

// Everything of the simulated machine that a restart would change, as one comparable text.
QString machineState(SimDevice& device)
{
    QString text;
    device.withController([&text](SimController& c) {
        const quenta::StatusReport r = c.status();
        text = QStringLiteral("mode %1 flags %2 outputs %3 error %4 fill %5 boot %6")
                   .arg(int(r.firstValue)).arg(int(r.flags)).arg(int(r.generalOutputs))
                   .arg(int(r.errorCode)).arg(int(r.bufferFill)).arg(int(c.inBootloader()));
        for (int axis = 0; axis < 4; ++axis)
            text += QStringLiteral(" axis%1 %2/%3/%4").arg(axis).arg(r.pos[axis])
                        .arg(c.machinePosition(axis)).arg(int(c.isReferenced(axis)));
        for (int slot = 1; slot <= SimController::RamSlots; ++slot)
            text += QStringLiteral(" ram%1 %2").arg(slot).arg(c.ramLength(slot));
    });
    return text;
}

}  // namespace

class TestSimDevice : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void openReportsNameAndNotifies();
    void moveRunsInRealTimeWithFastNotifications();
    void parametersThroughTheCApi();
    void openFailureCodes_data();
    void openFailureCodes();
    void silenceStopsStatusAndAnswers();
    void firmwareModeSpeaksTheBootloaderProtocol();
    void cancelledFirmwareUpdateLeavesTheMachineAsItWas();
    void readCharWaitsAboutOneMillisecond();
    void portMapKeepsTheControllerBetweenOpens();
    void portMapOptionsAndMistakes();
    void callsFromSeveralThreads();
    void simulatorsShareOneThreadAndCloseAlone();

private:
    std::shared_ptr<SimDevice> device;
};

void TestSimDevice::init()
{
    initTestSettings();
    SimDevice::forgetPorts();
    callbacks = 0;
    device = std::make_shared<SimDevice>();
    quenta::setDeviceFactory([this](const std::string&) { return device; });
    SetStatusNotificationCallback(countCallback);
}

void TestSimDevice::cleanup()
{
    SetStatusNotificationCallback(nullptr);
    quenta::setDeviceFactory({});
    device.reset();
}

void TestSimDevice::openReportsNameAndNotifies()
{
    Record r;
    std::strcpy(r.s.controllerName, "");
    device->withController([](SimController& c) { c.setName("Fraese 7"); });
    QCOMPARE(TarvoOpenConnectionPort(&r.s, 0), 1);
    QCOMPARE(int(r.s.openResult), 0);
    QCOMPARE(QByteArray(r.s.controllerName), QByteArray("Fraese 7"));
    QTRY_VERIFY_WITH_TIMEOUT(callbacks >= 1, 2000);  // the first status comes at once
    QCOMPARE(lastRecord.load(), &r.s);
    callbacks = 0;
    QTest::qWait(1100);
    QVERIFY2(callbacks >= 1 && callbacks <= 4, qPrintable(QString::number(callbacks)));  // ~2
    TarvoCloseTransfer(&r.s);
    TarvoCloseConnection(&r.s);
    callbacks = 0;
    QTest::qWait(600);
    QCOMPARE(callbacks.load(), 0);
    QCOMPARE(statusX(&r.s), 0);  // a closed record gets nothing
}

void TestSimDevice::moveRunsInRealTimeWithFastNotifications()
{
    Record r;
    QCOMPARE(TarvoOpenConnectionPort(&r.s, 0), 1);
    QTRY_VERIFY_WITH_TIMEOUT(callbacks >= 1, 2000);
    int32_t x[6] = {300, 0, 0, 0, 0, 0};
    int32_t y[6] = {0, 0, 0, 0, 0, 0};
    QElapsedTimer timer;
    timer.start();
    callbacks = 0;
    QCOMPARE(FahreRelativ_XY_Schritte(&r.s, 1000, 1, x, y, 3), 1);
    QTRY_COMPARE_WITH_TIMEOUT(statusX(&r.s), 300, 2000);
    QVERIFY(timer.elapsed() >= 280);  // 300 steps at 1000 steps/s
    // While it moved, notifications came every 20 ms or so (not every 500 ms).
    QVERIFY2(callbacks >= 5, qPrintable(QString::number(callbacks)));
    QVERIFY2(callbacks <= 20, qPrintable(QString::number(callbacks)));
}

void TestSimDevice::parametersThroughTheCApi()
{
    Record r;
    QCOMPARE(TarvoOpenConnectionPort(&r.s, 0), 1);
    uint8_t buffer[16] = {};
    QCOMPARE(ParameterLesen(&r.s, 0x01, 0x01, buffer), 0);  // not in mode 1
    QCOMPARE(BetriebsArtenWechsel(&r.s, 1), 1);
    QVERIFY(ParameterAendern_float(&r.s, 0x01, 0x01, 8.5f));
    char name[32] = "Mill 2";
    QVERIFY(ParameterAendern_ControllerName(&r.s, 5, 5, name));
    QVERIFY(!ParameterAendern_long(&r.s, 0x01, 0x07, 1000));  // out of range
    QVERIFY(ParameterLesen(&r.s, 0x01, 0x01, buffer));
    float f = 0;
    std::memcpy(&f, buffer, 4);
    QCOMPARE(f, 8.5f);
    QCOMPARE(BetriebsArtenWechsel(&r.s, 2), 1);
    QCOMPARE(statusError(&r.s), uint8_t(0x71));
    // The name is what the next open reports.
    TarvoCloseConnection(&r.s);
    QCOMPARE(TarvoOpenConnectionPort(&r.s, 0), 1);
    QCOMPARE(QByteArray(r.s.controllerName), QByteArray("Mill 2"));
}

void TestSimDevice::openFailureCodes_data()
{
    QTest::addColumn<int>("code");
    for (int code = 1; code <= 4; ++code)
        QTest::newRow(qPrintable(QString::number(code))) << code;
}

void TestSimDevice::openFailureCodes()
{
    QFETCH(int, code);
    device->withController([code](SimController& c) { c.faults().openFailure = code; });
    Record r;
    QCOMPARE(TarvoOpenConnectionPort(&r.s, 0), 0);
    QCOMPARE(int(r.s.openResult), code);
    QTest::qWait(100);
    QCOMPARE(callbacks.load(), 0);
    device->withController([](SimController& c) { c.faults().openFailure = 0; });
    QCOMPARE(TarvoOpenConnectionPort(&r.s, 0), 1);
    QCOMPARE(int(r.s.openResult), 0);
}

void TestSimDevice::silenceStopsStatusAndAnswers()
{
    Record r;
    QCOMPARE(TarvoOpenConnectionPort(&r.s, 0), 1);
    QTRY_VERIFY_WITH_TIMEOUT(callbacks >= 1, 2000);
    device->withController([](SimController& c) { c.faults().silent = true; });
    QTest::qWait(60);
    callbacks = 0;
    QTest::qWait(700);
    QCOMPARE(callbacks.load(), 0);
    uint8_t buffer[16];
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < 126; ++i)  // a whole parameter read with three tries each
        QCOMPARE(ParameterLesen(&r.s, 0, 0, buffer), 0);
    QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(AllgemeineAusgaeneSetzen(&r.s, 1), 0);
    uint8_t e = 0x42;
    QCOMPARE(GetStatus_Schritte(&r.s, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                nullptr, nullptr, nullptr, nullptr, &e),
             0);
    QCOMPARE(int(e), 0x42);  // nothing written on failure
    TarvoCloseConnection(&r.s);
    QCOMPARE(TarvoOpenConnectionPort(&r.s, 0), 0);
    QCOMPARE(int(r.s.openResult), 3);
}

void TestSimDevice::firmwareModeSpeaksTheBootloaderProtocol()
{
    Record r;
    QCOMPARE(TarvoOpenConnection4FirmwareUpdate(&r.s), 1);
    write(&r.s, "S");
    QCOMPARE(readReply(&r.s, 7), QByteArray("AVRB128"));
    write(&r.s, "P");
    QCOMPARE(readReply(&r.s, 1), QByteArray("\r"));
    write(&r.s, "e");
    QCOMPARE(readReply(&r.s, 1), QByteArray("\r"));
    write(&r.s, "A..");
    QCOMPARE(readReply(&r.s, 3), QByteArray("\r"));
    QByteArray frame(8193, char(0xFF));
    frame[0] = '#';
    frame.replace(1, 5, "hello");
    write(&r.s, frame.left(513));
    for (int at = 513; at < frame.size(); at += 512)
        write(&r.s, frame.mid(at, 512));
    QCOMPARE(readReply(&r.s, 1), QByteArray("\r"));
    write(&r.s, "$");
    const QByteArray crc = readReply(&r.s, 4);
    QCOMPARE(crc.size(), 4);
    const auto* data = reinterpret_cast<const Bytef*>(frame.constData() + 1);
    const quint32 expected = quint32(crc32(0, data, 8192));
    const quint32 got = quint32(uchar(crc[0])) << 24 | quint32(uchar(crc[1])) << 16
                        | quint32(uchar(crc[2])) << 8 | uchar(crc[3]);
    QCOMPARE(got, expected);
    QCOMPARE(callbacks.load(), 0);  // no status in firmware-update mode
    QCOMPARE(statusX(&r.s), 0);
    int32_t d[6] = {10, 0, 0, 0, 0, 0};
    QCOMPARE(FahreRelativ_XY_Schritte(&r.s, 100, 1, d, d, 3), 0);

    // Without a bootloader nothing answers.
    TarvoCloseConnection(&r.s);
    device->withController([](SimController& c) { c.faults().noBootloader = true; });
    QCOMPARE(TarvoOpenConnection4FirmwareUpdate(&r.s), 1);
    write(&r.s, "S");
    QCOMPARE(readReply(&r.s, 7, 50), QByteArray());
}

void TestSimDevice::cancelledFirmwareUpdateLeavesTheMachineAsItWas()
{
    Record r;
    QCOMPARE(TarvoOpenConnectionPort(&r.s, 0), 1);
    const QString setUp = setUpWorkingMachine(&r.s);
    QVERIFY2(setUp.isEmpty(), qPrintable(setUp));
    TarvoCloseTransfer(&r.s);
    TarvoCloseConnection(&r.s);
    const QString before = machineState(*device);

    // Open in firmware mode, then cancel (file dialog or prompt): nothing is sent.
    QCOMPARE(TarvoOpenConnection4FirmwareUpdate(&r.s), 1);
    QCOMPARE(machineState(*device), before);
    uint8_t b[8] = {};
    QCOMPARE(TarvoReadChar(&r.s, b, 7), 0);
    QCOMPARE(TarvoCloseConnection(&r.s), 1);
    QCOMPARE(machineState(*device), before);
    QCOMPARE(TarvoOpenConnectionPort(&r.s, 0), 1);
    QCOMPARE(statusX(&r.s), 10);
    QCOMPARE(StartRAMprogramm(&r.s, 2, 1), 1);
    QTRY_COMPARE_WITH_TIMEOUT(statusX(&r.s), 110, 2000);
    TarvoCloseConnection(&r.s);

    // The identification "S" stands for the operator's Enter+Reset: only now the controller
    // restarts into its bootloader.
    QCOMPARE(TarvoOpenConnection4FirmwareUpdate(&r.s), 1);
    write(&r.s, "S");
    QCOMPARE(readReply(&r.s, 7), QByteArray("AVRB128"));
    device->withController([](SimController& c) {
        QVERIFY(c.inBootloader());
        QVERIFY(!c.isReferenced(0));
        QCOMPARE(c.ramLength(2), 0);
    });
}

void TestSimDevice::readCharWaitsAboutOneMillisecond()
{
    Record r;
    QCOMPARE(TarvoOpenConnection4FirmwareUpdate(&r.s), 1);
    uint8_t b[4];
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < 200; ++i)
        QCOMPARE(TarvoReadChar(&r.s, b, 4), 0);
    const qint64 ms = timer.elapsed();
    // Neither a busy loop nor a long block: about 1 ms per call.
    QVERIFY2(ms >= 150 && ms < 2000, qPrintable(QString::number(ms)));
}

void TestSimDevice::portMapKeepsTheControllerBetweenOpens()
{
    quenta::setDeviceFactory({});
    QSettings(QStringLiteral("lumbrix"), QStringLiteral("Quenta"))
        .setValue(QStringLiteral("ports/COM6"), QStringLiteral("simulator"));
    {
        Record r("COM6");
        QCOMPARE(TarvoOpenConnectionPort(&r.s, 0), 1);
        Record second("COM6");
        QCOMPARE(TarvoOpenConnectionPort(&second.s, 0), 0);  // one program per port
        QCOMPARE(int(second.s.openResult), 1);
        QCOMPARE(BetriebsArtenWechsel(&r.s, 1), 1);
        QVERIFY(ParameterAendern_long(&r.s, 0x00, 0x00, 1234));
        BetriebsArtenWechsel(&r.s, 2);
        int32_t x[6] = {42, 0, 0, 0, 0, 0};
        int32_t y[6] = {0, 0, 0, 0, 0, 0};
        FahreRelativ_XY_Schritte(&r.s, 10000, 1, x, y, 3);
        QTRY_COMPARE_WITH_TIMEOUT(statusX(&r.s), 42, 1000);
    }
    Record again("COM6");
    QCOMPARE(TarvoOpenConnectionPort(&again.s, 0), 1);
    QCOMPARE(statusX(&again.s), 42);
    BetriebsArtenWechsel(&again.s, 1);
    uint8_t buffer[16] = {};
    QVERIFY(ParameterLesen(&again.s, 0, 0, buffer));
    QCOMPARE(int(buffer[0] | buffer[1] << 8), 1234);
    // An unmapped port is a simulator of its own, at power-up.
    Record other("COM2");
    QCOMPARE(TarvoOpenConnectionPort(&other.s, 0), 1);
    QCOMPARE(QByteArray(other.s.controllerName), QByteArray("Dorvik USB"));
    QCOMPARE(statusX(&other.s), 0);
}

void TestSimDevice::portMapOptionsAndMistakes()
{
    quenta::setDeviceFactory({});
    QSettings settings(QStringLiteral("lumbrix"), QStringLiteral("Quenta"));
    settings.setValue(QStringLiteral("ports/COM4"), QStringLiteral("simulator --fail-open=4"));
    settings.setValue(QStringLiteral("ports/COM5"), QStringLiteral("Simulator --name=Bench"));
    settings.setValue(QStringLiteral("ports/COM7"), QStringLiteral("simulator --no-such-option"));
    // A hand-written "simulator --silent, --fail-open=2" reads back as a list.
    settings.setValue(QStringLiteral("ports/COM8"),
                      QStringList{QStringLiteral("simulator --silent"),
                                  QStringLiteral(" --fail-open=2")});
    settings.sync();
    Record four("COM4");
    QCOMPARE(TarvoOpenConnectionPort(&four.s, 0), 0);
    QCOMPARE(int(four.s.openResult), 4);
    Record named("COM5");
    QCOMPARE(TarvoOpenConnectionPort(&named.s, 0), 1);
    QCOMPARE(QByteArray(named.s.controllerName), QByteArray("Bench"));
    Record wrong("COM7");
    QCOMPARE(TarvoOpenConnectionPort(&wrong.s, 0), 0);
    QCOMPARE(int(wrong.s.openResult), 1);
    Record listed("COM8");
    QCOMPARE(TarvoOpenConnectionPort(&listed.s, 0), 0);
    QCOMPARE(int(listed.s.openResult), 2);
}

void TestSimDevice::callsFromSeveralThreads()
{
    Record r;
    QCOMPARE(TarvoOpenConnectionPort(&r.s, 0), 1);
    std::atomic<bool> stop{false};
    std::atomic<int> moves{0};
    std::thread mover([&] {
        int32_t x[6] = {1, 0, 0, 0, 0, 0};
        int32_t y[6] = {0, 0, 0, 0, 0, 0};
        while (!stop) {
            if (FahreRelativ_XY_Schritte(&r.s, 100000, 1, x, y, 3))
                ++moves;
            statusX(&r.s);
        }
    });
    QElapsedTimer timer;
    timer.start();
    int outputs = 0;
    while (timer.elapsed() < 300) {
        AllgemeineAusgaeneSetzen(&r.s, uint8_t(++outputs));
        uint8_t e = 0;
        GetStatus_Schritte(&r.s, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                           nullptr, nullptr, nullptr, &e);
        QCoreApplication::processEvents();
    }
    stop = true;
    mover.join();
    QVERIFY(moves > 0);
    QVERIFY(callbacks > 0);
    // Every accepted move of one step arrives.
    QTRY_COMPARE_WITH_TIMEOUT(statusX(&r.s), moves.load(), 5000);
}

// All in-process simulators are served by one thread of the library. Closing one port stops
// its notifications before the close returns, while the others go on.
void TestSimDevice::simulatorsShareOneThreadAndCloseAlone()
{
    static std::mutex seenMutex;
    static std::map<TarvoPortSettings*, std::set<std::thread::id>> seen;
    seen.clear();
    const auto note = [](TarvoPortSettings* s) {
        const std::lock_guard<std::mutex> lock(seenMutex);
        seen[s].insert(std::this_thread::get_id());
        ++callbacks;
    };
    SetStatusNotificationCallback(note);
    const auto threadsOf = [](TarvoPortSettings* s) {
        const std::lock_guard<std::mutex> lock(seenMutex);
        return seen[s];
    };
    std::map<std::string, std::shared_ptr<SimDevice>> devices;
    quenta::setDeviceFactory([&devices](const std::string& port) {
        auto& device = devices[port];
        if (!device)
            device = std::make_shared<SimDevice>();
        return device;
    });
    Record a("COM3");
    Record b("COM4");
    QCOMPARE(TarvoOpenConnectionPort(&a.s, 0), 1);
    QCOMPARE(TarvoOpenConnectionPort(&b.s, 0), 1);
    int32_t x[6] = {4000, 0, 0, 0, 0, 0};
    int32_t y[6] = {};
    QCOMPARE(FahreRelativ_XY_Schritte(&a.s, 4000, 1, x, y, 3), 1);  // a second each
    QCOMPARE(FahreRelativ_XY_Schritte(&b.s, 4000, 1, x, y, 3), 1);
    QTRY_VERIFY_WITH_TIMEOUT(threadsOf(&a.s).size() == 1 && threadsOf(&b.s).size() == 1, 2000);
    QCOMPARE(threadsOf(&a.s), threadsOf(&b.s));

    TarvoCloseConnection(&a.s);
    {
        const std::lock_guard<std::mutex> lock(seenMutex);
        seen.erase(&a.s);
        callbacks = 0;
    }
    QTest::qWait(200);
    QVERIFY(threadsOf(&a.s).empty());  // nothing for the closed port
    QVERIFY(callbacks > 0);             // b goes on moving and reporting
    QCOMPARE(threadsOf(&b.s).size(), size_t(1));
}

QTEST_GUILESS_MAIN(TestSimDevice)
#include "tst_simdevice.moc"
