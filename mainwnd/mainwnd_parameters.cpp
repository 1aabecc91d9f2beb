// Parameter workflows of the main window: the active controller's parameter set is loaded
// from and saved to .ncp files, read from and written to the controller, reset and edited.

#include "kavrixmainwnd.h"

#include "device.h"
#include "dialogs.h"
#include "filenames.h"
#include "kavrixkernel.h"
#include "parameterdlg.h"
#include "portsdlg.h"
#include "tarvocontroller.h"
#include "tarvoparameters.h"
#include "textfile.h"
#include "waitcursor.h"

#include <QStatusBar>

#include <algorithm>

void KavrixMainWnd::SlotParameterLoadFromFile()
{
    KavrixKernel* const kernel = KavrixKernel::Instance();
    TarvoController* const controller = kernel->GetActiveController();
    if (!controller)
        return;
    TarvoParameters& parameters = controller->GetParameters();

    QString path;
    {
        const WatchdogPause pause;
        path = Dialogs::seam().openFileName(this, tr("Load Parameters from File"),
                                            parameters.GetFileName(),
                                            tr("Kavrix parameter files(*.ncp);;All files(*.*)"));
    }
    if (path.isEmpty())
        return;

    // Only regular files of a bounded size, UTF-8 or (older files) Latin-1.
    TextFile::Contents contents;
    QString error;
    if (!TextFile::read(path, contents, &error)) {
        LogAction(tr("%1: parameters not loaded from %2: %3")
                      .arg(controller->GetComPort(), path, error));
        Dialogs::warning(this, tr("Error Loading Parameters from File"),
                         tr("Cannot read file %1:\n%2.").arg(path, error), QMessageBox::Ok);
        return;
    }

    QStringList messages;
    {
        const WaitCursor wait;
        parameters.LoadFromText(contents.text, messages);
    }
    if (messages.isEmpty()) {
        parameters.SetFileName(path);
        LogAction(tr("%1: parameters loaded from %2").arg(controller->GetComPort(), path));
        statusBar()->showMessage(tr("File loaded"), 2000);
    } else {
        LogAction(tr("%1: parameter file %2 loaded with problems: %3")
                      .arg(controller->GetComPort(), path,
                           messages.join(QLatin1Char('\n'))));
        Dialogs::warning(this, tr("Parameter Load Error"),
                         tr("Error parsing parameter file '") + path + QStringLiteral("'\n")
                             + messages.join(QLatin1Char('\n')),
                         QMessageBox::Ok);
    }
    UpdateActions();
}

void KavrixMainWnd::SlotParameterSave()
{
    TarvoController* const controller = KavrixKernel::Instance()->GetActiveController();
    if (!controller)
        return;
    TarvoParameters& parameters = controller->GetParameters();
    if (!parameters.IsDefined())
        return;
    if (parameters.GetFileName().isEmpty())
        SlotParameterSaveAs();
    else
        SaveParametersToFile(parameters, parameters.GetFileName());
}

void KavrixMainWnd::SlotParameterSaveAs()
{
    KavrixKernel* const kernel = KavrixKernel::Instance();
    TarvoController* const controller = kernel->GetActiveController();
    if (!controller)
        return;
    TarvoParameters& parameters = controller->GetParameters();
    if (!parameters.IsDefined())
        return;

    QString path;
    bool replace = false;
    {
        const WatchdogPause pause;
        const QString chosen = Dialogs::seam().saveFileName(
            this, tr("Save Parameters to File"), parameters.GetFileName(),
            tr("Kavrix parameter files(*.ncp);;All files(*.*)"));
        // A name without an extension gets ".ncp", so the load dialog's filter shows the file.
        // The file dialog confirmed only the name as typed: replacing the file it became needs
        // its own consent.
        path = FileNames::WithDefaultSuffix(chosen, QStringLiteral("ncp"));
        replace = !path.isEmpty()
                  && MayReplaceWithExtension(tr("Save Parameters to File"), chosen, path);
    }
    if (replace)
        SaveParametersToFile(parameters, path);
}

void KavrixMainWnd::SaveParametersToFile(TarvoParameters& parameters, const QString& path)
{
    if (!parameters.IsDefined())
        return;

    // Atomically, in UTF-8: a failed save never leaves a cut parameter file behind.
    QString reason;
    bool saved = false;
    {
        const WaitCursor wait;
        saved = TextFile::write(path, parameters.SaveToText().toUtf8(), &reason);
    }
    const QString port = KavrixKernel::Instance()->GetActiveControllerPort();
    if (!saved) {
        LogAction(tr("%1: parameters not saved to %2: %3").arg(port, path, reason));
        Dialogs::warning(this, tr("Error Saving Parameters to File"),
                         tr("Cannot write file %1:\n%2.").arg(path, reason), QMessageBox::Ok);
        return;
    }

    parameters.SetFileName(path);
    LogAction(tr("%1: parameters saved to %2").arg(port, path));
    statusBar()->showMessage(tr("File saved"), 2000);
    UpdateActions();
}

