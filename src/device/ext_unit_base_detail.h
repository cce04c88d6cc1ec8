// Helpers of the command-block transport's implementation: field halves and failure
// labels.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/text.h"

namespace vantor::ext_unit_detail {

// The 0xFF of "no command status could be fetched".
inline constexpr std::uint8_t kNoCmdStatus = 0xFF;

inline std::uint16_t Lo(std::uint32_t value) { return static_cast<std::uint16_t>(value & 0xFFFF); }
inline std::uint16_t Hi(std::uint32_t value) { return static_cast<std::uint16_t>(value >> 16); }

// The label of a failed data phase: a printf format with at most one number, filled
// with base, plus the bytes already done when addDone.
struct DataLabel {
  std::string format;
  std::uint32_t base = 0;
  bool addDone = false;

  std::wstring Make(std::uint32_t done) const {
    const std::uint32_t value = base + (addDone ? done : 0);
    char text[160];
    std::snprintf(text, sizeof text, format.c_str(), value);
    return platform::FromUtf8(text);
  }
};

// The labels of the common rule: "<name> SetCmd", and "<name> GetData 0x%X" or
// "<name> SetData 0x%X" with the device address at which the failing transfer started.
inline std::string CmdLabel(const char* name) { return std::string(name) + " SetCmd"; }
inline DataLabel AddressLabel(const char* name, bool write, std::uint32_t addr) {
  return {std::string(name) + (write ? " SetData 0x%X" : " GetData 0x%X"), addr, true};
}
// A label without a value.
inline DataLabel FixedLabel(const char* text) { return {text, 0, false}; }

}  // namespace vantor::ext_unit_detail
