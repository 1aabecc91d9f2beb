#include "manualcontrolwnd.h"
#include "ui_manualcontrolwnd.h"

#include "jogpad.h"
#include "commandguard.h"
#include "device.h"
#include "kavrixkernel.h"
#include "manualcommandvalues.h"
#include "portmap.h"
#include "quenta.h"
#include "ramcommandformat.h"
#include "tarvocontroller.h"
#include "tarvostatus.h"

#include <QBoxLayout>
#include <QDoubleValidator>
#include <QIntValidator>
#include <QLabel>
#include <QLocale>

namespace {

const QString guardTitle = QStringLiteral("ManualControlWnd");

std::unique_ptr<QIntValidator> integerValidator(const ManualValueRange& range)
{
    auto validator = std::make_unique<QIntValidator>(range.lowSteps, range.highSteps);
    validator->setLocale(MachineNumberLocale());
    return validator;
}

std::unique_ptr<QDoubleValidator> decimalValidator(const ManualValueRange& range)
{
    auto validator = std::make_unique<QDoubleValidator>(range.lowMm, range.highMm, 6);
    validator->setNotation(QDoubleValidator::StandardNotation);
    validator->setLocale(MachineNumberLocale());
    return validator;
}

}  // namespace

ManualControlWnd::ManualControlWnd(TarvoController* controller, QWidget* parent,
                                   FormBuild when)
    : QWidget(parent),
      controller(controller),
      values(std::make_unique<ManualCommandValues>()),
      commands(std::make_unique<ManualCommands>(*values)),
      velocityStepsValidator(integerValidator(ManualCommands::VelocityRange())),
      velocityMmValidator(decimalValidator(ManualCommands::VelocityRange())),
      holdTimeValidator(integerValidator(ManualCommands::HoldTimeRange())),
      distanceStepsValidator(integerValidator(ManualCommands::DistanceRange())),
      distanceMmValidator(decimalValidator(ManualCommands::DistanceRange()))
{
    if (when == FormBuild::Now)
        BuildForm();
    connect(KavrixKernel::Instance(), &KavrixKernel::SignalUpdateControllerStatus, this,
            &ManualControlWnd::SlotControllerStatus);
}

void ManualControlWnd::EnsureForm()
{
    if (!ui)
        BuildForm();
}

void ManualControlWnd::setVisible(bool visible)
{
    if (visible && parentWidget() && parentWidget()->isVisible())
        EnsureForm();
    QWidget::setVisible(visible);
}

void ManualControlWnd::showEvent(QShowEvent* event)
{
    if (!ui) {
        BuildForm();
        // Widgets added to a visible parent would only show one event loop pass later (and
        // the panel paint empty once): show them now, all but those hidden on purpose.
        for (QWidget* const child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (!child->testAttribute(Qt::WA_WState_ExplicitShowHide))
                child->show();
        }
        if (layout())
            layout()->activate();
    }
    QWidget::showEvent(event);
}