void KavrixMainWnd::ShowReportedName(TarvoController& controller)
{
    // After a whole transfer the set holds the name the controller now carries. A controller
    // without a name of its own in its settings (GRBL, until one is written) shows the name it
    // greeted with ("Grbl 1.1h") rather than an empty cell.
    QString name = controller.GetParameters().SONSTIGE_CONTROLLERNAME_CHAR;
    if (name.trimmed().isEmpty())
        name = controller.GetControllerName();
    KavrixKernel::Instance()->ShowControllerName(controller.GetComPort(), name);
}

namespace {

// The settings a GRBL port wrote, as it sent them.
QStringList sentToGrbl(TarvoController& controller)
{
    QStringList lines;
    for (const std::string& line : quenta::takeSentLines(controller.GetPortSettings()))
        lines.append(QString::fromStdString(line));
    return lines;
}

}  // namespace

void KavrixMainWnd::LogTransfer(TarvoController& controller, const QString& done,
                                const QString& failed, const QStringList& messages)
{
    const QString port = controller.GetComPort();
    if (messages.isEmpty())
        LogAction(done.arg(port));
    else
        LogAction(failed.arg(port) + QLatin1Char('\n') + messages.join(QLatin1Char('\n')));
    const QStringList sent = sentToGrbl(controller);
    if (!sent.isEmpty())
        LogAction(tr("%1: sent to GRBL: %2").arg(port, sent.join(QStringLiteral(", "))));
}

void KavrixMainWnd::SlotParameterReadFromController()
{
    TarvoController* const controller = KavrixKernel::Instance()->GetActiveController();
    if (!controller)
        return;
    QStringList messages;
    {
        const WaitCursor wait;
        controller->GetParameters().ReadFromController(controller->GetPortSettings(), messages);
    }
    LogTransfer(*controller, tr("%1: parameters read from the controller"),
                tr("%1: reading the parameters failed:"), messages);
    if (messages.isEmpty()) {
        statusBar()->showMessage(QStringLiteral("Parameterübertragung ist abgeschlossen."), 2000);
        ShowReportedName(*controller);
    } else {
        Dialogs::warning(this, QStringLiteral("SlotParameterReadFromController"),
                         QStringLiteral("Fehler bei der Parameterübertragung:\n")
                             + messages.join(QLatin1Char('\n')),
                         QMessageBox::Ok);
    }
    UpdateActions();
}

void KavrixMainWnd::SlotParameterWriteToController()
{
    TarvoController* const controller = KavrixKernel::Instance()->GetActiveController();
    if (!controller)
        return;
    QStringList messages;
    quenta::takeSentLines(controller->GetPortSettings());  // what earlier calls sent
    {
        const WaitCursor wait;
        controller->GetParameters().WriteToController(controller->GetPortSettings(), messages);
    }
    LogTransfer(*controller, tr("%1: parameters written to the controller"),
                tr("%1: writing the parameters failed:"), messages);
    if (messages.isEmpty()) {
        statusBar()->showMessage(QStringLiteral("Parameterübertragung ist abgeschlossen."), 2000);
        ShowReportedName(*controller);
    } else {
        // A GRBL port says why it cannot hold a value (the reference order, a negative travel).
        const std::string why = quenta::takeRefusal(controller->GetPortSettings());
        if (!why.empty())
            AppendToOutput(tr("Refused: %1").arg(QString::fromStdString(why)));
        Dialogs::warning(this, QStringLiteral("SlotParameterWriteToController"),
                         QStringLiteral("Fehler bei der Parameterübertragung:\n")
                             + messages.join(QLatin1Char('\n')),
                         QMessageBox::Ok);
    }
    UpdateActions();
}

void KavrixMainWnd::SlotParameterReset()
{
    TarvoController* const controller = KavrixKernel::Instance()->GetActiveController();
    if (!controller)
        return;
    TarvoParameters& parameters = controller->GetParameters();
    if (parameters.IsDefined()) {
        const QMessageBox::StandardButton answer = Dialogs::warning(
            this, tr("Parameter Reset"),
            tr("Do you want to reset parameter values to their defaults?"),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
        if (answer != QMessageBox::Yes)
            return;
    }
    parameters.ResetToDefaults();
    LogAction(tr("%1: parameters reset to their defaults").arg(controller->GetComPort()));
    UpdateActions();
}

void KavrixMainWnd::SlotParameterEdit()
{
    TarvoController* const controller = KavrixKernel::Instance()->GetActiveController();
    if (!controller)
        return;
    // The connection watchdogs keep running while the operator edits.
    ParameterDlg dialog(controller, this);
    dialog.setWindowTitle(tr("Edit Controller Parameter"));
    if (PortMapping::Parse(PortMapValue(controller->GetComPort())).kind == PortMapping::GrblDevice)
        dialog.SetControllerNameHint(
            tr("GRBL stores the name in upper case without blanks: \"Mill 2b\" is kept as "
               "\"MILL2B\", and that is what the controller reports."));
    if (Dialogs::seam().exec(&dialog) == QDialog::Accepted)
        AppendToOutput(tr("Edit parameter for active controller ") + controller->GetComPort());
}
