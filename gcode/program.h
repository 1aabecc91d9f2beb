#pragma once
// A whole job file, interpreted and checked once when it is loaded: the file's bytes, where
// each line starts, the planner blocks of every line and the findings of the check.

#include "block.h"
#include "interpreter.h"
#include "machine.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace gcode {

enum class Severity : uint8_t {
    Refuse,  // the job must not start
    Warning, // the job runs, but not quite as written, or the operator should look first
    Info,
};

enum class FindingKind : uint8_t {
    FirmwareError,  // code: the error the controller answers (error:N) or ErrorRealtimeByte /
                    // ErrorValueRange; value: with error 33 of an arc, the radius mismatch
    RefusedWord,    // letter, value: the word
    DroppedWord,    // letter, value: the word
    ToolChange,     // code: the tool number
    OutsideTravel,  // code: axis; value: the machine coordinate beyond [-travel, 0]
    SpanExceedsTravel, // code: axis; value: the job's extent on that axis
};

struct Finding {
    uint32_t line = 0; // 1-based
    Severity severity = Severity::Refuse;
    FindingKind kind = FindingKind::FirmwareError;
    char letter = 0;
    int code = 0;
    float value = 0;

    // One English sentence that names the reason.
    std::string message() const;
};

// What a GRBL error code means, in a few words ("undefined feed rate").
std::string errorMeaning(int code);

struct Extents {
    bool empty = true;
    float min[3] = {0, 0, 0}; // machine coordinates, mm
    float max[3] = {0, 0, 0};

    void add(const float p[3]);
    bool contains(const float p[3]) const;
};

// What a job is loaded for.
struct JobOptions {
    Target target = Target::Grbl;
    bool mistCoolant = true;   // see Interpreter
    MachineSettings machine;
    State start;               // the controller's state before the first line
};

class Program {
public:
    using Options = JobOptions;

    Program() = default;
    // Splits the file at "\n", "\r\n" or "\r", interprets and checks every line.
    explicit Program(std::string bytes, const Options& options = {});

    const Options& options() const { return options_; }
    uint32_t lineCount() const { return static_cast<uint32_t>(lineStart_.size()) - 1; }
    // A line as it stands in the file, without its line end. Lines are 0-based here.
    std::string_view lineText(uint32_t line) const;
    // Whether the line has anything for the controller (blank, comment-only and '%' lines
    // have not and are not sent).
    bool isSent(uint32_t line) const { return sentLength_[line] > 0; }
    // The line the controller receives, without the line end.
    std::string sentText(uint32_t line) const;
    // Bytes the line occupies on the serial line with its "\n"; 0 when it is not sent.
    uint32_t sentBytes(uint32_t line) const;

    const std::vector<Block>& blocks() const { return blocks_; }
    // The line's blocks are blocks()[firstBlock(line) .. endBlock(line)).
    uint32_t firstBlock(uint32_t line) const { return firstBlock_[line]; }
    uint32_t endBlock(uint32_t line) const { return firstBlock_[line + 1]; }

    // Over every motion's end point (arcs: every chord's).
    const Extents& extents() const { return extents_; }
    // The highest machine Z the tool reaches, the start included.
    float highestZ() const;

    // Sorted by line.
    const std::vector<Finding>& findings() const { return findings_; }
    bool refused() const { return firstRefusal() != nullptr; }
    const Finding* firstRefusal() const;  // the first finding that refuses the job, or null

    // The controller's state before `line` runs (interprets the lines before it again).
    State stateBefore(uint32_t line) const;

    // The bytes this object holds on the heap.
    size_t memoryBytes() const;

private:
    void splitLines();
    void interpretAll();
    void addLineFindings(uint32_t line, const LineResult& result, const State& after);
    void checkTravel(uint32_t line, size_t firstNew);
    void addFinding(uint32_t line, Severity severity, FindingKind kind, char letter, int code,
                    float value);

    Options options_;
    std::string bytes_;
    std::vector<uint32_t> lineStart_{0};   // one more than lines: where the next would start
    std::vector<uint32_t> firstBlock_{0};  // one more than lines
    std::vector<uint8_t> sentLength_;      // characters sent (0: not sent), at most 255
    std::vector<Block> blocks_;
    std::vector<Finding> findings_;
    Extents extents_;
    uint8_t travelReported_ = 0;           // bit per axis already named
};

} // namespace gcode