void ManualControlWnd::BuildForm()
{
    ui = std::make_unique<Ui::ManualControlWnd>();
    ui->setupUi(this);

    // Steps as the unit: its validators, every edit "0", the distance "1", no message.
    ui->EinheitStepsRadioButton->setChecked(true);
    ui->HaltePositionEdit->setValidator(holdTimeValidator.get());
    SlotStepsToggled(true);
    for (QCheckBox* const box : {ui->bit5KuCheckBox, ui->bit4SpCheckBox, ui->bit7CheckBox,
                                 ui->bit6CheckBox, ui->bit5CheckBox, ui->bit4CheckBox,
                                 ui->bit3CheckBox, ui->bit2CheckBox, ui->bit1CheckBox,
                                 ui->bit0CheckBox})
        box->setChecked(false);

    connect(ui->EinheitStepsRadioButton, &QRadioButton::toggled, this,
            &ManualControlWnd::SlotStepsToggled);
    const std::pair<QPushButton*, void (ManualControlWnd::*)()> buttons[] = {
        {ui->NotHaltMitBremsenButton, &ManualControlWnd::SlotNotHalt},
        {ui->NotStopOhneBremsenButton, &ManualControlWnd::SlotNotStop},
        {ui->FehlerQuitierenButton, &ManualControlWnd::SlotFehlerQuit},
        {ui->ReferenzfahrtButton, &ManualControlWnd::SlotReferenzfahrt},
        {ui->ParkenButton, &ManualControlWnd::SlotParken},
        {ui->XnegButton, &ManualControlWnd::SlotXneg},
        {ui->XposButton, &ManualControlWnd::SlotXpos},
        {ui->YnegButton, &ManualControlWnd::SlotYneg},
        {ui->YposButton, &ManualControlWnd::SlotYpos},
        {ui->ZnegButton, &ManualControlWnd::SlotZneg},
        {ui->ZposButton, &ManualControlWnd::SlotZpos},
        {ui->CnegButton, &ManualControlWnd::SlotCneg},
        {ui->CposButton, &ManualControlWnd::SlotCpos},
        {ui->FahreRelativXYButton, &ManualControlWnd::SlotFahreRelativXY},
        {ui->FahreRelativZCButton, &ManualControlWnd::SlotFahreRelativZC},
        {ui->NullPunktSetzenButton, &ManualControlWnd::SlotNullPunktSetzen},
        {ui->HaltePositionButton, &ManualControlWnd::SlotHaltePosition},
        {ui->SpKuSetzenButton, &ManualControlWnd::SlotSpKuSetzen},
        {ui->AllgEingDeaktivierenButton, &ManualControlWnd::SlotAllgEingDeaktivieren},
        {ui->AllgAusgSetzenButton, &ManualControlWnd::SlotAllgAusgSetzen},
    };
    for (const auto& [button, slot] : buttons)
        connect(button, &QPushButton::clicked, this, slot);

    AddSafetyCues();

    // The continuous jog and the fine steps, below the specified groups.
    jogPad = new JogPad(controller, this);
    ui->controlScrollLayout->insertWidget(ui->controlScrollLayout->count() - 1, jogPad);
}

QPushButton* ManualControlWnd::JogButton(int axis, int direction) const
{
    if (!ui || axis < 0 || axis > 3)
        return nullptr;
    QPushButton* const negative[] = {ui->XnegButton, ui->YnegButton, ui->ZnegButton,
                                     ui->CnegButton};
    QPushButton* const positive[] = {ui->XposButton, ui->YposButton, ui->ZposButton,
                                     ui->CposButton};
    return direction < 0 ? negative[axis] : positive[axis];
}

QList<QPushButton*> ManualControlWnd::EmergencyStopButtons() const
{
    if (!ui)
        return {};
    return {ui->NotHaltMitBremsenButton, ui->NotStopOhneBremsenButton};
}

void ManualControlWnd::AddSafetyCues()
{
    // The emergency stops stand out from the ordinary buttons: red, bold and taller.
    for (QPushButton* const button : EmergencyStopButtons()) {
        button->setStyleSheet(QStringLiteral(
            "QPushButton { background-color: #c62828; color: white; font-weight: bold;"
            " border: 1px solid #7f0000; border-radius: 4px; padding: 10px 14px; }"
            "QPushButton:hover { background-color: #d32f2f; }"
            "QPushButton:pressed { background-color: #8e0000; }"));
        button->setMinimumHeight(2 * ui->FehlerQuitierenButton->sizeHint().height());
    }
    auto* const mainLayout = qobject_cast<QBoxLayout*>(layout());

    // The window-wide key beside the buttons (their own tips stay as they are).
    auto* const stopKeyHint = new QLabel(QStringLiteral("Esc: Not Halt für alle Controller"), this);
    stopKeyHint->setObjectName(QStringLiteral("stopKeyHint"));
    stopKeyHint->setStyleSheet(QStringLiteral("color: #8e0000;"));
    if (mainLayout)
        mainLayout->insertWidget(1, stopKeyHint);

    // While commands go to the editor a click writes a program line and moves nothing: the
    // panel says so plainly, so nobody mistakes a generated line for a moving machine.
    editorModeBanner = new QLabel(
        QStringLiteral("Befehle gehen in den Programm-Editor: "
                       "ein Klick schreibt eine Programmzeile und bewegt nichts."),
        this);
    editorModeBanner->setObjectName(QStringLiteral("editorModeBanner"));
    editorModeBanner->setWordWrap(true);
    editorModeBanner->setStyleSheet(QStringLiteral(
        "QLabel { background-color: #ffe082; color: #3e2723; font-weight: bold;"
        " border: 1px solid #ff8f00; border-radius: 4px; padding: 6px; }"));
    if (mainLayout)
        mainLayout->insertWidget(0, editorModeBanner);
    KavrixKernel* const kernel = KavrixKernel::Instance();
    editorModeBanner->setVisible(kernel->IsCommandToEditor());
    connect(kernel, &KavrixKernel::SignalCommandDestinationChanged, editorModeBanner,
            &QWidget::setVisible);
}

