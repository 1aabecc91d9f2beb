#pragma once
// The one object that owns every known controller, knows the active one, keeps the
// controller list model, turns the link library's status notifications into GUI-thread
// events and routes command lines to the editor or the output log.

#include <QEvent>
#include <QMap>
#include <QModelIndex>
#include <QObject>
#include <QString>
#include <QStringList>

class QDialog;
class QPlainTextEdit;
class QStandardItemModel;
class TarvoController;
struct TarvoPortSettings;

// The event type of UpdateControllerStatusEvent, registered once before main runs.
extern const QEvent::Type UpdateControllerStatusEventType;

// Posted to the kernel from the link library's thread: "this port has new status".
class UpdateControllerStatusEvent : public QEvent {
public:
    explicit UpdateControllerStatusEvent(const QString& comPort)
        : QEvent(UpdateControllerStatusEventType), comPort(comPort) {}
    QString comPort;
};

// Registered with the link library; runs on the library's thread.
void StatusNotificationCallback(TarvoPortSettings* portSettings);

class KavrixKernel : public QObject {
    Q_OBJECT
public:
    // The kernel, created on first call (the application object must exist).
    static KavrixKernel* Instance();
    // The kernel if it exists, without creating it (safe on the library's thread only under
    // the library's callback lock, which the destructor takes before the kernel goes away).
    static KavrixKernel* ExistingInstance();
    ~KavrixKernel() override;

    TarvoController* FindController(const QString& comPort) const;
    QModelIndex FindControllerIndex(const QString& comPort) const;
    bool AddController(TarvoController* controller);
    void RemoveController(const QString& comPort);
    TarvoController* GetActiveController() const { return active; }
    QString GetActiveControllerPort() const;
    QStandardItemModel* GetControllerModel() const { return model; }
    // Registered controllers in port order.
    QList<TarvoController*> GetControllers() const { return controllers.values(); }
    int ExecDialogWithoutTimers(QDialog* dialog);
    bool IsCommandToEditor() const { return commandToEditor; }
    // Announces a change with SignalCommandDestinationChanged.
    void SetCommandToEditor(bool toEditor);
    // The list's name column: the name the controller on comPort reported (on connect, or
    // when its name parameter was read or written).
    void ShowControllerName(const QString& comPort, const QString& name);

    // Called by the status callback on the library's thread: posts an event, nothing else.
    void OnStatusNotification(TarvoPortSettings* portSettings);

    // RAM programs: check the editor's text and write it into slot ramNumber (1..4); an empty
    // messages list afterwards means success.
    void WriteRAMProgramm(TarvoPortSettings* portSettings, QPlainTextEdit* editor, int ramNumber,
                          QStringList& messages);
    int StartRAMProgrammInSlot(TarvoPortSettings* portSettings, int ramNumber, int count);
    static bool IsRAMCommand(const QString& word);

Q_SIGNALS:
    void SignalActiveControllerChanged(QString active);
    void SignalControllerAdded(QString comPort);
    void SignalControllerRemoved(QString comPort);
    void SignalUpdateControllerStatus(QString comPort);
    void SignalTimeoutDisconnect(QString comPort);
    void SignalCommandToEdit(QString cmd);
    void SignalCommandToOutput(QString cmd);
    // The command destination switched between the controller and the editor.
    void SignalCommandDestinationChanged(bool toEditor);

public Q_SLOTS:
    void SetActiveController(TarvoController* controller);
    void SetActiveController(QString comPort);
    void CloseAllConnections();
    void RestartAllTimers();
    void StopAllTimers();
    void ConnectActiveController();
    void DisconnectActiveController();
    void DisconnectController(TarvoController* controller);
    void ConnectActivController4FirmwareUpdate();
    void DisconnectActiveControllerNachFirmwareUpdate();
    void DisconnectControllerNachFirmwareUpdate(TarvoController* controller);
    void ReadSettings();
    void WriteSettings();
    void WriteCommand(QString cmd);

protected:
    void customEvent(QEvent* event) override;

private:
    KavrixKernel();
    void SetStateText(const QString& comPort, const QString& state);

    QMap<QString, TarvoController*> controllers;
    TarvoController* active = nullptr;
    QStandardItemModel* model = nullptr;
    bool commandToEditor = false;
};

// Stops every controller's watchdog for its lifetime (a modal file dialog, during which no
// status is handled) and restarts them with a fresh interval when it ends, on every path out.
class WatchdogPause {
public:
    WatchdogPause() { KavrixKernel::Instance()->StopAllTimers(); }
    ~WatchdogPause() { KavrixKernel::Instance()->RestartAllTimers(); }
    WatchdogPause(const WatchdogPause&) = delete;
    WatchdogPause& operator=(const WatchdogPause&) = delete;
};
