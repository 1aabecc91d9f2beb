#include "firmwaretransfer.h"

#include "dialogs.h"
#include "quenta.h"
#include "waitcursor.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <array>
#include <cstring>
#include <new>

namespace {

// The byte-wise table of the reflected polynomial; each entry is eight steps of the
// bit-serial update (shift right, XOR 0xEDB88320 when the bit shifted out was set).
constexpr std::array<uint32_t, 256> MakeCrcTable()
{
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t r = i;
        for (int bit = 0; bit < 8; ++bit)
            r = (r & 1u) ? (r >> 1) ^ 0xEDB88320u : r >> 1;
        table[i] = r;
    }
    return table;
}

constexpr std::array<uint32_t, 256> CrcTable = MakeCrcTable();

constexpr int ReplyBufferSize = 7;
// While a reply is awaited, the caller's progress hook runs after this many empty reads.
constexpr int PollsPerProgressCall = 50;

const uint8_t BootloaderId[ReplyBufferSize] = {'A', 'V', 'R', 'B', '1', '2', '8'};

// One transfer: the port, the reply buffer and the caller's hooks.
class BootloaderLink {
public:
    BootloaderLink(TarvoPortSettings* portSettings, const FirmwareTransferHooks& hooks)
        : portSettings(portSettings), hooks(hooks)
    {
    }

    void Send(const uint8_t* bytes, int count)
    {
        TarvoWriteChar(portSettings, bytes, count);
    }

    void Send(char byte)
    {
        const auto b = static_cast<uint8_t>(byte);
        Send(&b, 1);
    }

    // Zeroes the reply buffer and reads with the given count until a read reports at least
    // one byte. Returns that read's count, 0 when ReplyWaitCalls reads brought nothing.
    int WaitForReply(int count)
    {
        reply.fill(0);
        return ReadInto(0, count);
    }

    // Like WaitForReply, but goes on reading until all count bytes are there, so a reply
    // that arrives in pieces is read whole. Returns the bytes received.
    int WaitForWholeReply(int count)
    {
        reply.fill(0);
        int received = 0;
        while (received < count) {
            const int n = ReadInto(received, count - received);
            if (n == 0)
                break;
            received += n;
        }
        return received;
    }

    const uint8_t* Reply() const { return reply.data(); }

    void Progress(int sent)
    {
        blocksSent = sent;
        if (hooks.progress)
            hooks.progress(blocksSent, blockCount);
    }

    void SetBlockCount(int n) { blockCount = n; }

private:
    int ReadInto(int offset, int count)
    {
        for (int call = 1; call <= Firmware::ReplyWaitCalls; ++call) {
            const int n = TarvoReadChar(portSettings, reply.data() + offset, count);
            if (n > 0)
                return qMin(n, count);
            if (call % PollsPerProgressCall == 0 && hooks.progress)
                hooks.progress(blocksSent, blockCount);
        }
        return 0;
    }

    TarvoPortSettings* const portSettings;
    const FirmwareTransferHooks& hooks;
    std::array<uint8_t, ReplyBufferSize> reply{};
    int blocksSent = 0;
    int blockCount = 0;
};

}  // namespace

void FirmwareCrc32::Update(const uint8_t* bytes, qint64 count)
{
    uint32_t r = reg;
    for (qint64 i = 0; i < count; ++i)
        r = CrcTable[(r ^ bytes[i]) & 0xFFu] ^ (r >> 8);
    reg = r;
}

namespace Firmware {

int BlockCount(qint64 size)
{
    return static_cast<int>(size / BlockSize) + 1;
}

int LastBlockBytes(qint64 size)
{
    return static_cast<int>(size - qint64(BlockCount(size) - 1) * BlockSize);
}

QByteArray BuildFrame(const uint8_t* image, qint64 size, int block)
{
    QByteArray frame(FrameSize, char(0xFF));
    frame[0] = '#';
    const qint64 offset = qint64(block) * BlockSize;
    const qint64 available = qBound(qint64(0), size - offset, qint64(BlockSize));
    if (available > 0)
        std::memcpy(frame.data() + 1, image + offset, static_cast<size_t>(available));
    return frame;
}

qint64 FlashBytes(const uint8_t* name, int count)
{
    const QByteArray text(reinterpret_cast<const char*>(name), count);
    if (!text.startsWith("AVRB"))
        return 0;
    bool ok = false;
    const qint64 kib = text.mid(4).toLongLong(&ok);
    return ok && kib > 0 ? kib * 1024 : 0;
}

uint32_t ImageCrc(const uint8_t* image, qint64 size)
{
    FirmwareCrc32 crc;
    for (int block = 0; block < BlockCount(size); ++block) {
        const QByteArray frame = BuildFrame(image, size, block);
        crc.Update(reinterpret_cast<const uint8_t*>(frame.constData()) + 1, BlockSize);
    }
    return crc.Value();
}

bool ReadImageFile(const QString& path, QByteArray& image)
{
    image.clear();
    // Only regular files: a pipe or device could block the open or the read without end.
    if (!QFileInfo(path).isFile())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = file.size();
    try {
        image = file.read(size);
    } catch (const std::bad_alloc&) {
        image.clear();
        return false;
    }
    if (image.size() != size) {
        image.clear();
        return false;
    }
    return true;
}

}  // namespace Firmware

