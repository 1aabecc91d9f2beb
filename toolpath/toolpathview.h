#pragma once
// The 3D view of a toolpath (OpenGL).
//
// Drawing: the path lies in one vertex buffer, uploaded once per job; one draw call draws it.
// With an OpenGL 3.3 core context (also Mesa's software renderer llvmpipe) the buffer is the
// strip of the geometry and every segment takes its code from its end vertex ("flat"); with
// an older context (OpenGL 2.1, GLSL 1.20) it is expanded to two vertices per segment. The
// fragment shader colours each segment: feeds by their height (blue low, red high), rapids
// dashed and pale, and, during a run, everything up to the lines done in one "done" colour;
// the lines done are a uniform, so progress never touches the buffer. Around the path: the
// machine's travel box (GRBL machine coordinates [-max travel, 0] on each axis), the work
// origin as three short axes (X red, Y green, Z blue) and the tool as a cone whose tip is the
// tool position; these few lines are rebuilt every frame.
//
// Size: the path's buffer also holds simplified versions of it (toolpathgeometry.h); each
// frame draws the coarsest whose deviation stays under half a pixel at the current zoom, and
// under two and a half pixels while the operator turns, pans or zooms; and of that level only
// the chunks of 1024 segments whose bounding box is in view. So a job of a million segments
// stays usable with software rendering, whole or zoomed in.
//
// Camera: orthographic, turned by a spin about Z and a tilt about the screen's X axis.
// Presets top, front (from -Y), side (from +X) and iso. Left drag turns, right or middle drag
// pans, the wheel zooms about the cursor, a double click fits the view to the path.

#include "machine.h"
#include "toolpathgeometry.h"

#include <QMatrix4x4>
#include <QOpenGLBuffer>
#include <QOpenGLFunctions>
#include <QOpenGLShaderProgram>
#include <QOpenGLVertexArrayObject>
#include <QOpenGLWidget>
#include <QPoint>
#include <QTimer>
#include <QVector3D>

#include <memory>
#include <optional>
#include <vector>

namespace toolpath {

class ToolpathView : public QOpenGLWidget, protected QOpenGLFunctions {
    Q_OBJECT
public:
    enum class Preset { Top, Front, Side, Iso };

    explicit ToolpathView(QWidget* parent = nullptr);
    ~ToolpathView() override;

    // The path to draw (null: none). Fits the view to it.
    void setPath(std::shared_ptr<const Geometry> geometry);
    std::shared_ptr<const Geometry> path() const { return geometry_; }

    // Segments of lines <= linesDone are drawn as done; 0: nothing done.
    void setLinesDone(uint32_t linesDone);
    uint32_t linesDone() const { return linesDone_; }

    // The machine whose travel box is drawn.
    void setMachine(const gcode::MachineSettings& machine);
    // Where the work origin lies in the path's coordinates.
    void setWorkOrigin(const QVector3D& origin);
    // The tool's position in work coordinates, mm; nullopt hides it.
    void setToolPosition(std::optional<QVector3D> position);
    std::optional<QVector3D> toolPosition() const { return tool_; }

    void setPreset(Preset preset);
    // Scales and centres the view on the path (on the travel box without a path), and keeps
    // doing so as the path or the size changes until the operator turns, pans or zooms.
    void zoomToFit();

    // After the first paint: whether drawing works, the context's OpenGL version and whether
    // the core profile path (strip, flat attributes) is used.
    bool drawingWorks() const { return ready_; }
    bool usesCoreProfile() const { return core_; }
    QString renderer() const { return rendererText_; }
    // Segments in the last frame drawn (a simplified level has fewer than the path).
    int drawnSegments() const { return drawnSegments_; }

    // The matrix from path coordinates to clip space, for the current widget size.
    QMatrix4x4 viewProjection() const;

    QSize sizeHint() const override { return {480, 360}; }

protected:
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void releaseGL();
    // Centres and scales the camera on fitExtents().
    void fitView();
    void uploadPath();
    QMatrix4x4 rotation() const;
    // The corners of what zoomToFit shows.
    gcode::Extents fitExtents() const;
    void drawOverlay(const QMatrix4x4& mvp);
    void interacted();

    std::shared_ptr<const Geometry> geometry_;
    uint32_t linesDone_ = 0;
    gcode::MachineSettings machine_;
    QVector3D origin_;
    std::optional<QVector3D> tool_;

    // Camera: degrees, the point in the middle of the view, pixels per mm.
    float spin_ = -45;
    float tilt_ = -55;
    QVector3D centre_;
    float scale_ = 1;
    // The view keeps fitting the path (new path, new size) until the operator moves it.
    bool autoFit_ = true;
    QPoint lastMouse_;
    Qt::MouseButton dragButton_ = Qt::NoButton;

    // OpenGL state; valid between initializeGL and the context's end.
    bool ready_ = false;
    bool core_ = false;
    QString rendererText_;
    QMetaObject::Connection contextEnd_;
    // Made anew in each context (a dock floated or docked again gets a new one).
    std::unique_ptr<QOpenGLShaderProgram> pathProgram_;
    std::unique_ptr<QOpenGLShaderProgram> lineProgram_;
    QOpenGLVertexArrayObject vao_;
    QOpenGLBuffer pathBuffer_{QOpenGLBuffer::VertexBuffer};
    QOpenGLBuffer overlayBuffer_{QOpenGLBuffer::VertexBuffer};
    // The path and its simplified versions, one after the other in the buffer.
    // Each level in chunks of ChunkSegments segments with their bounding boxes: chunks out
    // of view are not drawn.
    static constexpr int ChunkSegments = 1024;
    struct Level {
        float tolerance = 0;
        int first = 0;
        int count = 0;
        std::vector<gcode::Extents> chunks;
    };
    void drawLevel(const Level& level, const QMatrix4x4& mvp);
    std::vector<Level> levels_;
    bool uploadPending_ = true;
    bool stripUploaded_ = true;
    // While the operator turns, pans or zooms, a coarser level keeps the view moving; the
    // finest fitting level is drawn once the operator stops.
    bool interacting_ = false;
    QTimer interactionEnd_;
    int drawnSegments_ = 0;
};

} // namespace toolpath
