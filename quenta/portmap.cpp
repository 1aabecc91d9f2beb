#include "portmap.h"

#include <QVariant>

namespace quenta {

namespace {

const QLatin1String simulatorWord("simulator");
const QLatin1String grblPrefix("grbl:");

QString portKey(const QString& port)
{
    return QStringLiteral("ports/") + port;
}

}  // namespace

QSettings linkSettings()
{
    return QSettings(QStringLiteral("lumbrix"), QStringLiteral("Quenta"));
}

PortMapEntry PortMapEntry::parse(const QString& value)
{
    PortMapEntry entry;
    const QString text = value.trimmed();
    const QString word = text.section(QLatin1Char(' '), 0, 0);
    if (text.isEmpty() || word.compare(simulatorWord, Qt::CaseInsensitive) == 0) {
        entry.options = text.mid(word.size()).trimmed();
    } else if (text.startsWith(grblPrefix, Qt::CaseInsensitive)) {
        entry.kind = Kind::Grbl;
        entry.device = text.mid(grblPrefix.size()).trimmed();
    } else {
        entry.kind = Kind::Serial;
        entry.device = text;
    }
    return entry;
}

QString PortMapEntry::value() const
{
    switch (kind) {
    case Kind::Simulator:
        return options.isEmpty() ? QString(simulatorWord)
                                 : QString(simulatorWord) + QLatin1Char(' ') + options;
    case Kind::Grbl:
        return grblPrefix + device;
    case Kind::Serial:
        break;
    }
    return device;
}

QString portMapValue(const QString& port)
{
    const QVariant value = linkSettings().value(portKey(port));
    return value.userType() == QMetaType::QStringList
               ? value.toStringList().join(QLatin1Char(','))
               : value.toString();
}

void setPortMapValue(QSettings& settings, const QString& port, const QString& value)
{
    settings.setValue(portKey(port), value);
}

}  // namespace quenta
