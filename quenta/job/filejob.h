#pragma once
// A job made of a loaded G-code program. The runner asks for its lines in order; each is
// interpreted again as it is asked for, so the job knows the spindle and coolant after every
// line without the program storing a state per line. A job may start from a later line: the
// lines before it only set the interpreter's state, and a preamble (the modal state and an
// approach, which the operator may edit) goes first.

#include "interpreter.h"
#include "job.h"
#include "program.h"

#include <memory>
#include <string>
#include <vector>

namespace quenta {

class ProgramJob : public JobSource {
public:
    // The program was interpreted for the controller the job runs on (its target, settings
    // and start state).
    explicit ProgramJob(std::shared_ptr<const gcode::Program> program);

    // Start at fileLine (1-based): the preamble's lines are sent first.
    void startFrom(uint32_t fileLine, std::vector<std::string> preamble);

    uint32_t lineCount() const override;
    void line(uint32_t index, JobLine& out) const override;

private:
    void restart() const;
    void catchUp() const;  // the lines before the start: state only

    std::shared_ptr<const gcode::Program> program;
    uint32_t from = 1;
    std::vector<std::string> preamble;
    // The runner asks for lines in order, once per run: the interpreter follows it.
    mutable gcode::Interpreter interpreter;
    mutable std::vector<gcode::Block> blocks;
    mutable uint32_t interpreted = 0;  // file lines read so far
};

}  // namespace quenta
