#include "manualcontrolwnd.h"
#include "ui_manualcontrolwnd.h"

#include "commandguard.h"
#include "commandline.h"
#include "device.h"
#include "kavrixkernel.h"
#include "manualcommandvalues.h"
#include "quenta.h"
#include "ramcommandformat.h"
#include "tarvocontroller.h"

#include <QBoxLayout>
#include <QDoubleValidator>
#include <QIntValidator>
#include <QLabel>
#include <QLocale>

// An inclusive range in both units with the messages that reject a value outside it.
struct ManualValueRange {
    int32_t lowSteps;
    int32_t highSteps;
    float lowMm;
    float highMm;
    const char* stepsMessage;
    const char* mmMessage;
};

namespace {

enum Axis { AxisX = 0, AxisY = 1, AxisZ = 2, AxisC = 3 };

// The messages are looked up in the panel's translation context when shown.
const ManualValueRange velocityRange = {
    0, 999, 0.0f, 999.0f,
    QT_TRANSLATE_NOOP("ManualControlWnd", "Value out of range [0 ... 999]"),
    QT_TRANSLATE_NOOP("ManualControlWnd", "Value out of range [0.0 ... 999.0]")};
// Relative distances and the zero point.
const ManualValueRange distanceRange = {
    -32767, 32767, -32767.0f, 32767.0f,
    QT_TRANSLATE_NOOP("ManualControlWnd", "Value out of range [-32767 ... 32767]"),
    QT_TRANSLATE_NOOP("ManualControlWnd", "Value out of range [-32767.0 ... 32767.0]")};
// The hold time is an integer in both units.
const ManualValueRange holdTimeRange = {
    0, 12000000, 0.0f, 0.0f,
    QT_TRANSLATE_NOOP("ManualControlWnd", "Value out of range [0 ... 12000000]"),
    QT_TRANSLATE_NOOP("ManualControlWnd", "Value out of range [0 ... 12000000]")};

const QString guardTitle = QStringLiteral("ManualControlWnd");

std::unique_ptr<QIntValidator> integerValidator(int bottom, int top)
{
    auto validator = std::make_unique<QIntValidator>(bottom, top);
    validator->setLocale(MachineNumberLocale());
    return validator;
}

std::unique_ptr<QDoubleValidator> decimalValidator(double bottom, double top)
{
    auto validator = std::make_unique<QDoubleValidator>(bottom, top, 6);
    validator->setNotation(QDoubleValidator::StandardNotation);
    validator->setLocale(MachineNumberLocale());
    return validator;
}

// Text that does not convert counts as 0.
int32_t toInteger(const QLineEdit* edit)
{
    bool ok = false;
    const int value = edit->text().toInt(&ok, 10);
    return ok ? value : 0;
}

float toFloat(const QLineEdit* edit)
{
    bool ok = false;
    const float value = edit->text().toFloat(&ok);
    return ok ? value : 0.0f;
}

template <typename T>
bool inRange(T value, T low, T high)
{
    // Written so that a NaN is out of every range.
    return value >= low && value <= high;
}

}  // namespace

ManualControlWnd::ManualControlWnd(TarvoController* controller, QWidget* parent,
                                   FormBuild when)
    : QWidget(parent),
      controller(controller),
      values(std::make_unique<ManualCommandValues>()),
      velocityStepsValidator(integerValidator(0, 999)),
      velocityMmValidator(decimalValidator(0.0, 999.0)),
      holdTimeValidator(integerValidator(0, 12000000)),
      distanceStepsValidator(integerValidator(-32767, 32767)),
      distanceMmValidator(decimalValidator(-32767.0, 32767.0))
{
    if (when == FormBuild::Now)
        BuildForm();
}

