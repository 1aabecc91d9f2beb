#include "workcoords.h"

#include "device.h"
#include "kavrixkernel.h"
#include "machinecontrol.h"
#include "quenta.h"
#include "tarvocontroller.h"
#include "tarvoparameters.h"
#include "tarvostatus.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const char* const AxisNames[4] = {"X", "Y", "Z", "C"};
constexpr unsigned AllAxes = 0x7;
constexpr qint64 OffsetsRetryMs = 2000;  // X, Y and Z: "Zero all" leaves a rotary C alone

QString systemName(int system)
{
    return QStringLiteral("G%1").arg(54 + system);
}

}  // namespace

WorkCoordsPanel::WorkCoordsPanel(QWidget* parent) : QGroupBox(parent)
{
    setObjectName(QStringLiteral("WorkCoordsGroupBox"));
    setTitle(tr("Work coordinates"));
    // Folded, one line tells the work position; unfolded, the table, the offsets and the
    // buttons. Folded at first, so a small window keeps the whole status panel in view; the
    // operator's choice is kept.
    setCheckable(true);
    body = new QWidget(this);
    summaryLabel = new QLabel(this);
    summaryLabel->setObjectName(QStringLiteral("WorkSummaryLabel"));
    auto* const outer = new QVBoxLayout(this);
    outer->setContentsMargins(4, 2, 4, 2);
    outer->addWidget(summaryLabel);
    outer->addWidget(body);
    auto* const grid = new QGridLayout(body);
    grid->setContentsMargins(0, 0, 0, 0);
    auto* const machineHeader = new QLabel(tr("Machine"), this);
    auto* const workHeader = new QLabel(tr("Work"), this);
    for (QLabel* const header : {machineHeader, workHeader})
        header->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    grid->addWidget(machineHeader, 0, 1);
    grid->addWidget(workHeader, 0, 2);
    for (int axis = 0; axis < 4; ++axis) {
        axisLabels[size_t(axis)] =
            new QLabel(QStringLiteral("%1:").arg(QLatin1String(AxisNames[axis])), this);
        machineLabels[size_t(axis)] = new QLabel(this);
        workLabels[size_t(axis)] = new QLabel(this);
        machineLabels[size_t(axis)]->setObjectName(
            QStringLiteral("%1MachineLabel").arg(QLatin1String(AxisNames[axis])));
        workLabels[size_t(axis)]->setObjectName(
            QStringLiteral("%1WorkLabel").arg(QLatin1String(AxisNames[axis])));
        for (QLabel* const l : {machineLabels[size_t(axis)], workLabels[size_t(axis)]}) {
            l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            // Room for the longest value, so a changing one never re-lays out the panel.
            l->setMinimumWidth(
                l->fontMetrics().horizontalAdvance(QStringLiteral("-99999.999 mm")));
        }
        grid->addWidget(axisLabels[size_t(axis)], axis + 1, 0);
        grid->addWidget(machineLabels[size_t(axis)], axis + 1, 1);
        grid->addWidget(workLabels[size_t(axis)], axis + 1, 2);
    }
    offsetsLabel = new QLabel(this);
    offsetsLabel->setObjectName(QStringLiteral("WorkOffsetsLabel"));
    offsetsLabel->setWordWrap(true);
    grid->addWidget(offsetsLabel, 5, 0, 1, 3);

    // Two rows of buttons, so the group never widens the panel.
    auto* const row = new QHBoxLayout;
    auto* const secondRow = new QHBoxLayout;
    const QString zeroTexts[4] = {tr("Zero X"), tr("Zero Y"), tr("Zero Z"), tr("Zero all")};
    const unsigned zeroMasks[4] = {1, 2, 4, AllAxes};
    const char* const zeroNames[4] = {"ZeroXButton", "ZeroYButton", "ZeroZButton",
                                      "ZeroAllButton"};
    for (int i = 0; i < 4; ++i) {
        auto* const button = new QPushButton(zeroTexts[i], this);
        button->setObjectName(QLatin1String(zeroNames[i]));
        button->setToolTip(tr("The current position becomes the work zero"));
        const unsigned mask = zeroMasks[i];
        connect(button, &QPushButton::clicked, this, [this, mask] { ZeroAxes(mask); });
        zeroButtons[i] = button;
        (i < 3 ? row : secondRow)->addWidget(button);
    }
    goToZeroButton = new QPushButton(tr("Go to zero"), this);
    goToZeroButton->setObjectName(QStringLiteral("GoToZeroButton"));
    goToZeroButton->setToolTip(
        tr("Rapid to the work zero: X and Y, then Z (Z first when it stands below zero)"));
    connect(goToZeroButton, &QPushButton::clicked, this, &WorkCoordsPanel::GoToZero);
    secondRow->addWidget(goToZeroButton);
    grid->addLayout(row, 6, 0, 1, 3);
    grid->addLayout(secondRow, 7, 0, 1, 3);
    messageLabel = new QLabel(this);
    messageLabel->setObjectName(QStringLiteral("WorkCoordsMessageLabel"));
    messageLabel->setWordWrap(true);
    grid->addWidget(messageLabel, 8, 0, 1, 3);

    const bool expanded = QSettings().value(QStringLiteral("WorkCoordsExpanded"), false).toBool();
    setChecked(expanded);
    SetExpanded(expanded);
    connect(this, &QGroupBox::toggled, this, [this](bool on) {
        SetExpanded(on);
        QSettings().setValue(QStringLiteral("WorkCoordsExpanded"), on);
    });

    KavrixKernel* const kernel = KavrixKernel::Instance();
    connect(kernel, &KavrixKernel::SignalUpdateControllerStatus, this,
            [this](const QString& port) {
                const TarvoController* const active =
                    KavrixKernel::Instance()->GetActiveController();
                if (active && active->GetComPort() == port)
                    Refresh();
            });
    connect(kernel, &KavrixKernel::SignalActiveControllerChanged, this, [this] {
        messageLabel->clear();
        Refresh();
    });
    Refresh();
}

