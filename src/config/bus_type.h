// The process-wide bus type: which bus the chip of the chosen IC type definition sits
// on. The definition's "Bus Type" sets it; the flow factory reads it.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace vantor {

enum class BusType : std::uint32_t { kUsb = 0, kPcie = 1, kMipi = 2 };

// The bus map of the IC type definitions: "USB" 0, "PCIE" 1, "MIPI" 2 (exact letter
// case); nothing for any other name.
std::optional<BusType> BusTypeFromName(std::string_view name);

// Starts as USB.
BusType GetBusType();
void SetBusType(BusType type);

}  // namespace vantor
