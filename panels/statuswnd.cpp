#include "statuswnd.h"
#include "ui_statuswnd.h"

#include "controllercodes.h"
#include "kavrixkernel.h"
#include "quenta.h"
#include "tarvocontroller.h"
#include "tarvoparameters.h"
#include "workcoords.h"

#include <QGroupBox>
#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

namespace {

// Indexes into the pin label table, in the order RefreshStatus fills them.
enum PinLabel {
    RefX = 0,           // reference pins X, Y, Z, C: 0 ... 3
    Cooling = 4,
    Spindle = 5,
    OutputBit7 = 6,     // general outputs, bit 7 ... bit 0: 6 ... 13
    InputBit7 = 14,     // switch inputs J3, J2, J1, Not, EndC, EndZ, EndY, EndX: 14 ... 21
    GeneralInBit7 = 22, // general inputs, bit 7 ... bit 0: 22 ... 29
    PinLabelCount = 30
};

// Axis configuration entry that marks an axis as deactivated.
constexpr int AxisDeactivated = 2;

int axisConfiguration(TarvoController* controller, int axis)
{
    return controller->GetParameters().MECHANIK_ACHSENCONFIGURATION_UCHAR[axis];
}

}  // namespace

StatusWnd::StatusWnd(QWidget* parent)
    : QWidget(parent),
      ui(std::make_unique<Ui::StatusWnd>())
{
    ui->setupUi(this);
    pins[PinGreen] = QPixmap(QStringLiteral(":/images/pinGreen.png"));
    pins[PinYellow] = QPixmap(QStringLiteral(":/images/pinYellow.png"));
    pins[PinGrey] = QPixmap(QStringLiteral(":/images/pinGrey.png"));
    pins[PinRed] = QPixmap(QStringLiteral(":/images/pinRed.png"));

    pinLabels = {ui->endRefXLabel,  ui->endRefYLabel,  ui->endRefZLabel,  ui->endRefCLabel,
                 ui->bit5KuLabel,   ui->bit4SpLabel,   ui->bit7AusLabel,  ui->bit6AusLabel,
                 ui->bit5AusLabel,  ui->bit4AusLabel,  ui->bit3AusLabel,  ui->bit2AusLabel,
                 ui->bit1AusLabel,  ui->bit0AusLabel,  ui->bit7J3Label,   ui->bit6J2Label,
                 ui->bit5J1Label,   ui->bit4NotLabel,  ui->bit3EndCLabel, ui->bit2EndZLabel,
                 ui->bit1EndYLabel, ui->bit0EndXLabel, ui->bit7EinLabel,  ui->bit6EinLabel,
                 ui->bit5EinLabel,  ui->bit4EinLabel,  ui->bit3EinLabel,  ui->bit2EinLabel,
                 ui->bit1EinLabel,  ui->bit0EinLabel};
    shownPins.fill(PinUnset);
    // Pins of a fixed size: changing a picture then never re-lays out the panel, which matters
    // when reports arrive by the thousand.
    const QSize pinSize = pins[PinGrey].isNull() ? QSize(16, 16)
                                                 : pins[PinGrey].deviceIndependentSize().toSize();
    // Nor do they look up the window's safe-area margins (a phone's notch) on every change:
    // a label inside a layout never sits at the window's edge.
    for (QLabel* const label : pinLabels) {
        label->setFixedSize(pinSize);
        label->setAttribute(Qt::WA_ContentsMarginsRespectsSafeArea, false);
    }

    // The positions in millimetres beside the steps.
    const char* const mmNames[4] = {"XmmLabel", "YmmLabel", "ZmmLabel", "CmmLabel"};
    for (int axis = 0; axis < 4; ++axis) {
        auto* const label = new QLabel(this);
        label->setObjectName(QLatin1String(mmNames[axis]));
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        // Room for "-99999.999 mm", so a changing value never re-lays out the panel.
        label->setMinimumWidth(label->fontMetrics().horizontalAdvance(
            QStringLiteral("-99999.999 mm")));
        ui->positionLayout->addWidget(label, axis, 3);
        mmLabels[size_t(axis)] = label;
    }

    // The read-outs that change with every report show digits, signs and "mm" only, which
    // need no text shaping: skipping it makes setting their text about twice as fast.
    for (QWidget* const readOut : std::initializer_list<QWidget*>{
             ui->XistEdit, ui->YistEdit, ui->ZistEdit, ui->CistEdit, mmLabels[0], mmLabels[1],
             mmLabels[2], mmLabels[3]}) {
        QFont font = readOut->font();
        font.setStyleStrategy(QFont::PreferNoShaping);
        readOut->setFont(font);
        readOut->setAttribute(Qt::WA_ContentsMarginsRespectsSafeArea, false);
    }

    // A running RAM program beside the error text, in the same frame: the frame keeps its
    // height whether it shows or not.
    ramProgramLabel = new QLabel(ui->frame);
    ramProgramLabel->setObjectName(QStringLiteral("ramProgramLabel"));
    ramProgramLabel->setAlignment(Qt::AlignRight | Qt::AlignTop);
    ramProgramLabel->setStyleSheet(QStringLiteral("font-weight: bold;"));
    ramProgramLabel->hide();
    ui->frameLayout->addWidget(ramProgramLabel);

    // Compact, so that in a window of 1024 x 700 the whole panel fits its dock without
    // scrolling: tighter margins and spacing, while every text keeps its size.
    ui->mainLayout->setContentsMargins(4, 2, 4, 2);
    ui->mainLayout->setHorizontalSpacing(4);
    ui->mainLayout->setVerticalSpacing(2);
    ui->frameLayout->setContentsMargins(4, 2, 4, 2);
    for (QGroupBox* const group : findChildren<QGroupBox*>()) {
        if (QLayout* const layout = group->layout()) {
            layout->setContentsMargins(6, 2, 6, 2);
            layout->setSpacing(4);
        }
    }
    ui->positionLayout->setVerticalSpacing(1);
    ui->eingLayout->setVerticalSpacing(0);
    // The positions are read-outs: without an edit's frame they take a few pixels less.
    for (QLineEdit* const edit : {ui->XistEdit, ui->YistEdit, ui->ZistEdit, ui->CistEdit})
        edit->setFrame(false);

    // Room for two lines of error text whether or not there is one, so an error coming or
    // going never moves the positions below it.
    ui->ErrorLabel->setMinimumHeight(2 * ui->ErrorLabel->fontMetrics().lineSpacing());

    // Machine and work positions, the work offsets and zeroing, right below the positions:
    // both share the position group's place in the grid.
    auto* const positions = new QWidget(this);
    auto* const positionsLayout = new QVBoxLayout(positions);
    positionsLayout->setContentsMargins(0, 0, 0, 0);
    ui->mainLayout->removeWidget(ui->groupBox);
    positionsLayout->addWidget(ui->groupBox);
    positionsLayout->addWidget(new WorkCoordsPanel(positions));
    ui->mainLayout->addWidget(positions, 1, 0, 1, 2);

    KavrixKernel* const kernel = KavrixKernel::Instance();
    connect(kernel, &KavrixKernel::SignalUpdateControllerStatus, this,
            &StatusWnd::SlotUpdateControllerStatus);
    connect(kernel, &KavrixKernel::SignalActiveControllerChanged, this, &StatusWnd::SlotUpdate);

    ShowNoController();
    RefreshStatus();
}

