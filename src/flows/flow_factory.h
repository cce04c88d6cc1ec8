// The one flow object of the process: created for the memory type of the loaded image
// and the bus type of the IC type definition, replaced whenever a newly parsed image
// changes them. The configuration record survives the replacement.
#pragma once

#include <cstdint>
#include <memory>

#include "config/bus_type.h"
#include "flows/dev_flow.h"
#include "image/memory_type.h"

namespace vantor {

// memory type x 65536 + bus type x 256 + 0xFF.
constexpr std::uint32_t FlowKey(MemoryType memory, BusType bus) {
  return static_cast<std::uint32_t>(memory) * 65536 + static_cast<std::uint32_t>(bus) * 256 + 0xFF;
}

// A new flow object for the key: flash, EEPROM8, EEPROM16 or OTP on USB; null for any
// other key (MTP, or a bus other than USB).
std::unique_ptr<CDevFlow> MakeFlow(std::uint32_t key);

// The current flow object, or null.
CDevFlow* CurrentFlow();

// Replaces the current flow by one for the process-wide memory and bus type: the old
// object's configuration record is saved (its buffers released) and deleted, the new
// one starts from the saved record. LastResultCode becomes 0. Returns the new object,
// or null when the pair has no flow (the current flow is then cleared).
CDevFlow* RecreateFlow();

// Deletes the current flow object (shutdown), saving its configuration record.
void DeleteCurrentFlow();

}  // namespace vantor
