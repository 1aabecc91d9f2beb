#include "toolpathgeometry.h"

#include <algorithm>
#include <cmath>

namespace toolpath {

Builder::Builder(const float start[3])
{
    Vertex first;
    for (int a = 0; a < 3; ++a)
        first.position[a] = start[a];
    geometry_.vertices.push_back(first);
    geometry_.extents.add(start);
}

void Builder::moveTo(const float target[3], uint32_t line, bool rapid)
{
    const Vertex& last = geometry_.vertices.back();
    float squared = 0;
    for (int a = 0; a < 3; ++a) {
        const float d = target[a] - last.position[a];
        squared += d * d;
    }
    if (squared == 0)
        return;
    Vertex v;
    for (int a = 0; a < 3; ++a)
        v.position[a] = target[a];
    const float code = static_cast<float>(line);
    v.code = rapid ? -code : code;
    if (rapid)
        rapidDistance_ += std::sqrt(squared);
    v.rapidDistance = rapidDistance_;
    // The first vertex only starts the strip; it takes the first segment's code, so that the
    // line layout and a reader of the first vertex see the same.
    if (geometry_.vertices.size() == 1)
        geometry_.vertices.front().code = v.code;
    geometry_.vertices.push_back(v);
    geometry_.extents.add(target);
    ++(rapid ? geometry_.rapidSegments : geometry_.feedSegments);
}

Geometry Builder::finish()
{
    return std::move(geometry_);
}

Geometry build(const gcode::Program& program)
{
    Builder builder(program.options().start.position);
    for (const gcode::Block& block : program.blocks()) {
        if (block.kind == gcode::BlockKind::Rapid || block.kind == gcode::BlockKind::Feed)
            builder.moveTo(block.target, block.line + 1, block.kind == gcode::BlockKind::Rapid);
    }
    return builder.finish();
}

namespace {

// Distance of p from the segment a-b.
float distanceToSegment(const float p[3], const float a[3], const float b[3])
{
    float ab[3], ap[3];
    float abab = 0, apab = 0;
    for (int i = 0; i < 3; ++i) {
        ab[i] = b[i] - a[i];
        ap[i] = p[i] - a[i];
        abab += ab[i] * ab[i];
        apab += ap[i] * ab[i];
    }
    const float t = abab > 0 ? std::clamp(apab / abab, 0.0f, 1.0f) : 0.0f;
    float squared = 0;
    for (int i = 0; i < 3; ++i) {
        const float d = ap[i] - t * ab[i];
        squared += d * d;
    }
    return std::sqrt(squared);
}

} // namespace

Geometry simplify(const Geometry& strip, float tolerance)
{
    Geometry out;
    out.extents = strip.extents;
    out.tolerance = tolerance;
    const std::vector<Vertex>& v = strip.vertices;
    const size_t n = v.size();
    if (n == 0)
        return out;
    out.vertices.reserve(n / 2);
    out.vertices.push_back(v[0]);
    size_t anchor = 0;
    while (anchor + 1 < n) {
        // Segment k runs from vertex k-1 to vertex k and has the kind of vertex k.
        size_t end = anchor + 1;
        const bool rapid = isRapid(v[end]);
        while (end + 1 < n && isRapid(v[end + 1]) == rapid
               && end + 1 - anchor <= size_t(MaxMergedSegments)) {
            bool fits = true;
            for (size_t k = anchor + 1; k <= end && fits; ++k)
                fits = distanceToSegment(v[k].position, v[anchor].position,
                                         v[end + 1].position) <= tolerance;
            if (!fits)
                break;
            ++end;
        }
        out.vertices.push_back(v[end]);
        ++(rapid ? out.rapidSegments : out.feedSegments);
        anchor = end;
    }
    return out;
}

void addSimplified(Geometry& strip)
{
    strip.simplified.clear();
    if (strip.empty() || strip.layout != Geometry::Layout::Strip)
        return;
    float squared = 0;
    for (int a = 0; a < 3; ++a) {
        const float d = strip.extents.max[a] - strip.extents.min[a];
        squared += d * d;
    }
    const float diagonal = std::sqrt(squared);
    uint32_t finerSegments = strip.segmentCount();
    for (const float fraction : {1.0f / 4000, 1.0f / 800}) {
        Geometry level = simplify(strip, diagonal * fraction);
        if (3 * level.segmentCount() > 2 * finerSegments)
            continue;
        finerSegments = level.segmentCount();
        strip.simplified.push_back(std::move(level));
    }
}

Geometry expandToLines(const Geometry& strip)
{
    Geometry lines;
    lines.layout = Geometry::Layout::Lines;
    lines.feedSegments = strip.feedSegments;
    lines.rapidSegments = strip.rapidSegments;
    lines.extents = strip.extents;
    lines.tolerance = strip.tolerance;
    if (strip.layout == Geometry::Layout::Lines) {
        lines.vertices = strip.vertices;
        return lines;
    }
    if (strip.vertices.size() < 2)
        return lines;
    lines.vertices.reserve(2 * (strip.vertices.size() - 1));
    for (size_t i = 1; i < strip.vertices.size(); ++i) {
        Vertex from = strip.vertices[i - 1];
        from.code = strip.vertices[i].code;
        lines.vertices.push_back(from);
        lines.vertices.push_back(strip.vertices[i]);
    }
    return lines;
}

} // namespace toolpath
