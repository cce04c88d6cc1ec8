#include "sim/chip_registers.h"

namespace vantor::sim {

ChipRegisters::ChipRegisters(const DeviceConfig& config) : config_(config) { Reset(0); }

bool ChipRegisters::HasModeRegister() const {
  std::uint16_t fam = config_.family();
  return config_.newFamily() || (fam != 0 && fam != 0x7010);
}

void ChipRegisters::Reset(std::uint8_t mode) {
  ram_.fill(0);
  if (HasModeRegister()) ram_[config_.modeRegister()] = mode;
}

std::uint8_t ChipRegisters::Read(std::uint16_t address) const {
  switch (address) {
    case 0xFE21:
      return static_cast<std::uint8_t>(config_.chipId);
    case 0xFE22:
      return static_cast<std::uint8_t>(config_.chipId >> 8);
    case 0xFEC7:
      return config_.strapFec7;
    case 0xFD0C:
      return static_cast<std::uint8_t>((ram_[address] & ~0x08) | (OtpLocked() ? 0x08 : 0));
    case 0x050F:
      if (config_.family() == 0x1010 && ram_[0x051B] == 0x29) {
        return static_cast<std::uint8_t>((ram_[address] & 0x9F) | (config_.dualPackage ? 0x20 : 0));
      }
      break;
    default:
      break;
  }
  return ram_[address];
}

void ChipRegisters::Write(std::uint16_t address, std::uint8_t value) {
  switch (address) {
    case 0xFE21:
    case 0xFE22:
    case 0xFEC7:
      return;  // read-only
    default:
      ram_[address] = value;
  }
}

bool ChipRegisters::PinLow(std::uint16_t enable, std::uint16_t level, std::uint8_t bit) const {
  bool driven = (ram_[enable] & bit) != 0;
  bool high = (ram_[level] & bit) != 0;
  return !driven || !high;
}

bool ChipRegisters::FlashProtectPinLow() const {
  const DeviceConfig& c = config_;
  std::uint16_t fam = c.family();
  if (!c.newFamily()) return PinLow(0xFEA0, 0xFEA6, 0x01);
  if (c.chipId == 0xFF56 || fam == 0x8050) return PinLow(0x0404, 0x0406, 0x01);
  if (fam == 0x7010) return PinLow(0x0650, 0x0652, 0x01);
  if (fam == 0xE010) return PinLow(0x0505, 0x0507, 0x01);
  if (fam == 0x1010) {
    bool second = PinLow(0x050C, 0x0512, 0x10);
    return c.dualPackage ? (PinLow(0x050A, 0x0510, 0x80) || second) : second;
  }
  return PinLow(0xFEC0, 0xFEC6, 0x01);
}

bool ChipRegisters::EepromWriteProtected() const {
  if (!config_.eepromWpPin) return false;
  // Either pin pair driving the line low enables writes.
  bool first = (ram_[0xFEA0] & 0x20) != 0 && (ram_[0xFEA6] & 0x20) == 0;
  bool second = (ram_[0xFEA1] & 0x02) != 0 && (ram_[0xFEA7] & 0x02) == 0;
  return !(first || second);
}

}  // namespace vantor::sim
