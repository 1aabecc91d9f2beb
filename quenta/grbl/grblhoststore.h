#pragma once
// The parameters a GRBL port keeps on the host, because GRBL has no setting for them (park
// position, travel speed, the reference order, ...). The device reads them all when a port
// opens and saves each one it changes; the store is the device's to replace.

#include "device.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace quenta {
namespace grbl {

class HostParameterStore {
public:
    virtual ~HostParameterStore() = default;
    // Every transferable parameter: the stored value, or its factory value.
    virtual std::map<uint16_t, Device::ParamValue> load() = 0;
    virtual void save(uint16_t key, const Device::ParamValue& value) = 0;
};

// The link library's settings, group [grbl/<port>] of "lumbrix"/"Quenta".
std::unique_ptr<HostParameterStore> settingsParameterStore(const std::string& port);

}  // namespace grbl
}  // namespace quenta