StatusWnd::~StatusWnd() = default;

void StatusWnd::SlotUpdateControllerStatus(QString sPort)
{
    const TarvoController* const active = KavrixKernel::Instance()->GetActiveController();
    if (active && active->GetComPort() == sPort)
        RefreshStatus();
}

void StatusWnd::SlotUpdate()
{
    RefreshStatus();
}

void StatusWnd::SetPin(int label, Pin pin)
{
    // Setting a picture re-lays out the label; most refreshes change only a few pins.
    if (shownPins[label] == pin)
        return;
    shownPins[label] = pin;
    pinLabels[label]->setPixmap(pins[pin]);
}

void StatusWnd::ShowNoController()
{
    for (QLineEdit* const edit : {ui->XistEdit, ui->YistEdit, ui->ZistEdit, ui->CistEdit})
        edit->clear();
    for (QLabel* const label : mmLabels)
        label->clear();
    ui->ErrorLabel->clear();
    ShowRamProgram(QString());
    for (int label = 0; label < PinLabelCount; ++label)
        SetPin(label, PinGrey);
    SetProgress(0);
}

void StatusWnd::RefreshStatus()
{
    TarvoController* const controller = KavrixKernel::Instance()->GetActiveController();
    if (!controller || !controller->IsConnected()) {
        ShowNoController();
        return;
    }
    const TarvoStatus& status = controller->GetStatus();
    const auto showNumber = [](QLineEdit* edit, int32_t value) {
        const QString text = QString::number(value);
        if (edit->text() != text)
            edit->setText(text);
    };
    showNumber(ui->XistEdit, status.posX);
    showNumber(ui->YistEdit, status.posY);
    showNumber(ui->ZistEdit, status.posZ);
    showNumber(ui->CistEdit, status.posC);
    ShowMillimetres(controller->GetParameters(), {status.posX, status.posY, status.posZ,
                                                  status.posC});

    for (int axis = 0; axis < 4; ++axis) {
        Pin pin = PinYellow;
        if (status.flags & quenta::codes::referencedFlag(axis))
            pin = PinGreen;
        else if (axisConfiguration(controller, axis) == AxisDeactivated)
            pin = PinGrey;
        SetPin(RefX + axis, pin);
    }

    const QString errorText = status.errorCode != 0 ? status.GetErrorText() : QString();
    if (ui->ErrorLabel->text() != errorText)
        ui->ErrorLabel->setText(errorText);
    QString ram;
    if (status.ramSlot != 0)
        ram = status.ramPasses == 0
                  ? tr("RAM%1, pass %2, %3").arg(status.ramSlot).arg(status.ramPass).arg(
                        tr("endless"))
                  : tr("RAM%1, pass %2 of %3")
                        .arg(status.ramSlot)
                        .arg(status.ramPass)
                        .arg(status.ramPasses);
    ShowRamProgram(ram);

    const auto greenIf = [](bool on) { return on ? PinGreen : PinYellow; };
    SetPin(Cooling, greenIf(status.flags & quenta::codes::CoolingOn));
    SetPin(Spindle, greenIf(status.flags & quenta::codes::SpindleOn));
    for (int i = 0; i < 8; ++i)
        SetPin(OutputBit7 + i, greenIf(status.generalOutputs & (1u << (7 - i))));

    // J3, J2, J1 green when set; emergency stop and end switches red when set.
    for (int i = 0; i < 8; ++i) {
        const unsigned bit = 7 - i;
        if (bit >= 5)
            SetPin(InputBit7 + i, greenIf(status.inputs & (1u << bit)));
        else
            SetPin(InputBit7 + i, (status.inputs & (1u << bit)) ? PinRed : PinYellow);
    }

    const bool generalInputsDisabled = controller->GetPortSettings()->generalInputsDisabled != 0;
    for (int i = 0; i < 8; ++i)
        SetPin(GeneralInBit7 + i,
               generalInputsDisabled ? PinGrey : greenIf(status.generalInputs & (1u << (7 - i))));

    // Cut towards zero, so a full buffer of 255 entries shows 99 %, never 100 %.
    SetProgress(static_cast<int>(status.bufferFill * 100.0 / 256.0));
}

