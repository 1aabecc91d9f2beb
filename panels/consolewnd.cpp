#include "consolewnd.h"

#include "commandguard.h"
#include "console.h"
#include "device.h"
#include "kavrixkernel.h"
#include "manualcommands.h"
#include "manualcommandvalues.h"
#include "quenta.h"
#include "ramprogram.h"
#include "tarvocontroller.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QCompleter>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringListModel>
#include <QTimer>
#include <QVBoxLayout>

#include <vector>

// The command guard's texts in this window's translation context, for lupdate.
[[maybe_unused]] static const char* const consoleGuardTexts[] = {
    QT_TRANSLATE_NOOP("ConsoleWnd", "Connecting to Controller"),
    QT_TRANSLATE_NOOP("ConsoleWnd", "Controller on %1 isn't connected.\n"),
};

namespace {

constexpr uint8_t SoftResetByte = 0x18;

// The $ commands of GRBL 1.1 and its settings, for completion.
QStringList grblCompletions()
{
    QStringList list = {QStringLiteral("$$"),     QStringLiteral("$#"),
                        QStringLiteral("$G"),     QStringLiteral("$I"),
                        QStringLiteral("$N"),     QStringLiteral("$C"),
                        QStringLiteral("$X"),     QStringLiteral("$H"),
                        QStringLiteral("$SLP"),   QStringLiteral("$J="),
                        QStringLiteral("$I="),    QStringLiteral("$N0="),
                        QStringLiteral("$N1="),   QStringLiteral("$RST=$"),
                        QStringLiteral("$RST=#"), QStringLiteral("$RST=*")};
    for (const int n : {0, 1, 2, 3, 4, 5, 6, 10, 11, 12, 13, 20, 21, 22, 23, 24, 25, 26, 27, 30,
                        31, 32, 100, 101, 102, 110, 111, 112, 120, 121, 122, 130, 131, 132})
        list << QStringLiteral("$%1=").arg(n);
    return list;
}

QString floatText(float value)
{
    return QString::number(double(value), 'g', 9);
}

// The manual panel's command for a checked RAM program line: the same ranges, the same program
// line and the same library call.
ManualCommands::Result manualCommand(const ManualCommands& commands, const RamCommand& c)
{
    using Unit = ManualCommands::Unit;
    using Pair = ManualCommands::Pair;
    const auto n = [](int32_t v) { return QString::number(v); };
    switch (c.id) {
    case RamCommandId::GoXyS:
    case RamCommandId::GoZcS:
        return commands.MoveRelative(Unit::Steps,
                                     c.id == RamCommandId::GoXyS ? Pair::XY : Pair::ZC,
                                     n(c.ints[0]), n(c.ints[1]), n(c.ints[2]));
    case RamCommandId::GoXyMm:
    case RamCommandId::GoZcMm:
        return commands.MoveRelative(Unit::Mm, c.id == RamCommandId::GoXyMm ? Pair::XY : Pair::ZC,
                                     floatText(c.floats[0]), floatText(c.floats[1]),
                                     floatText(c.floats[2]));
    case RamCommandId::Wait:
        return commands.HoldPosition(n(c.ints[0]));
    case RamCommandId::GoPark:
        return commands.Park();
    case RamCommandId::GoRef:
        return commands.Reference();
    case RamCommandId::SetZeroS:
        return commands.SetZero(Unit::Steps,
                                {n(c.ints[0]), n(c.ints[1]), n(c.ints[2]), n(c.ints[3])});
    case RamCommandId::SetZeroMm:
        return commands.SetZero(Unit::Mm, {floatText(c.floats[0]), floatText(c.floats[1]),
                                           floatText(c.floats[2]), floatText(c.floats[3])});
    case RamCommandId::SetFunc:
        // Program order: coolant, then spindle.
        return commands.SetSpindleCooling(c.ints[1] != 0, c.ints[0] != 0);
    case RamCommandId::SetO:
        return commands.SetOutputs(static_cast<uint8_t>(c.ints[0]));
    }
    return {};
}

QPushButton* makeButton(const QString& name, const QString& text, const QString& tip,
                        QWidget* parent)
{
    auto* const b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setToolTip(tip);
    b->setAutoDefault(false);
    return b;
}

}  // namespace

