#pragma once
// How long a job takes on a GRBL 1.1 controller: a replay of the firmware's planner (per-axis
// rates and accelerations, junction deviation, the planner's depth) fed at the pace the serial
// line allows.

#include "block.h"
#include "machine.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace gcode {

class Program;

class Estimator {
public:
    // start: the machine position before the first block (machine coordinates, mm).
    explicit Estimator(const MachineSettings& settings, const float start[3] = nullptr);

    // The next line of the job as it is sent: its length in bytes with the newline. Every
    // line is announced, also lines without motion, before its blocks.
    void addLine(uint32_t sentBytes);
    // One block of the line announced last, in order.
    void addBlock(const Block& block);
    // Ends the job: the machine comes to rest. Returns the total time in seconds.
    double finish();

    // After finish(): for each announced line, the time from the start at which the machine
    // has finished that line's last motion (seconds).
    const std::vector<float>& lineFinishTimes() const;

    ~Estimator();
    Estimator(const Estimator&) = delete;
    Estimator& operator=(const Estimator&) = delete;

private:
    struct State;
    std::unique_ptr<State> d;
};

// A whole program, every line as it is sent, on the machine it was interpreted for.
struct Estimate {
    double seconds = 0;
    std::vector<float> lineFinish;  // per line of the program, see lineFinishTimes()
};
Estimate estimateProgram(const Program& program);

} // namespace gcode
