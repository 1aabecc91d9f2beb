#include "filejob.h"

#include <algorithm>

namespace quenta {

ProgramJob::ProgramJob(std::shared_ptr<const gcode::Program> p) : program(std::move(p))
{
    restart();
}

void ProgramJob::restart() const
{
    const gcode::Program::Options& o = program->options();
    interpreter = gcode::Interpreter(o.target, o.machine, o.mistCoolant);
    interpreter.setState(o.start);
    interpreted = 0;
}

void ProgramJob::startFrom(uint32_t fileLine, std::vector<std::string> lines)
{
    from = std::max<uint32_t>(1, fileLine);
    preamble = std::move(lines);
}

uint32_t ProgramJob::lineCount() const
{
    const uint32_t total = program->lineCount();
    const uint32_t rest = from <= total ? total - from + 1 : 0;
    return uint32_t(preamble.size()) + rest;
}

void ProgramJob::catchUp() const
{
    while (interpreted + 1 < from && interpreted < program->lineCount()) {
        blocks.clear();
        interpreter.interpret(program->lineText(interpreted), interpreted, blocks);
        ++interpreted;
    }
}

void ProgramJob::line(uint32_t index, JobLine& out) const
{
    if (index == 0)
        restart();  // a new run reads the program afresh
    catchUp();
    std::string_view source;
    out.fileLine = 0;
    if (index < preamble.size()) {
        source = preamble[index];
    } else {
        out.fileLine = from + (index - uint32_t(preamble.size()));
        source = program->lineText(out.fileLine - 1);
        interpreted = out.fileLine;
    }
    blocks.clear();
    const gcode::Program::Options& o = program->options();
    const gcode::LineResult& r =
        interpreter.interpret(source, out.fileLine ? out.fileLine - 1 : 0, blocks);
    out.text = r.sent ? gcode::Interpreter::sentText(source, o.target, o.mistCoolant)
                      : std::string();
    out.toolChange = std::any_of(r.unsupported.begin(), r.unsupported.end(),
                                 [](const gcode::UnsupportedWord& w) {
                                     return w.fate == gcode::WordFate::ToolChange;
                                 });
    const gcode::State& st = interpreter.state();
    out.tool = st.tool;
    out.writesSettings = writesEeprom(out.text);
    out.blocks = blocks;
    out.spindle = static_cast<uint8_t>(st.spindle);
    out.coolant = st.coolant;
}

}  // namespace quenta