ConsoleWnd::ConsoleWnd(QWidget* parent)
    : QWidget(parent), values(std::make_unique<ManualCommandValues>())
{
    targetLabel = new QLabel(this);
    targetLabel->setObjectName(QStringLiteral("consoleTargetLabel"));
    // It takes the row's spare width, and never widens the window.
    targetLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    targetLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    showStatus = new QCheckBox(tr("Show status reports"), this);
    showStatus->setObjectName(QStringLiteral("consoleShowStatusCheckBox"));

    transcript = new QPlainTextEdit(this);
    transcript->setObjectName(QStringLiteral("consoleTranscript"));
    transcript->setReadOnly(true);
    transcript->setMaximumBlockCount(MaxLines);
    transcript->setLineWrapMode(QPlainTextEdit::NoWrap);
    transcript->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    commandEdit = new QLineEdit(this);
    commandEdit->setObjectName(QStringLiteral("consoleCommandEdit"));
    commandEdit->setPlaceholderText(tr("Command (Up/Down: earlier commands)"));
    commandEdit->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    commandEdit->installEventFilter(this);
    completions = new QStringListModel(this);
    completer = new QCompleter(completions, this);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    completer->setCompletionMode(QCompleter::PopupCompletion);
    commandEdit->setCompleter(completer);
    sendButton = makeButton(QStringLiteral("consoleSendButton"), tr("Send"),
                            tr("Send the command to the active controller"), this);

    statusButton = makeButton(QStringLiteral("consoleStatusButton"), tr("Status"),
                              tr("Ask for a status report (?)"), this);
    holdButton = makeButton(QStringLiteral("consoleHoldButton"), tr("Hold"),
                            tr("Feed hold (!): brake and stop; a job pauses"), this);
    resumeButton = makeButton(QStringLiteral("consoleResumeButton"), tr("Resume"),
                              tr("Resume after a hold (~)"), this);
    resetButton = makeButton(QStringLiteral("consoleResetButton"), tr("Soft reset"),
                             tr("Soft reset (Ctrl-X): stops at once and empties the "
                                "controller's buffers"),
                             this);
    unlockButton = makeButton(QStringLiteral("consoleUnlockButton"), tr("Unlock"),
                              tr("Unlock after an alarm ($X)"), this);
    homeButton = makeButton(QStringLiteral("consoleHomeButton"), tr("Home"),
                            tr("Homing cycle ($H)"), this);

    // Three rows, the transcript taking what height there is: in a low dock the command line
    // and the buttons stay in view.
    transcript->setMinimumHeight(2 * transcript->fontMetrics().lineSpacing()
                                 + 2 * transcript->frameWidth() + 4);
    auto* const entry = new QHBoxLayout;
    entry->addWidget(commandEdit, 1);
    entry->addWidget(sendButton);
    auto* const buttons = new QHBoxLayout;
    for (QPushButton* b :
         {statusButton, holdButton, resumeButton, resetButton, unlockButton, homeButton})
        buttons->addWidget(b);
    buttons->addWidget(targetLabel, 1);
    buttons->addSpacing(12);
    buttons->addWidget(showStatus);
    auto* const layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(3);
    layout->addWidget(transcript, 1);
    layout->addLayout(entry);
    layout->addLayout(buttons);

    connect(sendButton, &QPushButton::clicked, this, &ConsoleWnd::SendFromEdit);
    connect(commandEdit, &QLineEdit::returnPressed, this, &ConsoleWnd::SendFromEdit);
    connect(statusButton, &QPushButton::clicked, this, [this] { SendRealtime('?'); });
    connect(holdButton, &QPushButton::clicked, this, [this] { SendRealtime('!'); });
    connect(resumeButton, &QPushButton::clicked, this, [this] { SendRealtime('~'); });
    connect(resetButton, &QPushButton::clicked, this, [this] { SendRealtime(SoftResetByte); });
    connect(unlockButton, &QPushButton::clicked, this, [this] {
        TarvoController* const c = KavrixKernel::Instance()->GetActiveController();
        if (c && quenta::consoleAvailable(c->GetPortSettings())) {
            SendLine(QStringLiteral("$X"));
        } else if (c && RequireConnectedController(this)) {
            // Our controllers unlock by acknowledging their error, as the panel's button does.
            ManualCommands::AcknowledgeError()(c->GetPortSettings());
            Append({tr("Error acknowledged.")});
        }
    });
    connect(homeButton, &QPushButton::clicked, this, [this] {
        TarvoController* const c = KavrixKernel::Instance()->GetActiveController();
        const bool grbl = c && quenta::consoleAvailable(c->GetPortSettings());
        SendLine(grbl ? QStringLiteral("$H") : QStringLiteral("GO_REF;"));
    });

    KavrixKernel* const kernel = KavrixKernel::Instance();
    connect(kernel, &KavrixKernel::SignalActiveControllerChanged, this, &ConsoleWnd::UpdateTarget);
    connect(kernel, &KavrixKernel::SignalUpdateControllerStatus, this, &ConsoleWnd::UpdateTarget);
    drainTimer = new QTimer(this);
    drainTimer->setInterval(DrainMs);
    connect(drainTimer, &QTimer::timeout, this, &ConsoleWnd::DrainTranscript);
    drainTimer->start();
    UpdateTarget();
}