ManualControlWnd::~ManualControlWnd()
{
    if (!ui)
        return;
    // The edits must let go of the validators before the validators go.
    for (QLineEdit* const edit : ValueEdits())
        edit->setValidator(nullptr);
    ui->HaltePositionEdit->setValidator(nullptr);
}

QList<QLineEdit*> ManualControlWnd::ValueEdits() const
{
    return {ui->VEdit,          ui->XEdit,          ui->YEdit,          ui->ZEdit,
            ui->CEdit,          ui->XNullPunktEdit, ui->YNullPunktEdit, ui->ZNullPunktEdit,
            ui->CNullPunktEdit};
}

void ManualControlWnd::SlotStepsToggled(bool isToggled)
{
    EnsureForm();
    stepsMode = isToggled;
    ui->VEdit->setValidator(isToggled ? static_cast<QValidator*>(velocityStepsValidator.get())
                                      : velocityMmValidator.get());
    QValidator* const distanceValidator =
        isToggled ? static_cast<QValidator*>(distanceStepsValidator.get())
                  : distanceMmValidator.get();
    const QList<QLineEdit*> edits = ValueEdits();
    for (QLineEdit* const edit : edits) {
        if (edit != ui->VEdit)
            edit->setValidator(distanceValidator);
    }
    ui->statusLabel->clear();
    for (QLineEdit* const edit : edits)
        edit->setText(QStringLiteral("0"));
    ui->HaltePositionEdit->setText(QStringLiteral("0"));
    ui->StreckeComboBox->setCurrentIndex(0);
}

bool ManualControlWnd::CommandMayGoOn()
{
    KavrixKernel* const kernel = KavrixKernel::Instance();
    if (!kernel->GetActiveController())
        return false;
    if (kernel->IsCommandToEditor())
        return true;
    return RequireConnectedController(this) && AcknowledgePendingError(this, guardTitle);
}

bool ManualControlWnd::ControllerConnectedForDirectCommand()
{
    if (!KavrixKernel::Instance()->GetActiveController())
        return false;
    return RequireConnectedController(this) && controller;
}

void ManualControlWnd::RejectInput(QLineEdit* edit, const QString& message)
{
    ui->statusLabel->setText(message);
    edit->selectAll();
    edit->setFocus();
}

ManualCommands::Unit ManualControlWnd::CurrentUnit() const
{
    return stepsMode ? ManualCommands::Unit::Steps : ManualCommands::Unit::Mm;
}

void ManualControlWnd::SendOrReject(const ManualCommands::Result& result,
                                    const QList<QLineEdit*>& edits)
{
    if (result.Accepted())
        Send(result);
    else
        RejectInput(edits.at(result.rejected), result.message);
}

int ManualControlWnd::Send(const ManualCommands::Result& command, const QString& action)
{
    KavrixKernel* const kernel = KavrixKernel::Instance();
    const bool execute = !kernel->IsCommandToEditor() && controller;
    int result = 0;
    if (execute) {
        quenta::takeSentLines(controller->GetPortSettings());  // what earlier calls sent
        result = command.call(controller->GetPortSettings());
    }
    kernel->WriteCommand(command.line);
    // A controller that refuses a command for a reason of its own (a GRBL port's park
    // position outside the machine) says why in the log, below the command.
    if (execute) {
        const std::string why = quenta::takeRefusal(controller->GetPortSettings());
        if (!why.empty())
            kernel->WriteCommand(tr("Refused: %1").arg(QString::fromStdString(why)));
        LogCall(action.isEmpty() ? command.line : action, result, !action.isEmpty());
    }
    return execute ? result : -1;
}

