#include "estimator.h"

#include "estimateplanner.h"
#include "program.h"

#include <algorithm>
#include <cmath>

namespace gcode {

namespace {

// Every line is answered with "ok\r\n"; the host counts the line's bytes as gone only when
// that answer has come back over the line.
constexpr double AnswerBytes = 4;

// The firmware dwells in steps of 50 ms, rounding the programmed time up.
double dwellSeconds(float value)
{
    return value > 0 ? std::ceil(20.0f * value) * 0.05 : 0.0;
}

} // namespace

// The host and the serial line: when each line leaves, reaches the firmware and is answered.
struct Estimator::State {
    State(const MachineSettings& settings, const float start[3]);
    void closeLine();
    double sendTime(uint32_t bytes);

    struct Answer {
        double time;     // when the host reads it
        uint32_t bytes;  // what it frees of the window
    };

    std::vector<float> ends;
    PlannerReplay planner;
    double byteTime;         // 10 bit times: start bit, 8 data bits, stop bit
    uint32_t window;         // unanswered bytes a character-counting host keeps in flight
    std::vector<Answer> answers;  // ring of the lines in flight, oldest first
    size_t answerMask = 0;
    size_t firstAnswer = 0;
    size_t answerCount = 0;
    uint32_t inFlight = 0;   // bytes of the lines in that ring
    uint32_t lineBytes = 0;  // of the line announced last
    bool lineOpen = false;
    double lineFree = 0;     // the host's transmitter is idle from here on
    double parser = 0;       // the firmware's parser has handled everything up to here
};

Estimator::State::State(const MachineSettings& settings, const float start[3])
    : planner(settings, start, ends),
      byteTime(10.0 / std::max(1, settings.baudRate)),
      window(uint32_t(std::max(1, settings.rxBufferBytes - 1)))
{
    // Every line has at least its newline, so no more than window + 1 lines are in flight.
    size_t size = 1;
    while (size < window + 2)
        size *= 2;
    answers.resize(size);
    answerMask = size - 1;
}

// The parser is done with the announced line: its answer goes out now.
void Estimator::State::closeLine()
{
    if (!lineOpen)
        return;
    lineOpen = false;
    float& end = ends.back();
    end = std::max(end, float(parser));
    answers[(firstAnswer + answerCount++) & answerMask] = {parser + AnswerBytes * byteTime,
                                                           lineBytes};
}

// When a line of this many bytes can start: once the transmitter is idle and enough answers
// have come back for it to fit into the window beside the lines still unanswered.
double Estimator::State::sendTime(uint32_t bytes)
{
    double start = lineFree;
    while (answerCount > 0 && inFlight + bytes > window) {
        const Answer& a = answers[firstAnswer];
        start = std::max(start, a.time);
        inFlight -= a.bytes;
        firstAnswer = (firstAnswer + 1) & answerMask;
        --answerCount;
    }
    return start;
}

Estimator::Estimator(const MachineSettings& settings, const float start[3])
    : d(new State(settings, start))
{
}

Estimator::~Estimator() = default;

void Estimator::addLine(uint32_t sentBytes)
{
    d->closeLine();
    const uint32_t bytes = std::max<uint32_t>(1, sentBytes);
    const double start = d->sendTime(bytes);
    d->inFlight += bytes;
    d->lineFree = start + bytes * d->byteTime;
    // The firmware reads a line once its last byte is in and the line before is done.
    d->parser = std::max(d->parser, d->lineFree);
    d->ends.push_back(0);
    d->lineBytes = bytes;
    d->lineOpen = true;
}

void Estimator::addBlock(const Block& block)
{
    // A block without an announced line gets a line of its own, as if it were one byte long.
    if (!d->lineOpen)
        addLine(0);
    const uint32_t line = uint32_t(d->ends.size() - 1);
    switch (block.kind) {
    case BlockKind::Rapid:
    case BlockKind::Feed:
        d->parser = d->planner.plan(block, line, d->parser);
        break;
    case BlockKind::Dwell:
        d->parser = d->planner.drain(d->parser) + dwellSeconds(block.value);
        break;
    case BlockKind::Sync:
        d->parser = d->planner.drain(d->parser);
        break;
    }
}

double Estimator::finish()
{
    d->closeLine();
    const double end = d->planner.drain(d->parser);
    // A line without motion is finished once everything before it is.
    for (size_t i = 1; i < d->ends.size(); ++i)
        d->ends[i] = std::max(d->ends[i], d->ends[i - 1]);
    return end;
}

const std::vector<float>& Estimator::lineFinishTimes() const
{
    return d->ends;
}

Estimate estimateProgram(const Program& program)
{
    const Program::Options& o = program.options();
    Estimator estimator(o.machine, o.start.position);
    for (uint32_t line = 0; line < program.lineCount(); ++line) {
        estimator.addLine(program.sentBytes(line));
        for (uint32_t b = program.firstBlock(line); b < program.endBlock(line); ++b)
            estimator.addBlock(program.blocks()[b]);
    }
    Estimate e;
    e.seconds = estimator.finish();
    e.lineFinish = estimator.lineFinishTimes();
    return e;
}

} // namespace gcode