WorkCoordsPanel::~WorkCoordsPanel() = default;

void WorkCoordsPanel::SetExpanded(bool expanded)
{
    body->setVisible(expanded);
    summaryLabel->setVisible(!expanded);
    // A checkable group box disables its children when unchecked: the folded one stays live.
    body->setEnabled(true);
    summaryLabel->setEnabled(true);
}

void WorkCoordsPanel::ShowNothing()
{
    offsetsRead = nullptr;
    // Reports of a controller that is not connected come often: touch the labels once.
    if (showingNothing)
        return;
    showingNothing = true;
    for (int axis = 0; axis < 4; ++axis) {
        machineLabels[size_t(axis)]->clear();
        workLabels[size_t(axis)]->clear();
    }
    offsetsLabel->clear();
    offsetsLabel->setToolTip(QString());
    summaryLabel->clear();
    for (QPushButton* const b : zeroButtons)
        b->setEnabled(false);
    goToZeroButton->setEnabled(false);
}

QString WorkCoordsPanel::Format(TarvoController* controller, const quenta::WorkCoordinates& wc,
                                int axis, double value) const
{
    if (wc.millimetres)
        return QString::number(value, 'f', 3) + QStringLiteral(" mm");
    const TarvoParameters& p = controller->GetParameters();
    const float resolutions[4] = {p.MECHANIK_AUFLOESUNG_X_FLOAT, p.MECHANIK_AUFLOESUNG_Y_FLOAT,
                                  p.MECHANIK_AUFLOESUNG_Z_FLOAT, p.MECHANIK_AUFLOESUNG_C_FLOAT};
    const bool rotary = p.MECHANIK_ACHSENCONFIGURATION_UCHAR[axis] == 1;
    if (p.IsDefined() && !rotary && resolutions[axis] > 0.0f)
        return QString::number(value / double(resolutions[axis]), 'f', 3) + QStringLiteral(" mm");
    return tr("%1 steps").arg(qint64(value));
}

void WorkCoordsPanel::ShowOffsets(TarvoController* controller, const quenta::WorkCoordinates& wc)
{
    QString text;
    QString tip;
    if (wc.millimetres) {
        // GRBL: the system in force in the text, the whole table in the tool tip.
        if (wc.activeSystem >= 0 && wc.haveOffsets) {
            const double* const o = wc.offsets[wc.activeSystem];
            text = tr("%1 offset: X %2  Y %3  Z %4")
                       .arg(systemName(wc.activeSystem), QString::number(o[0], 'f', 3),
                            QString::number(o[1], 'f', 3), QString::number(o[2], 'f', 3));
        } else if (wc.activeSystem >= 0) {
            text = tr("Work system %1").arg(systemName(wc.activeSystem));
        }
        if (wc.haveOffsets) {
            tip = QStringLiteral("<table><tr><th></th><th>X</th><th>Y</th><th>Z</th></tr>");
            for (int system = 0; system < 6; ++system) {
                tip += QStringLiteral("<tr><td>%1%2</td>")
                           .arg(systemName(system),
                                system == wc.activeSystem ? QStringLiteral(" *") : QString());
                for (int axis = 0; axis < 3; ++axis)
                    tip += QStringLiteral("<td align=right>%1</td>")
                               .arg(QString::number(wc.offsets[system][axis], 'f', 3));
                tip += QStringLiteral("</tr>");
            }
            tip += QStringLiteral("</table>");
        }
    } else if (wc.haveOffsets) {
        // Ours: the zero point, where it lies in the machine's frame.
        QStringList parts;
        for (int axis = 0; axis < 3; ++axis)
            parts << QStringLiteral("%1 %2").arg(
                QLatin1String(AxisNames[axis]), Format(controller, wc, axis, wc.offsets[0][axis]));
        text = tr("Zero point: %1").arg(parts.join(QStringLiteral("  ")));
    }
    if (offsetsLabel->text() != text)
        offsetsLabel->setText(text);
    if (offsetsLabel->toolTip() != tip)
        offsetsLabel->setToolTip(tip);
}

