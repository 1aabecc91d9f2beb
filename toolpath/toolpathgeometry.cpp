#include "toolpathgeometry.h"

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

Geometry expandToLines(const Geometry& strip)
{
    Geometry lines;
    lines.layout = Geometry::Layout::Lines;
    lines.feedSegments = strip.feedSegments;
    lines.rapidSegments = strip.rapidSegments;
    lines.extents = strip.extents;
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
