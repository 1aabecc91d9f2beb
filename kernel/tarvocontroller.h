#pragma once
// The program's handle on one controller at one port: its link-library record, its last
// status, its parameter set, and the watchdog that notices a controller gone silent.

#include "quenta.h"
#include "tarvoparameters.h"
#include "tarvostatus.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class TarvoController : public QObject {
    Q_OBJECT
public:
    static constexpr int WatchdogIntervalMs = 3000;

    // port: at most 7 characters are kept; baudRate 0 keeps the library's default.
    explicit TarvoController(const QString& port = QString(), int baudRate = 0);
    // Closes the port first if it is still open, so the library never keeps a freed record.
    ~TarvoController() override;

    QString GetComPort() const;
    QString GetControllerName() const;
    int GetBaudRate() const;
    QString GetConnectErrorText() const;
    TarvoPortSettings* GetPortSettings() { return portSettings.get(); }
    TarvoStatus& GetStatus() { return *status; }
    TarvoParameters& GetParameters() { return *parameters; }
    bool IsConnected() const { return connected; }
    // Open in firmware-update mode: the port is a raw byte channel to the bootloader, so no
    // status is read and no watchdog runs until DisconnectNachFirmwareUpdate.
    bool IsInFirmwareMode() const { return firmwareMode; }
    void UpdateStatus();
    void RestartTimer();
    void StopTimer();
    bool IsTimerActive() const { return watchdog->isActive(); }

Q_SIGNALS:
    void SignalConnectTimeout(QString comPort);

public Q_SLOTS:
    void Connect();
    void Disconnect();
    int Connect4FirmwareUpdate();
    int DisconnectNachFirmwareUpdate();
    void SlotConnectTimeout();

private:
    std::unique_ptr<TarvoPortSettings> portSettings;
    std::unique_ptr<TarvoStatus> status;
    std::unique_ptr<TarvoParameters> parameters;
    bool connected = false;
    bool firmwareMode = false;
    std::unique_ptr<QTimer> watchdog;
    // When RestartTimer last ran: a running watchdog is not restarted on every report but
    // re-armed for the rest of the interval when it runs out early.
    QElapsedTimer sinceRestart;
    void WatchdogExpired();
};
