// The wire protocol (framing, CRC-16, resynchronisation, payload coding) and the controller's
// side of the line (SimLink): replies, Nak, status pushes, bootloader switch, faults.

#include "simlink.h"
#include "wireprotocol.h"

#include <QtTest>

#include <cstring>
#include <random>

using namespace quenta;

namespace {

std::vector<wire::Frame> parseAll(const std::vector<uint8_t>& bytes,
                                  wire::FrameParser* out = nullptr)
{
    wire::FrameParser local;
    wire::FrameParser& parser = out ? *out : local;
    parser.feed(bytes.data(), bytes.size());
    std::vector<wire::Frame> frames;
    wire::Frame f;
    for (;;) {
        while (parser.next(f))
            frames.push_back(f);
        if (!parser.hasPartial())
            break;
        parser.expirePartial();  // the line went quiet: give the stalled start up
    }
    return frames;
}

std::vector<uint8_t> payloadOf(std::initializer_list<int> bytes)
{
    std::vector<uint8_t> p;
    for (const int b : bytes)
        p.push_back(static_cast<uint8_t>(b));
    return p;
}

// Sends one request to the link and returns the frames it answered with.
std::vector<wire::Frame> ask(SimLink& link, uint8_t seq, uint8_t cmd,
                             const std::vector<uint8_t>& payload = {})
{
    const std::vector<uint8_t> bytes = wire::encodeFrame(seq, cmd, payload);
    link.receive(bytes.data(), bytes.size());
    return parseAll(link.takeOutput());
}

}  // namespace

class TestWireProtocol : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void crcCheckValue();
    void framesRoundTrip_data();
    void framesRoundTrip();
    void oversizedPayloadIsRefused();
    void bytewiseFeeding();
    void resynchronisesAfterGarbage();
    void brokenAndTruncatedFramesAreDropped();
    void takeBufferedHandsOutTheRest();
    void payloadReaderStopsAtTheEnd();
    void paramValuesRoundTrip();
    void statusRoundTrip();
    void linearMoveFrameAndItsDecoding();
    void linkAnswersHelloAndPushesStatus();
    void linkRefusesUnknownAndMalformedRequests();
    void linkReadsAndWritesParameters();
    void linkSwitchesToBootloaderWithinOneChunk();
    void linkTakesOnlyALoneIdentifyForEnterAndReset();
    void linkOpenFaults();
    void linkGarbageFaultKeepsFramesIntact();
};

void TestWireProtocol::crcCheckValue()
{
    const char* digits = "123456789";
    QCOMPARE(wire::crc16(reinterpret_cast<const uint8_t*>(digits), 9), uint16_t(0x29B1));
}

void TestWireProtocol::framesRoundTrip_data()
{
    QTest::addColumn<int>("size");
    QTest::newRow("empty") << 0;
    QTest::newRow("one") << 1;
    QTest::newRow("status") << wire::StatusPayloadSize;
    QTest::newRow("largest") << wire::MaxPayload;
}

void TestWireProtocol::framesRoundTrip()
{
    QFETCH(int, size);
    std::vector<uint8_t> payload(static_cast<size_t>(size));
    for (int i = 0; i < size; ++i)
        payload[static_cast<size_t>(i)] = static_cast<uint8_t>(0xA5 ^ i);  // sync bytes inside
    const std::vector<uint8_t> bytes = wire::encodeFrame(7, wire::MoveSteps, payload);
    QCOMPARE(bytes.size(), size_t(wire::HeaderSize + size + wire::CrcSize));
    QCOMPARE(bytes[0], wire::Sync);
    QCOMPARE(int(bytes[1]), size);
    QCOMPARE(int(bytes[2]), 0xFF - size);
    const std::vector<wire::Frame> frames = parseAll(bytes);
    QCOMPARE(frames.size(), size_t(1));
    QCOMPARE(int(frames[0].seq), 7);
    QCOMPARE(int(frames[0].cmd), int(wire::MoveSteps));
    QCOMPARE(frames[0].payload, payload);
}

void TestWireProtocol::oversizedPayloadIsRefused()
{
    std::vector<uint8_t> out;
    QVERIFY(!wire::appendFrame(out, 1, wire::Hello, std::vector<uint8_t>(wire::MaxPayload + 1)));
    QVERIFY(out.empty());
}