void ManualControlWnd::LogCall(const QString& action, int result, bool logSuccess)
{
    const QString port = controller->GetComPort();
    if (result == 0)
        Q_EMIT SignalLog(tr("%1: %2 refused by the controller").arg(port, action));
    else if (logSuccess)
        Q_EMIT SignalLog(tr("%1: %2 sent").arg(port, action));
    // What a controller that speaks G-code (GRBL) got for it, as it was sent.
    for (const std::string& line : quenta::takeSentLines(controller->GetPortSettings()))
        Q_EMIT SignalLog(tr("%1: sent to GRBL: %2").arg(port, QString::fromStdString(line)));
}

void ManualControlWnd::DirectCall(const ManualCommands::Call& call, const QString& action)
{
    if (!ControllerConnectedForDirectCommand())
        return;
    quenta::takeSentLines(controller->GetPortSettings());
    LogCall(action, call(controller->GetPortSettings()));
}

void ManualControlWnd::SlotControllerStatus(const QString& port)
{
    if (!referenceWatched || !controller || port != controller->GetComPort())
        return;
    const QString running = QStringLiteral("Achsen werden referenziert");
    const TarvoStatus& status = controller->GetStatus();
    if (!controller->IsConnected()) {
        referenceWatched = false;
        Q_EMIT SignalStatusMessage(QString(), 0);
    } else if (status.errorCode != 0) {
        referenceWatched = false;
        const QString failed = tr("Reference run failed: %1").arg(status.GetErrorText());
        Q_EMIT SignalStatusMessage(failed, 5000);
        Q_EMIT SignalLog(QStringLiteral("%1: %2").arg(port, failed));
    } else if (!status.runsKnown) {
        // The link cannot tell when the run ends: the message goes like other ones.
        referenceWatched = false;
        Q_EMIT SignalStatusMessage(running, 2000);
    } else if (!status.referencing) {
        referenceWatched = false;
        const QString finished = tr("Reference run finished");
        Q_EMIT SignalStatusMessage(finished, 2000);
        Q_EMIT SignalLog(QStringLiteral("%1: %2").arg(port, finished));
    }
}

bool ManualControlWnd::IsGrblPort() const
{
    return controller
        && quenta::PortMapEntry::parse(quenta::portMapValue(controller->GetComPort())).kind
        == quenta::PortMapEntry::Kind::Grbl;
}

void ManualControlWnd::Jog(int axis, int direction)
{
    EnsureForm();
    if (!CommandMayGoOn())
        return;
    ui->statusLabel->clear();
    SendOrReject(commands->Jog(CurrentUnit(), axis, direction, ui->VEdit->text(),
                               ui->StreckeComboBox->currentIndex()),
                 {ui->VEdit});
}

void ManualControlWnd::MoveRelative(ManualCommands::Pair pair, QLineEdit* firstEdit,
                                    QLineEdit* secondEdit)
{
    if (!CommandMayGoOn())
        return;
    ui->statusLabel->clear();
    SendOrReject(commands->MoveRelative(CurrentUnit(), pair, ui->VEdit->text(),
                                        firstEdit->text(), secondEdit->text()),
                 {ui->VEdit, firstEdit, secondEdit});
}

void ManualControlWnd::SlotXneg() { Jog(0, -1); }
void ManualControlWnd::SlotYneg() { Jog(1, -1); }
void ManualControlWnd::SlotXpos() { Jog(0, 1); }
void ManualControlWnd::SlotYpos() { Jog(1, 1); }
void ManualControlWnd::SlotZneg() { Jog(2, -1); }
void ManualControlWnd::SlotCneg() { Jog(3, -1); }
void ManualControlWnd::SlotZpos() { Jog(2, 1); }
void ManualControlWnd::SlotCpos() { Jog(3, 1); }

void ManualControlWnd::SlotFahreRelativXY()
{
    EnsureForm();
    MoveRelative(ManualCommands::Pair::XY, ui->XEdit, ui->YEdit);
}

void ManualControlWnd::SlotFahreRelativZC()
{
    EnsureForm();
    MoveRelative(ManualCommands::Pair::ZC, ui->ZEdit, ui->CEdit);
}

