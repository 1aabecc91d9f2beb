#include "toolpathpanel.h"

#include "toolpathview.h"

#include <QFutureWatcher>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QOpenGLContext>
#include <QStackedLayout>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

namespace toolpath {

bool openGlWidgetsWork()
{
    const QString platform = QGuiApplication::platformName();
    const bool composes = platform == QLatin1String("xcb")
                          || platform.startsWith(QLatin1String("wayland"))
                          || platform == QLatin1String("eglfs")
                          || platform == QLatin1String("windows")
                          || platform == QLatin1String("cocoa");
    if (!composes)
        return false;
    QOpenGLContext probe;
    return probe.create();
}

ToolpathPanel::ToolpathPanel(QWidget* parent) : QWidget(parent)
{
    auto* const buttons = new QHBoxLayout;
    buttons->setContentsMargins(0, 0, 0, 0);
    const auto addButton = [this, buttons](const QString& text, const QString& name,
                                           auto action) {
        auto* const button = new QToolButton(this);
        button->setText(text);
        button->setObjectName(name);
        button->setEnabled(false);
        connect(button, &QToolButton::clicked, this, [this, action] {
            if (view_)
                action(*view_);
        });
        buttons->addWidget(button);
        viewButtons_.append(button);
    };
    addButton(tr("Top"), QStringLiteral("toolpathTop"),
              [](ToolpathView& v) { v.setPreset(ToolpathView::Preset::Top); });
    addButton(tr("Front"), QStringLiteral("toolpathFront"),
              [](ToolpathView& v) { v.setPreset(ToolpathView::Preset::Front); });
    addButton(tr("Side"), QStringLiteral("toolpathSide"),
              [](ToolpathView& v) { v.setPreset(ToolpathView::Preset::Side); });
    addButton(tr("Iso"), QStringLiteral("toolpathIso"),
              [](ToolpathView& v) { v.setPreset(ToolpathView::Preset::Iso); });
    addButton(tr("Fit"), QStringLiteral("toolpathFit"),
              [](ToolpathView& v) { v.zoomToFit(); });
    summary_ = new QLabel(this);
    summary_->setObjectName(QStringLiteral("toolpathSummary"));
    buttons->addSpacing(8);
    buttons->addWidget(summary_, 1);

    message_ = new QLabel(this);
    message_->setAlignment(Qt::AlignCenter);
    message_->setWordWrap(true);
    stack_ = new QStackedLayout;
    stack_->addWidget(message_);

    auto* const layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addLayout(buttons);
    layout->addLayout(stack_, 1);
    updateSummary();
}

ToolpathPanel::~ToolpathPanel() = default;

void ToolpathPanel::setProgram(std::shared_ptr<const gcode::Program> program)
{
    if (program == program_)
        return;
    program_ = std::move(program);
    const int generation = ++buildGeneration_;
    if (!program_) {
        showPath(nullptr);
        return;
    }
    // A million segments take a moment: built off the window's thread. The watcher is the
    // panel's child, so a result that arrives after the panel is gone is dropped with it.
    auto* const watcher = new QFutureWatcher<std::shared_ptr<const Geometry>>(this);
    connect(watcher, &QFutureWatcher<std::shared_ptr<const Geometry>>::finished, this,
            [this, watcher, generation] {
                watcher->deleteLater();
                if (generation == buildGeneration_)
                    showPath(watcher->result());
            });
    watcher->setFuture(QtConcurrent::run([program = program_] {
        auto geometry = std::make_shared<Geometry>(build(*program));
        addSimplified(*geometry);
        return std::shared_ptr<const Geometry>(std::move(geometry));
    }));
}

void ToolpathPanel::showPath(std::shared_ptr<const Geometry> geometry)
{
    path_ = std::move(geometry);
    if (view_)
        view_->setPath(path_);
    updateSummary();
    Q_EMIT pathReady();
}

void ToolpathPanel::updateSummary()
{
    if (!path_) {
        summary_->setText(program_ ? tr("Building the toolpath...") : tr("No job"));
        return;
    }
    summary_->setText(tr("%L1 feed moves, %L2 rapid moves")
                          .arg(path_->feedSegments)
                          .arg(path_->rapidSegments));
}

void ToolpathPanel::setLinesDone(uint32_t linesDone)
{
    linesDone_ = linesDone;
    if (view_)
        view_->setLinesDone(linesDone);
}

void ToolpathPanel::setMachine(const gcode::MachineSettings& machine)
{
    machine_ = machine;
    if (view_)
        view_->setMachine(machine);
}

void ToolpathPanel::setWorkOrigin(const QVector3D& origin)
{
    origin_ = origin;
    if (view_)
        view_->setWorkOrigin(origin);
}

void ToolpathPanel::setToolPosition(std::optional<QVector3D> position)
{
    tool_ = position;
    if (view_)
        view_->setToolPosition(position);
}

void ToolpathPanel::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!viewTried_)
        createView();
}

void ToolpathPanel::createView()
{
    viewTried_ = true;
    // Where no OpenGL context can be made (a headless platform, a broken driver), or where the
    // platform cannot compose an OpenGL widget into the window (the offscreen and minimal
    // platforms, even when they can make a context), an OpenGL widget would leave the window
    // unpainted or worse: the panel then says why it stays empty.
    if (!openGlWidgetsWork()) {
        message_->setText(tr("The 3D view needs OpenGL, which is not available on this "
                             "display."));
        return;
    }
    view_ = new ToolpathView(this);
    view_->setObjectName(QStringLiteral("toolpathView"));
    view_->setMachine(machine_);
    view_->setWorkOrigin(origin_);
    view_->setToolPosition(tool_);
    view_->setLinesDone(linesDone_);
    view_->setPath(path_);
    stack_->addWidget(view_);
    stack_->setCurrentWidget(view_);
    for (QToolButton* button : viewButtons_)
        button->setEnabled(true);
}

} // namespace toolpath