void ManualControlWnd::EnsureForm()
{
    if (!ui)
        BuildForm();
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

bool ManualControlWnd::ReadValue(QLineEdit* edit, const ManualValueRange& range, int32_t& steps,
                                 float& mm, CommandLine& line)
{
    if (stepsMode)
        return ReadInteger(edit, range, steps, line);
    mm = toFloat(edit);
    if (!inRange(mm, range.lowMm, range.highMm)) {
        RejectInput(edit, tr(range.mmMessage));
        return false;
    }
    line.Append(mm);
    return true;
}

bool ManualControlWnd::ReadInteger(QLineEdit* edit, const ManualValueRange& range,
                                   int32_t& target, CommandLine& line)
{
    target = toInteger(edit);
    if (!inRange(target, range.lowSteps, range.highSteps)) {
        RejectInput(edit, tr(range.stepsMessage));
        return false;
    }
    line.Append(target);
    return true;
}

bool ManualControlWnd::ReadVelocity(CommandLine& line)
{
    return ReadValue(ui->VEdit, velocityRange, values->velocitySteps, values->velocityMm, line);
}

template <typename Call>
void ManualControlWnd::Send(const CommandLine& line, Call call)
{
    KavrixKernel* const kernel = KavrixKernel::Instance();
    const bool execute = !kernel->IsCommandToEditor() && controller;
    if (execute)
        call(controller->GetPortSettings());
    kernel->WriteCommand(line.Text());
    // A controller that refuses a command for a reason of its own (a GRBL port's park
    // position outside the machine) says why in the log, below the command.
    if (execute) {
        const std::string why = quenta::takeRefusal(controller->GetPortSettings());
        if (!why.empty())
            kernel->WriteCommand(tr("Refused: %1").arg(QString::fromStdString(why)));
    }
}

QString ManualControlWnd::MoveKeyword(Pair pair) const
{
    if (pair == Pair::XY)
        return stepsMode ? QStringLiteral("GO_XY_S") : QStringLiteral("GO_XY_MM");
    return stepsMode ? QStringLiteral("GO_ZC_S") : QStringLiteral("GO_ZC_MM");
}

void ManualControlWnd::SendMove(Pair pair, const CommandLine& line)
{
    ManualCommandValues& v = *values;
    const int first = pair == Pair::XY ? AxisX : AxisZ;
    const bool steps = stepsMode;
    Send(line, [&v, pair, first, steps](TarvoPortSettings* record) {
        // The library reads six entries from each address; entry 0 is the distance.
        if (steps) {
            const auto move =
                pair == Pair::XY ? &FahreRelativ_XY_Schritte : &FahreRelativ_ZC_Schritte;
            move(record, v.velocitySteps, v.moveArgA, v.distSteps[first], v.distSteps[first + 1],
                 v.moveArgB);
        } else {
            const auto move = pair == Pair::XY ? &FahreRelativ_XY_mm : &FahreRelativ_ZC_mm;
            move(record, v.velocityMm, v.moveArgA, v.distMm[first], v.distMm[first + 1],
                 v.moveArgB);
        }
    });
}

void ManualControlWnd::Jog(Pair pair, int axisInPair, int direction)
{
    EnsureForm();
    if (!CommandMayGoOn())
        return;
    ui->statusLabel->clear();
    CommandLine line(MoveKeyword(pair));
    if (!ReadVelocity(line))
        return;
    const int index =
        qBound(0, ui->StreckeComboBox->currentIndex(), ManualCommandValues::JogDistances - 1);
    const int first = pair == Pair::XY ? AxisX : AxisZ;
    const int moved = first + axisInPair;
    const int still = first + (1 - axisInPair);
    if (stepsMode) {
        values->distSteps[moved][0] = direction * values->jogStepsTable[index];
        values->distSteps[still][0] = 0;
        line.Append(values->distSteps[first][0]).Append(values->distSteps[first + 1][0]);
    } else {
        values->distMm[moved][0] = static_cast<float>(direction) * values->jogMmTable[index];
        values->distMm[still][0] = 0.0f;
        line.Append(values->distMm[first][0]).Append(values->distMm[first + 1][0]);
    }
    SendMove(pair, line);
}

void ManualControlWnd::MoveRelative(Pair pair, QLineEdit* firstEdit, QLineEdit* secondEdit)
{
    if (!CommandMayGoOn())
        return;
    ui->statusLabel->clear();
    CommandLine line(MoveKeyword(pair));
    if (!ReadVelocity(line))
        return;
    const int first = pair == Pair::XY ? AxisX : AxisZ;
    if (!ReadValue(firstEdit, distanceRange, values->distSteps[first][0],
                   values->distMm[first][0], line))
        return;
    if (!ReadValue(secondEdit, distanceRange, values->distSteps[first + 1][0],
                   values->distMm[first + 1][0], line))
        return;
    SendMove(pair, line);
}

void ManualControlWnd::SlotXneg() { Jog(Pair::XY, 0, -1); }
void ManualControlWnd::SlotYneg() { Jog(Pair::XY, 1, -1); }
void ManualControlWnd::SlotXpos() { Jog(Pair::XY, 0, 1); }
void ManualControlWnd::SlotYpos() { Jog(Pair::XY, 1, 1); }
void ManualControlWnd::SlotZneg() { Jog(Pair::ZC, 0, -1); }
void ManualControlWnd::SlotCneg() { Jog(Pair::ZC, 1, -1); }
void ManualControlWnd::SlotZpos() { Jog(Pair::ZC, 0, 1); }
void ManualControlWnd::SlotCpos() { Jog(Pair::ZC, 1, 1); }

void ManualControlWnd::SlotFahreRelativXY()
{
    EnsureForm();
    MoveRelative(Pair::XY, ui->XEdit, ui->YEdit);
}

void ManualControlWnd::SlotFahreRelativZC()
{
    EnsureForm();
    MoveRelative(Pair::ZC, ui->ZEdit, ui->CEdit);
}

void ManualControlWnd::SlotHaltePosition()
{
    EnsureForm();
    if (!CommandMayGoOn())
        return;
    ui->statusLabel->clear();
    CommandLine line(QStringLiteral("WAIT"));
    if (!ReadInteger(ui->HaltePositionEdit, holdTimeRange, values->holdTimeMs, line))
        return;
    const int32_t holdTime = values->holdTimeMs;
    Send(line, [holdTime](TarvoPortSettings* record) { HaltePosition(record, holdTime); });
}

void ManualControlWnd::SlotNullPunktSetzen()
{
    EnsureForm();
    if (!CommandMayGoOn())
        return;
    ui->statusLabel->clear();
    CommandLine line(stepsMode ? QStringLiteral("SET_ZERO_S") : QStringLiteral("SET_ZERO_MM"));
    QLineEdit* const edits[] = {ui->XNullPunktEdit, ui->YNullPunktEdit, ui->ZNullPunktEdit,
                                ui->CNullPunktEdit};
    for (int axis = AxisX; axis <= AxisC; ++axis) {
        if (!ReadValue(edits[axis], distanceRange, values->zeroSteps[axis], values->zeroMm[axis],
                       line))
            return;
    }
    const ManualCommandValues& v = *values;
    const bool steps = stepsMode;
    Send(line, [&v, steps](TarvoPortSettings* record) {
        if (steps)
            NullPunktSetzen_Schritte(record, v.zeroSteps[AxisX], v.zeroSteps[AxisY],
                                     v.zeroSteps[AxisZ], v.zeroSteps[AxisC]);
        else
            NullPunktSetzen_mm(record, v.zeroMm[AxisX], v.zeroMm[AxisY], v.zeroMm[AxisZ],
                               v.zeroMm[AxisC]);
    });
}

void ManualControlWnd::SlotParken()
{
    if (!CommandMayGoOn())
        return;
    Send(CommandLine(QStringLiteral("GO_PARK")),
         [](TarvoPortSettings* record) { ParkPositionAnfahren(record); });
}

void ManualControlWnd::SlotReferenzfahrt()
{
    if (!CommandMayGoOn())
        return;
    Send(CommandLine(QStringLiteral("GO_REF")),
         [](TarvoPortSettings* record) { Referenzfahrt(record, 0, 0); });
}

void ManualControlWnd::SlotSpKuSetzen()
{
    EnsureForm();
    if (!CommandMayGoOn())
        return;
    values->coolingOn = ui->bit5KuCheckBox->isChecked() ? 1 : 0;
    values->spindleOn = ui->bit4SpCheckBox->isChecked() ? 1 : 0;
    const uint8_t cooling = values->coolingOn;
    const uint8_t spindle = values->spindleOn;
    // The line names cooling first, the library call takes the spindle first.
    CommandLine line(QStringLiteral("SET_FUNC"));
    line.Append(int32_t{cooling}).Append(int32_t{spindle});
    Send(line, [spindle, cooling](TarvoPortSettings* record) {
        SpindelKuhlungSetzen(record, spindle, cooling);
    });
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
    values->generalOutputs = static_cast<uint8_t>(outputs);
    const uint8_t generalOutputs = values->generalOutputs;
    CommandLine line(QStringLiteral("SET_O"));
    line.Append(int32_t{generalOutputs});
    Send(line, [generalOutputs](TarvoPortSettings* record) {
        AllgemeineAusgaeneSetzen(record, generalOutputs);
    });
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
    if (ControllerConnectedForDirectCommand())
        NotHalt_mitBremsrampe(controller->GetPortSettings());
}

void ManualControlWnd::SlotNotStop()
{
    if (ControllerConnectedForDirectCommand())
        NotStop_ohneBremsrampe(controller->GetPortSettings());
}

void ManualControlWnd::SlotFehlerQuit()
{
    if (ControllerConnectedForDirectCommand())
        FehlerQuitieren(controller->GetPortSettings());
}
