// The kernel's RAM program operations: the check and the line-by-line transfer of the
// program language (ramprogram.h), with the watchdogs kept quiet while the GUI thread sends.

#include "kavrixkernel.h"

#include "quenta.h"
#include "ramprogram.h"

#include <QPlainTextEdit>
#include <QThread>

bool KavrixKernel::IsRAMCommand(const QString& word)
{
    return IsRamKeyword(word);
}

void KavrixKernel::WriteRAMProgramm(TarvoPortSettings* portSettings, QPlainTextEdit* editor,
                                    int ramNumber, QStringList& messages)
{
    const RamProgramCheck check = CheckRamProgram(editor ? editor->toPlainText() : QString());
    if (!check.messages.isEmpty()) {
        messages.append(check.messages);
        return;
    }

    // The transfer blocks the GUI thread; the watchdogs get a fresh interval first.
    RestartAllTimers();
    // A call that fails (the port dropped, the controller refused) ends the transfer with a
    // message: a program stored in part must never be reported as written.
    const int modeResult = BetriebsArtenWechsel(portSettings, 3);  // RAM program load mode
    QThread::msleep(200);  // the controller needs this to switch modes
    if (modeResult == 0
        || LoadRAMprogramm(portSettings, static_cast<uint8_t>(ramNumber)) == 0) {
        messages.append(QStringLiteral("Error: RAM-Programm transfer failed."));
    } else {
        for (const RamCommand& command : check.commands) {
            if (SendRamCommand(portSettings, command) == 0) {
                messages.append(QStringLiteral("Error: RAM-Programm transfer failed at line %1.")
                                    .arg(command.lineNumber));
                break;
            }
        }
    }
    BetriebsArtenWechsel(portSettings, 2);  // back to normal mode
}

int KavrixKernel::StartRAMProgrammInSlot(TarvoPortSettings* portSettings, int ramNumber,
                                         int count)
{
    return StartRAMprogramm(portSettings, static_cast<uint8_t>(ramNumber),
                            static_cast<uint8_t>(count));
}
