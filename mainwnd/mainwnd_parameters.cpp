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
        statusBar()->showMessage(tr("File loaded"), 2000);
    } else {
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
    if (!saved) {
        Dialogs::warning(this, tr("Error Saving Parameters to File"),
                         tr("Cannot write file %1:\n%2.").arg(path, reason), QMessageBox::Ok);
        return;
    }

    parameters.SetFileName(path);
    statusBar()->showMessage(tr("File saved"), 2000);
    UpdateActions();
}

void KavrixMainWnd::ShowReportedName(TarvoController& controller)
{
    // After a whole transfer the set holds the name the controller now carries.
    KavrixKernel::Instance()->ShowControllerName(
        controller.GetComPort(), controller.GetParameters().SONSTIGE_CONTROLLERNAME_CHAR);
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
    {
        const WaitCursor wait;
        controller->GetParameters().WriteToController(controller->GetPortSettings(), messages);
    }
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
