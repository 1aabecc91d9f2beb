#pragma once
// Inside the library: the device of an open port for the C++ functions beside the C API.

#include "device.h"

#include <functional>

struct TarvoPortSettings;

namespace quenta {

// Runs f on the record's device and returns its result; 0 when the port is not open.
// serialise: with the port's call lock, as the C functions hold it; without it only for what
// the device guards itself (reading its kept status).
int withPortDevice(TarvoPortSettings* record, bool serialise,
                   const std::function<int(Device&)>& f);

}  // namespace quenta