ConsoleWnd::~ConsoleWnd() = default;

QString ConsoleWnd::EntryText(const quenta::ConsoleEntry& e, bool withStatus)
{
    using Kind = quenta::ConsoleEntry::Kind;
    if (e.status && !withStatus)
        return {};
    const QString text = QString::fromStdString(e.text);
    const QString meaning = QString::fromStdString(e.meaning);
    switch (e.kind) {
    case Kind::Sent:
    case Kind::Realtime:
        return QStringLiteral("> ") + text;
    case Kind::Answer: {
        QString shown = QStringLiteral("< ") + text;
        if (!meaning.isEmpty())
            shown += QStringLiteral(" (") + meaning + QLatin1Char(')');
        return shown + QStringLiteral("   [") + QString::fromStdString(e.line)
               + QLatin1Char(']');
    }
    case Kind::Received:
        if (meaning.isEmpty())
            return QStringLiteral("< ") + text;
        if (e.code != 0)  // an alarm
            return QStringLiteral("< ") + text + QStringLiteral(" (") + meaning + QLatin1Char(')');
        // A setting: its meaning in a column beside it.
        return QStringLiteral("< ") + text.leftJustified(18) + QLatin1Char(' ') + meaning;
    case Kind::Note:
        return QStringLiteral("... ") + text;
    }
    return text;
}

void ConsoleWnd::Append(const QStringList& lines)
{
    if (!lines.isEmpty())
        transcript->appendPlainText(lines.join(QLatin1Char('\n')));
}

void ConsoleWnd::UpdateTarget()
{
    TarvoController* const c = KavrixKernel::Instance()->GetActiveController();
    const bool connected = c && c->IsConnected();
    const bool grbl = connected && quenta::consoleAvailable(c->GetPortSettings());
    const QString port = c ? c->GetComPort() : QString();
    if (!c)
        targetLabel->setText(tr("No active controller"));
    else if (!connected)
        targetLabel->setText(tr("%1: not connected").arg(port));
    else if (grbl)
        targetLabel->setText(tr("%1: GRBL commands and G-code").arg(port));
    else
        targetLabel->setText(tr("%1: RAM program lines, run at once").arg(port));
    if (c && port != shownPort) {
        if (!shownPort.isEmpty() || !transcript->document()->isEmpty())
            Append({QStringLiteral("--- %1 ---").arg(port)});
        shownPort = port;
    }
    const int kind = !connected ? -1 : grbl ? 1 : 0;
    if (kind != shownKind) {
        shownKind = kind;
        completions->setStringList(kind == 1 ? grblCompletions()
                                   : kind == 0 ? RAMCommandList()
                                               : QStringList());
        // Our controllers have no realtime commands: home is GO_REF;, unlock acknowledges.
        for (QPushButton* b : {statusButton, holdButton, resumeButton, resetButton})
            b->setEnabled(kind == 1);
        for (QPushButton* b : {unlockButton, homeButton, sendButton})
            b->setEnabled(kind >= 0);
        unlockButton->setToolTip(kind == 0 ? tr("Acknowledge the controller's error")
                                           : tr("Unlock after an alarm ($X)"));
        homeButton->setToolTip(kind == 0 ? tr("Reference run (GO_REF;)")
                                         : tr("Homing cycle ($H)"));
    }
}

