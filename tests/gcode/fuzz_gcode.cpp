// Fuzz target: arbitrary bytes as a job file through the program loader. Whatever the bytes,
// every block belongs to a line in order and in range, no target is NaN or infinite, the
// extents hold every motion's end point, and every line's sent text fits what was counted.

#include "program.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    gcode::JobOptions options;
    // The first byte picks the target and the machine's limits.
    if (size > 0) {
        options.target = (data[0] & 1) ? gcode::Target::Kavro : gcode::Target::Grbl;
        options.machine.homingEnabled = data[0] & 2;
        options.machine.softLimits = data[0] & 4;
        options.mistCoolant = data[0] & 8;
    }
    const gcode::Program program(std::string(reinterpret_cast<const char*>(data), size),
                                 options);
    const std::vector<gcode::Block>& blocks = program.blocks();
    uint32_t previousLine = 0;
    for (const gcode::Block& b : blocks) {
        require(b.line < program.lineCount() && b.line >= previousLine);
        previousLine = b.line;
        for (float t : b.target)
            require(std::isfinite(t));
        require(std::isfinite(b.value));
        if (b.kind == gcode::BlockKind::Rapid || b.kind == gcode::BlockKind::Feed)
            require(program.extents().contains(b.target));
    }
    for (uint32_t i = 0; i < program.lineCount(); ++i) {
        require(program.firstBlock(i) <= program.endBlock(i));
        for (uint32_t b = program.firstBlock(i); b < program.endBlock(i); ++b)
            require(blocks[b].line == i);
        const std::string sent = program.sentText(i);
        require(program.isSent(i) == !sent.empty());
        if (sent.size() < 255)
            require(program.sentBytes(i) == (sent.empty() ? 0 : sent.size() + 1));
    }
    if (program.lineCount() > 0)
        require(program.endBlock(program.lineCount() - 1) == blocks.size());
    return 0;
}
