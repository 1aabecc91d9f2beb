#pragma once
// The toolpath of a G-code job as vertex data for the 3D view.
//
// The path is one continuous polyline: it starts where the program starts and every motion
// block (rapid or feed; arcs are already the controller's chords) adds its end point. Dwells
// and synchronisations do not move and add nothing; neither does a motion that ends where it
// started. Stored as a line strip, segment i runs from vertex i-1 to vertex i and is described
// by vertex i (its block): the view draws it with that vertex's attributes ("flat", last
// provoking vertex), so one vertex per segment suffices.
//
// Each vertex carries its segment's source line (1-based, as the editor counts) and kind in
// one float: +line for a feed, -line for a rapid. A float holds every line number up to
// 16,777,216 exactly; beyond that, neighbouring lines share a value. The done part of a run is
// a threshold on that line: a segment is done when its line <= the lines done, so the view
// changes one uniform during a run instead of touching the vertex data.

#include "program.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace toolpath {

struct Vertex {
    float position[3] = {0, 0, 0}; // machine coordinates of the program, mm
    float code = 0;                // +line (feed) or -line (rapid); line 1-based
    float rapidDistance = 0;       // length of the rapids up to here, mm (for their dashes)
};
static_assert(sizeof(Vertex) == 20, "the view reads vertices with a 20-byte stride");

inline uint32_t lineOf(const Vertex& v)
{
    return static_cast<uint32_t>(v.code < 0 ? -v.code : v.code);
}
inline bool isRapid(const Vertex& v) { return v.code < 0; }
// Whether a segment of `line` is done when the run has finished `linesDone` lines.
inline bool isDone(uint32_t line, uint32_t linesDone) { return line <= linesDone; }

struct Geometry {
    enum class Layout : uint8_t {
        Strip, // one vertex per segment after the first (GL_LINE_STRIP)
        Lines, // two vertices per segment, both with the segment's code (GL_LINES)
    };
    Layout layout = Layout::Strip;
    std::vector<Vertex> vertices;
    uint32_t feedSegments = 0;
    uint32_t rapidSegments = 0;
    gcode::Extents extents; // over every vertex, the start included
    // 0 for the path as the controller moves; for a simplified path, how far (mm) it may
    // stray from that.
    float tolerance = 0;
    // Simplified versions of this path for drawing at a distance, finest first (see
    // addSimplified).
    std::vector<Geometry> simplified;

    uint32_t segmentCount() const { return feedSegments + rapidSegments; }
    bool empty() const { return segmentCount() == 0; }
};

// Collects a path move by move; build() uses it for a program.
class Builder {
public:
    explicit Builder(const float start[3]);
    // A straight move to target from the current point, made by `line` (1-based).
    void moveTo(const float target[3], uint32_t line, bool rapid);
    Geometry finish();

private:
    Geometry geometry_;
    float rapidDistance_ = 0;
};

// The path of the program's motion blocks, as a strip.
Geometry build(const gcode::Program& program);

// The path with runs of segments merged into one where every point between stays within
// `tolerance` (mm) of the merged segment. A run keeps one kind (rapid or feed) and holds at
// most MaxMergedSegments segments; the merged segment takes the code of the run's last
// segment, so while a run is partly done it is drawn as not done. The start and every end
// point that is kept stay exact.
constexpr int MaxMergedSegments = 64;
Geometry simplify(const Geometry& strip, float tolerance);

// Fills strip.simplified with paths simplified to 1/4000 and 1/800 of the path's diagonal
// (about a quarter pixel and a pixel and a quarter when the whole path fills a view 1000
// pixels wide), each kept only where it saves at least a third of the segments before it.
void addSimplified(Geometry& strip);

// The same segments with two vertices each, for drawing where "flat" attributes are not
// available.
Geometry expandToLines(const Geometry& strip);

} // namespace toolpath
