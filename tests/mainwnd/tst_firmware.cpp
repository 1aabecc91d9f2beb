// Firmware update: block arithmetic, CRC-32, the exact bootloader byte sequence against the
// scripted device, bounded waits, and the main window's update workflow.

#include "firmwareprogress.h"
#include "firmwaretransfer.h"
#include "mainwndtesting.h"
#include "manualcontrolwnd.h"
#include "simdevice.h"

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSettings>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <zlib.h>

#include <array>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

const QString BootloaderPrompt =
    "Aktivieren Sie den Bootloader am Controller (Enter+Reset) und drucken Sie Ok ";
const QString NotFound = "KTF-Bootloader nicht gefunden!";
const QString Silent = "Update fehlgeschlagen! Bootloader antwortet nicht!";
const QString WrongCrc = "Update fehlgeschlagen! Checksumme stimmt nicht!";

Bytes Pattern(qint64 size, uint32_t seed)
{
    Bytes b(static_cast<size_t>(size));
    QRandomGenerator gen(seed);
    for (auto& byte : b)
        byte = static_cast<uint8_t>(gen.bounded(256));
    return b;
}

// The data bytes of all frames (no "#"): the image, then 0xFF up to the end of the last block.
Bytes PaddedStream(const Bytes& image)
{
    Bytes s = image;
    s.resize(size_t(Firmware::BlockCount(qint64(image.size()))) * Firmware::BlockSize, 0xFF);
    return s;
}

uint32_t ZlibCrc(const Bytes& b)
{
    return static_cast<uint32_t>(crc32(crc32(0L, Z_NULL, 0), b.data(), uInt(b.size())));
}

Bytes BigEndian(uint32_t v)
{
    return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
}

// Everything the host must send for an image, in order.
Bytes ExpectedWrites(const Bytes& image)
{
    Bytes w = {'S', 'P', 'e', 'A', '.', '.'};
    const Bytes data = PaddedStream(image);
    for (size_t at = 0; at < data.size(); at += Firmware::BlockSize) {
        w.push_back('#');
        w.insert(w.end(), data.begin() + long(at), data.begin() + long(at) + Firmware::BlockSize);
    }
    w.push_back('$');
    return w;
}

// Replies of a cooperative bootloader for an image of blockCount blocks, ending with crc.
Bytes BootloaderReplies(int blockCount, uint32_t crc)
{
    Bytes r = {'A', 'V', 'R', 'B', '1', '2', '8', 'p', 'e', 'a', 'a', 'a'};
    r.insert(r.end(), size_t(blockCount), uint8_t('k'));
    const Bytes c = BigEndian(crc);
    r.insert(r.end(), c.begin(), c.end());
    return r;
}

// Rewrites four image bytes at position at so that the transfer's CRC-32 becomes target.
// The CRC is affine over GF(2) in those 32 bits, so one Gaussian elimination finds them.
void ForceCrc(Bytes& image, size_t at, uint32_t target)
{
    for (size_t i = 0; i < 4; ++i)
        image[at + i] = 0;
    const uint32_t base = ZlibCrc(PaddedStream(image));
    std::array<uint32_t, 32> columns{};
    for (int bit = 0; bit < 32; ++bit) {
        image[at + size_t(bit / 8)] = uint8_t(1u << (bit % 8));
        columns[size_t(bit)] = ZlibCrc(PaddedStream(image)) ^ base;
        image[at + size_t(bit / 8)] = 0;
    }
    // Solve columns * x = target ^ base; row r of the system is bit r of every column.
    std::array<uint64_t, 32> rows{};  // bits 0..31: coefficients, bit 32: right-hand side
    for (int r = 0; r < 32; ++r) {
        for (int c = 0; c < 32; ++c)
            rows[size_t(r)] |= uint64_t((columns[size_t(c)] >> r) & 1u) << c;
        rows[size_t(r)] |= uint64_t(((target ^ base) >> r) & 1u) << 32;
    }
    for (int c = 0; c < 32; ++c) {
        int pivot = c;
        while (pivot < 32 && !((rows[size_t(pivot)] >> c) & 1u))
            ++pivot;
        QVERIFY(pivot < 32);
        std::swap(rows[size_t(c)], rows[size_t(pivot)]);
        for (int r = 0; r < 32; ++r)
            if (r != c && ((rows[size_t(r)] >> c) & 1u))
                rows[size_t(r)] ^= rows[size_t(c)];
    }
    for (int bit = 0; bit < 32; ++bit)
        if ((rows[size_t(bit)] >> 32) & 1u)
            image[at + size_t(bit / 8)] |= uint8_t(1u << (bit % 8));
}

std::vector<std::string> WriteCalls(const quenta::ScriptedDevice& device)
{
    std::vector<std::string> writes;
    for (const std::string& call : device.calls())
        if (call.rfind("TarvoWriteChar(", 0) == 0)
            writes.push_back(call);
    return writes;
}

}  // namespace

