// Looking nodes up in the installed device inventory by their instance IDs, and reading
// their texts, for tests of the device layer.
#pragma once

#include <string>
#include <string_view>

#include "platform/device_inventory.h"

namespace vantor::test {

// The first node (in device-instance order) whose instance ID contains every one of the
// parts; 0 when there is none.
platform::DevInst NodeWithId(std::wstring_view part, std::wstring_view part2 = {});
std::wstring InstanceIdOf(platform::DevInst device);
std::wstring TextPropertyOf(platform::DevInst device, platform::DeviceProperty property);
platform::DevInst ParentOf(platform::DevInst device);
platform::DevInst FirstChildOf(platform::DevInst device);

}  // namespace vantor::test
