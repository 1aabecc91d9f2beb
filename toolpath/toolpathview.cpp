#include "toolpathview.h"

#include <QMouseEvent>
#include <QOpenGLContext>
#include <QSurfaceFormat>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <vector>

namespace toolpath {

namespace {

// The same shader text serves both profiles; the prefixes name the profile's keywords.
constexpr char CoreVertexPrefix[] =
    "#version 330 core\n#define IN in\n#define OUT out\n#define FLAT flat\n";
constexpr char CoreFragmentPrefix[] =
    "#version 330 core\n#define IN in\n#define FLAT flat\nout vec4 fragColour;\n"
    "#define FRAG fragColour\n";
constexpr char LegacyVertexPrefix[] =
    "#version 120\n#define IN attribute\n#define OUT varying\n#define FLAT\n";
constexpr char LegacyFragmentPrefix[] =
    "#version 120\n#define IN varying\n#define FLAT\n#define FRAG gl_FragColor\n";

constexpr char PathVertexShader[] = R"(
IN vec3 position;
IN float code;
IN float rapidDistance;
uniform mat4 mvp;
FLAT OUT float vCode;
OUT float vRapid;
OUT float vZ;
void main()
{
    gl_Position = mvp * vec4(position, 1.0);
    vCode = code;
    vRapid = rapidDistance;
    vZ = position.z;
}
)";

// code: +line feed, -line rapid. Rapids are dashed along their length (dashScale: periods
// per mm); feeds go from blue at the lowest to red at the highest Z of the path.
constexpr char PathFragmentShader[] = R"(
FLAT IN float vCode;
IN float vRapid;
IN float vZ;
uniform float linesDone;
uniform float dashScale;
uniform vec2 zRange;
void main()
{
    bool done = abs(vCode) <= linesDone;
    if (vCode < 0.0) {
        if (fract(vRapid * dashScale) >= 0.5)
            discard;
        FRAG = done ? vec4(0.30, 0.55, 0.38, 1.0) : vec4(0.95, 0.80, 0.35, 1.0);
    } else if (done) {
        FRAG = vec4(0.30, 0.85, 0.40, 1.0);
    } else {
        float t = clamp((vZ - zRange.x) / max(zRange.y - zRange.x, 0.001), 0.0, 1.0);
        FRAG = vec4(mix(vec3(0.25, 0.55, 1.0), vec3(1.0, 0.35, 0.25), t), 1.0);
    }
}
)";

constexpr char LineVertexShader[] = R"(
IN vec3 position;
IN vec3 colour;
uniform mat4 mvp;
OUT vec3 vColour;
void main()
{
    gl_Position = mvp * vec4(position, 1.0);
    vColour = colour;
}
)";

constexpr char LineFragmentShader[] = R"(
IN vec3 vColour;
void main()
{
    FRAG = vec4(vColour, 1.0);
}
)";

// Dash period of rapids on screen, pixels.
constexpr float DashPixels = 10;

QByteArray source(const char* prefix, const char* body)
{
    return QByteArray(prefix) + body;
}

// Overlay vertices: x, y, z, r, g, b.
void addLine(std::vector<float>& out, const QVector3D& a, const QVector3D& b, const QVector3D& c)
{
    for (const QVector3D* p : {&a, &b})
        out.insert(out.end(), {p->x(), p->y(), p->z(), c.x(), c.y(), c.z()});
}

} // namespace

ToolpathView::ToolpathView(QWidget* parent) : QOpenGLWidget(parent)
{
    // Core 3.3 where the driver has it (Mesa's llvmpipe has); where not, the context comes as
    // the driver can and initializeGL takes the older way.
    QSurfaceFormat format = QSurfaceFormat::defaultFormat();
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setVersion(3, 3);
    format.setProfile(QSurfaceFormat::CoreProfile);
    format.setDepthBufferSize(24);
    setFormat(format);
    setMinimumSize(160, 120);
    setFocusPolicy(Qt::ClickFocus);
    setPreset(Preset::Iso);
    interactionEnd_.setSingleShot(true);
    interactionEnd_.setInterval(300);
    connect(&interactionEnd_, &QTimer::timeout, this, [this] {
        interacting_ = false;
        update();
    });
}

void ToolpathView::interacted()
{
    interacting_ = true;
    interactionEnd_.start();
}