class TestFirmware : public QObject {
    Q_OBJECT

private:
    // A controller on COM3 opened in firmware mode on a scripted device.
    struct Rig {
        ScriptedPorts ports;
        ScriptedDialogs dialogs;
        TarvoController controller{"COM3", 115200};
        std::shared_ptr<quenta::ScriptedDevice> device = ports.device("COM3");
        QStringList messages;
        QStringList statusTexts;
        QList<QPair<int, int>> progress;
        FirmwareTransferHooks hooks;

        Rig()
        {
            controller.Connect4FirmwareUpdate();
            device->clearCalls();
            hooks.showStatus = [this](const QString& t) { statusTexts.append(t); };
            hooks.progress = [this](int sent, int total) {
                if (progress.isEmpty() || progress.last() != qMakePair(sent, total))
                    progress.append({sent, total});
            };
        }
        // Every transfer begins with the bootloader prompt: answered Ok unless the test
        // queued its own answer.
        FirmwareTransferResult Transfer(const Bytes& image)
        {
            if (dialogs.buttonAnswers.isEmpty())
                dialogs.expectBox();
            return TransferFirmware(controller.GetPortSettings(), image.data(),
                                    qint64(image.size()), messages, hooks);
        }
    };

    // The main window with a connected controller on COM3 served by a scripted device.
    struct Window {
        ScriptedPorts ports;
        ScriptedDialogs dialogs;
        std::shared_ptr<quenta::ScriptedDevice> device = ports.device("COM3");
        TarvoController* controller = nullptr;
        std::unique_ptr<KavrixMainWnd> window;
        QTemporaryDir dir;

        Window()
        {
            KavrixKernel::Instance();
            controller = registerController("COM3");
            window = std::make_unique<KavrixMainWnd>();
            window->SlotControllerConnect();
            dialogs.clear();
            device->clearCalls();
        }
        ~Window()
        {
            window.reset();
            delete KavrixKernel::ExistingInstance();
        }
        QString File(const Bytes& content)
        {
            const QString path = dir.filePath("image.ktf");
            QFile file(path);
            if (file.open(QIODevice::WriteOnly))
                file.write(reinterpret_cast<const char*>(content.data()), qint64(content.size()));
            return path;
        }
        QString Status() const { return window->statusBar()->currentMessage(); }
    };

private Q_SLOTS:
    void initTestCase() { Q_INIT_RESOURCE(images); }
    void init() { initTestSettings(); }
    void cleanup() { delete KavrixKernel::ExistingInstance(); }

    void crcMatchesTheStandardFunction()
    {
        const QByteArray digits("123456789");
        FirmwareCrc32 check;
        check.Update(reinterpret_cast<const uint8_t*>(digits.constData()), digits.size());
        QCOMPARE(check.Value(), 0xCBF43926u);

        // Fed in pieces, as block after block, it equals zlib over the whole stream.
        const Bytes data = Pattern(3 * 8192 + 17, 7);
        FirmwareCrc32 pieces;
        for (size_t at = 0; at < data.size(); at += 1000)
            pieces.Update(data.data() + at, qint64(std::min<size_t>(1000, data.size() - at)));
        QCOMPARE(pieces.Value(), ZlibCrc(data));
        QCOMPARE(FirmwareCrc32().Value(), 0u);
    }

