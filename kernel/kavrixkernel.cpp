#include "kavrixkernel.h"

#include "dialogs.h"
#include "quenta.h"
#include "recordport.h"
#include "tarvocontroller.h"
#include "tarvoparameters.h"

#include <QCoreApplication>
#include <QDialog>
#include <QSettings>
#include <QStandardItemModel>

#include <atomic>

const QEvent::Type UpdateControllerStatusEventType =
    static_cast<QEvent::Type>(QEvent::registerEventType());

namespace {

std::atomic<KavrixKernel*> instance{nullptr};

QStandardItem* readOnlyItem(const QString& text)
{
    auto* item = new QStandardItem(text);
    item->setEditable(false);
    return item;
}

const QString connectedText = QStringLiteral("connected");
const QString disconnectedText = QStringLiteral("disconnected");

}  // namespace

void StatusNotificationCallback(TarvoPortSettings* portSettings)
{
    // Never creates a kernel: on this thread only an existing one may be used.
    if (KavrixKernel* const kernel = KavrixKernel::ExistingInstance())
        kernel->OnStatusNotification(portSettings);
}

KavrixKernel* KavrixKernel::Instance()
{
    KavrixKernel* kernel = instance.load();
    if (!kernel) {
        kernel = new KavrixKernel();
        instance.store(kernel);
        SetStatusNotificationCallback(&StatusNotificationCallback);
    }
    return kernel;
}

KavrixKernel* KavrixKernel::ExistingInstance()
{
    return instance.load();
}

KavrixKernel::KavrixKernel()
    : QObject(QCoreApplication::instance())
{
    model = new QStandardItemModel(0, 3, this);
    model->setHeaderData(0, Qt::Horizontal, tr("COM port"));
    model->setHeaderData(1, Qt::Horizontal, tr("Controller name"));
    model->setHeaderData(2, Qt::Horizontal, tr("State"));
    // A long parameter transfer keeps the watchdogs from taking it for a lost controller.
    TarvoParameters::SetTransferHeartbeat([] {
        if (KavrixKernel* const kernel = ExistingInstance())
            kernel->RestartAllTimers();
    });
}

KavrixKernel::~KavrixKernel()
{
    TarvoParameters::SetTransferHeartbeat(nullptr);
    WriteSettings();
    // Once this returns no notification is running or about to start, so no event can be
    // posted to a half-destroyed kernel and no record is read after its controller is gone.
    SetStatusNotificationCallback(nullptr);
    active = nullptr;
    for (TarvoController* controller : std::as_const(controllers))
        delete controller;
    controllers.clear();
    instance.store(nullptr);
}

TarvoController* KavrixKernel::FindController(const QString& comPort) const
{
    return controllers.value(comPort, nullptr);
}

QModelIndex KavrixKernel::FindControllerIndex(const QString& comPort) const
{
    for (int row = 0; row < model->rowCount(); ++row) {
        const QModelIndex index = model->index(row, 0);
        if (index.data().toString() == comPort)
            return index;
    }
    return QModelIndex();
}

bool KavrixKernel::AddController(TarvoController* controller)
{
    if (!controller)
        return false;
    const QString port = controller->GetComPort();
    if (controllers.contains(port))
        return false;
    controllers.insert(port, controller);
    model->insertRow(0, {readOnlyItem(port), readOnlyItem(controller->GetControllerName()),
                         readOnlyItem(disconnectedText)});
    model->sort(0, Qt::AscendingOrder);
    Q_EMIT SignalControllerAdded(port);
    SetActiveController(controller);
    return true;
}

void KavrixKernel::RemoveController(const QString& comPort)
{
    if (TarvoController* const controller = controllers.value(comPort, nullptr)) {
        if (controller == active)
            active = nullptr;
        delete controller;
        controllers.remove(comPort);
    }
    for (int row = model->rowCount() - 1; row >= 0; --row) {
        if (model->index(row, 0).data().toString() == comPort)
            model->removeRow(row);
    }
    if (controllers.isEmpty())
        Q_EMIT SignalActiveControllerChanged(QString());
    else if (!active)
        SetActiveController(controllers.first());
    Q_EMIT SignalControllerRemoved(comPort);
}

QString KavrixKernel::GetActiveControllerPort() const
{
    return active ? active->GetComPort() : QString();
}

int KavrixKernel::ExecDialogWithoutTimers(QDialog* dialog)
{
    StopAllTimers();
    const int result = Dialogs::seam().exec(dialog);
    RestartAllTimers();
    return result;
}

void KavrixKernel::OnStatusNotification(TarvoPortSettings* portSettings)
{
    if (!portSettings)
        return;
    QCoreApplication::postEvent(this, new UpdateControllerStatusEvent(RecordPort(portSettings)));
}