void ManualControlWnd::SlotHaltePosition()
{
    EnsureForm();
    if (!CommandMayGoOn())
        return;
    ui->statusLabel->clear();
    SendOrReject(commands->HoldPosition(ui->HaltePositionEdit->text()),
                 {ui->HaltePositionEdit});
}

void ManualControlWnd::SlotNullPunktSetzen()
{
    EnsureForm();
    if (!CommandMayGoOn())
        return;
    ui->statusLabel->clear();
    const QList<QLineEdit*> edits = {ui->XNullPunktEdit, ui->YNullPunktEdit, ui->ZNullPunktEdit,
                                     ui->CNullPunktEdit};
    SendOrReject(commands->SetZero(CurrentUnit(), {edits[0]->text(), edits[1]->text(),
                                            edits[2]->text(), edits[3]->text()}),
                 edits);
}

void ManualControlWnd::SlotParken()
{
    if (!CommandMayGoOn())
        return;
    Send(commands->Park(), QStringLiteral("Parken"));
}

void ManualControlWnd::SlotReferenzfahrt()
{
    if (!CommandMayGoOn())
        return;
    const int result = Send(commands->Reference(), QStringLiteral("Referenzfahrt"));
    if (result < 0)
        return;
    // The status bar says so until the run ends or fails (SlotControllerStatus); a refused
    // run ends it at once.
    if (result == 0) {
        referenceWatched = false;
        Q_EMIT SignalStatusMessage(tr("Reference run refused by the controller"), 5000);
        return;
    }
    referenceWatched = true;
    Q_EMIT SignalStatusMessage(QStringLiteral("Achsen werden referenziert"), 0);
}

void ManualControlWnd::SlotSpKuSetzen()
{
    EnsureForm();
    if (!CommandMayGoOn())
        return;
    Send(commands->SetSpindleCooling(ui->bit4SpCheckBox->isChecked(),
                                     ui->bit5KuCheckBox->isChecked()),
         QStringLiteral("Spindel %1, Kühlung %2")
             .arg(ui->bit4SpCheckBox->isChecked() ? QStringLiteral("an") : QStringLiteral("aus"),
                  ui->bit5KuCheckBox->isChecked() ? QStringLiteral("an")
                                                  : QStringLiteral("aus")));
}

void ManualControlWnd::SlotAllgAusgSetzen()
{
    EnsureForm();
    if (!CommandMayGoOn())
        return;
    const QCheckBox* const bits[] = {ui->bit0CheckBox, ui->bit1CheckBox, ui->bit2CheckBox,
                                     ui->bit3CheckBox, ui->bit4CheckBox, ui->bit5CheckBox,
                                     ui->bit6CheckBox, ui->bit7CheckBox};
    unsigned outputs = 0;
    for (unsigned n = 0; n < 8; ++n) {
        if (bits[n]->isChecked())
            outputs |= 1u << n;
    }
    // GRBL takes the call and does nothing: the log says so rather than let the operator
    // believe the outputs were switched.
    if (Send(commands->SetOutputs(static_cast<uint8_t>(outputs)),
             QStringLiteral("Allgemeine Ausgänge %1").arg(outputs, 8, 2, QLatin1Char('0')))
            >= 0
        && IsGrblPort())
        KavrixKernel::Instance()->WriteCommand(
            tr("GRBL has no general outputs: nothing was switched on %1.")
                .arg(controller->GetComPort()));
}

void ManualControlWnd::SlotAllgEingDeaktivieren()
{
    EnsureForm();
    if (!ControllerConnectedForDirectCommand())
        return;
    // Read by the status panel, which shows the general inputs grey while it is not 0.
    controller->GetPortSettings()->generalInputsDisabled =
        ui->AllgEingDeaktivierenCheckBox->isChecked() ? 1 : 0;
}

void ManualControlWnd::SlotNotHalt()
{
    DirectCall(ManualCommands::NotHalt(), QStringLiteral("Not Halt"));
}

void ManualControlWnd::SlotNotStop()
{
    DirectCall(ManualCommands::NotStop(), QStringLiteral("Not Stop"));
}

void ManualControlWnd::SlotFehlerQuit()
{
    DirectCall(ManualCommands::AcknowledgeError(), QStringLiteral("Fehler quitieren"));
}
