#include "testenv.h"

#include <QCoreApplication>
#include <QSettings>

void initTestSettings()
{
    QCoreApplication::setOrganizationName(QStringLiteral("lumbrix"));
    QCoreApplication::setApplicationName(QStringLiteral("Kavro"));
    QSettings::setDefaultFormat(QSettings::NativeFormat);
    QSettings().clear();
    QSettings(QStringLiteral("lumbrix"), QStringLiteral("Quenta")).clear();
}

ScriptedPorts::ScriptedPorts()
{
    quenta::setDeviceFactory([this](const std::string& port) { return device(port); });
}

ScriptedPorts::~ScriptedPorts()
{
    quenta::setDeviceFactory({});
}

std::shared_ptr<quenta::ScriptedDevice> ScriptedPorts::device(const std::string& port)
{
    auto& d = devices[port];
    if (!d)
        d = std::make_shared<quenta::ScriptedDevice>();
    return d;
}
