// The device inventory of a simulated bus: the platform's inventory seam answered from
// the bus's device-instance tree.
#pragma once

#include <memory>

#include "platform/device_inventory.h"
#include "sim/sim_bus.h"

namespace vantor::sim {

std::shared_ptr<platform::DeviceInventory> MakeSimInventory(std::shared_ptr<SimBus> bus);

}  // namespace vantor::sim
