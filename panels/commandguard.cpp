#include "commandguard.h"

#include "dialogs.h"
#include "kavrixkernel.h"
#include "quenta.h"
#include "tarvocontroller.h"

#include <QCoreApplication>
#include <QWidget>

// The guard's texts in the translation contexts of its callers, for lupdate.
[[maybe_unused]] const char* const guardTexts[] = {
    QT_TRANSLATE_NOOP("ManualControlWnd", "Connecting to Controller"),
    QT_TRANSLATE_NOOP("ManualControlWnd", "Controller on %1 isn't connected.\n"),
    QT_TRANSLATE_NOOP("KavrixMainWnd", "Connecting to Controller"),
    QT_TRANSLATE_NOOP("KavrixMainWnd", "Controller on %1 isn't connected.\n"),
};

bool RequireConnectedController(QWidget* parent)
{
    TarvoController* const controller = KavrixKernel::Instance()->GetActiveController();
    if (!controller)
        return false;  // nothing to send to, and no port to name: callers stop silently
    if (controller->IsConnected())
        return true;
    const QString port = controller->GetComPort();
    // The texts belong to the calling window's translation context.
    const char* const context = parent ? parent->metaObject()->className() : "CommandGuard";
    const QString text =
        QCoreApplication::translate(context, "Controller on %1 isn't connected.\n");
    Dialogs::warning(parent, QCoreApplication::translate(context, "Connecting to Controller"),
                     text.arg(port), QMessageBox::Ok, QMessageBox::NoButton);
    return false;
}

bool AcknowledgePendingError(QWidget* parent, const QString& title)
{
    TarvoController* const controller = KavrixKernel::Instance()->GetActiveController();
    if (!controller)
        return false;
    const TarvoStatus& status = controller->GetStatus();
    if (status.errorCode == 0)
        return true;
    const QString text = QStringLiteral("Ein Fehler ist aufgetretten:\n") + status.GetErrorText()
        + QStringLiteral("\nMöchten Sie den Fehler quitieren?");
    const auto answer = Dialogs::question(parent, title, text,
                                          QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    if (answer != QMessageBox::Yes)
        return false;
    FehlerQuitieren(controller->GetPortSettings());
    return true;
}