ToolpathView::~ToolpathView()
{
    // The context ends after this object's members: its end must not reach them.
    disconnect(contextEnd_);
    if (context()) {
        makeCurrent();
        releaseGL();
        doneCurrent();
    }
}

void ToolpathView::setPath(std::shared_ptr<const Geometry> geometry)
{
    geometry_ = std::move(geometry);
    uploadPending_ = true;
    autoFit_ = true;
    update();
}

void ToolpathView::setLinesDone(uint32_t linesDone)
{
    if (linesDone_ == linesDone)
        return;
    linesDone_ = linesDone;
    update();
}

void ToolpathView::setMachine(const gcode::MachineSettings& machine)
{
    machine_ = machine;
    update();
}

void ToolpathView::setWorkOrigin(const QVector3D& origin)
{
    origin_ = origin;
    update();
}

void ToolpathView::setToolPosition(std::optional<QVector3D> position)
{
    if (tool_ == position)
        return;
    tool_ = position;
    update();
}

void ToolpathView::setPreset(Preset preset)
{
    switch (preset) {
    case Preset::Top: spin_ = 0; tilt_ = 0; break;
    case Preset::Front: spin_ = 0; tilt_ = -90; break;
    case Preset::Side: spin_ = -90; tilt_ = -90; break;
    case Preset::Iso: spin_ = -45; tilt_ = -55; break;
    }
    autoFit_ = true;
    update();
}

QMatrix4x4 ToolpathView::rotation() const
{
    QMatrix4x4 r;
    r.rotate(tilt_, 1, 0, 0);
    r.rotate(spin_, 0, 0, 1);
    return r;
}

gcode::Extents ToolpathView::fitExtents() const
{
    if (geometry_ && !geometry_->extents.empty)
        return geometry_->extents;
    gcode::Extents box;
    const float low[3] = {float(-machine_.maxTravel[0]), float(-machine_.maxTravel[1]),
                          float(-machine_.maxTravel[2])};
    const float high[3] = {0, 0, 0};
    const float origin[3] = {origin_.x(), origin_.y(), origin_.z()};
    box.add(low);
    box.add(high);
    box.add(origin);
    return box;
}

void ToolpathView::zoomToFit()
{
    autoFit_ = true;
    update();
}

void ToolpathView::fitView()
{
    const gcode::Extents e = fitExtents();
    centre_ = QVector3D((e.min[0] + e.max[0]) / 2, (e.min[1] + e.max[1]) / 2,
                        (e.min[2] + e.max[2]) / 2);
    const QMatrix4x4 r = rotation();
    float halfX = 0.5f, halfY = 0.5f;  // at least a millimetre shows
    for (int corner = 0; corner < 8; ++corner) {
        const QVector3D p((corner & 1) ? e.max[0] : e.min[0], (corner & 2) ? e.max[1] : e.min[1],
                          (corner & 4) ? e.max[2] : e.min[2]);
        const QVector3D v = r.map(p - centre_);
        halfX = std::max(halfX, std::abs(v.x()));
        halfY = std::max(halfY, std::abs(v.y()));
    }
    const float w = std::max(width(), 1), h = std::max(height(), 1);
    scale_ = 0.9f * std::min(w / (2 * halfX), h / (2 * halfY));
}

QMatrix4x4 ToolpathView::viewProjection() const
{
    const float w = std::max(width(), 1) / (2 * scale_), h = std::max(height(), 1) / (2 * scale_);
    // Deep enough for the machine and the path wherever the view was turned.
    const gcode::Extents e = fitExtents();
    float depth = 1000;
    for (int a = 0; a < 3; ++a)
        depth += 2 * float(machine_.maxTravel[a]) + (e.max[a] - e.min[a]);
    depth += centre_.length();
    QMatrix4x4 m;
    m.ortho(-w, w, -h, h, -depth, depth);
    m *= rotation();
    m.translate(-centre_);
    return m;
}

