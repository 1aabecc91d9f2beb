#include "shopview.h"

#include "jobpanel.h"
#include "jobs.h"
#include "kavrixkernel.h"
#include "tarvocontroller.h"

#include <QGridLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QString positionText(TarvoController& c)
{
    const TarvoStatus& s = c.GetStatus();
    const int32_t steps[4] = {s.posX, s.posY, s.posZ, s.posC};
    const char* axes[4] = {"X", "Y", "Z", "C"};
    QStringList parts;
    const TarvoParameters& p = c.GetParameters();
    const double perMm[4] = {p.MECHANIK_AUFLOESUNG_X_FLOAT, p.MECHANIK_AUFLOESUNG_Y_FLOAT,
                             p.MECHANIK_AUFLOESUNG_Z_FLOAT, p.MECHANIK_AUFLOESUNG_C_FLOAT};
    for (int i = 0; i < 4; ++i) {
        const bool mm = p.IsDefined() && perMm[i] > 0;
        parts << QStringLiteral("%1 %2").arg(QLatin1String(axes[i]),
                                             mm ? QString::number(steps[i] / perMm[i], 'f', 3)
                                                : QString::number(steps[i]));
    }
    return parts.join(QStringLiteral("  "));
}

bool isRunning(quenta::JobState s) { return s == quenta::JobState::Running; }
bool isHeld(quenta::JobState s) { return s == quenta::JobState::Paused; }
bool isActive(quenta::JobState s) { return quenta::jobActive(s); }

}  // namespace

ShopTile::ShopTile(const QString& comPort, QWidget* parent) : QFrame(parent), port(comPort)
{
    setObjectName(QStringLiteral("shopTile") + comPort);
    setFrameShape(QFrame::StyledPanel);
    setCursor(Qt::PointingHandCursor);
    title = new QLabel(this);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    banner = new QLabel(this);
    banner->setObjectName(QStringLiteral("banner"));
    banner->setAlignment(Qt::AlignCenter);
    banner->setAutoFillBackground(true);
    banner->setMargin(3);
    jobName = new QLabel(this);
    progress = new QProgressBar(this);
    progress->setRange(0, 1000);
    progress->setTextVisible(true);
    position = new QLabel(this);
    position->setObjectName(QStringLiteral("position"));
    detail = new QLabel(this);
    detail->setObjectName(QStringLiteral("detail"));
    detail->setWordWrap(true);
    detail->setStyleSheet(QStringLiteral("color: #b71c1c"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(3);
    for (QWidget* w : {static_cast<QWidget*>(title), static_cast<QWidget*>(banner),
                       static_cast<QWidget*>(jobName), static_cast<QWidget*>(progress),
                       static_cast<QWidget*>(position), static_cast<QWidget*>(detail)})
        layout->addWidget(w);
    layout->addStretch();
    setMinimumWidth(230);
}

void ShopTile::setActive(bool active)
{
    setLineWidth(active ? 3 : 1);
    setFrameShape(active ? QFrame::Box : QFrame::StyledPanel);
}

void ShopTile::display(const QString& name, const MachineState& state,
                    const quenta::JobProgress& job, const ShopJobInfo& info,
                    const QString& positionLine)
{
    shown = state;
    const QString heading = name.isEmpty() ? port : port + QStringLiteral(" · ") + name;
    if (title->text() != heading)
        title->setText(heading);
    if (banner->text() != state.text()) {
        banner->setText(state.text());
        QPalette p = banner->palette();
        p.setColor(QPalette::Window, state.colour());
        p.setColor(QPalette::WindowText, Qt::white);
        banner->setPalette(p);
    }
    const bool hasJob = job.state != quenta::JobState::Idle && job.linesTotal > 0;
    jobName->setVisible(hasJob);
    progress->setVisible(hasJob);
    if (hasJob) {
        jobName->setText(info.name.isEmpty() ? tr("Job") : info.name);
        const double done = double(job.linesAcknowledged) / job.linesTotal;
        progress->setValue(qRound(done * 1000));
        QString text = tr("%1 of %2 lines").arg(job.linesAcknowledged).arg(job.linesTotal);
        if (info.secondsLeft >= 0 && quenta::jobActive(job.state))
            text += tr(", %1 left").arg(JobPanel::formatDuration(info.secondsLeft));
        progress->setFormat(text);
    }
    if (position->text() != positionLine)
        position->setText(positionLine);
    detail->setVisible(!state.detail.isEmpty());
    if (detail->text() != state.detail)
        detail->setText(state.detail);
}

void ShopTile::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        Q_EMIT clicked(port);
    QFrame::mousePressEvent(event);
}

ShopView::ShopView(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("shopView"));
    auto* outer = new QVBoxLayout(this);
    grid = new QGridLayout;
    outer->addLayout(grid);
    outer->addStretch();
    redraw = new QTimer(this);
    redraw->setSingleShot(true);
    redraw->setInterval(250);
    connect(redraw, &QTimer::timeout, this, [this] {
        const QStringList ports = dirty;
        dirty.clear();
        for (const QString& port : ports)
            refresh(port);
    });
    // While a job runs, its time left moves on between reports.
    jobTick = new QTimer(this);
    jobTick->setInterval(1000);
    connect(jobTick, &QTimer::timeout, this, &ShopView::refreshAll);

    KavrixKernel* kernel = KavrixKernel::Instance();
    connect(kernel, &KavrixKernel::SignalControllerAdded, this, &ShopView::rebuild);
    connect(kernel, &KavrixKernel::SignalControllerRemoved, this, &ShopView::rebuild);
    connect(kernel, &KavrixKernel::SignalUpdateControllerStatus, this,
            &ShopView::controllerUpdated);
    connect(kernel, &KavrixKernel::SignalActiveControllerChanged, this, &ShopView::activeChanged);
    active = kernel->GetActiveControllerPort();
    rebuild();
}

