// The process-wide reset option word, FlowOptions, which gates the steps of every flow.
// The preparation before every run reloads it as 0x13 (DEV_SetResetOptions).
#pragma once

#include <cstdint>

namespace vantor {

inline constexpr std::uint32_t kFlowOptionsDefault = 0x13;
// After programming, reset the device into the new code and check that it runs.
inline constexpr std::uint32_t kFlowOptResetAfter = 0x01;
// Check that the erased memory reads back empty.
inline constexpr std::uint32_t kFlowOptCheckEmpty = 0x02;
// Old-family chips are reset into update mode with parameter 2.
inline constexpr std::uint32_t kFlowOptOldFamilyParam2 = 0x04;
// Write, read back, compare and tag after the erase.
inline constexpr std::uint32_t kFlowOptWriteAfterErase = 0x10;

// Starts as 0x13. Safe to use from any thread.
std::uint32_t GetFlowOptions();
void SetFlowOptions(std::uint32_t options);

}  // namespace vantor
