// The chip's memory-mapped registers (16-bit addresses): plain RAM except the chip id
// (0xFE21, 0xFE22), the board strap at 0xFEC7, the OTP lock bit (0x08 of 0xFD0C), the
// package probe of family 0x1010 (0x051B, 0x050F) and the running-mode register. The
// write-protect pins of the flash and the EEPROM are output-enable / output-level
// register pairs; an undriven flash WP# pin reads low, an undriven EEPROM WP line high.
#pragma once

#include <array>
#include <cstdint>

#include "sim/device_config.h"

namespace vantor::sim {

class ChipRegisters {
 public:
  explicit ChipRegisters(const DeviceConfig& config);

  // Power-on or reset: RAM cleared, the mode register set.
  void Reset(std::uint8_t mode);
  std::uint8_t Read(std::uint16_t address) const;
  void Write(std::uint16_t address, std::uint8_t value);

  // Whether the chip has a running-mode register.
  bool HasModeRegister() const;
  bool FlashProtectPinLow() const;
  bool EepromWriteProtected() const;
  bool OtpLocked() const { return config_.otpLocked; }

 private:
  bool PinLow(std::uint16_t enable, std::uint16_t level, std::uint8_t bit) const;

  const DeviceConfig& config_;
  std::array<std::uint8_t, 0x10000> ram_{};
};

}  // namespace vantor::sim
