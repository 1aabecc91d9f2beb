// The GRBL line channel and settings table without a tty: what reaches the wire and when, how
// answers find their lines, and which parameter values GRBL can hold.

#include "grblchannel.h"
#include "grblprotocol.h"
#include "grblsettings.h"

#include <QtTest>

#include <string>
#include <thread>
#include <vector>

using namespace quenta::grbl;

namespace {

struct Wire : LineChannel::Sink, LineChannel::Listener {
    std::string written;
    std::vector<std::pair<LineInfo, bool>> answered;
    std::vector<std::string> received;
    bool writeBytes(const uint8_t* d, size_t n, LineChannel::Clock::time_point) override
    {
        written.append(reinterpret_cast<const char*>(d), n);
        return true;
    }
    void lineAnswered(const LineInfo& info, bool ok, int) override
    {
        answered.emplace_back(info, ok);
    }
    void lineReceived(const std::string& line) override { received.push_back(line); }
    int lines() const { return int(std::count(written.begin(), written.end(), '\n')); }
};

void reply(LineChannel& c, const std::string& text)
{
    const std::string line = text + "\r\n";
    c.receive(reinterpret_cast<const uint8_t*>(line.data()), line.size());
}

LineInfo kind(LineInfo::Kind k)
{
    LineInfo i;
    i.kind = k;
    return i;
}

const auto soon = [] { return LineChannel::Clock::now() + std::chrono::milliseconds(20); };

}  // namespace

class TestGrblChannel : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void characterCountingAndLateAnswers();
    void jogsWaitForPlannerRoom();
    void dropAndResetLeaveNothingBehind();
    void settingsTableRefusesWhatGrblCannotHold();
    void numbersKeepEnoughDigits();
};

void TestGrblChannel::characterCountingAndLateAnswers()
{
    Wire w;
    LineChannel c(w, w);
    c.start(128, 15);
    // Eleven 12-byte lines: ten fit in 127 bytes, the eleventh waits for an answer.
    std::vector<uint64_t> ids;
    for (int i = 0; i < 11; ++i)
        ids.push_back(c.queue("G4 P0.0" + std::to_string(i % 10) + "000",
                              kind(LineInfo::Kind::Dwell)));
    QCOMPARE(w.lines(), 10);
    QCOMPARE(c.bytesInFlight(), size_t(120));
    QCOMPARE(c.await(ids[0], soon()), LineChannel::Reply::Queued);
    QCOMPARE(c.await(ids[10], soon()), LineChannel::Reply::Queued);  // in the outbox
    reply(c, "ok");
    QCOMPARE(w.lines(), 11);
    reply(c, "error:20");
    QCOMPARE(c.await(ids[1], soon()), LineChannel::Reply::Error);
    // A setting answered after its caller gave up still reaches the listener with its value.
    LineInfo setting = kind(LineInfo::Kind::Setting);
    setting.number = 102;
    setting.value = "400";
    const uint64_t id = c.queue("$102=400", setting);
    QCOMPARE(c.await(id, soon()), LineChannel::Reply::Queued);
    for (int i = 0; i < 10; ++i)
        reply(c, "ok");
    QCOMPARE(w.answered.back().first.number, 102);
    QVERIFY(w.answered.back().second);
    QCOMPARE(c.bytesInFlight(), size_t(0));
    // A caller waiting for its answer wakes when it comes, not at its deadline.
    const uint64_t awaited = c.queue("$X", kind(LineInfo::Kind::Unlock));
    std::thread firmware([&] {
        QTest::qSleep(20);
        reply(c, "ok");
    });
    QElapsedTimer t;
    t.start();
    QCOMPARE(c.await(awaited, LineChannel::Clock::now() + std::chrono::seconds(10)),
             LineChannel::Reply::Ok);
    firmware.join();
    QVERIFY(t.elapsed() < 5000);
    // Other lines go to the listener; a stray "ok" with nothing in flight is dropped.
    reply(c, "ok");
    reply(c, "<Idle|MPos:0.000,0.000,0.000|FS:0,0>");
    QCOMPARE(int(w.received.size()), 1);
}

void TestGrblChannel::jogsWaitForPlannerRoom()
{
    Wire w;
    LineChannel c(w, w);
    c.start(128, 3);
    const LineInfo jog = kind(LineInfo::Kind::Jog);
    // One jog at a time: the firmware never holds a jog it has not planned.
    c.queue("$J=G91 X1 F100", jog);
    c.queue("$J=G91 X1 F100", jog);
    c.queue("M5 M9", kind(LineInfo::Kind::Spindle));  // behind the waiting jog
    QCOMPARE(w.lines(), 1);
    reply(c, "ok");
    QCOMPARE(w.lines(), 3);
    QVERIFY(w.written.find("$J=G91 X1 F100\nM5 M9\n") != std::string::npos);
    reply(c, "ok");  // the second jog
    c.queue("$J=G91 X1 F100", jog);
    QCOMPARE(w.lines(), 4);
    reply(c, "ok");  // M5 M9
    reply(c, "ok");  // three jogs planned: the planner is full
    c.queue("$J=G91 X1 F100", jog);
    QCOMPARE(w.lines(), 4);
    c.plannerFree(1);  // a report with one free block
    QCOMPARE(w.lines(), 5);
    reply(c, "ok");
    c.queue("$J=G91 X1 F100", jog);
    QCOMPARE(w.lines(), 5);
    c.plannerFree(3);  // idle
    QCOMPARE(w.lines(), 6);
}

