// Reads any text as a parameter file, writes the set, and reads that again: nothing may
// crash, the written text must read back without a fatal error, and from then on writing
// and reading must be stable.

#include "tarvoparameters.h"

#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

bool hasFatal(const QStringList& messages)
{
    for (const QString& message : messages) {
        if (message.contains(QLatin1String("Sieh Dorvik_USB_Param.ncp, Zeile")))
            return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte picks the decoding, as files may come in either.
    const char* const bytes = reinterpret_cast<const char*>(data + 1);
    const qsizetype length = static_cast<qsizetype>(size - 1);
    const QString text = (data[0] & 1) ? QString::fromUtf8(bytes, length)
                                       : QString::fromLatin1(bytes, length);

    TarvoParameters first;
    if (data[0] & 2)
        first.ResetToDefaults();
    QStringList messages;
    first.LoadFromText(text, messages);
    const QString saved = first.SaveToText();

    TarvoParameters second;
    messages.clear();
    second.LoadFromText(saved, messages);
    if (hasFatal(messages))
        std::abort();
    const QString savedAgain = second.SaveToText();

    TarvoParameters third;
    messages.clear();
    third.LoadFromText(savedAgain, messages);
    if (hasFatal(messages) || third.SaveToText() != savedAgain)
        std::abort();
    return 0;
}
