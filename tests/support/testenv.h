#pragma once
// Shared set-up for the program's tests.

#include "device.h"
#include "scripteddevice.h"

#include <map>
#include <memory>
#include <string>

// Names the settings store like the program does and empties it.
void initTestSettings();

// Serves every port opened while it lives with a ScriptedDevice (one per port, created on
// first open and kept for inspection); restores the port map when destroyed.
class ScriptedPorts {
public:
    ScriptedPorts();
    ~ScriptedPorts();
    // The device of a port, created on demand so tests can script it before the open.
    std::shared_ptr<quenta::ScriptedDevice> device(const std::string& port);

private:
    std::map<std::string, std::shared_ptr<quenta::ScriptedDevice>> devices;
};
