#include "program.h"

#include "lexer.h"

#include <algorithm>
#include <cmath>

namespace gcode {

void Extents::add(const float p[3])
{
    for (int i = 0; i < 3; ++i) {
        min[i] = empty ? p[i] : std::min(min[i], p[i]);
        max[i] = empty ? p[i] : std::max(max[i], p[i]);
    }
    empty = false;
}

bool Extents::contains(const float p[3]) const
{
    for (int i = 0; i < 3; ++i)
        if (empty || p[i] < min[i] || p[i] > max[i])
            return false;
    return true;
}

Program::Program(std::string bytes, const Options& options)
    : options_(options), bytes_(std::move(bytes))
{
    splitLines();
    interpretAll();
}

void Program::splitLines()
{
    // Offsets are 32 bits: a file beyond 4 GiB keeps its first 4 GiB.
    if (bytes_.size() >= UINT32_MAX)
        bytes_.resize(UINT32_MAX - 1);
    lineStart_.reserve(bytes_.size() / 24 + 2);
    const char* data = bytes_.data();
    const size_t size = bytes_.size();
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == '\r' && i + 1 < size && data[i + 1] == '\n')
            ++i;
        if (data[i] == '\n' || data[i] == '\r')
            lineStart_.push_back(static_cast<uint32_t>(i + 1));
    }
    if (lineStart_.back() != size)
        lineStart_.push_back(static_cast<uint32_t>(size)); // the last line has no line end
    lineStart_.shrink_to_fit();
}

std::string_view Program::lineText(uint32_t line) const
{
    uint32_t end = lineStart_[line + 1];
    const uint32_t begin = lineStart_[line];
    while (end > begin && (bytes_[end - 1] == '\n' || bytes_[end - 1] == '\r'))
        --end;
    return std::string_view(bytes_.data() + begin, end - begin);
}

std::string Program::sentText(uint32_t line) const
{
    return Interpreter::sentText(lineText(line), options_.target, options_.mistCoolant);
}

uint32_t Program::sentBytes(uint32_t line) const
{
    return sentLength_[line] ? sentLength_[line] + 1u : 0u;
}

float Program::highestZ() const
{
    const float startZ = options_.start.position[2];
    return extents_.empty ? startZ : std::max(startZ, extents_.max[2]);
}

const Finding* Program::firstRefusal() const
{
    const auto it = std::find_if(findings_.begin(), findings_.end(),
                                 [](const Finding& f) { return f.severity == Severity::Refuse; });
    return it == findings_.end() ? nullptr : &*it;
}

void Program::interpretAll()
{
    const uint32_t lines = lineCount();
    Interpreter interpreter(options_.target, options_.machine, options_.mistCoolant);
    interpreter.setState(options_.start);
    firstBlock_.reserve(lines + 1);
    sentLength_.reserve(lines);
    blocks_.reserve(lines + lines / 8);
    for (uint32_t i = 0; i < lines; ++i) {
        const size_t before = blocks_.size();
        const LineResult& r = interpreter.interpret(lineText(i), i, blocks_);
        sentLength_.push_back(static_cast<uint8_t>(std::min<unsigned>(r.sentLength, 255)));
        firstBlock_.push_back(static_cast<uint32_t>(blocks_.size()));
        if (r.error || !r.unsupported.empty())
            addLineFindings(i, r, interpreter.state());
        checkTravel(i, before);
    }
    blocks_.shrink_to_fit();
}

void Program::addFinding(uint32_t line, Severity severity, FindingKind kind, char letter,
                         int code, float value)
{
    Finding f;
    f.line = line + 1;
    f.severity = severity;
    f.kind = kind;
    f.letter = letter;
    f.code = code;
    f.value = value;
    findings_.push_back(f);
}

void Program::addLineFindings(uint32_t line, const LineResult& r, const State& after)
{
    bool refusedWord = false;
    for (const UnsupportedWord& w : r.unsupported) {
        switch (w.fate) {
        case WordFate::Refused:
            refusedWord = true;
            addFinding(line, Severity::Refuse, FindingKind::RefusedWord, w.letter, 0, w.value);
            break;
        case WordFate::Dropped:
            addFinding(line, Severity::Warning, FindingKind::DroppedWord, w.letter, 0, w.value);
            break;
        case WordFate::ToolChange:
            addFinding(line, Severity::Info, FindingKind::ToolChange, 'M', after.tool, 0);
            break;
        }
    }
    // A refused word already names why the line cannot run; what the rest of the line would
    // make the controller answer adds nothing.
    if (r.error && !refusedWord) {
        addFinding(line, Severity::Refuse, FindingKind::FirmwareError, 0, r.error,
                   r.arcRadiusMismatch);
    }
}

// Compares the line's new motion end points with the machine's travel. With homing the
// machine space is [-travel, 0] on every axis (GRBL's default orientation); without it only
// the job's span can be compared.
void Program::checkTravel(uint32_t line, size_t firstNew)
{
    const MachineSettings& m = options_.machine;
    for (size_t b = firstNew; b < blocks_.size(); ++b) {
        const Block& block = blocks_[b];
        if (block.kind != BlockKind::Rapid && block.kind != BlockKind::Feed)
            continue;
        extents_.add(block.target);
        for (int axis = 0; axis < 3; ++axis) {
            if (travelReported_ & (1 << axis))
                continue;
            const float travel = static_cast<float>(m.maxTravel[axis]);
            const float v = block.target[axis];
            if (m.homingEnabled || m.softLimits) {
                if (v <= 0 && v >= -travel)
                    continue;
                addFinding(line, m.softLimits ? Severity::Refuse : Severity::Warning,
                           FindingKind::OutsideTravel, 0, axis, v);
            } else {
                const float span = extents_.max[axis] - extents_.min[axis];
                if (span <= travel)
                    continue;
                addFinding(line, Severity::Warning, FindingKind::SpanExceedsTravel, 0, axis,
                           span);
            }
            travelReported_ |= uint8_t(1 << axis);
        }
    }
}

State Program::stateBefore(uint32_t line) const
{
    Interpreter interpreter(options_.target, options_.machine, options_.mistCoolant);
    interpreter.setState(options_.start);
    std::vector<Block> scratch;
    for (uint32_t i = 0; i < line && i < lineCount(); ++i) {
        scratch.clear();
        interpreter.interpret(lineText(i), i, scratch);
    }
    return interpreter.state();
}

size_t Program::memoryBytes() const
{
    return bytes_.capacity() + lineStart_.capacity() * sizeof(uint32_t) +
           firstBlock_.capacity() * sizeof(uint32_t) + sentLength_.capacity() +
           blocks_.capacity() * sizeof(Block) + findings_.capacity() * sizeof(Finding);
}

} // namespace gcode