void WorkCoordsPanel::Refresh()
{
    TarvoController* const controller = KavrixKernel::Instance()->GetActiveController();
    if (!controller || !controller->IsConnected()) {
        ShowNothing();
        return;
    }
    quenta::WorkCoordinates wc;
    if (!quenta::workCoordinates(controller->GetPortSettings(), wc)) {
        // Only the status report: its position is the work position, in steps.
        const TarvoStatus& status = controller->GetStatus();
        wc = quenta::WorkCoordinates{};
        wc.axes = 4;
        const int32_t steps[4] = {status.posX, status.posY, status.posZ, status.posC};
        std::copy(steps, steps + 4, wc.work);
    }
    showingNothing = false;
    // GRBL's table comes from "$#" once per connection (and after every zeroing); GRBL answers
    // it at rest only, so it is asked again now and then until it came.
    if (wc.millimetres && !wc.haveOffsets
        && (offsetsRead != controller || !offsetsAsked.isValid()
            || offsetsAsked.hasExpired(OffsetsRetryMs))) {
        offsetsRead = controller;
        offsetsAsked.start();
        if (quenta::readWorkOffsets(controller->GetPortSettings()))
            quenta::workCoordinates(controller->GetPortSettings(), wc);
    }
    for (int axis = 0; axis < 4; ++axis) {
        const bool shown = axis < wc.axes;
        axisLabels[size_t(axis)]->setVisible(shown);
        machineLabels[size_t(axis)]->setVisible(shown);
        workLabels[size_t(axis)]->setVisible(shown);
        const QString machine =
            wc.haveMachine ? Format(controller, wc, axis, wc.machine[axis]) : QStringLiteral("?");
        const QString work = Format(controller, wc, axis, wc.work[axis]);
        if (machineLabels[size_t(axis)]->text() != machine)
            machineLabels[size_t(axis)]->setText(machine);
        if (workLabels[size_t(axis)]->text() != work)
            workLabels[size_t(axis)]->setText(work);
    }
    QStringList work;
    for (int axis = 0; axis < wc.axes && axis < 4; ++axis)
        work << QStringLiteral("%1 %2").arg(QLatin1String(AxisNames[axis]),
                                            workLabels[size_t(axis)]->text());
    const QString summary = tr("Work: %1").arg(work.join(QStringLiteral("  ")));
    if (summaryLabel->text() != summary)
        summaryLabel->setText(summary);
    ShowOffsets(controller, wc);
    for (QPushButton* const b : zeroButtons)
        b->setEnabled(true);
    goToZeroButton->setEnabled(true);
}

void WorkCoordsPanel::Report(TarvoController* controller, bool done, const QString& what)
{
    if (done) {
        messageLabel->clear();
        return;
    }
    const QString why = QString::fromStdString(quenta::takeRefusal(controller->GetPortSettings()));
    messageLabel->setText(why.isEmpty() ? tr("%1 refused: the machine must be at rest, without "
                                             "an error, and no job may run.")
                                              .arg(what)
                                        : tr("%1 refused: %2").arg(what, why));
}

void WorkCoordsPanel::ZeroAxes(unsigned axes)
{
    TarvoController* const controller = KavrixKernel::Instance()->GetActiveController();
    if (!controller || !controller->IsConnected())
        return;
    Report(controller, quenta::zeroAxes(controller->GetPortSettings(), axes), tr("Zeroing"));
    Refresh();
}

void WorkCoordsPanel::GoToZero()
{
    TarvoController* const controller = KavrixKernel::Instance()->GetActiveController();
    if (!controller || !controller->IsConnected())
        return;
    Report(controller, quenta::goToZero(controller->GetPortSettings()), tr("Go to zero"));
}