void TestWireProtocol::bytewiseFeeding()
{
    std::vector<uint8_t> bytes = wire::encodeFrame(1, wire::Wait, payloadOf({1, 2, 3, 4}));
    const std::vector<uint8_t> second = wire::encodeFrame(2, wire::Park, {});
    bytes.insert(bytes.end(), second.begin(), second.end());
    wire::FrameParser parser;
    std::vector<int> seqs;
    wire::Frame f;
    for (const uint8_t b : bytes) {
        parser.feed(&b, 1);
        while (parser.next(f))
            seqs.push_back(f.seq);
    }
    QCOMPARE(seqs, (std::vector<int>{1, 2}));
    QVERIFY(!parser.hasPartial());
    QCOMPARE(parser.discardedBytes(), uint64_t(0));
}

void TestWireProtocol::resynchronisesAfterGarbage()
{
    std::minstd_rand random(42);
    std::vector<uint8_t> stream;
    for (int i = 1; i <= 200; ++i) {
        const int junk = static_cast<int>(random() % 12);
        for (int j = 0; j < junk; ++j)
            stream.push_back(random() % 4 == 0 ? wire::Sync : static_cast<uint8_t>(random()));
        std::vector<uint8_t> payload(random() % 30, static_cast<uint8_t>(i));
        wire::appendFrame(stream, static_cast<uint8_t>(i), wire::Status, payload);
    }
    wire::FrameParser parser;
    const std::vector<wire::Frame> frames = parseAll(stream, &parser);
    QCOMPARE(frames.size(), size_t(200));
    for (int i = 0; i < 200; ++i) {
        QCOMPARE(int(frames[static_cast<size_t>(i)].seq), i + 1);
        for (const uint8_t b : frames[static_cast<size_t>(i)].payload)
            QCOMPARE(int(b), i + 1);
    }
    QVERIFY(parser.discardedBytes() > 0);
}

void TestWireProtocol::brokenAndTruncatedFramesAreDropped()
{
    std::vector<uint8_t> broken = wire::encodeFrame(1, wire::Park, payloadOf({9, 9}));
    broken[6] ^= 0x01;  // payload byte: the CRC no longer fits
    const std::vector<uint8_t> full = wire::encodeFrame(2, wire::Park, payloadOf({1}));
    const std::vector<uint8_t> cut(full.begin(), full.begin() + 4);
    std::vector<uint8_t> badLength = {wire::Sync, 3, 3};  // ~LEN does not match
    std::vector<uint8_t> stream = broken;
    stream.insert(stream.end(), cut.begin(), cut.end());
    stream.insert(stream.end(), badLength.begin(), badLength.end());
    stream.insert(stream.end(), full.begin(), full.end());
    wire::FrameParser parser;
    const std::vector<wire::Frame> frames = parseAll(stream, &parser);
    QCOMPARE(frames.size(), size_t(1));
    QCOMPARE(int(frames[0].seq), 2);
    QVERIFY(parser.rejectedFrames() >= 1);

    // A lone cut-off frame waits for its rest until it is given up.
    wire::FrameParser waiting;
    waiting.feed(cut.data(), cut.size());
    wire::Frame f;
    QVERIFY(!waiting.next(f));
    QVERIFY(waiting.hasPartial());
    waiting.expirePartial();
    QVERIFY(!waiting.next(f));
    QVERIFY(!waiting.hasPartial());
}

void TestWireProtocol::takeBufferedHandsOutTheRest()
{
    std::vector<uint8_t> stream = wire::encodeFrame(3, wire::EnterBootloader, {});
    stream.push_back('S');
    stream.push_back('P');
    wire::FrameParser parser;
    parser.feed(stream.data(), stream.size());
    wire::Frame f;
    QVERIFY(parser.next(f));
    QCOMPARE(parser.takeBuffered(), (std::vector<uint8_t>{'S', 'P'}));
    QVERIFY(!parser.hasPartial());
}

void TestWireProtocol::payloadReaderStopsAtTheEnd()
{
    const std::vector<uint8_t> bytes = payloadOf({1, 2, 3});
    wire::PayloadReader r(bytes);
    QCOMPARE(int(r.u8()), 1);
    QVERIFY(r.good());
    QCOMPARE(r.i32(), 0);  // only two bytes left
    QVERIFY(!r.good());
    QVERIFY(r.atEnd());
    wire::PayloadWriter w;
    w.i32(-2).f32(1.5f).u8(7);
    wire::PayloadReader back(w.bytes());
    QCOMPARE(back.i32(), -2);
    QCOMPARE(back.f32(), 1.5f);
    QCOMPARE(int(back.u8()), 7);
    QVERIFY(back.good() && back.atEnd());
    QCOMPARE(w.bytes()[0], uint8_t(0xFE));  // little-endian
}

