#include "config/bus_type.h"

#include <atomic>

namespace vantor {

namespace {
std::atomic<BusType> gBusType{BusType::kUsb};
}  // namespace

std::optional<BusType> BusTypeFromName(std::string_view name) {
  if (name == "USB") return BusType::kUsb;
  if (name == "PCIE") return BusType::kPcie;
  if (name == "MIPI") return BusType::kMipi;
  return std::nullopt;
}

BusType GetBusType() { return gBusType.load(); }
void SetBusType(BusType type) { gBusType.store(type); }

}  // namespace vantor
