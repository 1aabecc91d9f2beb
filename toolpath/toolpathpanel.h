#pragma once
// The "Toolpath" dock's content: buttons for the views (top, front, side, iso, fit) above the
// 3D view of a job's path.
//
// The panel keeps what is shown (the program, the lines done, the machine, the work origin and
// the tool position) and builds the path's geometry off the window's thread; the newest
// program wins when one arrives while another is built. The OpenGL view is created when the
// panel is first shown, and only when an OpenGL context can be made there; without one the
// panel says so and keeps everything else working.

#include "machine.h"
#include "program.h"
#include "toolpathgeometry.h"

#include <QLabel>
#include <QVector3D>
#include <QWidget>

#include <memory>
#include <optional>

class QStackedLayout;
class QToolButton;

namespace toolpath {

class ToolpathView;

// Whether an OpenGL view can be shown in a window on this platform.
bool openGlWidgetsWork();

class ToolpathPanel : public QWidget {
    Q_OBJECT
public:
    explicit ToolpathPanel(QWidget* parent = nullptr);
    ~ToolpathPanel() override;

    // The job to show (null: none). Its path is built off the window's thread; pathReady()
    // follows.
    void setProgram(std::shared_ptr<const gcode::Program> program);
    std::shared_ptr<const gcode::Program> program() const { return program_; }
    // The geometry of the current program once built (null before and without a program).
    std::shared_ptr<const Geometry> path() const { return path_; }

    void setLinesDone(uint32_t linesDone);
    uint32_t linesDone() const { return linesDone_; }
    void setMachine(const gcode::MachineSettings& machine);
    void setWorkOrigin(const QVector3D& origin);
    void setToolPosition(std::optional<QVector3D> position);
    std::optional<QVector3D> toolPosition() const { return tool_; }

    // The OpenGL view, once the panel was shown where OpenGL works; null otherwise.
    ToolpathView* view() const { return view_; }

Q_SIGNALS:
    // The geometry of the current program (or its absence) is in path().
    void pathReady();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void createView();
    void showPath(std::shared_ptr<const Geometry> geometry);
    void updateSummary();

    std::shared_ptr<const gcode::Program> program_;
    std::shared_ptr<const Geometry> path_;
    int buildGeneration_ = 0;
    uint32_t linesDone_ = 0;
    gcode::MachineSettings machine_;
    QVector3D origin_;
    std::optional<QVector3D> tool_;

    bool viewTried_ = false;
    ToolpathView* view_ = nullptr;
    QStackedLayout* stack_ = nullptr;
    QLabel* message_ = nullptr;
    QLabel* summary_ = nullptr;
    QList<QToolButton*> viewButtons_;
};

} // namespace toolpath
