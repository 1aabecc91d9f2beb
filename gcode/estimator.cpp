#include "estimator.h"

// Placeholder until the planner replay lands: counts nothing.
namespace gcode {

struct Estimator::State {
    MachineSettings settings;
    std::vector<float> finish;
};

Estimator::Estimator(const MachineSettings& settings, const float*) : d(new State{settings, {}}) {}
Estimator::~Estimator() = default;
void Estimator::addLine(uint32_t) { d->finish.push_back(0); }
void Estimator::addBlock(const Block&) {}
double Estimator::finish() { return 0; }
const std::vector<float>& Estimator::lineFinishTimes() const { return d->finish; }

} // namespace gcode