void ToolpathView::initializeGL()
{
    ready_ = false;
    if (!context())
        return;
    initializeOpenGLFunctions();
    disconnect(contextEnd_);
    contextEnd_ = connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, [this] {
        makeCurrent();
        releaseGL();
        doneCurrent();
    });
    const QSurfaceFormat format = context()->format();
    core_ = !context()->isOpenGLES() && format.version() >= qMakePair(3, 3);
    rendererText_ = QString::fromLatin1(reinterpret_cast<const char*>(glGetString(GL_RENDERER)))
                    + QStringLiteral(", OpenGL ")
                    + QString::fromLatin1(reinterpret_cast<const char*>(glGetString(GL_VERSION)));
    const char* vertexPrefix = core_ ? CoreVertexPrefix : LegacyVertexPrefix;
    const char* fragmentPrefix = core_ ? CoreFragmentPrefix : LegacyFragmentPrefix;

    pathProgram_ = std::make_unique<QOpenGLShaderProgram>();
    lineProgram_ = std::make_unique<QOpenGLShaderProgram>();
    bool ok = pathProgram_->addShaderFromSourceCode(QOpenGLShader::Vertex,
                                                   source(vertexPrefix, PathVertexShader))
              && pathProgram_->addShaderFromSourceCode(QOpenGLShader::Fragment,
                                                      source(fragmentPrefix, PathFragmentShader));
    pathProgram_->bindAttributeLocation("position", 0);
    pathProgram_->bindAttributeLocation("code", 1);
    pathProgram_->bindAttributeLocation("rapidDistance", 2);
    ok = ok && pathProgram_->link();
    ok = ok && lineProgram_->addShaderFromSourceCode(QOpenGLShader::Vertex,
                                                    source(vertexPrefix, LineVertexShader))
         && lineProgram_->addShaderFromSourceCode(QOpenGLShader::Fragment,
                                                 source(fragmentPrefix, LineFragmentShader));
    lineProgram_->bindAttributeLocation("position", 0);
    lineProgram_->bindAttributeLocation("colour", 1);
    ok = ok && lineProgram_->link();
    // A vertex array object is required by the core profile; older contexts may lack one and
    // do without.
    if (core_)
        ok = ok && vao_.create();
    ok = ok && pathBuffer_.create() && overlayBuffer_.create();
    ready_ = ok;
    uploadPending_ = true;
}

void ToolpathView::releaseGL()
{
    ready_ = false;
    vao_.destroy();
    pathBuffer_.destroy();
    overlayBuffer_.destroy();
    pathProgram_.reset();
    lineProgram_.reset();
    levels_.clear();
    uploadPending_ = true;
}

void ToolpathView::uploadPath()
{
    uploadPending_ = false;
    levels_.clear();
    if (!geometry_ || geometry_->empty())
        return;
    // The fallback draws separate lines: every level expanded.
    std::vector<const Geometry*> sources{geometry_.get()};
    for (const Geometry& level : geometry_->simplified)
        sources.push_back(&level);
    std::vector<Geometry> expanded;
    stripUploaded_ = core_ && geometry_->layout == Geometry::Layout::Strip;
    if (!stripUploaded_ && geometry_->layout == Geometry::Layout::Strip) {
        expanded.reserve(sources.size());
        for (const Geometry*& source : sources) {
            expanded.push_back(expandToLines(*source));
            source = &expanded.back();
        }
    }
    size_t total = 0;
    for (const Geometry* source : sources)
        total += source->vertices.size();
    pathBuffer_.bind();
    pathBuffer_.allocate(int(total * sizeof(Vertex)));
    int first = 0;
    for (const Geometry* source : sources) {
        const int count = int(source->vertices.size());
        pathBuffer_.write(first * int(sizeof(Vertex)), source->vertices.data(),
                          count * int(sizeof(Vertex)));
        Level level{source->tolerance, first, count, {}};
        const int perChunk = stripUploaded_ ? ChunkSegments : 2 * ChunkSegments;
        for (int c = 0; c < count; c += perChunk) {
            gcode::Extents box;
            const int end = std::min(count, c + perChunk + 1);
            for (int i = c; i < end; ++i)
                box.add(source->vertices[size_t(i)].position);
            level.chunks.push_back(box);
        }
        levels_.push_back(std::move(level));
        first += count;
    }
    pathBuffer_.release();
}

void ToolpathView::resizeGL(int, int)
{
    // paintGL fits the view to the new size where it follows the path.
}