void KavrixKernel::customEvent(QEvent* event)
{
    if (event->type() != UpdateControllerStatusEventType)
        return;
    event->accept();
    const QString port = static_cast<UpdateControllerStatusEvent*>(event)->comPort;
    TarvoController* const controller = FindController(port);
    // A notification posted just before the port was reopened for the bootloader is stale:
    // the raw channel carries no status, and no watchdog may run in firmware mode.
    if (!controller || controller->IsInFirmwareMode())
        return;
    controller->UpdateStatus();
    controller->RestartTimer();
    Q_EMIT SignalUpdateControllerStatus(port);
}

void KavrixKernel::SetActiveController(TarvoController* controller)
{
    if (controller == active)
        return;
    active = controller;
    Q_EMIT SignalActiveControllerChanged(active ? active->GetComPort() : QString());
}

void KavrixKernel::SetActiveController(QString comPort)
{
    SetActiveController(FindController(comPort));
}

void KavrixKernel::SetStateText(const QString& comPort, const QString& state)
{
    const QModelIndex index = FindControllerIndex(comPort);
    if (index.isValid())
        model->setData(index.siblingAtColumn(2), state);
}

void KavrixKernel::ShowControllerName(const QString& comPort, const QString& name)
{
    const QModelIndex index = FindControllerIndex(comPort);
    if (index.isValid())
        model->setData(index.siblingAtColumn(1), name);
}

void KavrixKernel::CloseAllConnections()
{
    for (TarvoController* controller : std::as_const(controllers)) {
        if (controller->IsConnected()) {
            controller->Disconnect();
            SetStateText(controller->GetComPort(), disconnectedText);
        }
    }
}

void KavrixKernel::RestartAllTimers()
{
    for (TarvoController* controller : std::as_const(controllers)) {
        if (controller->IsConnected())
            controller->RestartTimer();
    }
}

void KavrixKernel::StopAllTimers()
{
    for (TarvoController* controller : std::as_const(controllers)) {
        if (controller->IsConnected())
            controller->StopTimer();
    }
}

void KavrixKernel::ConnectActiveController()
{
    if (!active || active->IsConnected())
        return;
    RestartAllTimers();
    active->Connect();
    const QString port = active->GetComPort();
    if (active->IsConnected()) {
        SetStateText(port, connectedText);
        // The open brings the name the controller gives itself (GRBL: its build info).
        ShowControllerName(port, active->GetControllerName());
    }
    Q_EMIT SignalUpdateControllerStatus(port);
}

void KavrixKernel::DisconnectActiveController()
{
    DisconnectController(active);
}

void KavrixKernel::DisconnectController(TarvoController* controller)
{
    if (!controller || !controller->IsConnected())
        return;
    controller->Disconnect();
    const QString port = controller->GetComPort();
    SetStateText(port, disconnectedText);
    Q_EMIT SignalUpdateControllerStatus(port);
}

void KavrixKernel::ConnectActivController4FirmwareUpdate()
{
    if (!active || active->IsConnected())
        return;
    active->Connect4FirmwareUpdate();
}

void KavrixKernel::DisconnectActiveControllerNachFirmwareUpdate()
{
    DisconnectControllerNachFirmwareUpdate(active);
}

void KavrixKernel::DisconnectControllerNachFirmwareUpdate(TarvoController* controller)
{
    if (!controller || !controller->IsConnected())
        return;
    controller->DisconnectNachFirmwareUpdate();
}

void KavrixKernel::ReadSettings()
{
    QSettings settings;
    const QStringList entries = settings.value(QStringLiteral("controllers")).toStringList();
    for (const QString& entry : entries) {
        const QStringList fields = entry.split(QLatin1Char(':'));
        const QString port = fields.value(0);
        if (port.isEmpty() || fields.size() < 2)
            continue;
        bool ok = false;
        const int baud = fields.at(1).toInt(&ok, 10);
        if (!ok)
            continue;
        auto* controller = new TarvoController(QString::fromLatin1(port.toLatin1()), baud);
        if (!AddController(controller))
            delete controller;
    }
    const QString activePort = settings.value(QStringLiteral("ActiveController")).toString();
    if (!activePort.isEmpty())
        SetActiveController(activePort);
}

void KavrixKernel::WriteSettings()
{
    QSettings settings;
    QStringList entries;
    for (TarvoController* controller : std::as_const(controllers))
        entries << controller->GetComPort() + QLatin1Char(':')
                       + QString::number(controller->GetBaudRate());
    if (entries.isEmpty())
        settings.remove(QStringLiteral("controllers"));
    else
        settings.setValue(QStringLiteral("controllers"), entries);
    if (active)
        settings.setValue(QStringLiteral("ActiveController"), active->GetComPort());
    else
        settings.remove(QStringLiteral("ActiveController"));
    settings.sync();
}

void KavrixKernel::SetCommandToEditor(bool toEditor)
{
    if (toEditor == commandToEditor)
        return;
    commandToEditor = toEditor;
    Q_EMIT SignalCommandDestinationChanged(toEditor);
}

void KavrixKernel::WriteCommand(QString cmd)
{
    if (commandToEditor)
        Q_EMIT SignalCommandToEdit(cmd);
    else
        Q_EMIT SignalCommandToOutput(cmd);
}