void ConsoleWnd::DrainTranscript()
{
    TarvoController* const c = KavrixKernel::Instance()->GetActiveController();
    if (!c || !c->IsConnected())
        return;
    std::vector<quenta::ConsoleEntry> entries;
    if (!quenta::consoleTake(c->GetPortSettings(), entries) || entries.empty())
        return;
    UpdateTarget();
    QStringList lines;
    const bool withStatus = showStatus->isChecked();
    for (const quenta::ConsoleEntry& e : entries) {
        const QString line = EntryText(e, withStatus);
        if (!line.isEmpty())
            lines << line;
    }
    Append(lines);
}

void ConsoleWnd::SendFromEdit()
{
    const QString text = commandEdit->text();
    commandEdit->clear();
    SendLine(text);
}

void ConsoleWnd::SendLine(const QString& text)
{
    const QString line = text.trimmed();
    if (line.isEmpty())
        return;
    if (history.isEmpty() || history.last() != line) {
        history << line;
        while (history.size() > MaxHistory)
            history.removeFirst();
    }
    historyPos = int(history.size());
    typing.clear();

    TarvoController* const c = KavrixKernel::Instance()->GetActiveController();
    if (!c) {
        Append({tr("No active controller.")});
        return;
    }
    if (!RequireConnectedController(this))
        return;
    UpdateTarget();
    TarvoPortSettings* const record = c->GetPortSettings();
    if (!quenta::consoleAvailable(record)) {
        RunRamLine(*c, line);
        return;
    }
    // What came before the line shows before it.
    DrainTranscript();
    std::string why;
    if (!quenta::consoleSend(record, line.toStdString(), why))
        Append({QStringLiteral("> ") + line, tr("Refused: %1").arg(QString::fromStdString(why))});
}

void ConsoleWnd::RunRamLine(TarvoController& controller, const QString& line)
{
    // One line of a program: the program check's messages, then the panel's ranges and call.
    const RamProgramCheck check = CheckRamProgram(line);
    if (!check.messages.isEmpty() || check.commands.size() != 1) {
        Append(QStringList{QStringLiteral("> ") + line} + check.messages);
        return;
    }
    if (!AcknowledgePendingError(this, tr("Console"))) {
        Append({QStringLiteral("> ") + line,
                tr("Not sent: the controller's error is still pending.")});
        return;
    }
    const ManualCommands commands(*values);
    const ManualCommands::Result result = manualCommand(commands, check.commands.first());
    if (!result.Accepted()) {
        Append({QStringLiteral("> ") + line, result.message});
        return;
    }
    TarvoPortSettings* const record = controller.GetPortSettings();
    result.call(record);
    QStringList lines{QStringLiteral("> ") + result.line};
    const std::string why = quenta::takeRefusal(record);
    if (!why.empty())
        lines << tr("Refused: %1").arg(QString::fromStdString(why));
    Append(lines);
}

void ConsoleWnd::SendRealtime(uint8_t byte)
{
    TarvoController* const c = KavrixKernel::Instance()->GetActiveController();
    if (!c || !RequireConnectedController(this))
        return;
    DrainTranscript();
    if (!quenta::consoleRealtime(c->GetPortSettings(), byte))
        Append({tr("Refused: the controller takes no realtime commands now.")});
}

void ConsoleWnd::StepHistory(int direction)
{
    if (history.isEmpty())
        return;
    if (historyPos == history.size())
        typing = commandEdit->text();
    historyPos = qBound(0, historyPos + direction, int(history.size()));
    commandEdit->setText(historyPos == history.size() ? typing : history.at(historyPos));
}

bool ConsoleWnd::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == commandEdit && event->type() == QEvent::KeyPress
        && !completer->popup()->isVisible()) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            StepHistory(key == Qt::Key_Up ? -1 : 1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
