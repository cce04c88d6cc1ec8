#include "flows/chip_family.h"

namespace vantor {

bool IsNewFamilyChip(ChipId chip) {
  switch (chip.fam()) {
    case 0xB010:
    case 0xF010:
    case 0xC010:
    case 0xD010:
    case 0xE010:
    case 0x1010:
    case 0x8050:
      return true;
    case 0x7010:
      if (chip.id0 != 0x11) return true;
      break;
    default:
      break;
  }
  return chip.id() == 0xFF56;
}

std::uint32_t ModeRegisterAddressOf(ChipId chip) {
  return chip.id() == 0x7110 ? kModeRegisterAddress7110 : kModeRegisterAddress;
}

std::wstring_view ModeTextOf(std::uint8_t mode) {
  switch (mode) {
    case 0:
      return kModeRom;
    case 8:
      return kModeSpi;
    case 16:
      return kModeRomOtp;
    case 24:
      return kModeSpiOtp;
    case 32:
      return kModeRomSpi;
    default:
      return kModeUnknown;
  }
}

}  // namespace vantor
