#include "jogpad.h"

#include "device.h"
#include "kavrixkernel.h"
#include "machinecontrol.h"
#include "quenta.h"
#include "tarvocontroller.h"

#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSettings>

namespace {

constexpr double Steps[] = {0.0, 0.01, 0.1, 1.0, 10.0};  // 0 = continuous
constexpr double DefaultFeed = 1000.0;                    // mm/min

struct KeyJog {
    int key;
    int axis;
    int direction;
};
// Arrow keys for X and Y, Page Up / Page Down for Z, on a focused jog button.
constexpr KeyJog KeyJogs[] = {{Qt::Key_Left, 0, -1},   {Qt::Key_Right, 0, 1},
                              {Qt::Key_Down, 1, -1},   {Qt::Key_Up, 1, 1},
                              {Qt::Key_PageDown, 2, -1}, {Qt::Key_PageUp, 2, 1}};

}  // namespace

JogPad::JogPad(TarvoController* c, QWidget* parent) : QGroupBox(parent), controller(c)
{
    setObjectName(QStringLiteral("JogPadGroupBox"));
    setTitle(tr("Jog"));
    auto* const grid = new QGridLayout(this);

    stepBox = new QComboBox(this);
    stepBox->setObjectName(QStringLiteral("JogStepComboBox"));
    stepBox->addItem(tr("Continuous"));
    for (size_t i = 1; i < std::size(Steps); ++i)
        stepBox->addItem(tr("%1 mm").arg(Steps[i]));
    stepBox->setToolTip(tr("Continuous: the axis moves while the button or key is held"));
    feedBox = new QDoubleSpinBox(this);
    feedBox->setObjectName(QStringLiteral("JogFeedSpinBox"));
    feedBox->setRange(1.0, 20000.0);
    feedBox->setDecimals(0);
    feedBox->setSingleStep(100.0);
    feedBox->setValue(DefaultFeed);
    feedBox->setSuffix(tr(" mm/min"));
    feedBox->setToolTip(tr("Jog feed"));
    stepBox->setMinimumContentsLength(6);
    stepBox->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    // Each machine keeps its own step and feed ("Machines/<port>/..." in the settings).
    if (controller) {
        const QString group = QStringLiteral("Machines/") + controller->GetComPort();
        QSettings settings;
        const int step = settings.value(group + QStringLiteral("/jogStep"), 0).toInt();
        if (step >= 0 && step < stepBox->count())
            stepBox->setCurrentIndex(step);
        feedBox->setValue(settings.value(group + QStringLiteral("/jogFeed"), DefaultFeed)
                              .toDouble());
        connect(stepBox, &QComboBox::currentIndexChanged, this, [group](int index) {
            QSettings().setValue(group + QStringLiteral("/jogStep"), index);
        });
        connect(feedBox, &QDoubleSpinBox::valueChanged, this, [group](double feed) {
            QSettings().setValue(group + QStringLiteral("/jogFeed"), feed);
        });
    }
    // Four columns, so the pad never widens the panel: step and feed, X and Y, Z and C.
    grid->addWidget(new QLabel(tr("Step"), this), 0, 0);
    grid->addWidget(stepBox, 0, 1);
    grid->addWidget(new QLabel(tr("Feed"), this), 0, 2);
    grid->addWidget(feedBox, 0, 3);

    const char* const names[4] = {"X", "Y", "Z", "C"};
    for (int axis = 0; axis < 4; ++axis) {
        for (int d = 0; d < 2; ++d) {
            const int direction = d == 0 ? -1 : 1;
            auto* const button = new QPushButton(
                QStringLiteral("%1%2").arg(QLatin1String(names[axis]),
                                           direction < 0 ? QStringLiteral("\u2212")
                                                         : QStringLiteral("+")),
                this);
            button->setObjectName(QStringLiteral("Jog%1%2Button")
                                      .arg(QLatin1String(names[axis]),
                                           direction < 0 ? QStringLiteral("Neg")
                                                         : QStringLiteral("Pos")));
            button->setAutoRepeat(false);
            button->setToolTip(tr("Jog %1 while held (or by the step)").arg(
                QLatin1String(names[axis])));
            connect(button, &QPushButton::pressed, this,
                    [this, axis, direction] { Press(axis, direction); });
            connect(button, &QPushButton::released, this, &JogPad::Release);
            button->installEventFilter(this);
            buttons[axis][d] = button;
            button->setMinimumWidth(
                button->fontMetrics().horizontalAdvance(QStringLiteral("XX+")));
            grid->addWidget(button, 1 + axis / 2, (axis % 2) * 2 + d);
        }
    }
    messageLabel = new QLabel(this);
    messageLabel->setObjectName(QStringLiteral("JogMessageLabel"));
    messageLabel->setWordWrap(true);
    grid->addWidget(messageLabel, 3, 0, 1, 4);

    // Every way the hand can let go ends the jog.
    connect(qApp, &QApplication::focusChanged, this, &JogPad::FocusChanged);
    connect(qApp, &QGuiApplication::applicationStateChanged, this,
            [this](Qt::ApplicationState state) {
                if (state != Qt::ApplicationActive)
                    StopJog();
            });
    KavrixKernel* const kernel = KavrixKernel::Instance();
    connect(kernel, &KavrixKernel::SignalUpdateControllerStatus, this, &JogPad::StatusChanged);
    connect(kernel, &KavrixKernel::SignalTimeoutDisconnect, this, [this](const QString& port) {
        if (port == controller->GetComPort())
            StopJog();
    });
}