void ToolpathView::paintGL()
{
    glClearColor(0.13f, 0.14f, 0.16f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (!ready_)
        return;
    if (uploadPending_)
        uploadPath();
    if (autoFit_)
        fitView();
    const QMatrix4x4 mvp = viewProjection();
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    if (vao_.isCreated())
        vao_.bind();

    drawnSegments_ = 0;
    if (!levels_.empty()) {
        const Level* level = &levels_.front();
        const float allowedPixels = interacting_ ? 2.5f : 0.5f;
        for (const Level& coarser : levels_) {
            if (coarser.tolerance * scale_ <= allowedPixels)
                level = &coarser;
        }
        pathProgram_->bind();
        pathProgram_->setUniformValue("mvp", mvp);
        pathProgram_->setUniformValue("linesDone", float(linesDone_));
        pathProgram_->setUniformValue("dashScale", scale_ / DashPixels);
        const gcode::Extents& e = geometry_->extents;
        pathProgram_->setUniformValue("zRange", e.min[2], e.max[2]);
        pathBuffer_.bind();
        for (int a = 0; a < 3; ++a)
            pathProgram_->enableAttributeArray(a);
        pathProgram_->setAttributeBuffer(0, GL_FLOAT, 0, 3, sizeof(Vertex));
        pathProgram_->setAttributeBuffer(1, GL_FLOAT, 3 * sizeof(float), 1, sizeof(Vertex));
        pathProgram_->setAttributeBuffer(2, GL_FLOAT, 4 * sizeof(float), 1, sizeof(Vertex));
        drawLevel(*level, mvp);
        for (int a = 0; a < 3; ++a)
            pathProgram_->disableAttributeArray(a);
        pathBuffer_.release();
        pathProgram_->release();
    }
    drawOverlay(mvp);
    if (vao_.isCreated())
        vao_.release();
}

void ToolpathView::drawLevel(const Level& level, const QMatrix4x4& mvp)
{
    // A chunk is out of view when all eight corners of its box lie beyond one side of the
    // view (clip space, orthographic: w is 1).
    const auto visible = [&mvp](const gcode::Extents& box) {
        int outside[6] = {0, 0, 0, 0, 0, 0};
        for (int corner = 0; corner < 8; ++corner) {
            const QVector3D p = mvp.map(QVector3D((corner & 1) ? box.max[0] : box.min[0],
                                                  (corner & 2) ? box.max[1] : box.min[1],
                                                  (corner & 4) ? box.max[2] : box.min[2]));
            outside[0] += p.x() < -1;
            outside[1] += p.x() > 1;
            outside[2] += p.y() < -1;
            outside[3] += p.y() > 1;
            outside[4] += p.z() < -1;
            outside[5] += p.z() > 1;
        }
        return std::none_of(std::begin(outside), std::end(outside),
                            [](int n) { return n == 8; });
    };
    // Neighbouring visible chunks go in one call. A strip's chunk also needs the vertex that
    // starts its first segment: chunk c draws vertices [c * n, (c + 1) * n].
    const int perChunk = stripUploaded_ ? ChunkSegments : 2 * ChunkSegments;
    const GLenum mode = stripUploaded_ ? GL_LINE_STRIP : GL_LINES;
    int runStart = -1;
    drawnSegments_ = 0;
    const auto flush = [&](int endChunk) {
        if (runStart < 0)
            return;
        const int from = runStart * perChunk;
        const int to = std::min(level.count, endChunk * perChunk + (stripUploaded_ ? 1 : 0));
        glDrawArrays(mode, level.first + from, to - from);
        drawnSegments_ += stripUploaded_ ? to - from - 1 : (to - from) / 2;
        runStart = -1;
    };
    for (int c = 0; c < int(level.chunks.size()); ++c) {
        if (visible(level.chunks[size_t(c)])) {
            if (runStart < 0)
                runStart = c;
        } else {
            flush(c);
        }
    }
    flush(int(level.chunks.size()));
}

void ToolpathView::drawOverlay(const QMatrix4x4& mvp)
{
    std::vector<float> data;
    // The travel box.
    const QVector3D low(float(-machine_.maxTravel[0]), float(-machine_.maxTravel[1]),
                        float(-machine_.maxTravel[2]));
    const QVector3D boxColour(0.45f, 0.47f, 0.52f);
    for (int axis = 0; axis < 3; ++axis) {
        for (int other = 0; other < 4; ++other) {
            QVector3D a, b;
            const int u = (axis + 1) % 3, v = (axis + 2) % 3;
            a[u] = b[u] = (other & 1) ? 0.0f : low[u];
            a[v] = b[v] = (other & 2) ? 0.0f : low[v];
            a[axis] = low[axis];
            b[axis] = 0;
            addLine(data, a, b, boxColour);
        }
    }
    const int boxVertices = int(data.size() / 6);

    // The work origin and the tool keep their size on screen.
    const float mm = 1.0f / scale_;
    const float axisLength = 40 * mm;
    addLine(data, origin_, origin_ + QVector3D(axisLength, 0, 0), {1.0f, 0.3f, 0.3f});
    addLine(data, origin_, origin_ + QVector3D(0, axisLength, 0), {0.3f, 1.0f, 0.3f});
    addLine(data, origin_, origin_ + QVector3D(0, 0, axisLength), {0.4f, 0.6f, 1.0f});
    if (tool_) {
        const QVector3D tip = origin_ + *tool_;
        const QVector3D toolColour(1.0f, 1.0f, 1.0f);
        const float height = 28 * mm, radius = 9 * mm;
        constexpr int Sides = 12;
        for (int i = 0; i < Sides; ++i) {
            const float a0 = float(2 * M_PI * i / Sides), a1 = float(2 * M_PI * (i + 1) / Sides);
            const QVector3D p0 =
                tip + QVector3D(radius * std::cos(a0), radius * std::sin(a0), height);
            const QVector3D p1 =
                tip + QVector3D(radius * std::cos(a1), radius * std::sin(a1), height);
            addLine(data, p0, p1, toolColour);
            if (i % 3 == 0)
                addLine(data, tip, p0, toolColour);
        }
        addLine(data, tip + QVector3D(0, 0, height), tip + QVector3D(0, 0, 2.5f * height),
                toolColour);
    }
    const int allVertices = int(data.size() / 6);

    lineProgram_->bind();
    lineProgram_->setUniformValue("mvp", mvp);
    overlayBuffer_.bind();
    overlayBuffer_.allocate(data.data(), int(data.size() * sizeof(float)));
    lineProgram_->enableAttributeArray(0);
    lineProgram_->enableAttributeArray(1);
    lineProgram_->setAttributeBuffer(0, GL_FLOAT, 0, 3, 6 * sizeof(float));
    lineProgram_->setAttributeBuffer(1, GL_FLOAT, 3 * sizeof(float), 3, 6 * sizeof(float));
    glDrawArrays(GL_LINES, 0, boxVertices);
    // The origin and the tool show through the path.
    glDisable(GL_DEPTH_TEST);
    glDrawArrays(GL_LINES, boxVertices, allVertices - boxVertices);
    lineProgram_->disableAttributeArray(0);
    lineProgram_->disableAttributeArray(1);
    overlayBuffer_.release();
    lineProgram_->release();
}

void ToolpathView::mousePressEvent(QMouseEvent* event)
{
    lastMouse_ = event->position().toPoint();
    dragButton_ = event->button();
}

void ToolpathView::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    const QPoint d = pos - lastMouse_;
    lastMouse_ = pos;
    if (dragButton_ == Qt::LeftButton) {
        spin_ = std::fmod(spin_ + 0.5f * float(d.x()), 360.0f);
        tilt_ = std::clamp(tilt_ + 0.5f * float(d.y()), -180.0f, 0.0f);
    } else if (dragButton_ == Qt::RightButton || dragButton_ == Qt::MiddleButton) {
        const QVector3D shift(float(d.x()) / scale_, float(-d.y()) / scale_, 0);
        centre_ -= rotation().inverted().mapVector(shift);
    } else {
        return;
    }
    autoFit_ = false;
    interacted();
    update();
}

void ToolpathView::mouseReleaseEvent(QMouseEvent*)
{
    dragButton_ = Qt::NoButton;
}

void ToolpathView::mouseDoubleClickEvent(QMouseEvent*)
{
    zoomToFit();
}

void ToolpathView::wheelEvent(QWheelEvent* event)
{
    const float factor = std::pow(1.0015f, float(event->angleDelta().y()));
    const float newScale = std::clamp(scale_ * factor, 1e-4f, 1e5f);
    // The point under the cursor stays where it is.
    const QPointF p = event->position();
    const QVector3D offset(float(p.x() - width() / 2.0), float(height() / 2.0 - p.y()), 0);
    centre_ += rotation().inverted().mapVector(offset * (1 / scale_ - 1 / newScale));
    scale_ = newScale;
    autoFit_ = false;
    interacted();
    update();
    event->accept();
}

} // namespace toolpath