void TestWireProtocol::paramValuesRoundTrip()
{
    using Kind = Device::ParamKind;
    for (const Kind kind : {Kind::Long, Kind::Float, Kind::FourLongs, Kind::FourUchar,
                            Kind::RefSequence, Kind::Name}) {
        Device::ParamValue v;
        v.kind = kind;
        const int32_t four[4] = {-1, 2, -3, 32767};
        const int32_t ref[8] = {1, 1, 0, 0, 2, 1, 0, 3};
        switch (kind) {
        case Kind::Long:
            v.longs[0] = -7;
            break;
        case Kind::Float:
            v.f = 0.01f;
            break;
        case Kind::FourLongs:
        case Kind::FourUchar:
            std::copy(four, four + 4, v.longs);
            break;
        case Kind::RefSequence:
            std::copy(ref, ref + 8, v.longs);
            break;
        case Kind::Name:
            std::strcpy(v.name, "Dorvik USB");
            break;
        }
        wire::PayloadWriter w;
        wire::putParamValue(w, v);
        QVERIFY(w.bytes().size() <= size_t(wire::MaxPayload - 2));
        wire::PayloadReader r(w.bytes());
        Device::ParamValue back;
        QVERIFY(wire::getParamValue(r, back));
        QCOMPARE(int(back.kind), int(kind));
        QVERIFY(std::equal(v.longs, v.longs + 8, back.longs));
        QCOMPARE(back.f, v.f);
        QCOMPARE(QByteArray(back.name), QByteArray(v.name));
    }
    const std::vector<uint8_t> unknownKind = payloadOf({9, 0, 0, 0, 0});
    wire::PayloadReader badKind(unknownKind);
    Device::ParamValue v;
    QVERIFY(!wire::getParamValue(badKind, v));
    const std::vector<uint8_t> tooLong = payloadOf({0, 1, 0, 0, 0, 5});
    wire::PayloadReader trailing(tooLong);
    QVERIFY(!wire::getParamValue(trailing, v));
}

void TestWireProtocol::statusRoundTrip()
{
    StatusReport s;
    s.firstValue = 2;
    s.inputs = 0x11;
    s.flags = 0x3F;
    s.pos[0] = -1;
    s.pos[1] = 123456789;
    s.pos[2] = INT32_MIN;
    s.pos[3] = 5;
    s.bufferFill = 255;
    s.generalInputs = 0x80;
    s.generalOutputs = 0x01;
    s.errorCode = 0x99;
    wire::PayloadWriter w;
    wire::putStatus(w, s);
    QCOMPARE(w.bytes().size(), size_t(wire::StatusPayloadSize));
    wire::PayloadReader r(w.bytes());
    StatusReport back;
    QVERIFY(wire::getStatus(r, back));
    QCOMPARE(std::memcmp(&back, &s, sizeof s), 0);
    wire::PayloadReader shortReader(w.bytes().data(), 10);
    QVERIFY(!wire::getStatus(shortReader, back));
}

void TestWireProtocol::linearMoveFrameAndItsDecoding()
{
    const float target[4] = {1.0f, -2.0f, 0.5f, 0.0f};
    wire::PayloadWriter w;
    wire::putLinearMove(w, target, 600.0f);
    // The example of docs/wire-protocol.md.
    QCOMPARE(wire::encodeFrame(4, wire::MoveLinear, w.bytes()),
             payloadOf({0xA5, 0x14, 0xEB, 0x04, 0x22, 0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x00,
                        0xC0, 0x00, 0x00, 0x00, 0x3F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x16,
                        0x44, 0x70, 0xF5}));
    // The controller's side refuses a payload that is not exactly these 20 bytes.
    SimController core;
    SimLink link(core);
    std::vector<uint8_t> cut = w.bytes();
    cut.pop_back();
    QCOMPARE(ask(link, 8, wire::MoveLinear, cut).at(0).payload,
             payloadOf({wire::MoveLinear, wire::BadPayload}));
    QVERIFY(!core.busy());
}

