#include "recordport.h"

#include "quenta.h"

#include <cstring>

QString RecordPort(const TarvoPortSettings* record)
{
    return QString::fromLatin1(record->comPort,
                               static_cast<int>(strnlen(record->comPort, sizeof record->comPort)));
}

void SetRecordPort(TarvoPortSettings* record, const QString& port)
{
    const QByteArray bytes = port.left(int(sizeof record->comPort) - 1).toLatin1();
    std::memset(record->comPort, 0, sizeof record->comPort);
    std::memcpy(record->comPort, bytes.constData(), static_cast<size_t>(bytes.size()));
}