void TestGrblChannel::dropAndResetLeaveNothingBehind()
{
    Wire w;
    LineChannel c(w, w);
    c.start(128, 15);
    const LineInfo jog = kind(LineInfo::Kind::Jog);
    const uint64_t first = c.queue("$J=G91 X2 F300", jog);
    std::vector<uint64_t> held;
    for (int i = 0; i < 4; ++i)
        held.push_back(c.queue("$J=G91 X2 F300", jog));
    QCOMPARE(c.linesQueued(), size_t(4));
    QCOMPARE(c.dropUnsent(), size_t(4));
    for (uint64_t id : held)
        QCOMPARE(c.await(id, soon()), LineChannel::Reply::Failed);
    reply(c, "ok");
    QCOMPARE(c.await(first, soon()), LineChannel::Reply::Ok);
    QCOMPARE(w.lines(), 1);

    // A reset drops what is in flight; answers before the welcome belong to dropped lines.
    c.queue("G4 P1", kind(LineInfo::Kind::Dwell));
    QVERIFY(c.softReset());
    QCOMPARE(w.written.back(), char(0x18));
    QVERIFY(c.resetting());
    const uint64_t after = c.queue("$X", kind(LineInfo::Kind::Unlock));
    QVERIFY(w.written.find("$X") == std::string::npos);
    reply(c, "ok");
    QCOMPARE(int(w.answered.size()), 1);
    reply(c, "Grbl 1.1h ['$' for help]");
    QVERIFY(!c.resetting());
    QVERIFY(w.written.find("$X\n") != std::string::npos);
    reply(c, "ok");
    QCOMPARE(c.await(after, soon()), LineChannel::Reply::Ok);
}

void TestGrblChannel::settingsTableRefusesWhatGrblCannotHold()
{
    using PV = quenta::Device::ParamValue;
    Settings settings{{22, "1"}, {23, "0"}, {110, "600"}};
    std::vector<SettingWrite> writes;
    std::string why;
    PV homing;
    homing.kind = quenta::Device::ParamKind::RefSequence;
    const int32_t zxy[8] = {1, 0, 1, 0, 2, 0, 1, 3};  // Z neg, X pos, Y neg, C pos
    std::copy(zxy, zxy + 8, homing.longs);
    QVERIFY(SettingsMap::writes(0x0304, homing, settings, 3, writes, why));
    QCOMPARE(int(writes.size()), 2);
    QCOMPARE(writes[1].number, 23);
    QCOMPARE(writes[1].value, double(0x04 | 0x02));  // Z and Y towards negative
    // GRBL homes Z first and all of X, Y, Z or none.
    const int32_t xFirst[8] = {0, 0, 0, 0, 0, 1, 2, 3};
    std::copy(xFirst, xFirst + 8, homing.longs);
    QVERIFY(!SettingsMap::writes(0x0304, homing, settings, 3, writes, why));
    QVERIFY(!why.empty());
    const int32_t yOff[8] = {0, 0, 2, 0, 2, 0, 1, 3};
    std::copy(yOff, yOff + 8, homing.longs);
    QVERIFY(!SettingsMap::writes(0x0304, homing, settings, 3, writes, why));
    // Reading back keeps the order and the C direction the library holds.
    std::copy(zxy, zxy + 8, homing.longs);
    Settings stored{{22, "1"}, {23, "6"}};
    PV read = homing;
    SettingsMap::read(0x0304, stored, read);
    QVERIFY(std::equal(read.longs, read.longs + 8, zxy));
    stored[22] = "0";
    SettingsMap::read(0x0304, stored, read);
    QCOMPARE(read.longs[0], 2);
    QCOMPARE(read.longs[3], 0);  // C keeps its value

    PV rapid;
    rapid.kind = quenta::Device::ParamKind::Float;
    SettingsMap::read(0x0102, settings, rapid);
    QCOMPARE(rapid.f, 10.0f);  // 600 mm/min
    PV travel;
    travel.kind = quenta::Device::ParamKind::FourLongs;
    travel.longs[0] = -5;
    QVERIFY(!SettingsMap::writes(0x040A, travel, settings, 3, writes, why));
    QCOMPARE(storedBuildInfo("Mill 2b"), std::string("MILL2B"));
}

void TestGrblChannel::numbersKeepEnoughDigits()
{
    QCOMPARE(formatDistance(1.0 / 400), std::string("0.0025"));
    QCOMPARE(formatDistance(1.0 / 320.5), std::string("0.00312"));
    QCOMPARE(formatDistance(-1234.56789), std::string("-1234.5679"));  // eight digits
    QCOMPARE(formatDistance(-0.0000001), std::string("0"));
}

QTEST_GUILESS_MAIN(TestGrblChannel)
#include "tst_grblchannel.moc"