void StatusWnd::ShowRamProgram(const QString& text)
{
    if (ramProgramLabel->text() == text)
        return;
    ramProgramLabel->setText(text);
    ramProgramLabel->setVisible(!text.isEmpty());
}

void StatusWnd::SetProgress(int percent)
{
    QProgressBar* const bar = ui->progressBar;
    if (bar->value() == percent)
        return;
    // A progress bar repaints itself at once on every new value; with updates held back it
    // only schedules an ordinary update, painted with the rest of the panel.
    bar->setUpdatesEnabled(false);
    bar->setValue(percent);
    bar->setUpdatesEnabled(true);
}

void StatusWnd::ShowMillimetres(const TarvoParameters& parameters,
                                const std::array<int32_t, 4>& steps)
{
    const float resolutions[4] = {
        parameters.MECHANIK_AUFLOESUNG_X_FLOAT, parameters.MECHANIK_AUFLOESUNG_Y_FLOAT,
        parameters.MECHANIK_AUFLOESUNG_Z_FLOAT, parameters.MECHANIK_AUFLOESUNG_C_FLOAT};
    for (size_t axis = 0; axis < 4; ++axis) {
        // Only for a linear or switched-off axis with a known resolution: a rotary axis's
        // steps per degree are not known, and an undefined set knows nothing.
        QString text;
        const bool rotary = parameters.MECHANIK_ACHSENCONFIGURATION_UCHAR[axis] == 1;
        if (parameters.IsDefined() && !rotary && resolutions[axis] > 0.0f) {
            const double mm = double(steps[axis]) / double(resolutions[axis]);
            text = QString::number(mm, 'f', 3) + QStringLiteral(" mm");
        }
        if (mmLabels[axis]->text() != text)
            mmLabels[axis]->setText(text);
    }
}
