#include "adapters.h"

#include "grbldevice.h"
#include "grblhoststore.h"

#include <QSerialPortInfo>
#include <QStringList>

namespace quenta {

namespace {

const QLatin1String usbPrefix("usb:");

QString hex4(uint16_t v)
{
    return QStringLiteral("%1").arg(v, 4, 16, QLatin1Char('0'));
}

// A probe keeps no parameters of its own.
class NoHostParameters : public grbl::HostParameterStore {
public:
    std::map<uint16_t, Device::ParamValue> load() override { return {}; }
    void save(uint16_t, const Device::ParamValue&) override {}
};

}  // namespace

QString SerialAdapter::identity() const
{
    if (!hasIds)
        return {};
    QString id = usbPrefix + hex4(vendorId) + QLatin1Char(':') + hex4(productId);
    // A serial number with a colon cannot be told apart from the ids: such adapters are
    // named by their ids alone.
    if (!serialNumber.isEmpty() && !serialNumber.contains(QLatin1Char(':')))
        id += QLatin1Char(':') + serialNumber;
    return id;
}

QList<SerialAdapter> serialAdapters()
{
    QList<SerialAdapter> out;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        SerialAdapter a;
        a.path = info.systemLocation();
        a.description = info.description();
        a.manufacturer = info.manufacturer();
        a.serialNumber = info.serialNumber();
        a.hasIds = info.hasVendorIdentifier() && info.hasProductIdentifier();
        a.vendorId = info.vendorIdentifier();
        a.productId = info.productIdentifier();
        out.append(a);
    }
    return out;
}

bool isAdapterIdentity(const QString& device)
{
    return device.startsWith(usbPrefix, Qt::CaseInsensitive);
}

QString resolveAdapter(const QString& identity, const QList<SerialAdapter>& adapters,
                       QString& missing)
{
    const QStringList parts = identity.mid(usbPrefix.size()).split(QLatin1Char(':'));
    bool vendorOk = false;
    bool productOk = false;
    const uint vendor = parts.value(0).toUInt(&vendorOk, 16);
    const uint product = parts.value(1).toUInt(&productOk, 16);
    const QString serial = parts.size() > 2 ? parts.mid(2).join(QLatin1Char(':')) : QString();
    if (vendorOk && productOk) {
        for (const SerialAdapter& a : adapters) {
            if (a.hasIds && a.vendorId == vendor && a.productId == product
                && (serial.isEmpty() || a.serialNumber == serial))
                return a.path;
        }
    }
    missing = serial.isEmpty()
                  ? QStringLiteral("USB adapter %1:%2 is not connected")
                        .arg(parts.value(0), parts.value(1))
                  : QStringLiteral("USB adapter %1:%2 with serial number %3 is not connected")
                        .arg(parts.value(0), parts.value(1), serial);
    return {};
}

bool probeGrbl(const std::string& path, int32_t baud, std::string& what)
{
    GrblDevice device(path, std::string(), std::make_unique<NoHostParameters>());
    std::string name;
    const int code = device.open(OpenMode::Normal, baud, name);
    if (code != 0) {
        const std::string reason = device.openFailure();
        what = code == 1 ? "cannot open " + path + (reason.empty() ? "" : ": " + reason)
                         : code == 2 ? "the device answers, but not as GRBL"
                                     : "no answer";
        return false;
    }
    device.close();
    what = name;
    return true;
}

}  // namespace quenta