void TestWireProtocol::linkAnswersHelloAndPushesStatus()
{
    SimController core;
    core.setName("Fraese");
    SimLink link(core);
    link.poll();
    QVERIFY(!link.hasOutput());  // no status before a connection
    std::vector<uint8_t> hello{wire::ProtocolVersion};
    const std::vector<wire::Frame> answer = ask(link, 9, wire::Hello, hello);
    QCOMPARE(answer.size(), size_t(1));
    QCOMPARE(int(answer[0].seq), 9);
    QCOMPARE(int(answer[0].cmd), int(wire::Hello | wire::ReplyFlag));
    const std::vector<uint8_t>& p = answer[0].payload;
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(p.data()), int(p.size())),
             QByteArray("QNTA\x01\x00", 6) + "Fraese");
    QVERIFY(core.isConnected());
    link.poll();
    const std::vector<wire::Frame> pushed = parseAll(link.takeOutput());
    QCOMPARE(pushed.size(), size_t(1));
    QCOMPARE(int(pushed[0].seq), 0);
    QCOMPARE(int(pushed[0].cmd), int(wire::Status));
    QCOMPARE(pushed[0].payload.size(), size_t(wire::StatusPayloadSize));
    QCOMPARE(ask(link, 10, wire::Goodbye).at(0).payload, payloadOf({1}));
    QVERIFY(!core.isConnected());
}

void TestWireProtocol::linkRefusesUnknownAndMalformedRequests()
{
    SimController core;
    SimLink link(core);
    std::vector<wire::Frame> answer = ask(link, 1, 0x5E);
    QCOMPARE(answer.size(), size_t(1));
    QCOMPARE(int(answer[0].cmd), int(wire::Nak));
    QCOMPARE(answer[0].payload, payloadOf({0x5E, wire::UnknownCommand}));
    answer = ask(link, 2, wire::MoveSteps, payloadOf({0, 1, 2}));
    QCOMPARE(answer.at(0).payload, payloadOf({wire::MoveSteps, wire::BadPayload}));
    answer = ask(link, 3, wire::Outputs, payloadOf({1, 2}));
    QCOMPARE(answer.at(0).payload, payloadOf({wire::Outputs, wire::BadPayload}));
    // A controller's own frame coming back (an echo) is not a request.
    QVERIFY(ask(link, 4, wire::Status | wire::ReplyFlag).empty());
    QCOMPARE(int(core.status().generalOutputs), 0);
    // A well-formed move is carried out.
    wire::PayloadWriter w;
    w.u8(1).i32(1000).u8(1);
    for (int i = 0; i < 12; ++i)
        w.i32(i == 0 ? 250 : (i == 6 ? -50 : 0));
    w.u8(3);
    answer = ask(link, 5, wire::MoveSteps, w.bytes());
    QCOMPARE(answer.at(0).payload, payloadOf({1}));
    core.advance(1000);
    QCOMPARE(core.status().pos[2], 250);
    QCOMPARE(core.status().pos[3], -50);
}

void TestWireProtocol::linkReadsAndWritesParameters()
{
    SimController core;
    SimLink link(core);
    QCOMPARE(ask(link, 1, wire::Mode, payloadOf({1})).at(0).payload, payloadOf({1}));
    wire::PayloadWriter w;
    w.u8(0x01).u8(0x07);
    Device::ParamValue v;
    v.longs[0] = 12;
    wire::putParamValue(w, v);
    QCOMPARE(ask(link, 2, wire::ParamWrite, w.bytes()).at(0).payload, payloadOf({1}));
    const std::vector<wire::Frame> read = ask(link, 3, wire::ParamRead, payloadOf({0x01, 0x07}));
    QCOMPARE(read.at(0).payload.size(), size_t(17));
    QCOMPARE(read.at(0).payload[0], uint8_t(1));
    QCOMPARE(read.at(0).payload[1], uint8_t(12));
    const std::vector<wire::Frame> unknown = ask(link, 4, wire::ParamRead, payloadOf({6, 0}));
    QCOMPARE(unknown.at(0).payload[0], uint8_t(0));
    QCOMPARE(int(core.status().errorCode), 0x91);
}

void TestWireProtocol::linkSwitchesToBootloaderWithinOneChunk()
{
    SimController core;
    SimLink link(core);
    ask(link, 1, wire::Hello, {wire::ProtocolVersion});
    link.poll();
    QVERIFY(link.hasOutput());  // a status frame waits to go out
    std::vector<uint8_t> bytes = wire::encodeFrame(0, wire::EnterBootloader, {});
    bytes.push_back('S');
    link.receive(bytes.data(), bytes.size());
    QVERIFY(link.takeRestart());
    QVERIFY(!link.takeRestart());
    QCOMPARE(link.takeOutput(), (std::vector<uint8_t>{'A', 'V', 'R', 'B', '1', '2', '8'}));
    QVERIFY(core.inBootloader());
    link.poll();
    QVERIFY(!link.hasOutput());
    // A framed request brings the firmware back and is answered.
    const std::vector<wire::Frame> answer = ask(link, 2, wire::Hello, {wire::ProtocolVersion});
    QCOMPARE(answer.size(), size_t(1));
    QVERIFY(!core.inBootloader());
}