    void blockArithmetic_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<int>("blocks");
        QTest::addColumn<int>("lastBytes");
        QTest::newRow("empty") << qint64(0) << 1 << 0;
        QTest::newRow("one byte") << qint64(1) << 1 << 1;
        QTest::newRow("8191") << qint64(8191) << 1 << 8191;
        QTest::newRow("8192") << qint64(8192) << 2 << 0;
        QTest::newRow("8193") << qint64(8193) << 2 << 1;
        QTest::newRow("10000") << qint64(10000) << 2 << 1808;
        QTest::newRow("1 MiB") << qint64(1 << 20) << 129 << 0;
    }

    void blockArithmetic()
    {
        QFETCH(qint64, size);
        QFETCH(int, blocks);
        QFETCH(int, lastBytes);
        QCOMPARE(Firmware::BlockCount(size), blocks);
        QCOMPARE(Firmware::LastBlockBytes(size), lastBytes);
    }

    void framesCarryImageBytesThenFilling()
    {
        const Bytes image = Pattern(10000, 3);
        const QByteArray first = Firmware::BuildFrame(image.data(), 10000, 0);
        const QByteArray last = Firmware::BuildFrame(image.data(), 10000, 1);
        QCOMPARE(first.size(), 8193);
        QCOMPARE(last.size(), 8193);
        QCOMPARE(first.at(0), '#');
        QCOMPARE(last.at(0), '#');
        QVERIFY(std::equal(image.begin(), image.begin() + 8192, first.begin() + 1,
                           [](uint8_t a, char b) { return a == uint8_t(b); }));
        QVERIFY(std::equal(image.begin() + 8192, image.end(), last.begin() + 1,
                           [](uint8_t a, char b) { return a == uint8_t(b); }));
        QCOMPARE(last.mid(1 + 1808), QByteArray(6384, char(0xFF)));
    }

    void exactBytesAndWriteSizes_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::newRow("8191") << qint64(8191);
        QTest::newRow("8192") << qint64(8192);
        QTest::newRow("8193") << qint64(8193);
        QTest::newRow("10000") << qint64(10000);
        QTest::newRow("128 KiB, the whole flash") << qint64(128 * 1024);
    }

    void exactBytesAndWriteSizes()
    {
        QFETCH(qint64, size);
        Rig rig;
        const Bytes image = Pattern(size, uint32_t(size) + 1);
        const int n = Firmware::BlockCount(size);
        rig.device->queueReadBytes(BootloaderReplies(n, ZlibCrc(PaddedStream(image))));

        QCOMPARE(rig.Transfer(image), FirmwareTransferResult::Finished);
        QCOMPARE(rig.messages, QStringList());
        QVERIFY(rig.device->writtenBytes() == ExpectedWrites(image));

        // "S", "P", "e", "A..", then per frame one 513-byte and fifteen 512-byte writes, "$".
        std::vector<std::string> expected = {"TarvoWriteChar(1)", "TarvoWriteChar(1)",
                                             "TarvoWriteChar(1)", "TarvoWriteChar(3)"};
        for (int block = 0; block < n; ++block) {
            expected.push_back("TarvoWriteChar(513)");
            expected.insert(expected.end(), 15, "TarvoWriteChar(512)");
        }
        expected.push_back("TarvoWriteChar(1)");
        QVERIFY(WriteCalls(*rig.device) == expected);

        QCOMPARE(rig.statusTexts,
                 QStringList({"Firmwareübertragung ...", "Checksumme prüfen ..."}));
        QCOMPARE(rig.progress.first(), qMakePair(0, n));
        QCOMPARE(rig.progress.last(), qMakePair(n, n));
        QCOMPARE(rig.dialogs.count("warning"), 1);
        const ScriptedDialogs::Shown& prompt = rig.dialogs.shown.first();
        QCOMPARE(prompt.title, QString("Action required"));
        QCOMPARE(prompt.text, BootloaderPrompt);
        QCOMPARE(prompt.buttons, QMessageBox::Ok | QMessageBox::Cancel);
        QCOMPARE(prompt.defaultButton, QMessageBox::Ok);
    }

    void crcCoversThePaddingOfTheLastBlock()
    {
        // 8192 bytes: the checksum runs over 16384 bytes, the second half all 0xFF.
        Rig rig;
        const Bytes image = Pattern(8192, 11);
        rig.device->queueReadBytes(BootloaderReplies(2, ZlibCrc(image)));
        rig.Transfer(image);
        QCOMPARE(rig.messages, QStringList({WrongCrc}));

        Rig padded;
        padded.device->queueReadBytes(BootloaderReplies(2, ZlibCrc(PaddedStream(image))));
        padded.Transfer(image);
        QCOMPARE(padded.messages, QStringList());
    }

    void crcReplyIsReadMostSignificantByteFirst()
    {
        Bytes image = Pattern(8191, 5);
        ForceCrc(image, 100, 0x12345678u);
        QCOMPARE(ZlibCrc(PaddedStream(image)), 0x12345678u);

        Rig rig;
        rig.device->queueReadBytes(BootloaderReplies(1, 0x12345678u));
        rig.Transfer(image);
        QCOMPARE(rig.messages, QStringList());

        Rig swapped;
        swapped.device->queueReadBytes(BootloaderReplies(1, 0x78563412u));
        swapped.Transfer(image);
        QCOMPARE(swapped.messages, QStringList({WrongCrc}));
    }

    void everyTransferStartsItsCrcAfresh()
    {
        Rig rig;
        const Bytes image = Pattern(5000, 9);
        const uint32_t crc = ZlibCrc(PaddedStream(image));
        rig.device->queueReadBytes(BootloaderReplies(1, crc));
        rig.device->queueReadBytes(BootloaderReplies(1, crc));
        rig.Transfer(image);
        rig.Transfer(image);
        QCOMPARE(rig.messages, QStringList());
        QCOMPARE(rig.dialogs.count("warning"), 2);
    }

    void imagesThatCannotFitAreRefused_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QByteArray>("sent");
        QTest::newRow("empty") << qint64(0)
                               << "The firmware image is empty: nothing was sent."
                               << QByteArray();
        // Identified, then told to start its old firmware: nothing erased, no block.
        QTest::newRow("one byte beyond 128 KiB")
            << qint64(128 * 1024 + 1)
            << "The firmware image (131073 bytes) does not fit into the flash memory of "
               "bootloader AVRB128 (131072 bytes): nothing was sent."
            << QByteArray("S$");
    }

    void imagesThatCannotFitAreRefused()
    {
        QFETCH(qint64, size);
        QFETCH(QString, message);
        QFETCH(QByteArray, sent);
        Rig rig;
        if (size > 0)
            rig.device->queueReadBytes({'A', 'V', 'R', 'B', '1', '2', '8', 1, 2, 3, 4});
        else
            rig.dialogs.buttonAnswers.enqueue(QMessageBox::Ok);  // held back: no prompt
        QCOMPARE(rig.Transfer(Pattern(size, 21)), FirmwareTransferResult::Finished);
        if (size == 0)
            QCOMPARE(rig.dialogs.buttonAnswers.size(), 1);
        rig.dialogs.buttonAnswers.clear();
        QCOMPARE(rig.messages, QStringList{message});
        const Bytes written = rig.device->writtenBytes();
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(written.data()), int(written.size())),
                 sent);
        QVERIFY(rig.progress.isEmpty());
    }

    void flashSizeComesFromTheBootloadersName()
    {
        const auto flash = [](const char* name) {
            return Firmware::FlashBytes(reinterpret_cast<const uint8_t*>(name), 7);
        };
        QCOMPARE(flash("AVRB128"), qint64(131072));
        QCOMPARE(flash("AVRB064"), qint64(65536));
        QCOMPARE(flash("AVRBxyz"), qint64(0));  // no size: none is assumed
        QCOMPARE(flash("KTFB128"), qint64(0));
    }

    void cancelledPromptSendsNothing()
    {
        Rig rig;
        rig.dialogs.buttonAnswers.enqueue(QMessageBox::Cancel);
        rig.device->queueReadBytes(BootloaderReplies(1, 0));
        QCOMPARE(rig.Transfer(Pattern(10, 1)), FirmwareTransferResult::Cancelled);
        QCOMPARE(rig.messages, QStringList());
        QVERIFY(rig.device->writtenBytes().empty());
        QVERIFY(rig.statusTexts.isEmpty());
    }

    void bootloaderNotFound_data()
    {
        QTest::addColumn<Bytes>("reply");
        QTest::newRow("silent") << Bytes();
        QTest::newRow("partial reply") << Bytes{'A', 'V', 'R'};
        QTest::newRow("garbage") << Bytes{'A', 'V', 'R', 'B', '1', '2', '9', 'p', 'e'};
        QTest::newRow("lower case") << Bytes{'a', 'v', 'r', 'b', '1', '2', '8'};
    }

    void bootloaderNotFound()
    {
        QFETCH(Bytes, reply);
        Rig rig;
        rig.device->queueReadBytes(reply);
        QCOMPARE(rig.Transfer(Pattern(20000, 2)), FirmwareTransferResult::Finished);
        QCOMPARE(rig.messages, QStringList({NotFound}));
        QVERIFY(rig.device->writtenBytes() == Bytes{'S'});
        QVERIFY(rig.statusTexts.isEmpty());
    }

    void portNotOpenFindsNoBootloader()
    {
        Rig rig;
        rig.controller.DisconnectNachFirmwareUpdate();
        rig.device->queueReadBytes(BootloaderReplies(1, 0));
        rig.Transfer(Pattern(10, 1));
        QCOMPARE(rig.messages, QStringList({NotFound}));
        QVERIFY(rig.device->writtenBytes().empty());
    }

    void silentBootloaderEndsTheTransfer_data()
    {
        // The replies that arrive before the bootloader falls silent, and what was sent.
        QTest::addColumn<Bytes>("replies");
        QTest::addColumn<int>("framesSent");
        QTest::addColumn<QByteArray>("tail");
        const Bytes id = {'A', 'V', 'R', 'B', '1', '2', '8'};
        Bytes afterP = id;
        afterP.push_back('p');
        Bytes afterE = afterP;
        afterE.push_back('e');
        Bytes afterA = afterE;
        afterA.insert(afterA.end(), 3, 'a');
        Bytes afterBlock = afterA;
        afterBlock.push_back('k');
        Bytes afterAll = afterBlock;
        afterAll.push_back('k');
        QTest::newRow("after P") << id << 0 << QByteArray("SP");
        QTest::newRow("after e") << afterP << 0 << QByteArray("SPe");
        QTest::newRow("after A..") << afterE << 0 << QByteArray("SPeA..");
        QTest::newRow("after block 0") << afterA << 1 << QByteArray();
        QTest::newRow("after block 1") << afterBlock << 2 << QByteArray();
        QTest::newRow("after $") << afterAll << 2 << QByteArray("$");
    }

    void silentBootloaderEndsTheTransfer()
    {
        QFETCH(Bytes, replies);
        QFETCH(int, framesSent);
        QFETCH(QByteArray, tail);
        Rig rig;
        rig.device->queueReadBytes(replies);
        const Bytes image = Pattern(10000, 4);
        QCOMPARE(rig.Transfer(image), FirmwareTransferResult::Finished);
        QCOMPARE(rig.messages, QStringList({Silent}));

        // Nothing is sent after the unanswered request.
        const Bytes written = rig.device->writtenBytes();
        if (framesSent == 0) {
            QCOMPARE(QByteArray(reinterpret_cast<const char*>(written.data()),
                                int(written.size())),
                     tail);
        } else {
            Bytes expected = ExpectedWrites(image);
            expected.resize(6 + size_t(framesSent) * Firmware::FrameSize);
            expected.insert(expected.end(), tail.begin(), tail.end());
            QCOMPARE(written.size(), expected.size());
            QVERIFY(written == expected);
        }
    }

    void crcReplyInPiecesOrCut()
    {
        // A serial line may hand the four CRC bytes over one read at a time.
        struct Dribbling : quenta::ScriptedDevice {
            int readBytes(uint8_t* bytes, int32_t length) override
            {
                return ScriptedDevice::readBytes(bytes, length == 4 ? 1 : length);
            }
        };
        const auto dribbling = std::make_shared<Dribbling>();
        quenta::setDeviceFactory([dribbling](const std::string&) { return dribbling; });
        {
            ScriptedDialogs dialogs;
            TarvoController controller("COM7", 115200);
            controller.Connect4FirmwareUpdate();
            const Bytes image = Pattern(3000, 6);
            dribbling->queueReadBytes(BootloaderReplies(1, ZlibCrc(PaddedStream(image))));
            QStringList messages;
            dialogs.expectBox();  // the bootloader prompt
            TransferFirmware(controller.GetPortSettings(), image.data(), qint64(image.size()),
                             messages);
            QCOMPARE(messages, QStringList());
        }
        quenta::setDeviceFactory({});

        // A CRC reply cut short compares as a wrong checksum, never as success.
        const Bytes image = Pattern(100, 8);
        const uint32_t crc = ZlibCrc(PaddedStream(image));
        Rig cut;
        Bytes replies = BootloaderReplies(1, crc);
        replies.resize(replies.size() - 2);
        cut.device->queueReadBytes(replies);
        cut.Transfer(image);
        QCOMPARE(cut.messages, QStringList({WrongCrc}));
    }

    // --- the main window's update workflow ---

    void updateWithoutActiveControllerDoesNothing()
    {
        ScriptedDialogs dialogs;
        KavrixMainWnd window;
        window.SlotControllerFirmwareUpdate();
        QVERIFY(dialogs.shown.isEmpty());
    }

    void cancelledFileDialogClosesFirmwareMode()
    {
        Window w;
        w.dialogs.expectCancelledFile();
        w.window->SlotControllerFirmwareUpdate();
        QCOMPARE(w.dialogs.shown.size(), 1);
        QCOMPARE(w.dialogs.shown[0].kind, QString("open"));
        QCOMPARE(w.dialogs.shown[0].title, QString("Firmware Update"));
        QCOMPARE(w.dialogs.shown[0].text, QString("|Firmware files(*.ktf);;All files(*.*)"));
        const std::vector<std::string> calls = w.device->calls();
        QVERIFY(calls.size() >= 3);
        QCOMPARE(calls[calls.size() - 2],
                 std::string("TarvoOpenConnection4FirmwareUpdate(115200)"));
        QCOMPARE(calls.back(), std::string("TarvoCloseConnection()"));
        QVERIFY(!w.device->isOpen());
        QVERIFY(!w.controller->IsConnected());
        QVERIFY(!w.controller->IsTimerActive());
    }

    void unreadableFilesAreReportedAndNothingIsSent_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("missing") << "missing.ktf";
        QTest::newRow("directory") << ".";
        // sysfs reports 4096 bytes for a file that reads much shorter.
        QTest::newRow("short read") << "/sys/kernel/mm/transparent_hugepage/enabled";
    }

    void unreadableFilesAreReportedAndNothingIsSent()
    {
        QFETCH(QString, path);
        Window w;
        if (!path.startsWith('/'))
            path = w.dir.filePath(path);
        if (path.startsWith("/sys/")) {
            QFile probe(path);
            if (!probe.open(QIODevice::ReadOnly) || probe.readAll().size() >= probe.size())
                QSKIP("no short-reading file here");
        }
        w.device->queueReadBytes(BootloaderReplies(1, 0));
        w.dialogs.fileAnswers.enqueue(path);
        w.dialogs.expectBox();
        w.window->SlotControllerFirmwareUpdate();

        QCOMPARE(w.dialogs.count("warning"), 1);
        const ScriptedDialogs::Shown& box = w.dialogs.shown.last();
        QCOMPARE(box.title, QString("Error Open Firmware file"));
        QCOMPARE(box.text, "Cannot read file " + path + "\n");
        QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QVERIFY(w.device->writtenBytes().empty());
        QVERIFY(!w.device->isOpen());
    }

    void successfulUpdate_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::newRow("8193") << qint64(8193);
    }

    void successfulUpdate()
    {
        QFETCH(qint64, size);
        Window w;
        const Bytes image = Pattern(size, 77);
        w.device->queueReadBytes(
            BootloaderReplies(Firmware::BlockCount(size), ZlibCrc(PaddedStream(image))));
        w.dialogs.fileAnswers.enqueue(w.File(image));
        w.dialogs.expectBox();  // the bootloader prompt
        w.window->SlotControllerFirmwareUpdate();

        QCOMPARE(w.Status(), QString("Firmwareübertragung ist abgeschlossen."));
        QCOMPARE(stampedLines(*w.window).last(),
                 QString("Firmware update on COM3: %1, %2 bytes, CRC-32 %3: checksum confirmed "
                         "by the bootloader")
                     .arg(w.dir.filePath("image.ktf"))
                     .arg(size)
                     .arg(ZlibCrc(PaddedStream(image)), 8, 16, QLatin1Char('0')));
        QVERIFY(w.device->writtenBytes() == ExpectedWrites(image));
        QCOMPARE(w.dialogs.count("critical"), 0);
        QCOMPARE(w.dialogs.count("warning"), 1);  // the bootloader prompt
        QVERIFY(!w.device->isOpen());
        QVERIFY(!w.controller->IsConnected());
        QVERIFY(w.window->GetActions().controllerConnect->isEnabled());
        QVERIFY(!w.window->GetActions().controllerDisconnect->isEnabled());
        QVERIFY(!w.window->findChild<QProgressBar*>("firmwareProgressBar"));
    }

    void failedUpdates_data()
    {
        QTest::addColumn<bool>("wrongCrc");
        QTest::addColumn<QString>("message");
        QTest::newRow("no bootloader") << false << NotFound;
        QTest::newRow("wrong checksum") << true << WrongCrc;
    }

    void failedUpdates()
    {
        QFETCH(bool, wrongCrc);
        QFETCH(QString, message);
        Window w;
        const Bytes image = Pattern(100, 1);
        if (wrongCrc)
            w.device->queueReadBytes(BootloaderReplies(1, ~ZlibCrc(PaddedStream(image))));
        w.dialogs.fileAnswers.enqueue(w.File(image));
        w.dialogs.expectBox();  // the bootloader prompt
        w.dialogs.expectBox();  // the failure
        w.window->SlotControllerFirmwareUpdate();

        QCOMPARE(w.dialogs.count("critical"), 1);
        const ScriptedDialogs::Shown& box = w.dialogs.shown.last();
        QCOMPARE(box.title, QString("Firmware Update Error"));
        QCOMPARE(box.text, "Error Firmware Update on COM3:\n" + message);
        QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QVERIFY(w.Status() != QString("Firmwareübertragung ist abgeschlossen."));
        QVERIFY(!w.device->isOpen());
        QVERIFY(stampedLines(*w.window).last().endsWith(": " + message));
    }

    void refusedImageIsShownAndLogged()
    {
        Window w;
        w.dialogs.fileAnswers.enqueue(w.File(Bytes()));
        w.dialogs.expectBox();  // the refusal; no bootloader prompt
        w.window->SlotControllerFirmwareUpdate();
        QCOMPARE(w.dialogs.count("critical"), 1);
        QCOMPARE(w.dialogs.shown.last().text,
                 QString("Error Firmware Update on COM3:\n"
                         "The firmware image is empty: nothing was sent."));
        QVERIFY(w.device->writtenBytes().empty());
        QVERIFY(!w.device->isOpen());
        QVERIFY(stampedLines(*w.window).last().endsWith(
            QString(", 0 bytes, CRC-32 %1").arg(ZlibCrc(Bytes(8192, 0xFF)), 8, 16, QChar('0'))
            + ": The firmware image is empty: nothing was sent."));
    }

    void cancelledPromptIsNotReportedAsFinished()
    {
        Window w;
        w.dialogs.fileAnswers.enqueue(w.File(Pattern(10, 1)));
        w.dialogs.buttonAnswers.enqueue(QMessageBox::Cancel);
        w.window->SlotControllerFirmwareUpdate();
        QCOMPARE(w.Status(), QString("Firmware-Update abgebrochen."));
        QVERIFY(w.device->writtenBytes().empty());
        QCOMPARE(w.dialogs.count("critical"), 0);
        QVERIFY(!w.device->isOpen());
    }

    void portThatCannotOpenIsNamedAsSuch()
    {
        Window w;
        w.device->setOpenCode(1);
        w.dialogs.expectBox();
        w.window->SlotControllerFirmwareUpdate();
        // No file dialog, no bootloader prompt: the reason the port failed, at once.
        QCOMPARE(w.dialogs.shown.size(), 1);
        QCOMPARE(w.dialogs.shown[0].kind, QString("critical"));
        QCOMPARE(w.dialogs.shown[0].title, QString("Firmware Update Error"));
        QCOMPARE(w.dialogs.shown[0].text, QString("Error Firmware Update on COM3:\nError open COM port"));
        QVERIFY(w.device->writtenBytes().empty());
        QVERIFY(!w.controller->IsConnected());
        QVERIFY(w.window->GetActions().controllerConnect->isEnabled());
    }

    void lateNotificationArmsNoWatchdog()
    {
        Window w;
        const Bytes image = Pattern(100, 3);
        w.device->queueReadBytes(BootloaderReplies(1, ZlibCrc(PaddedStream(image))));
        w.dialogs.fileAnswers.enqueue(w.File(image));
        // Posted by the library just before the port was reopened for the bootloader; it is
        // delivered while the transfer keeps the window painted.
        QCoreApplication::postEvent(KavrixKernel::Instance(),
                                    new UpdateControllerStatusEvent("COM3"));
        bool armedDuringTransfer = false;
        bool ran = false;
        QTimer::singleShot(0, w.window.get(), [&] {
            ran = true;
            armedDuringTransfer = w.controller->IsTimerActive();
        });
        w.device->clearCalls();
        w.dialogs.expectBox();  // the bootloader prompt
        w.window->SlotControllerFirmwareUpdate();

        QVERIFY(ran);
        QVERIFY(!armedDuringTransfer);
        QCOMPARE(w.device->countCalls("GetStatus_Schritte"), 0);
        QCOMPARE(w.dialogs.count("critical"), 0);
        QCOMPARE(w.Status(), QString("Firmwareübertragung ist abgeschlossen."));
    }

    void otherMachinesStopsWorkDuringTheTransfer()
    {
        ScriptedPorts ports;
        ScriptedDialogs dialogs;
        KavrixKernel* const kernel = KavrixKernel::Instance();
        TarvoController* const other = registerController("COM4");
        kernel->ConnectActiveController();
        TarvoController* const updated = registerController("COM3");
        KavrixMainWnd window;
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        const auto otherDevice = ports.device("COM4");
        const auto updatedDevice = ports.device("COM3");
        otherDevice->clearCalls();

        QTemporaryDir dir;
        const Bytes image = Pattern(100, 4);
        const QString path = dir.filePath("image.ktf");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char*>(image.data()), qint64(image.size()));
        file.close();
        updatedDevice->queueReadBytes(BootloaderReplies(1, ZlibCrc(PaddedStream(image))));
        dialogs.fileAnswers.enqueue(path);

        bool ran = false;
        QTimer::singleShot(0, &window, [&] {
            ran = true;
            // The operator picks the other machine's tab and stops it; its other buttons
            // stay out of reach like the rest of the window.
            QTabWidget* const tabs = window.GetControllerTabWidget();
            const int tab = window.FindControllerTab("COM4");
            QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {},
                              tabs->tabBar()->tabRect(tab).center());
            ManualControlWnd* const panel = window.GetControlPanel(tab);
            QTest::mouseClick(panel->findChild<QPushButton*>("ReferenzfahrtButton"),
                              Qt::LeftButton);
            QTest::mouseClick(panel->findChild<QPushButton*>("NotHaltMitBremsenButton"),
                              Qt::LeftButton);
            QTest::mouseClick(panel->findChild<QPushButton*>("NotStopOhneBremsenButton"),
                              Qt::LeftButton);
            // The window-wide stop reaches every connected machine but the one in its
            // bootloader.
            QTest::keyClick(&window, Qt::Key_Escape);
        });
        dialogs.expectBox();  // the bootloader prompt
        window.SlotControllerFirmwareUpdate();

        QVERIFY(ran);
        QCOMPARE(otherDevice->countCalls("NotHalt_mitBremsrampe"), 2);
        QCOMPARE(updatedDevice->countCalls("NotHalt_mitBremsrampe"), 0);
        QCOMPARE(otherDevice->countCalls("NotStop_ohneBremsrampe"), 1);
        QCOMPARE(otherDevice->countCalls("Referenzfahrt"), 0);
        // The update ends on the controller it began on, whichever is active now.
        QCOMPARE(kernel->GetActiveController(), other);
        QCOMPARE(dialogs.count("critical"), 0);
        QVERIFY(!updatedDevice->isOpen());
        QVERIFY(!updated->IsConnected());
        QVERIFY(otherDevice->isOpen());
        QVERIFY(other->IsConnected());
    }

    void closeRequestDuringTheTransferClosesAfterwards()
    {
        Window w;
        w.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        const Bytes image = Pattern(100, 5);
        w.device->queueReadBytes(BootloaderReplies(1, ZlibCrc(PaddedStream(image))));
        w.dialogs.fileAnswers.enqueue(w.File(image));
        bool refused = false;
        // What SIGTERM does: the window is asked to close.
        QTimer::singleShot(0, w.window.get(), [&] { refused = !w.window->close(); });
        w.dialogs.expectBox();  // the bootloader prompt
        w.window->SlotControllerFirmwareUpdate();

        QVERIFY(refused);
        QCOMPARE(w.Status(), QString("Firmwareübertragung ist abgeschlossen."));
        QVERIFY(!w.window->isVisible());
    }

    void progressSwallowsInputAndShowsBlocks()
    {
        QStatusBar bar;
        QLineEdit edit;
        edit.show();
        {
            FirmwareProgress progress(&bar);
            progress.Show(3, 17);
            QCOMPARE(progress.BlocksSent(), 3);
            QCOMPARE(progress.BlockCount(), 17);
            auto* const shown = bar.findChild<QProgressBar*>("firmwareProgressBar");
            QVERIFY(shown);
            QCOMPARE(shown->text(), QString("3 of 17 blocks"));
            QTest::keyClicks(&edit, "abc");
            QCOMPARE(edit.text(), QString());
        }
        QVERIFY(!bar.findChild<QProgressBar*>("firmwareProgressBar"));
        QTest::keyClicks(&edit, "abc");
        QCOMPARE(edit.text(), QString("abc"));
    }

    void windowStaysOpenWhileTheTransferRuns()
    {
        // A close request (window manager, SIGTERM) during the transfer is refused: the
        // window neither hides nor skips its own close handling (unsaved programs).
        QStatusBar bar;
        QWidget window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        {
            FirmwareProgress progress(&bar);
            progress.Show(1, 2);
            QVERIFY(!window.close());
            QVERIFY(window.isVisible());
        }
        QVERIFY(window.close());
        QVERIFY(!window.isVisible());
    }

    // --- end to end against the simulated controller's bootloader ---

    void updateThroughTheSimulatedBootloader_data()
    {
        QTest::addColumn<QString>("portMap");
        QTest::addColumn<QString>("message");
        QTest::newRow("verified") << "simulator" << QString();
        QTest::newRow("wrong checksum") << "simulator --wrong-crc" << WrongCrc;
    }

    void updateThroughTheSimulatedBootloader()
    {
        QFETCH(QString, portMap);
        QFETCH(QString, message);
        quenta::SimDevice::forgetPorts();
        QSettings(QStringLiteral("lumbrix"), QStringLiteral("Quenta"))
            .setValue("ports/COM5", portMap);
        ScriptedDialogs dialogs;
        KavrixKernel::Instance();
        registerController("COM5");
        KavrixMainWnd window;
        window.SlotControllerConnect();
        QVERIFY(KavrixKernel::Instance()->GetActiveController()->IsConnected());

        QTemporaryDir dir;
        const Bytes image = Pattern(128 * 1024 - 5, 12);  // the flash, all but 5 bytes
        const QString path = dir.filePath("firmware.ktf");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char*>(image.data()), qint64(image.size()));
        file.close();
        dialogs.clear();
        dialogs.fileAnswers.enqueue(path);
        dialogs.expectBox();  // the bootloader prompt
        if (!message.isEmpty())
            dialogs.expectBox();  // the failure
        window.SlotControllerFirmwareUpdate();

        if (message.isEmpty()) {
            QCOMPARE(dialogs.count("critical"), 0);
            QCOMPARE(window.statusBar()->currentMessage(),
                     QString("Firmwareübertragung ist abgeschlossen."));
        } else {
            QCOMPARE(dialogs.count("critical"), 1);
            QCOMPARE(dialogs.shown.last().text, "Error Firmware Update on COM5:\n" + message);
        }
        Bytes received;
        quenta::SimDevice::forPort("COM5", {})->withController(
            [&](quenta::SimController& c) { received = c.receivedFirmware(); });
        QVERIFY(received == PaddedStream(image));
        QVERIFY(!KavrixKernel::Instance()->GetActiveController()->IsConnected());
        quenta::SimDevice::forgetPorts();
    }
};

QTEST_MAIN(TestFirmware)
#include "tst_firmware.moc"
