// Process-wide memory facts of the image being worked on: the memory type that chooses
// the programming flow (set from the image type code of a parsed configuration area)
// and the configured memory size (how much device memory reads, verifies and dumps
// cover).
#pragma once

#include <cstdint>
#include <optional>

namespace vantor {

enum class MemoryType : std::uint32_t {
  kFlash = 0,     // SPI flash
  kEeprom8 = 2,   // I2C EEPROM with 8-bit addresses
  kEeprom16 = 3,  // I2C EEPROM with 16-bit addresses
  kMtp = 4,
  kOtp = 6,
};

// The memory type an area header's image type code stands for: 0x11 EEPROM8, 0x12
// EEPROM16, 0x30/0x55/0x61 flash, 0x40 MTP, 0x60 OTP; nothing for any other code (the
// memory type then stays as it was).
std::optional<MemoryType> MemoryTypeFromImageType(std::uint8_t imageTypeCode);

// Starts as SPI flash.
MemoryType GetMemoryType();
void SetMemoryType(MemoryType type);

inline constexpr std::uint32_t kDefaultConfiguredMemorySize = 0x40000;
// Starts as 0x40000.
std::uint32_t ConfiguredMemorySize();
void SetConfiguredMemorySize(std::uint32_t size);

}  // namespace vantor
