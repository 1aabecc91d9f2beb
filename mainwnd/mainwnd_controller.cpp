// Controller management: add, edit, remove, connect, disconnect, the lost connection, and the
// port map.

#include "kavrixmainwnd.h"

#include "addeditcontrollerdlg.h"
#include "device.h"
#include "dialogs.h"
#include "kavrixkernel.h"
#include "portsdlg.h"
#include "tarvocontroller.h"
#include "waitcursor.h"

#include <memory>

void KavrixMainWnd::SlotControllerAdd()
{
    KavrixKernel* const kernel = KavrixKernel::Instance();
    // Belongs to this slot until the kernel takes it over.
    auto controller = std::make_unique<TarvoController>(QString(), 0);
    int result = QDialog::Rejected;
    {
        AddEditControllerDlg dialog(controller.get(), true, this);
        result = kernel->ExecDialogWithoutTimers(&dialog);
    }
    if (result != QDialog::Accepted)
        return;
    const QString port = controller->GetComPort();
    AppendToOutput(tr("Add controller ") + port);
    if (kernel->AddController(controller.get()))
        controller.release();
}

void KavrixMainWnd::SlotControllerEdit()
{
    KavrixKernel* const kernel = KavrixKernel::Instance();
    TarvoController* const controller = kernel->GetActiveController();
    if (!controller)
        return;
    AddEditControllerDlg dialog(controller, false, this);
    dialog.setWindowTitle(tr("Edit Controller Connection Settings"));
    if (kernel->ExecDialogWithoutTimers(&dialog) == QDialog::Accepted)
        AppendToOutput(tr("Edit active controller ") + controller->GetComPort());
}

void KavrixMainWnd::SlotControllerRemove()
{
    KavrixKernel* const kernel = KavrixKernel::Instance();
    const TarvoController* const controller = kernel->GetActiveController();
    if (!controller)
        return;
    const QString port = controller->GetComPort();
    // Removing a connected controller takes its panel, with its stop buttons, away while the
    // machine may still move: only on purpose.
    if (controller->IsConnected()
        && Dialogs::question(this, tr("Remove Controller"),
                             tr("Controller on %1 is connected. Disconnect and remove it?")
                                 .arg(port),
                             QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
            != QMessageBox::Yes)
        return;
    AppendToOutput(tr("Remove active controller ") + port);
    SlotControllerDisconnect();
    removingController = true;
    kernel->RemoveController(port);
    removingController = false;
    UpdateActions();
}

void KavrixMainWnd::SlotControllerConnect()
{
    KavrixKernel* const kernel = KavrixKernel::Instance();
    TarvoController* const controller = kernel->GetActiveController();
    if (!controller || controller->IsConnected())
        return;
    {
        const WaitCursor wait;
        kernel->ConnectActiveController();
    }
    if (controller->IsConnected()) {
        LogAction(tr("%1: connected to %2")
                      .arg(controller->GetComPort(), controller->GetControllerName()));
        // A freshly connected controller always shows its own parameters.
        SlotParameterReadFromController();
    } else {
        // The log keeps where the port led, so a wrong device path can be told from a
        // controller that does not answer.
        const PortMapping mapping = PortMapping::Parse(PortMapValue(controller->GetComPort()));
        QString target = mapping.kind == PortMapping::Simulator ? tr("built-in simulator")
                                                                  : mapping.device;
        const std::string reason = quenta::lastOpenFailure(controller->GetPortSettings());
        if (!reason.empty())
            target += QStringLiteral(": ") + QString::fromLocal8Bit(reason.c_str());
        LogAction(tr("Connection to controller on %1 failed: %2 (%3)")
                           .arg(controller->GetComPort(), controller->GetConnectErrorText(),
                                target));
        Dialogs::critical(this, tr("Connecting to Controller"),
                          tr("Connection to controller on ") + controller->GetComPort()
                              + tr(" failed:\n") + controller->GetConnectErrorText(),
                          QMessageBox::Ok);
    }
    UpdateActions();
}

void KavrixMainWnd::SlotControllerDisconnect()
{
    TarvoController* const controller = KavrixKernel::Instance()->GetActiveController();
    const bool wasConnected = controller && controller->IsConnected();
    KavrixKernel::Instance()->DisconnectActiveController();
    if (wasConnected && !controller->IsConnected())
        LogAction(tr("%1: disconnected").arg(controller->GetComPort()));
    UpdateActions();
}

void KavrixMainWnd::SlotControllerTimeoutDisconnect(QString comPort)
{
    if (comPort.isEmpty())
        return;
    KavrixKernel* const kernel = KavrixKernel::Instance();
    TarvoController* const controller = kernel->FindController(comPort);
    if (!controller || !controller->IsConnected())
        return;
    kernel->DisconnectController(controller);
    LogAction(tr("%1: connection lost (no status for %2 s): disconnected")
                  .arg(comPort)
                  .arg(TarvoController::WatchdogIntervalMs / 1000));
    UpdateActions();
    Dialogs::critical(this, tr("Connection Lost Error"),
                      tr("Connection to controller on ") + comPort + tr(" is lost.\n")
                          + tr("Disconnecting from the controller."),
                      QMessageBox::Ok);
}

void KavrixMainWnd::SlotControllerPorts()
{
    PortMap changes;
    {
        PortsDlg dialog(ReadPortMap(), FindSerialDevices(), this, quenta::serialAdapters());
        if (KavrixKernel::Instance()->ExecDialogWithoutTimers(&dialog) != QDialog::Accepted)
            return;
        changes = dialog.Changes();
    }
    WritePortMap(changes);
    for (auto it = changes.values.cbegin(); it != changes.values.cend(); ++it)
        LogAction(tr("Port %1 mapped to %2").arg(it.key(), it.value()));
}
