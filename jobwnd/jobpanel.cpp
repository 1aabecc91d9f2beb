#include "jobpanel.h"

#include "dialogs.h"
#include "filejob.h"
#include "jobdocument.h"
#include "jobs.h"
#include "kavrixkernel.h"
#include "restart.h"
#include "tarvocontroller.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFrame>
#include <QFutureWatcher>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

namespace {

// How long after its last change of position a controller still counts as moving when no
// report followed: reports come at least every 500 ms while it is connected.
constexpr qint64 MovingForMs = 1200;

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

// The firmware's error code at the head of a reason ("error:22: ..."), or -1.
int errorCodeOf(const std::string& reason)
{
    if (reason.rfind("error:", 0) != 0)
        return -1;
    return std::atoi(reason.c_str() + 6);
}

QString fromStd(const std::string& text)
{
    return QString::fromStdString(text);
}

// Start from line: the line, the rebuilt preamble the operator may edit, and what the approach
// does, all before anything moves.
class RestartDialog : public QDialog {
public:
    RestartDialog(std::shared_ptr<const gcode::Program> program, const QString& fileName,
                  uint32_t line, QWidget* parent)
        : QDialog(parent), program(std::move(program))
    {
        setObjectName(QStringLiteral("jobRestartDialog"));
        setWindowTitle(JobPanel::tr("Start %1 from line").arg(fileName));
        auto* const layout = new QVBoxLayout(this);
        auto* const row = new QHBoxLayout;
        row->addWidget(new QLabel(JobPanel::tr("Start at line:"), this));
        lineBox = new QSpinBox(this);
        lineBox->setObjectName(QStringLiteral("restartLineSpinBox"));
        lineBox->setRange(1, int(std::max<uint32_t>(1, this->program->lineCount())));
        lineBox->setValue(int(line));
        row->addWidget(lineBox, 1);
        layout->addLayout(row);
        layout->addWidget(new QLabel(
            JobPanel::tr("Sent first (edit if needed): the approach, then the job's modes"), this));
        preamble = new QPlainTextEdit(this);
        preamble->setObjectName(QStringLiteral("restartPreambleEdit"));
        preamble->setLineWrapMode(QPlainTextEdit::NoWrap);
        layout->addWidget(preamble, 1);
        notes = new QLabel(this);
        notes->setObjectName(QStringLiteral("restartNotesLabel"));
        notes->setWordWrap(true);
        layout->addWidget(notes);
        auto* const buttons =
            new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
        buttons->button(QDialogButtonBox::Ok)->setText(JobPanel::tr("Start"));
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        layout->addWidget(buttons);
        connect(lineBox, &QSpinBox::valueChanged, this, [this] { rebuild(); });
        rebuild();
        resize(560, 420);
    }

    uint32_t line() const { return uint32_t(lineBox->value()); }
    std::vector<std::string> lines() const
    {
        std::vector<std::string> out;
        const QStringList texts = preamble->toPlainText().split(QLatin1Char('\n'));
        for (const QString& text : texts) {
            if (!text.trimmed().isEmpty())
                out.push_back(text.trimmed().toStdString());
        }
        return out;
    }

private:
    void rebuild()
    {
        const gcode::RestartPlan plan = gcode::restartPlan(*program, line() - 1);
        QStringList text;
        for (const std::string& l : plan.lines)
            text << fromStd(l);
        preamble->setPlainText(text.join(QLatin1Char('\n')));
        QStringList said;
        for (const std::string& n : plan.notes)
            said << fromStd(n);
        notes->setText(said.join(QLatin1Char('\n')));
    }

    std::shared_ptr<const gcode::Program> program;
    QSpinBox* lineBox = nullptr;
    QPlainTextEdit* preamble = nullptr;
    QLabel* notes = nullptr;
};

}  // namespace

// What the worker hands back: the program interpreted for the controller and its estimate.
struct JobPanel::Prepared {
    QString port;
    QPointer<JobDocument> document;
    Mode mode = Mode::Start;
    std::shared_ptr<const gcode::Program> program;
    std::shared_ptr<const gcode::Estimate> estimate;
    QString path;    // the file as it is on disk now, and its SHA-256 (hex), for the history
    QString sha256;
};

JobPanel::JobPanel(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("jobPanel"));
    buildForm();
    timer = new QTimer(this);
    timer->setInterval(PollMs);
    connect(timer, &QTimer::timeout, this, &JobPanel::poll);
    connect(KavrixKernel::Instance(), &KavrixKernel::SignalUpdateControllerStatus, this,
            &JobPanel::statusReported);
    refresh();
}

JobPanel::~JobPanel()
{
    if (busy)
        QApplication::restoreOverrideCursor();
}

