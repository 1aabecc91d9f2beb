// Firmware update of the active controller through its bootloader.

#include "kavrixmainwnd.h"

#include "dialogs.h"
#include "firmwareprogress.h"
#include "firmwaretransfer.h"
#include "kavrixkernel.h"
#include "manualcontrolwnd.h"
#include "tarvocontroller.h"

#include <QPushButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>

void KavrixMainWnd::SlotControllerFirmwareUpdate()
{
    KavrixKernel* const kernel = KavrixKernel::Instance();
    TarvoController* const controller = kernel->GetActiveController();
    if (!controller)
        return;

    const QString port = controller->GetComPort();
    // The update stays with this controller: the operator may make another one active
    // meanwhile (to reach its emergency stops), so nothing below asks for the active one.
    const auto closeFirmwareMode = [kernel, controller] {
        kernel->DisconnectControllerNachFirmwareUpdate(controller);
    };

    // Closed for normal operation and reopened as a raw channel to the bootloader.
    kernel->DisconnectActiveController();
    kernel->ConnectActivController4FirmwareUpdate();
    if (!controller->IsInFirmwareMode()) {
        // Without an open port there is no bootloader to look for: say why the port failed.
        UpdateActions();
        Dialogs::critical(this, tr("Firmware Update Error"),
                          tr("Error Firmware Update on ") + port + QStringLiteral(":\n")
                              + controller->GetConnectErrorText(),
                          QMessageBox::Ok);
        return;
    }

    const QString path = Dialogs::seam().openFileName(
        this, tr("Firmware Update"), QString(), tr("Firmware files(*.ktf);;All files(*.*)"));
    if (path.isEmpty()) {
        closeFirmwareMode();
        return;
    }

    QByteArray image;
    if (!Firmware::ReadImageFile(path, image)) {
        Dialogs::warning(this, tr("Error Open Firmware file"),
                         tr("Cannot read file %1\n").arg(path), QMessageBox::Ok);
        closeFirmwareMode();
        return;
    }

    QStringList messages;
    FirmwareTransferResult result = FirmwareTransferResult::Cancelled;
    bool closeRequested = false;
    {
        FirmwareProgress progress(statusBar());
        // Every machine's emergency stops, and the tabs that lead to them, stay at hand while
        // the transfer holds the GUI thread.
        progress.KeepUsable(controllerTabWidget->tabBar());
        progress.KeepKey(QKeySequence(Qt::Key_Escape));
        for (int i = 0; i < controllerTabWidget->count(); ++i) {
            const ManualControlWnd* const panel = GetControlPanel(i);  // with its form built
            if (!panel)
                continue;
            for (QPushButton* const button : panel->EmergencyStopButtons())
                progress.KeepUsable(button);
        }
        FirmwareTransferHooks hooks;
        hooks.parent = this;
        hooks.showStatus = [this](const QString& text) { statusBar()->showMessage(text, 2000); };
        hooks.progress = [&progress](int sent, int total) { progress.Show(sent, total); };
        result = TransferFirmware(controller->GetPortSettings(),
                                  reinterpret_cast<const uint8_t*>(image.constData()),
                                  image.size(), messages, hooks);
        closeRequested = progress.CloseRequested();
    }
    // The log keeps every update's outcome with what identifies the image.
    const QString outcome = result == FirmwareTransferResult::Cancelled
                                ? tr("cancelled, nothing sent")
                                : messages.isEmpty() ? tr("checksum confirmed by the bootloader")
                                                     : messages.join(QLatin1Char(' '));
    const uint32_t crc =
        Firmware::ImageCrc(reinterpret_cast<const uint8_t*>(image.constData()), image.size());
    // One arg() call: a "%" in the file name is not taken for a place holder.
    LogAction(tr("Firmware update on %1: %2, %3 bytes, CRC-32 %4: %5")
                  .arg(port, path, QString::number(image.size()),
                       QStringLiteral("%1").arg(crc, 8, 16, QLatin1Char('0')), outcome));
    image.clear();

    if (result == FirmwareTransferResult::Cancelled) {
        // Nothing was sent: not to be mistaken for a finished update.
        statusBar()->showMessage(QStringLiteral("Firmware-Update abgebrochen."), 2000);
    } else if (messages.isEmpty()) {
        statusBar()->showMessage(QStringLiteral("Firmwareübertragung ist abgeschlossen."), 2000);
    } else {
        Dialogs::critical(this, tr("Firmware Update Error"),
                          tr("Error Firmware Update on ") + port + QStringLiteral(":\n")
                              + messages.join(QLatin1Char('\n')),
                          QMessageBox::Ok);
    }
    closeFirmwareMode();
    // The controller is left disconnected: offer "Connect" again.
    UpdateActions();
    // A close request (SIGTERM, the window manager) that came during the transfer.
    if (closeRequested)
        close();
}