JogPad::~JogPad()
{
    StopJog();
}

QPushButton* JogPad::Button(int axis, int direction) const
{
    if (axis < 0 || axis > 3)
        return nullptr;
    return buttons[axis][direction < 0 ? 0 : 1];
}

double JogPad::StepMm() const
{
    const int i = stepBox->currentIndex();
    return i >= 0 && size_t(i) < std::size(Steps) ? Steps[i] : 0.0;
}

double JogPad::FeedMmPerMin() const
{
    return feedBox->value();
}

void JogPad::ShowMessage(const QString& text)
{
    if (messageLabel->text() != text)
        messageLabel->setText(text);
}

void JogPad::Press(int axis, int direction)
{
    StopJog();
    if (!controller->IsConnected()) {
        ShowMessage(tr("Not connected."));
        return;
    }
    if (KavrixKernel::Instance()->IsCommandToEditor()) {
        ShowMessage(tr("Commands go to the editor: the jog does not move the machine."));
        return;
    }
    TarvoPortSettings* const record = controller->GetPortSettings();
    const double step = StepMm();
    if (!quenta::jog(record, axis, direction, step, FeedMmPerMin())) {
        const std::string why = quenta::takeRefusal(record);
        ShowMessage(why.empty() ? tr("The controller refused the jog.")
                                : tr("Jog refused: %1").arg(QString::fromStdString(why)));
        return;
    }
    ShowMessage(QString());
    jogging = step == quenta::ContinuousJog;
    // Keep the window's focus inside the pad, so leaving it is noticed.
    if (jogging && !isAncestorOf(QApplication::focusWidget()))
        Button(axis, direction)->setFocus(Qt::OtherFocusReason);
}

void JogPad::Release()
{
    StopJog();
}

void JogPad::StopJog()
{
    heldKey = 0;
    if (!jogging)
        return;
    jogging = false;
    if (!quenta::cancelJog(controller->GetPortSettings()) && controller->IsConnected())
        ShowMessage(tr("The jog cancel did not reach the controller: use Not Halt."));
}

bool JogPad::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
        auto* const key = static_cast<QKeyEvent*>(event);
        for (const KeyJog& k : KeyJogs) {
            if (key->key() != k.key)
                continue;
            // A held key moves once: its auto-repeat never starts another jog.
            if (!key->isAutoRepeat()) {
                if (event->type() == QEvent::KeyPress && heldKey == 0) {
                    Press(k.axis, k.direction);
                    heldKey = jogging ? k.key : 0;
                } else if (event->type() == QEvent::KeyRelease && heldKey == k.key) {
                    StopJog();
                }
            }
            return true;
        }
    }
    return QGroupBox::eventFilter(watched, event);
}

void JogPad::FocusChanged(QWidget*, QWidget* now)
{
    if (jogging && !(now && isAncestorOf(now)))
        StopJog();
}

void JogPad::hideEvent(QHideEvent* event)
{
    StopJog();
    QGroupBox::hideEvent(event);
}

void JogPad::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange && !isActiveWindow())
        StopJog();
    QGroupBox::changeEvent(event);
}

void JogPad::StatusChanged(const QString& port)
{
    if (jogging && port == controller->GetComPort() && !controller->IsConnected())
        StopJog();
}