void JobPanel::buildForm()
{
    auto* const layout = new QVBoxLayout(this);

    nameLabel = new QLabel(this);
    nameLabel->setObjectName(QStringLiteral("jobNameLabel"));
    nameLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(nameLabel);

    bannerLabel = new QLabel(this);
    bannerLabel->setObjectName(QStringLiteral("jobBanner"));
    bannerLabel->setAlignment(Qt::AlignCenter);
    bannerLabel->setMargin(4);
    QFont bold = bannerLabel->font();
    bold.setBold(true);
    bannerLabel->setFont(bold);
    layout->addWidget(bannerLabel);

    auto* const buttons = new QHBoxLayout;
    const auto button = [this, buttons](const char* name, const QString& text,
                                        const QString& tip, void (JobPanel::*slot)()) {
        auto* const b = new QPushButton(text, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setToolTip(tip);
        connect(b, &QPushButton::clicked, this, slot);
        buttons->addWidget(b);
        return b;
    };
    startButton = button("jobStartButton", tr("Start"),
                         tr("Run the job of the current job tab on this controller"),
                         &JobPanel::start);
    pauseButton = button("jobPauseButton", tr("Pause"), tr("Pause or resume the job"),
                         &JobPanel::pauseOrResume);
    stopButton = button("jobStopButton", tr("Stop"), tr("Stop the job"), &JobPanel::stop);
    checkButton = button("jobCheckButton", tr("Check"),
                         tr("Check the job without moving (GRBL: its check mode $C)"),
                         &JobPanel::check);
    fromLineButton = button("jobFromLineButton", tr("Start from line..."),
                            tr("Start the job at a later line after an approach"),
                            &JobPanel::startFromLine);
    layout->addLayout(buttons);

    attentionBar = new QFrame(this);
    attentionBar->setObjectName(QStringLiteral("jobAttentionBar"));
    attentionBar->setFrameShape(QFrame::StyledPanel);
    attentionBar->setStyleSheet(QStringLiteral("#jobAttentionBar { background: #fff3c4; }"));
    auto* const attention = new QHBoxLayout(attentionBar);
    attentionLabel = new QLabel(attentionBar);
    attentionLabel->setObjectName(QStringLiteral("jobAttentionLabel"));
    attentionLabel->setWordWrap(true);
    attention->addWidget(attentionLabel, 1);
    continueButton = new QPushButton(tr("Continue"), attentionBar);
    continueButton->setObjectName(QStringLiteral("jobContinueButton"));
    connect(continueButton, &QPushButton::clicked, this, &JobPanel::continueJob);
    attention->addWidget(continueButton);
    attentionStopButton = new QPushButton(tr("Stop"), attentionBar);
    attentionStopButton->setObjectName(QStringLiteral("jobAttentionStopButton"));
    connect(attentionStopButton, &QPushButton::clicked, this, &JobPanel::stop);
    attention->addWidget(attentionStopButton);
    attentionBar->hide();
    layout->addWidget(attentionBar);

    progressBar = new QProgressBar(this);
    progressBar->setObjectName(QStringLiteral("jobProgressBar"));
    progressBar->setRange(0, 1);
    progressBar->setValue(0);
    layout->addWidget(progressBar);

    timeLabel = new QLabel(this);
    timeLabel->setObjectName(QStringLiteral("jobTimeLabel"));
    layout->addWidget(timeLabel);
    lineLabel = new QLabel(this);
    lineLabel->setObjectName(QStringLiteral("jobLineLabel"));
    lineLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(lineLabel);

    // Overrides: GRBL's realtime commands. The rapid override has only 25, 50 and 100 %.
    auto* const overrides = new QGridLayout;
    const auto overrideRow = [this, overrides](int row, const QString& label,
                                               const QList<QPair<QString, int>>& entries) {
        overrides->addWidget(new QLabel(label, this), row, 0);
        int column = 1;
        for (const auto& [text, command] : entries) {
            auto* const b = new QPushButton(text, this);
            b->setObjectName(QStringLiteral("jobOverride%1").arg(command, 2, 16, QLatin1Char('0')));
            connect(b, &QPushButton::clicked, this, [this, c = command] { sendOverride(c); });
            overrides->addWidget(b, row, column++);
            overrideButtons << b;
        }
    };
    overrideRow(0, tr("Feed"), {{tr("-10 %"), 0x92}, {tr("100 %"), 0x90}, {tr("+10 %"), 0x91}});
    overrideRow(1, tr("Rapid"), {{tr("25 %"), 0x97}, {tr("50 %"), 0x96}, {tr("100 %"), 0x95}});
    overrideRow(2, tr("Spindle"),
                {{tr("-10 %"), 0x9B}, {tr("100 %"), 0x99}, {tr("+10 %"), 0x9A}});
    overrides->setColumnStretch(4, 1);  // the buttons keep their size, the rest stays free
    layout->addLayout(overrides);
    overrideLabel = new QLabel(this);
    overrideLabel->setObjectName(QStringLiteral("jobOverrideLabel"));
    layout->addWidget(overrideLabel);
    layout->addStretch(1);
}

void JobPanel::setController(const QString& comPort)
{
    if (port == comPort)
        return;
    port = comPort;
    refresh();
}

void JobPanel::setDocument(JobDocument* document)
{
    if (currentDocument == document)
        return;
    if (currentDocument)
        disconnect(currentDocument, nullptr, this, nullptr);
    currentDocument = document;
    if (document)
        connect(document, &JobDocument::loaded, this, &JobPanel::refresh);
    refresh();
}

TarvoController* JobPanel::findController(const QString& comPort) const
{
    return comPort.isEmpty() ? nullptr : KavrixKernel::Instance()->FindController(comPort);
}

bool JobPanel::hasActiveJob(const QString& comPort) const
{
    const auto it = runs.find(comPort);
    return it != runs.end() && !it->second.ended;
}

QList<JobPanel::ActiveJob> JobPanel::activeJobs() const
{
    QList<ActiveJob> jobs;
    for (const auto& [comPort, run] : runs) {
        if (run.ended)
            continue;
        const uint32_t total = run.program ? run.program->lineCount() : 0;
        const int percent = total ? int(uint64_t(linesDone(run)) * 100 / total) : 0;
        jobs.append({comPort, run.fileName, percent});
    }
    return jobs;
}

bool JobPanel::isMoving(const QString& comPort) const
{
    const auto it = motion.find(comPort);
    if (it == motion.end())
        return false;
    // A report that repeats the position before it: at rest. A moving machine reports often;
    // one whose reports stopped is not taken as moving for ever.
    return it->second.bufferFill != 0
           || (it->second.moved && nowMs() - it->second.changedMs < MovingForMs);
}

void JobPanel::statusReported(const QString& comPort)
{
    TarvoController* const controller = findController(comPort);
    if (!controller)
        return;
    if (comPort == port && controller->IsConnected() != shownConnected)
        refresh();  // connected or disconnected: what may start changed
    else if (comPort == port)
        refreshOverrides();
    Motion& m = motion[comPort];
    if (!controller->IsConnected()) {
        m = Motion{};
        return;
    }
    const TarvoStatus& s = controller->GetStatus();
    const int32_t pos[4] = {s.posX, s.posY, s.posZ, s.posC};
    m.moved = !std::equal(pos, pos + 4, m.pos);
    if (m.moved) {
        std::copy(pos, pos + 4, m.pos);
        m.changedMs = nowMs();
    }
    m.bufferFill = s.bufferFill;
}

bool JobPanel::stopAll(int timeoutMs)
{
    for (const auto& [comPort, run] : runs) {
        if (run.ended)
            continue;
        if (TarvoController* const controller = findController(comPort))
            quenta::controlJob(controller->GetPortSettings(), quenta::JobControl::Stop);
    }
    // A bounded wait with the window alive: the runners brake (ours) or hold and reset (GRBL).
    QElapsedTimer waited;
    waited.start();
    while (!activeJobs().isEmpty() && waited.elapsed() < timeoutMs) {
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
        poll();
    }
    return activeJobs().isEmpty();
}

QString JobPanel::formatDuration(double seconds)
{
    const qint64 s = qint64(std::llround(std::max(0.0, seconds)));
    if (s >= 3600)
        return QStringLiteral("%1:%2:%3")
            .arg(s / 3600)
            .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
            .arg(s % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

// --- starting -------------------------------------------------------------------------------

bool JobPanel::mayStart(TarvoController& controller, const QString& title, bool needDocument)
{
    const QString comPort = controller.GetComPort();
    if (!controller.IsConnected() || controller.IsInFirmwareMode()) {
        warn(comPort, title, tr("%1 is not connected.").arg(comPort));
        return false;
    }
    if (hasActiveJob(comPort)
        || quenta::jobActive(quenta::jobProgress(controller.GetPortSettings()).state)) {
        warn(comPort, title, tr("A job is already running on %1.").arg(comPort));
        return false;
    }
    if (isMoving(comPort)) {
        warn(comPort, title,
                         tr("%1 is moving (a RAM program or a manual command runs). Start the "
                            "job once the machine stands still.")
                             .arg(comPort));
        return false;
    }
    if (needDocument && (!currentDocument || !currentDocument->isLoaded())) {
        warn(comPort, title, tr("Open a G-code file first (File › Open G-code...)."));
        return false;
    }
    return true;
}

void JobPanel::start()
{
    prepare(Mode::Start);
}

void JobPanel::startFromLine()
{
    prepare(Mode::FromLine);
}

void JobPanel::check()
{
    prepare(Mode::Check);
}

void JobPanel::prepare(Mode mode)
{
    if (busy)
        return;
    prepareOn(mode, port);
}

void JobPanel::startOn(const QStringList& ports)
{
    if (busy || ports.isEmpty())
        return;
    batchProblems.clear();
    batchWaiting = 0;
    batching = true;
    for (const QString& onPort : ports) {
        ++batchWaiting;
        if (!prepareOn(Mode::Start, onPort))
            --batchWaiting;
    }
    batching = false;
    if (batchWaiting == 0)
        finishBatch();
}

void JobPanel::finishBatch()
{
    if (batchProblems.isEmpty())
        return;
    QStringList lines;
    for (auto it = batchProblems.cbegin(); it != batchProblems.cend(); ++it)
        lines << it.value();
    batchProblems.clear();
    Dialogs::warning(this, tr("Run on Machines"),
                     tr("Left out:") + QLatin1Char('\n') + lines.join(QLatin1Char('\n')));
}

void JobPanel::warn(const QString& comPort, const QString& title, const QString& text)
{
    if (batching || batchWaiting > 0) {
        batchProblems.insert(comPort, text);
        Q_EMIT logLine(tr("%1 left out: %2").arg(comPort, text));
        return;
    }
    Dialogs::warning(this, title, text);
}

bool JobPanel::prepareOn(Mode mode, const QString& onPort)
{
    TarvoController* const controller = findController(onPort);
    if (!controller)
        return false;
    const QString title = mode == Mode::Check ? tr("Check job") : tr("Start job");
    if (!mayStart(*controller, title, true))
        return false;

    // What the controller is set to and where it stands: a few short calls on the port.
    gcode::Program::Options options;
    bool known = false;
    {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        known = quenta::jobProgramOptions(controller->GetPortSettings(), options);
        QApplication::restoreOverrideCursor();
    }
    if (!known) {
        warn(onPort, title,
             tr("%1 does not tell its settings now: it is busy, or an error waits to be "
                "acknowledged.")
                 .arg(onPort));
        return false;
    }

    // The file as the tab shows it, interpreted again for this controller.
    const std::shared_ptr<const gcode::Program> shown = currentDocument->program();
    if (preparing++ == 0)
        setBusy(true);
    auto* const watcher = new QFutureWatcher<Prepared>(this);
    Prepared base;
    base.port = onPort;
    base.document = currentDocument;
    base.mode = mode;
    base.path = currentDocument->path();
    connect(watcher, &QFutureWatcher<Prepared>::finished, this, [this, watcher] {
        const Prepared result = watcher->result();
        watcher->deleteLater();
        if (--preparing == 0)
            setBusy(false);
        prepared(result);
        // A start on several machines tells what it left out once all are prepared.
        if (batchWaiting > 0 && --batchWaiting == 0)
            finishBatch();
    });
    watcher->setFuture(QtConcurrent::run([shown, options, base]() {
        Prepared out = base;
        std::string bytes;
        for (uint32_t i = 0; i < shown->lineCount(); ++i) {
            bytes.append(shown->lineText(i));
            bytes.push_back('\n');
        }
        auto program = std::make_shared<const gcode::Program>(std::move(bytes), options);
        if (!program->refused())
            out.estimate = std::make_shared<const gcode::Estimate>(gcode::estimateProgram(*program));
        out.program = std::move(program);
        QFile file(out.path);
        QCryptographicHash hash(QCryptographicHash::Sha256);
        if (file.open(QIODevice::ReadOnly) && hash.addData(&file))
            out.sha256 = QString::fromLatin1(hash.result().toHex());
        return out;
    }));
    return true;
}

bool JobPanel::confirmUnreferenced(TarvoController& controller, const gcode::Program& program,
                                   const QString& title)
{
    // GRBL: homing switched on ($22=1) and not homed since its reset. Ours: every axis that is
    // not deactivated has its reference run.
    const uint8_t referenced = controller.GetStatus().flags & 0x07;
    uint8_t wanted = 0;
    if (program.options().target == gcode::Target::Grbl) {
        wanted = program.options().machine.homingEnabled ? 0x07 : 0;
    } else {
        const TarvoParameters& p = controller.GetParameters();
        for (int axis = 0; axis < 3; ++axis) {
            if (!p.IsDefined() || p.MECHANIK_ACHSENCONFIGURATION_UCHAR[axis] != 2)
                wanted |= uint8_t(1u << axis);
        }
    }
    const uint8_t missing = wanted & ~referenced;
    if (!missing)
        return true;
    QStringList axes;
    for (int axis = 0; axis < 3; ++axis) {
        if (missing & (1u << axis))
            axes << QString(QLatin1Char("XYZ"[axis]));
    }
    return Dialogs::question(this, title,
                             tr("%1 is not referenced (%2 not homed since it was switched on or "
                                "reset). Start the job anyway?")
                                 .arg(controller.GetComPort(), axes.join(QStringLiteral(", "))),
                             QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
           == QMessageBox::Yes;
}

void JobPanel::prepared(const Prepared& result)
{
    TarvoController* const controller = findController(result.port);
    if (!controller || !result.program)
        return;
    const QString title = result.mode == Mode::Check ? tr("Check job") : tr("Start job");
    const QString fileName = result.document ? result.document->fileName() : QString();
    const gcode::Program& program = *result.program;

    if (const gcode::Finding* refusal = program.firstRefusal()) {
        int refusals = 0;
        for (const gcode::Finding& f : program.findings())
            refusals += f.severity == gcode::Severity::Refuse;
        QString text = tr("%1 cannot run on %2: line %3: %4")
                           .arg(fileName, result.port)
                           .arg(refusal->line)
                           .arg(fromStd(refusal->message()));
        if (refusals > 1)
            text += QLatin1Char('\n')
                    + tr("Problems in all: %1 (the job tab lists them).").arg(refusals);
        Q_EMIT logLine(tr("%1: %2 refused by the check: line %3: %4")
                           .arg(result.port, fileName)
                           .arg(refusal->line)
                           .arg(fromStd(refusal->message())));
        warn(result.port, title, text);
        return;
    }
    if (result.mode == Mode::Check && program.options().target != gcode::Target::Grbl) {
        runCheckHere(result);
        return;
    }
    // The operator may have started something meanwhile, or closed the job's tab.
    if (!result.document || !mayStart(*controller, title, false))
        return;
    if (result.mode != Mode::Check && !confirmUnreferenced(*controller, program, title))
        return;

    auto job = std::make_shared<quenta::ProgramJob>(result.program);
    uint32_t from = 1;
    if (result.mode == Mode::FromLine) {
        // After a stop or a failure of this job: where it ended.
        uint32_t proposed = 1;
        const auto last = runs.find(result.port);
        if (last != runs.end() && last->second.document == result.document
            && last->second.progress.state != quenta::JobState::Completed) {
            const quenta::JobProgress& p = last->second.progress;
            proposed = std::max<uint32_t>(1, p.failedFileLine ? p.failedFileLine
                                                              : p.fileLineExecuting);
        }
        RestartDialog dialog(result.program, fileName, proposed, this);
        if (Dialogs::seam().exec(&dialog) != QDialog::Accepted)
            return;
        from = dialog.line();
        if (from > 1)
            job->startFrom(from, dialog.lines());
    }
    quenta::JobOptions options;
    options.checkMode = result.mode == Mode::Check;
    if (!quenta::startJob(controller->GetPortSettings(), job, options)) {
        const std::string reason = quenta::jobProgress(controller->GetPortSettings()).reason;
        warn(result.port, title,
                         tr("%1 did not start on %2: %3")
                             .arg(fileName, result.port,
                                  reason.empty() ? tr("the controller refused it")
                                                 : fromStd(reason)));
        return;
    }

    Run run;
    run.document = result.document;
    run.fileName = fileName;
    run.program = result.program;
    run.estimate = result.estimate;
    run.fromLine = from;
    run.checkMode = options.checkMode;
    run.startedMs = run.lastPollMs = nowMs();
    run.progress.state = quenta::JobState::Running;
    runs[result.port] = run;
    if (run.document && !run.checkMode)
        run.document->setRun(result.port);

    const double estimate = run.estimate ? run.estimate->seconds : 0;
    if (run.checkMode)
        Q_EMIT logLine(tr("%1: checking %2 in the controller's check mode ($C), nothing moves")
                           .arg(result.port, fileName));
    else if (from > 1)
        Q_EMIT logLine(tr("%1: %2 started from line %3 (estimated %4)")
                           .arg(result.port, fileName)
                           .arg(from)
                           .arg(formatDuration(estimate)));
    else
        Q_EMIT logLine(tr("%1: %2 started, %3 lines (estimated %4)")
                           .arg(result.port, fileName)
                           .arg(program.lineCount())
                           .arg(formatDuration(estimate)));
    if (!run.checkMode) {
        restoreOverrides(controller->GetPortSettings(), result.port);
        Q_EMIT jobStarted(result.port, result.path, result.sha256, program.lineCount(), estimate);
    }
    Q_EMIT runStateChanged(result.port);
    updateTimer();
    refresh();
}

void JobPanel::runCheckHere(const Prepared& result)
{
    // Controllers without a check mode of their own: the program's check for this controller.
    const QString fileName = result.document ? result.document->fileName() : QString();
    QStringList lines;
    for (const gcode::Finding& f : result.program->findings()) {
        if (f.severity == gcode::Severity::Info)
            continue;
        lines << tr("Line %1: %2").arg(f.line).arg(fromStd(f.message()));
    }
    if (lines.isEmpty()) {
        Q_EMIT logLine(tr("%1: check of %2: no problems").arg(result.port, fileName));
        Dialogs::information(this, tr("Check job"),
                             tr("%1 has no problems for %2.").arg(fileName, result.port));
        return;
    }
    Q_EMIT logLine(tr("%1: check of %2: warnings: %3")
                       .arg(result.port, fileName)
                       .arg(lines.size()));
    const int shown = 20;
    QString text = tr("%1 runs on %2, with these warnings:").arg(fileName, result.port)
                   + QLatin1Char('\n') + lines.mid(0, shown).join(QLatin1Char('\n'));
    if (lines.size() > shown)
        text += QLatin1Char('\n') + tr("... %1 more").arg(lines.size() - shown);
    Dialogs::information(this, tr("Check job"), text);
}

// --- controlling ----------------------------------------------------------------------------

void JobPanel::pauseOrResume()
{
    TarvoController* const controller = findController(port);
    const auto it = runs.find(port);
    if (!controller || it == runs.end() || it->second.ended)
        return;
    const quenta::JobState state = it->second.progress.state;
    quenta::controlJob(controller->GetPortSettings(), state == quenta::JobState::Running
                                                          ? quenta::JobControl::Pause
                                                          : quenta::JobControl::Resume);
    poll();
}

void JobPanel::stop()
{
    TarvoController* const controller = findController(port);
    if (!controller || !hasActiveJob(port))
        return;
    quenta::controlJob(controller->GetPortSettings(), quenta::JobControl::Stop);
    poll();
}

void JobPanel::continueJob()
{
    TarvoController* const controller = findController(port);
    if (!controller || !hasActiveJob(port))
        return;
    quenta::controlJob(controller->GetPortSettings(), quenta::JobControl::Resume);
    poll();
}

void JobPanel::sendOverride(int command)
{
    TarvoController* const controller = findController(port);
    if (!controller || !controller->IsConnected())
        return;
    if (!quenta::overrideJob(controller->GetPortSettings(), uint8_t(command))) {
        Q_EMIT logLine(tr("%1: the controller takes no such override").arg(port));
    } else {
        // The machine keeps the operator's choice for its next jobs.
        std::array<int, 3> kept = keptOverrides(port);
        int& feed = kept[0];
        int& rapid = kept[1];
        int& spindle = kept[2];
        switch (command) {
        case 0x90: feed = 100; break;
        case 0x91: feed = std::min(200, feed + 10); break;
        case 0x92: feed = std::max(10, feed - 10); break;
        case 0x95: rapid = 100; break;
        case 0x96: rapid = 50; break;
        case 0x97: rapid = 25; break;
        case 0x99: spindle = 100; break;
        case 0x9A: spindle = std::min(200, spindle + 10); break;
        case 0x9B: spindle = std::max(10, spindle - 10); break;
        default: break;
        }
        QSettings().setValue(QStringLiteral("Machines/") + port + QStringLiteral("/overrides"),
                             QStringLiteral("%1 %2 %3").arg(feed).arg(rapid).arg(spindle));
    }
    refresh();
}

std::array<int, 3> JobPanel::keptOverrides(const QString& comPort)
{
    const QStringList values =
        QSettings()
            .value(QStringLiteral("Machines/") + comPort + QStringLiteral("/overrides"))
            .toString()
            .split(QLatin1Char(' '));
    std::array<int, 3> kept{100, 100, 100};
    for (int i = 0; i < 3 && values.size() == 3; ++i) {
        bool ok = false;
        const int v = values.at(i).toInt(&ok);
        if (ok && v >= 10 && v <= 200)
            kept[size_t(i)] = v;
    }
    return kept;
}

void JobPanel::restoreOverrides(TarvoPortSettings* record, const QString& comPort)
{
    const std::array<int, 3> kept = keptOverrides(comPort);
    if (kept == std::array<int, 3>{100, 100, 100})
        return;
    // Coarse steps of 10 % from 100 %, as the buttons give them.
    const auto steps = [record](int value, uint8_t reset, uint8_t up, uint8_t down) {
        quenta::overrideJob(record, reset);
        for (int v = 100; v != value; v += value > 100 ? 10 : -10)
            quenta::overrideJob(record, value > 100 ? up : down);
    };
    steps(kept[0], 0x90, 0x91, 0x92);
    quenta::overrideJob(record, kept[1] == 25 ? 0x97 : kept[1] == 50 ? 0x96 : 0x95);
    steps(kept[2], 0x99, 0x9A, 0x9B);
    Q_EMIT logLine(tr("%1: overrides as last set on this machine: feed %2 %, rapid %3 %, "
                      "spindle %4 %")
                       .arg(comPort)
                       .arg(kept[0])
                       .arg(kept[1])
                       .arg(kept[2]));
}

// --- watching -------------------------------------------------------------------------------

void JobPanel::poll()
{
    const qint64 now = nowMs();
    for (auto& [comPort, run] : runs) {
        if (!run.ended)
            pollRun(comPort, run, now);
    }
    updateTimer();
    refresh();
}

void JobPanel::pollRun(const QString& comPort, Run& run, qint64 now)
{
    TarvoController* const controller = findController(comPort);
    const quenta::JobProgress before = run.progress;
    if (before.state == quenta::JobState::Running)
        run.activeMs += now - run.lastPollMs;
    run.lastPollMs = now;
    if (controller && controller->IsConnected()) {
        run.progress = quenta::jobProgress(controller->GetPortSettings());
    } else {
        // The port was closed under the job (disconnect, lost connection, removal).
        run.progress.state = quenta::JobState::Failed;
        run.progress.reason = "the connection to the controller was closed";
    }
    // A closed and reopened port reports Idle: the job is gone.
    if (run.progress.state == quenta::JobState::Idle) {
        run.progress.state = quenta::JobState::Failed;
        run.progress.reason = "the connection to the controller was closed";
    }
    if (run.progress.state != before.state || run.progress.tool != before.tool
        || run.progress.failedFileLine != before.failedFileLine)
        logTransition(comPort, run, before);
    // The tab follows the machine it names (with one job on several machines, the last one
    // started): the others' progress would make its shading jump between them.
    if (run.document && !run.checkMode && run.document->runningOn() == comPort)
        run.document->setRunProgress(run.progress.fileLineExecuting, linesDone(run));
    if (!quenta::jobActive(run.progress.state))
        endRun(comPort, run);
}

void JobPanel::logTransition(const QString& comPort, const Run& run,
                             const quenta::JobProgress& before)
{
    const quenta::JobProgress& p = run.progress;
    const QString head = comPort + QStringLiteral(": ") + run.fileName;
    const uint32_t line = p.fileLineExecuting;
    switch (p.state) {
    case quenta::JobState::Running:
        if (before.state != quenta::JobState::Running)
            Q_EMIT logLine(tr("%1 resumed").arg(head));
        break;
    case quenta::JobState::Paused:
        Q_EMIT logLine(tr("%1 paused at line %2").arg(head).arg(line));
        break;
    case quenta::JobState::ToolChange:
        Q_EMIT logLine(tr("%1 waits for tool T%2 at line %3").arg(head).arg(p.tool).arg(line));
        break;
    case quenta::JobState::ErrorPause:
        Q_EMIT logLine(tr("%1 holds: %2").arg(head, errorPauseText(run)));
        break;
    case quenta::JobState::Failed:
        if (quenta::jobAlarm(p))
            Q_EMIT logLine(tr("%1: alarm at line %2: %3")
                               .arg(head)
                               .arg(p.failedFileLine)
                               .arg(fromStd(p.reason)));
        break;
    case quenta::JobState::Idle:
    case quenta::JobState::Stopped:
    case quenta::JobState::Completed:
        break;  // the end is logged by endRun
    }
}

void JobPanel::endRun(const QString& comPort, Run& run)
{
    run.ended = true;
    const quenta::JobProgress& p = run.progress;
    const QString head = comPort + QStringLiteral(": ") + run.fileName;
    const QString took = formatDuration((nowMs() - run.startedMs) / 1000.0);
    const QString estimate = formatDuration(run.estimate ? run.estimate->seconds : 0);
    if (run.checkMode) {
        if (p.state == quenta::JobState::Completed && p.errors.empty()) {
            Q_EMIT logLine(tr("%1: the controller's check found no problems").arg(head));
        } else if (p.state == quenta::JobState::Completed) {
            Q_EMIT logLine(tr("%1: lines the controller's check refused: %2")
                               .arg(head)
                               .arg(p.errors.size()));
            for (const quenta::JobError& e : p.errors)
                Q_EMIT logLine(tr("  line %1: %2").arg(e.fileLine).arg(fromStd(e.reason)));
        } else {
            Q_EMIT logLine(tr("%1: check ended: %2").arg(head, fromStd(p.reason)));
        }
    } else if (p.state == quenta::JobState::Completed) {
        Q_EMIT logLine(tr("%1 completed in %2 (estimated %3)").arg(head, took, estimate));
    } else if (p.state == quenta::JobState::Stopped) {
        Q_EMIT logLine(tr("%1 stopped at line %2 after %3 (estimated %4): %5")
                           .arg(head)
                           .arg(p.fileLineExecuting)
                           .arg(took, estimate, fromStd(p.reason)));
    } else if (!quenta::jobAlarm(p)) {
        Q_EMIT logLine(tr("%1 failed at line %2 after %3: %4")
                           .arg(head)
                           .arg(p.failedFileLine)
                           .arg(took, fromStd(p.reason)));
    }
    // A job started on several machines shows the last one started; another's end leaves it.
    if (run.document && !run.checkMode && run.document->runningOn() == comPort)
        run.document->setRun(QString());
    if (!run.checkMode)
        Q_EMIT jobEnded(comPort, p, linesDone(run), (nowMs() - run.startedMs) / 1000.0);
    Q_EMIT runStateChanged(comPort);
}

void JobPanel::updateTimer()
{
    const bool active = std::any_of(runs.begin(), runs.end(),
                                    [](const auto& entry) { return !entry.second.ended; });
    if (active && !timer->isActive())
        timer->start();
    else if (!active && timer->isActive())
        timer->stop();
}

uint32_t JobPanel::linesDone(const Run& run) const
{
    if (!run.program)
        return 0;
    const uint32_t total = run.program->lineCount();
    if (run.progress.state == quenta::JobState::Completed)
        return total;
    const uint32_t executing = run.progress.fileLineExecuting;
    const uint32_t before = run.fromLine - 1;
    return std::min(total, executing ? std::max(before, executing - 1) : before);
}

JobPanel::Banner JobPanel::bannerOf(const quenta::JobProgress& p) const
{
    switch (p.state) {
    case quenta::JobState::Idle: return Banner::Idle;
    case quenta::JobState::Running: return Banner::Running;
    case quenta::JobState::Paused: return Banner::Paused;
    case quenta::JobState::ToolChange: return Banner::ToolChange;
    case quenta::JobState::ErrorPause: return Banner::Error;
    case quenta::JobState::Stopped: return Banner::Stopped;
    case quenta::JobState::Completed: return Banner::Completed;
    case quenta::JobState::Failed: return quenta::jobAlarm(p) ? Banner::Alarm : Banner::Error;
    }
    return Banner::Idle;
}

QString JobPanel::remainingText(const Run& run) const
{
    const QString text =
        tr("Elapsed %1").arg(formatDuration((nowMs() - run.startedMs) / 1000.0));
    const double left = secondsLeft(run);
    return left < 0 ? text
                    : text + QStringLiteral(" · ") + tr("left %1").arg(formatDuration(left));
}

double JobPanel::secondsLeft(const Run& run) const
{
    const double elapsed = run.activeMs / 1000.0;
    if (!run.estimate || run.estimate->lineFinish.empty() || run.ended)
        return -1;
    // The estimate from the job's first line; corrected by how the run kept to it so far.
    const std::vector<float>& finish = run.estimate->lineFinish;
    const auto at = [&finish](uint32_t lines) {
        return lines == 0 ? 0.0 : double(finish[std::min<size_t>(lines, finish.size()) - 1]);
    };
    const double offset = at(run.fromLine - 1);
    const double predictedSoFar = at(linesDone(run)) - offset;
    const double predictedTotal = run.estimate->seconds - offset;
    double scale = 1.0;
    if (predictedSoFar > 2.0 && elapsed > 2.0)
        scale = std::clamp(elapsed / predictedSoFar, 0.25, 4.0);
    return std::max(0.0, (predictedTotal - predictedSoFar) * scale);
}

JobPanel::RunInfo JobPanel::runInfo(const QString& comPort) const
{
    RunInfo info;
    const auto it = runs.find(comPort);
    if (it == runs.end())
        return info;
    info.fileName = it->second.fileName;
    info.secondsLeft = it->second.checkMode ? -1 : secondsLeft(it->second);
    return info;
}

QString JobPanel::errorPauseText(const Run& run) const
{
    const quenta::JobProgress& p = run.progress;
    const int code = errorCodeOf(p.reason);
    const QString words = code >= 0 ? fromStd(gcode::errorMeaning(code)) : fromStd(p.reason);
    QString text = tr("Line %1 was refused: %2").arg(p.failedFileLine).arg(words);
    if (code >= 0)
        text += QStringLiteral(" (error:%1)").arg(code);
    if (run.program && p.failedFileLine >= 1 && p.failedFileLine <= run.program->lineCount())
        text += QStringLiteral("\n") + fromStd(std::string(
                                           run.program->lineText(p.failedFileLine - 1)));
    return text;
}

void JobPanel::setBusy(bool on)
{
    if (busy == on)
        return;
    busy = on;
    if (on)
        QApplication::setOverrideCursor(Qt::BusyCursor);
    else
        QApplication::restoreOverrideCursor();
    refresh();
}

void JobPanel::refresh()
{
    TarvoController* const controller = findController(port);
    const bool connected = controller && controller->IsConnected();
    shownConnected = connected;
    const auto it = runs.find(port);
    const Run* const run = it == runs.end() ? nullptr : &it->second;
    const bool active = run && !run->ended;

    // The name: the running job's, else the current tab's.
    QString name;
    if (active || (run && (!currentDocument || run->document == currentDocument)))
        name = run->fileName;
    else if (currentDocument)
        name = currentDocument->fileName();
    nameLabel->setText(port.isEmpty() ? tr("No controller")
                       : name.isEmpty() ? tr("%1: no job (open a G-code file)").arg(port)
                                        : tr("%1: %2").arg(port, name));

    const bool showRun = run && (active || name == run->fileName);
    const quenta::JobProgress progress = showRun ? run->progress : quenta::JobProgress{};
    shownBanner = bannerOf(progress);
    struct Look { QString text; const char* colour; };
    Look look;
    switch (shownBanner) {
    case Banner::Idle: look = {tr("Idle"), "#d0d0d0"}; break;
    case Banner::Running: look = {tr("Running"), "#7fd17f"}; break;
    case Banner::Paused: look = {tr("Paused"), "#f3d36b"}; break;
    case Banner::ToolChange: look = {tr("Tool change"), "#f3a54b"}; break;
    case Banner::Error: look = {tr("Error"), "#e86b6b"}; break;
    case Banner::Alarm: look = {tr("Alarm"), "#d03030"}; break;
    case Banner::Completed: look = {tr("Completed"), "#6fa8e8"}; break;
    case Banner::Stopped: look = {tr("Stopped"), "#b0b0b0"}; break;
    }
    if (showRun && run->checkMode)
        look.text = tr("Check: %1").arg(look.text);
    // Restyling is not free: only when the banner changes (the panel refreshes 5 times a second).
    const QString style =
        QStringLiteral("QLabel { background: %1; color: black; border-radius: 3px; }")
            .arg(QLatin1String(look.colour));
    if (bannerLabel->text() != look.text)
        bannerLabel->setText(look.text);
    if (bannerLabel->styleSheet() != style)
        bannerLabel->setStyleSheet(style);

    const bool loaded = currentDocument && currentDocument->isLoaded();
    const bool startable = connected && !busy && !active && loaded;
    startButton->setEnabled(startable);
    checkButton->setEnabled(startable);
    fromLineButton->setEnabled(startable);
    const bool holding = active
                         && (progress.state == quenta::JobState::ToolChange
                             || progress.state == quenta::JobState::ErrorPause);
    pauseButton->setEnabled(active && !holding);
    pauseButton->setText(active && progress.state == quenta::JobState::Paused ? tr("Resume")
                                                                              : tr("Pause"));
    stopButton->setEnabled(active);
    for (QPushButton* const b : overrideButtons)
        b->setEnabled(connected);

    // Progress: lines of the file done of its lines.
    const uint32_t total = showRun && run->program ? run->program->lineCount()
                           : loaded ? currentDocument->program()->lineCount()
                                    : 0;
    const uint32_t done = showRun ? linesDone(*run) : 0;
    progressBar->setRange(0, int(std::max<uint32_t>(total, 1)));
    progressBar->setValue(int(std::min(done, std::max<uint32_t>(total, 1))));
    progressBar->setFormat(tr("%1 of %2 lines (%p %)").arg(done).arg(total));

    if (showRun) {
        timeLabel->setText(run->ended
                               ? tr("Took %1 (estimated %2)")
                                     .arg(formatDuration((run->lastPollMs - run->startedMs)
                                                         / 1000.0),
                                          formatDuration(run->estimate ? run->estimate->seconds
                                                                       : 0))
                               : remainingText(*run));
        const uint32_t line = progress.fileLineExecuting;
        lineLabel->setText(line && run->program && line <= run->program->lineCount()
                               ? tr("Line %1: %2")
                                     .arg(line)
                                     .arg(fromStd(std::string(run->program->lineText(line - 1))))
                               : QString());
    } else {
        timeLabel->clear();
        lineLabel->clear();
    }

    refreshOverrides();

    if (holding && progress.state == quenta::JobState::ToolChange) {
        attentionLabel->setText(tr("Insert tool T%1, then continue").arg(progress.tool));
        attentionBar->show();
    } else if (holding) {
        attentionLabel->setText(errorPauseText(*run));
        attentionBar->show();
    } else {
        attentionBar->hide();
    }
}

void JobPanel::refreshOverrides()
{
    TarvoController* const controller = findController(port);
    if (!controller || !controller->IsConnected() || controller->IsInFirmwareMode()) {
        overrideLabel->clear();
        return;
    }
    const quenta::JobProgress p = quenta::jobProgress(controller->GetPortSettings());
    const QString names[3] = {tr("feed"), tr("rapid"), tr("spindle")};
    QStringList parts;
    for (int k = 0; k < 3; ++k) {
        if (p.overrides[k] > 0)
            parts << tr("%1 %2 %").arg(names[k]).arg(p.overrides[k]);
    }
    const QString text = parts.isEmpty()
                             ? tr("The controller does not report its overrides.")
                             : tr("Controller: %1").arg(parts.join(QStringLiteral(", ")));
    if (overrideLabel->text() != text)
        overrideLabel->setText(text);
}