void TestWireProtocol::linkTakesOnlyALoneIdentifyForEnterAndReset()
{
    SimController core;
    SimLink link(core);
    ask(link, 1, wire::Hello, {wire::ProtocolVersion});
    link.takeOutput();
    // An "S" inside a frame, or in the rest of a frame given up, is no raw byte.
    QCOMPARE(ask(link, 2, wire::Outputs, payloadOf({'S'})).size(), size_t(1));
    const std::vector<uint8_t> cut = wire::encodeFrame(3, wire::Outputs, payloadOf({'S'}));
    link.receive(cut.data(), 6);
    QVERIFY(link.hasStalledInput());
    link.expireStalled();
    QVERIFY(!core.inBootloader());
    QVERIFY(!link.takeRestart());

    // Without a bootloader a lone "S" is noise to the firmware.
    core.faults().noBootloader = true;
    const uint8_t identify = 'S';
    link.receive(&identify, 1);
    QVERIFY(!core.inBootloader());
    QVERIFY(!link.hasOutput());
    core.faults().noBootloader = false;

    // Behind a frame in the same chunk it starts the bootloader, which answers it.
    std::vector<uint8_t> bytes = wire::encodeFrame(4, wire::GetStatus, {});
    bytes.push_back('x');
    bytes.push_back('S');
    link.receive(bytes.data(), bytes.size());
    QVERIFY(core.inBootloader());
    QVERIFY(link.takeRestart());
    QCOMPARE(link.takeOutput(), (std::vector<uint8_t>{'A', 'V', 'R', 'B', '1', '2', '8'}));
}

void TestWireProtocol::linkOpenFaults()
{
    SimController core;
    SimLink link(core);
    core.faults().openFailure = 3;
    QVERIFY(ask(link, 1, wire::Hello, {wire::ProtocolVersion}).empty());
    QVERIFY(!link.hasOutput());
    core.faults().openFailure = 2;
    const std::vector<uint8_t> hello = wire::encodeFrame(2, wire::Hello, {1});
    link.receive(hello.data(), hello.size());
    const std::vector<uint8_t> modem = link.takeOutput();
    QVERIFY(!modem.empty());
    QVERIFY(parseAll(modem).empty());
    core.faults().openFailure = 4;
    const std::vector<wire::Frame> refused = ask(link, 3, wire::Hello, {wire::ProtocolVersion});
    QCOMPARE(refused.at(0).payload.at(5), uint8_t(wire::HelloNameRefused));
    QVERIFY(!core.isConnected());
    core.faults().openFailure = 0;
    core.faults().silent = true;
    QVERIFY(ask(link, 4, wire::Hello, {wire::ProtocolVersion}).empty());
    QVERIFY(!core.isConnected());
}

void TestWireProtocol::linkGarbageFaultKeepsFramesIntact()
{
    SimController core;
    core.faults().garbage = true;
    SimLink link(core);
    const std::vector<uint8_t> hello = wire::encodeFrame(1, wire::Hello, {1});
    link.receive(hello.data(), hello.size());
    std::vector<uint8_t> line;
    int requests = 1;
    for (int t = 0; t < 200; ++t) {
        core.advance(10);
        if (t % 10 == 0) {
            const std::vector<uint8_t> r =
                wire::encodeFrame(static_cast<uint8_t>(++requests), wire::GetStatus, {});
            link.receive(r.data(), r.size());
        }
        core.moveSteps(0, 1000, 1, 0);
        link.poll();
        const std::vector<uint8_t> out = link.takeOutput();
        line.insert(line.end(), out.begin(), out.end());
    }
    wire::FrameParser parser;
    const std::vector<wire::Frame> frames = parseAll(line, &parser);
    int replies = 0;
    int statuses = 0;
    for (const wire::Frame& f : frames) {
        if (f.cmd & wire::ReplyFlag)
            ++replies;
        else if (f.cmd == wire::Status)
            ++statuses;
    }
    QCOMPARE(replies, requests);
    QVERIFY2(statuses >= 90, qPrintable(QString::number(statuses)));
    QVERIFY(parser.discardedBytes() > 0);
    QVERIFY(parser.rejectedFrames() > 0);
}

QTEST_GUILESS_MAIN(TestWireProtocol)
#include "tst_wireprotocol.moc"
