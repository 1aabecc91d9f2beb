#pragma once
// The bootloader transfer of one firmware image over a controller port opened in
// firmware-update mode: identification, erase, framed 8 KiB blocks and the CRC-32 check.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <cstdint>
#include <functional>

class QWidget;
struct TarvoPortSettings;

// CRC-32 of IEEE 802.3 (reflected polynomial 0xEDB88320, register starting at 0xFFFFFFFF,
// final value complemented), the checksum the bootloader reports over the received data.
class FirmwareCrc32 {
public:
    void Update(const uint8_t* bytes, qint64 count);
    // The complemented register: the checksum of everything fed so far.
    uint32_t Value() const { return ~reg; }

private:
    uint32_t reg = 0xFFFFFFFFu;
};

namespace Firmware {

constexpr int BlockSize = 8192;
constexpr int FrameSize = BlockSize + 1;
// Frames go out as one write of FirstWriteSize bytes ("#" and 512 data bytes) and
// (FrameSize - FirstWriteSize) / WriteSize further writes.
constexpr int FirstWriteSize = 513;
constexpr int WriteSize = 512;
// Read calls without any byte after which a bootloader counts as silent (each call waits
// about 1 ms when nothing is buffered, so about 5 s).
constexpr int ReplyWaitCalls = 5000;

// Blocks an image of size bytes is cut into: a size that is an exact multiple of BlockSize
// (0 included) gets one more block that carries no image bytes.
int BlockCount(qint64 size);
// Image bytes in the last block (0 ... BlockSize - 1).
int LastBlockBytes(qint64 size);
// The FrameSize bytes of block j: "#", then the block's image bytes, then 0xFF filling.
QByteArray BuildFrame(const uint8_t* image, qint64 size, int block);

// The flash memory a bootloader offers, from the name it answers "S" with: "AVRB128" holds
// 128 KiB. 0 when the name carries no size.
qint64 FlashBytes(const uint8_t* name, int count);
// The CRC-32 the bootloader reports after receiving the image: over every block's
// BlockSize data bytes, the 0xFF filling included.
uint32_t ImageCrc(const uint8_t* image, qint64 size);

// Reads a whole firmware file. False when it cannot be opened or read, or when the read
// brings fewer bytes than the file's size (such an image must not be sent).
bool ReadImageFile(const QString& path, QByteArray& image);

}  // namespace Firmware

// What the transfer reports to its caller while it runs. Every member may stay empty.
struct FirmwareTransferHooks {
    QWidget* parent = nullptr;  // parent of the bootloader prompt
    // A status bar text, shown for 2000 ms.
    std::function<void(const QString& text)> showStatus;
    // Blocks sent so far of all blocks; called before the first block, after every block and
    // repeatedly while a reply is awaited, so the caller can keep its window painted.
    std::function<void(int sent, int total)> progress;
};

enum class FirmwareTransferResult {
    Cancelled,  // the operator did not confirm the bootloader prompt; nothing was sent
    Finished,   // the transfer ran; the message list tells whether it succeeded
};

// Sends the image to the bootloader behind portSettings. Appends at most one message to
// messages; an empty list after Finished means the bootloader confirmed the checksum.
// An empty image is refused before the bootloader prompt, one larger than the bootloader's
// flash right after its identification (which then starts the old firmware again, nothing
// erased): both Finished with their message.
FirmwareTransferResult TransferFirmware(TarvoPortSettings* portSettings, const uint8_t* image,
                                        qint64 size, QStringList& messages,
                                        const FirmwareTransferHooks& hooks = {});