FirmwareTransferResult TransferFirmware(TarvoPortSettings* portSettings, const uint8_t* image,
                                        qint64 size, QStringList& messages,
                                        const FirmwareTransferHooks& hooks)
{
    if (size <= 0 || !image) {
        // Nothing to program: the operator is not even asked to restart the controller.
        messages.append(QCoreApplication::translate(
            "KavrixMainWnd", "The firmware image is empty: nothing was sent."));
        return FirmwareTransferResult::Finished;
    }
    const QMessageBox::StandardButton answer = Dialogs::warning(
        hooks.parent, QCoreApplication::translate("KavrixMainWnd", "Action required"),
        QStringLiteral("Aktivieren Sie den Bootloader am Controller (Enter+Reset) und drucken "
                       "Sie Ok "),
        QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok);
    if (answer != QMessageBox::Ok)
        return FirmwareTransferResult::Cancelled;

    const WaitCursor waitCursor;
    const int blockCount = Firmware::BlockCount(size);
    BootloaderLink link(portSettings, hooks);
    link.SetBlockCount(blockCount);
    const QString silentText =
        QStringLiteral("Update fehlgeschlagen! Bootloader antwortet nicht!");

    // Identification: attempted once; a reply that is short or different means no bootloader.
    link.Send('S');
    link.WaitForReply(ReplyBufferSize);
    if (std::memcmp(link.Reply(), BootloaderId, ReplyBufferSize) != 0) {
        messages.append(QStringLiteral("KTF-Bootloader nicht gefunden!"));
        return FirmwareTransferResult::Finished;
    }
    const qint64 flash = Firmware::FlashBytes(link.Reply(), ReplyBufferSize);
    if (flash > 0 && size > flash) {
        // Before the erase: "$" only reports the (empty) checksum and starts the firmware the
        // controller had, so the machine is left as it was.
        const QString name = QString::fromLatin1(
            reinterpret_cast<const char*>(link.Reply()), ReplyBufferSize);
        messages.append(QCoreApplication::translate(
            "KavrixMainWnd", "The firmware image (%1 bytes) does not fit into the flash "
                             "memory of bootloader %2 (%3 bytes): nothing was sent.")
                            .arg(size).arg(name).arg(flash));
        link.Send('$');
        link.WaitForWholeReply(4);
        return FirmwareTransferResult::Finished;
    }
    if (hooks.showStatus)
        hooks.showStatus(QStringLiteral("Firmwareübertragung ..."));

    // Programming mode, erase, start address.
    link.Send('P');
    if (link.WaitForReply(1) == 0) {
        messages.append(silentText);
        return FirmwareTransferResult::Finished;
    }
    link.Send('e');
    if (link.WaitForReply(1) == 0) {
        messages.append(silentText);
        return FirmwareTransferResult::Finished;
    }
    const uint8_t address[3] = {'A', '.', '.'};
    link.Send(address, 3);
    if (link.WaitForReply(3) == 0) {
        messages.append(silentText);
        return FirmwareTransferResult::Finished;
    }

    // The register starts afresh for every transfer; the "#" bytes stay outside the sum.
    FirmwareCrc32 crc;
    link.Progress(0);
    for (int block = 0; block < blockCount; ++block) {
        const QByteArray frame = Firmware::BuildFrame(image, size, block);
        const auto* bytes = reinterpret_cast<const uint8_t*>(frame.constData());
        crc.Update(bytes + 1, Firmware::BlockSize);
        link.Send(bytes, Firmware::FirstWriteSize);
        for (int at = Firmware::FirstWriteSize; at < Firmware::FrameSize;
             at += Firmware::WriteSize)
            link.Send(bytes + at, Firmware::WriteSize);
        if (link.WaitForReply(1) == 0) {
            messages.append(silentText);
            return FirmwareTransferResult::Finished;
        }
        link.Progress(block + 1);
    }

    if (hooks.showStatus)
        hooks.showStatus(QStringLiteral("Checksumme prüfen ..."));
    link.Send('$');
    if (link.WaitForWholeReply(4) == 0) {
        messages.append(silentText);
        return FirmwareTransferResult::Finished;
    }
    const uint8_t* r = link.Reply();
    const uint32_t reported = uint32_t(r[0]) << 24 | uint32_t(r[1]) << 16 | uint32_t(r[2]) << 8
                              | uint32_t(r[3]);
    if (reported != crc.Value())
        messages.append(QStringLiteral("Update fehlgeschlagen! Checksumme stimmt nicht!"));
    return FirmwareTransferResult::Finished;
}
