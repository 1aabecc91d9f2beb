#include "tarvocontroller.h"

#include "kavrixkernel.h"
#include "recordport.h"

#include <cstring>

TarvoController::TarvoController(const QString& port, int baudRate)
    : QObject(nullptr)
    , portSettings(std::make_unique<TarvoPortSettings>())
{
    InitCommPortSettings(portSettings.get());
    if (!port.isNull())
        SetRecordPort(portSettings.get(), port);
    if (baudRate != 0)
        portSettings->baudRate = baudRate;
    status = std::make_unique<TarvoStatus>();
    parameters = std::make_unique<TarvoParameters>();

    KavrixKernel* const kernel = KavrixKernel::Instance();
    watchdog = std::make_unique<QTimer>();
    watchdog->setSingleShot(true);
    watchdog->setInterval(WatchdogIntervalMs);
    connect(watchdog.get(), &QTimer::timeout, this, &TarvoController::WatchdogExpired);
    connect(this, &TarvoController::SignalConnectTimeout, kernel,
            &KavrixKernel::SignalTimeoutDisconnect);
}

TarvoController::~TarvoController()
{
    if (connected) {
        watchdog->stop();
        TarvoCloseTransfer(portSettings.get());
        TarvoCloseConnection(portSettings.get());
        connected = false;
        firmwareMode = false;
    }
}

QString TarvoController::GetComPort() const
{
    return RecordPort(portSettings.get());
}

QString TarvoController::GetControllerName() const
{
    return QString::fromLatin1(portSettings->controllerName,
                               static_cast<int>(strnlen(portSettings->controllerName,
                                                        sizeof portSettings->controllerName)));
}

int TarvoController::GetBaudRate() const
{
    return portSettings->baudRate;
}

QString TarvoController::GetConnectErrorText() const
{
    switch (portSettings->openResult) {
    case 1: return tr("Error open COM port");
    case 2: return tr("Device is not recognized as controller");
    case 3: return tr("No controller found");
    case 4: return tr("No controller with given name is found");
    default: return QString();
    }
}

void TarvoController::UpdateStatus()
{
    status->FetchStatus(GetPortSettings());
}

void TarvoController::RestartTimer()
{
    if (connected && !firmwareMode) {
        // Reports arrive up to 50 times a second per controller; restarting the timer each
        // time would unregister and register it with the event loop as often. Noting the
        // time is enough: WatchdogExpired re-arms for what is left of the interval.
        sinceRestart.start();
        if (!watchdog->isActive())
            watchdog->start(WatchdogIntervalMs);
    } else {
        watchdog->stop();
    }
}

void TarvoController::WatchdogExpired()
{
    const qint64 left =
        sinceRestart.isValid() ? WatchdogIntervalMs - sinceRestart.elapsed() : 0;
    if (left > 0) {
        watchdog->start(int(left));
        return;
    }
    SlotConnectTimeout();
}

void TarvoController::StopTimer()
{
    watchdog->stop();
}

void TarvoController::Connect()
{
    connected = false;
    portSettings->openResult = 0;
    if (TarvoOpenConnectionPort(portSettings.get(), 0) == 1)
        connected = true;
    // Armed only while connected: a failed reopen must not leave an old watchdog running.
    RestartTimer();
}

void TarvoController::Disconnect()
{
    StopTimer();
    TarvoCloseTransfer(portSettings.get());
    TarvoCloseConnection(portSettings.get());
    connected = false;
    firmwareMode = false;
}

int TarvoController::Connect4FirmwareUpdate()
{
    StopTimer();
    connected = false;
    portSettings->openResult = 0;
    const int result = TarvoOpenConnection4FirmwareUpdate(portSettings.get());
    if (result == 1) {
        connected = true;
        firmwareMode = true;
    }
    return result;
}

int TarvoController::DisconnectNachFirmwareUpdate()
{
    const int result = TarvoCloseConnection(portSettings.get());
    connected = false;
    firmwareMode = false;
    return result;
}

void TarvoController::SlotConnectTimeout()
{
    Q_EMIT SignalConnectTimeout(GetComPort());
}