void ShopView::setJobInfo(std::function<ShopJobInfo(const QString&)> provider)
{
    jobInfo = std::move(provider);
}

void ShopView::rebuild()
{
    QStringList ports;
    for (TarvoController* c : KavrixKernel::Instance()->GetControllers())
        ports << c->GetComPort();
    std::sort(ports.begin(), ports.end(), [](const QString& a, const QString& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;  // COM2 before COM10
    });
    for (auto it = tiles.begin(); it != tiles.end();) {
        if (!ports.contains(it.key())) {
            delete it.value();
            attention.remove(it.key());
            it = tiles.erase(it);
        } else {
            ++it;
        }
    }
    const int columns = 2;
    for (int i = 0; i < ports.size(); ++i) {
        ShopTile*& t = tiles[ports[i]];
        if (!t) {
            t = new ShopTile(ports[i], this);
            connect(t, &ShopTile::clicked, this, &ShopView::activateRequested);
        }
        grid->addWidget(t, i / columns, i % columns);
        t->setActive(ports[i] == active);
    }
    refreshAll();
}

void ShopView::controllerUpdated(const QString& comPort)
{
    if (!tiles.contains(comPort) || dirty.contains(comPort))
        return;
    dirty << comPort;
    if (!redraw->isActive())
        redraw->start();
}

void ShopView::activeChanged(const QString& comPort)
{
    active = comPort;
    for (ShopTile* t : std::as_const(tiles))
        t->setActive(t->comPort() == comPort);
}

void ShopView::refreshAll()
{
    for (const QString& port : tiles.keys())
        refresh(port);
}

void ShopView::refresh(const QString& comPort)
{
    ShopTile* const t = tiles.value(comPort);
    TarvoController* const c = KavrixKernel::Instance()->FindController(comPort);
    if (!t || !c)
        return;
    const bool connected = c->IsConnected() && !c->IsInFirmwareMode();
    const quenta::JobProgress job =
        connected ? quenta::jobProgress(c->GetPortSettings()) : quenta::JobProgress();
    const TarvoStatus& status = c->GetStatus();
    const MachineState state = machineState(
        connected, status.errorCode, status.errorCode ? status.GetErrorText() : QString(), job);
    const ShopJobInfo info = jobInfo ? jobInfo(comPort) : ShopJobInfo();
    t->display(c->GetControllerName(), state, job, info,
            connected ? positionText(*c) : QString());

    const bool wanted = state.needsAttention();
    bool& had = attention[comPort];
    if (wanted && !had)
        Q_EMIT attentionNeeded(comPort, state.text() + QStringLiteral(": ") + state.detail);
    else if (!wanted && had)
        Q_EMIT attentionCleared(comPort);
    had = wanted;

    bool anyJob = false;
    for (ShopTile* tile : std::as_const(tiles)) {
        const auto k = tile->state().kind;
        anyJob = anyJob || k == MachineState::Kind::Run || k == MachineState::Kind::Hold
                 || k == MachineState::Kind::ToolChange;
    }
    if (anyJob && !jobTick->isActive())
        jobTick->start();
    else if (!anyJob)
        jobTick->stop();
}

QStringList ShopView::control(quenta::JobControl what, bool (*applies)(quenta::JobState))
{
    QStringList done;
    for (TarvoController* c : KavrixKernel::Instance()->GetControllers()) {
        if (!c->IsConnected() || c->IsInFirmwareMode())
            continue;
        if (applies(quenta::jobProgress(c->GetPortSettings()).state)
            && quenta::controlJob(c->GetPortSettings(), what))
            done << c->GetComPort();
    }
    refreshAll();
    return done;
}

QStringList ShopView::holdAll()
{
    return control(quenta::JobControl::Pause, isRunning);
}

QStringList ShopView::resumeAll()
{
    return control(quenta::JobControl::Resume, isHeld);
}

QStringList ShopView::stopAll()
{
    return control(quenta::JobControl::Stop, isActive);
}
