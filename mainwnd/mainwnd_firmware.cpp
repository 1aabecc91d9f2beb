// Firmware update of the active controller through its bootloader.

#include "kavrixmainwnd.h"

#include "dialogs.h"
#include "firmwareprogress.h"
#include "firmwaretransfer.h"
#include "kavrixkernel.h"
#include "tarvocontroller.h"

#include <QStatusBar>

void KavrixMainWnd::SlotControllerFirmwareUpdate()
{
    KavrixKernel* const kernel = KavrixKernel::Instance();
    TarvoController* const controller = kernel->GetActiveController();
    if (!controller)
        return;

    // Closed for normal operation and reopened for the bootloader; a port that did not open
    // shows as a bootloader that cannot be found.
    kernel->DisconnectActiveController();
    kernel->ConnectActivController4FirmwareUpdate();

    const QString path = Dialogs::seam().openFileName(
        this, tr("Firmware Update"), QString(), tr("Firmware files(*.ktf);;All files(*.*)"));
    if (path.isEmpty()) {
        kernel->DisconnectActiveControllerNachFirmwareUpdate();
        return;
    }

    QByteArray image;
    if (!Firmware::ReadImageFile(path, image)) {
        Dialogs::warning(this, tr("Error Open Firmware file"),
                         tr("Cannot read file %1\n").arg(path), QMessageBox::Ok);
        kernel->DisconnectActiveControllerNachFirmwareUpdate();
        return;
    }

    QStringList messages;
    FirmwareTransferResult result = FirmwareTransferResult::Cancelled;
    {
        FirmwareProgress progress(statusBar());
        FirmwareTransferHooks hooks;
        hooks.parent = this;
        hooks.showStatus = [this](const QString& text) { statusBar()->showMessage(text, 2000); };
        hooks.progress = [&progress](int sent, int total) { progress.Show(sent, total); };
        result = TransferFirmware(controller->GetPortSettings(),
                                  reinterpret_cast<const uint8_t*>(image.constData()),
                                  image.size(), messages, hooks);
    }
    image.clear();

    if (result == FirmwareTransferResult::Cancelled) {
        // Nothing was sent: not to be mistaken for a finished update.
        statusBar()->showMessage(QStringLiteral("Firmware-Update abgebrochen."), 2000);
    } else if (messages.isEmpty()) {
        statusBar()->showMessage(QStringLiteral("Firmwareübertragung ist abgeschlossen."), 2000);
    } else {
        Dialogs::critical(this, tr("Firmware Update Error"),
                          tr("Error Firmware Update on ") + controller->GetComPort()
                              + QStringLiteral(":\n") + messages.join(QLatin1Char('\n')),
                          QMessageBox::Ok);
    }
    kernel->DisconnectActiveControllerNachFirmwareUpdate();
    // The controller is left disconnected: offer "Connect" again.
    UpdateActions();
}
