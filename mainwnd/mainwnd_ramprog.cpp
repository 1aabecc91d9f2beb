// RAM programs: write the current editor's program into a RAM slot, start a slot.

#include "kavrixmainwnd.h"

#include "commandguard.h"
#include "dialogs.h"
#include "kavrixkernel.h"
#include "ramprogrammdlg.h"
#include "tarvocontroller.h"
#include "tarvoprogedit.h"
#include "waitcursor.h"

#include <QStatusBar>

namespace {

// The slot number of a choice such as "RAM3": what follows the first "RAM", in decimal;
// 0 when the text names no slot 1 to 4.
int ramNumberOf(const QString& choice)
{
    const QLatin1String ram("RAM");
    const int at = choice.indexOf(ram);
    if (at < 0)
        return 0;
    bool ok = false;
    const int number = choice.mid(at + ram.size()).toInt(&ok, 10);
    return ok && number >= 1 && number <= 4 ? number : 0;
}

// The two checks before anything goes to the controller: connected, no pending error.
bool mayTalkToActiveController(QWidget* parent)
{
    return RequireConnectedController(parent)
        && AcknowledgePendingError(parent, QStringLiteral("SlotRAMProgrammWrite"));
}

}  // namespace

void KavrixMainWnd::SlotRAMProgrammWrite()
{
    KavrixKernel* const kernel = KavrixKernel::Instance();
    TarvoController* const controller = kernel->GetActiveController();
    if (!controller || !mayTalkToActiveController(this))
        return;
    TarvoProgEdit* const editor = CurrentEditor();
    if (!editor)
        return;

    // ramNumberOf() reads the slot number back from the name chosen.
    const QStringList ramSlots = {
        //: The controller's name of a RAM slot: the same in every language.
        tr("RAM1"),
        //: The controller's name of a RAM slot: the same in every language.
        tr("RAM2"),
        //: The controller's name of a RAM slot: the same in every language.
        tr("RAM3"),
        //: The controller's name of a RAM slot: the same in every language.
        tr("RAM4"),
    };
    bool chosen = false;
    const QString choice = Dialogs::seam().getItem(this, tr("Select RAM"),
                                                   tr("RAM number to store programm"), ramSlots,
                                                   0, false, &chosen);
    const int ramNumber = ramNumberOf(choice);
    if (!chosen || choice.isEmpty() || ramNumber == 0)
        return;
    // The watchdog keeps running while the operator chooses; a connection lost meanwhile
    // must not end in a transfer into a closed port reported as done.
    if (!RequireConnectedController(this))
        return;

    QStringList messages;
    {
        const WaitCursor wait;
        kernel->WriteRAMProgramm(controller->GetPortSettings(), editor, ramNumber, messages);
    }
    const QString port = controller->GetComPort();
    if (messages.isEmpty()) {
        LogAction(tr("%1: program written into RAM%2").arg(port).arg(ramNumber));
        //: A machine text of the RAM program transfer: German in every language.
        statusBar()->showMessage(tr("RAM-Programmübertragung ist abgeschlossen."), 2000);
    } else {
        LogAction(tr("%1: program not written into RAM%2:").arg(port).arg(ramNumber));
        AppendToOutput(messages.join(QLatin1Char('\n')));
        //: The command's name as its title: the same in every language.
        const QString title = tr("RAMProgrammWrite");
        //: A machine text of the RAM program transfer: German in every language.
        Dialogs::warning(this, title, tr("RAM-Programm enthält Fehler."), QMessageBox::Ok);
    }
    UpdateActions();
}

void KavrixMainWnd::SlotRAMProgrammStart()
{
    KavrixKernel* const kernel = KavrixKernel::Instance();
    TarvoController* const controller = kernel->GetActiveController();
    if (!controller || !mayTalkToActiveController(this))
        return;

    RamProgrammDlg dialog(this);
    dialog.setWindowTitle(tr("Select RAM"));
    if (Dialogs::seam().exec(&dialog) != QDialog::Accepted)
        return;
    const int ramNumber = ramNumberOf(dialog.GetRamProgrammNumber());
    if (ramNumber == 0 || !RequireConnectedController(this))
        return;
    const int count = dialog.GetStartsNumber();
    const int started =
        kernel->StartRAMProgrammInSlot(controller->GetPortSettings(), ramNumber, count);
    // The status panel shows the run's passes; its end is logged when a report tells it.
    const QString passes = count == 0 ? tr("endless") : QString::number(count);
    LogAction((started ? tr("%1: RAM%2 started, passes: %3")
                       : tr("%1: RAM%2 not started: refused by the controller (passes: %3)"))
                  .arg(controller->GetComPort())
                  .arg(ramNumber)
                  .arg(passes));
}
