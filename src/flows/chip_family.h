// Chip identification: the two bytes at device address 0xFE21, the family key made of
// their high nibbles, the new-family test and the running-mode register of new-family
// chips.
#pragma once

#include <cstdint>
#include <string_view>

namespace vantor {

inline constexpr std::uint32_t kChipIdAddress = 0xFE21;        // id0 here, id1 at 0xFE22
inline constexpr std::uint32_t kModeRegisterAddress = 0xC2A8;  // 0xC2A6 for chip 0x7110
inline constexpr std::uint32_t kModeRegisterAddress7110 = 0xC2A6;

struct ChipId {
  std::uint8_t id0 = 0;
  std::uint8_t id1 = 0;
  // id1 x 256 + id0.
  constexpr std::uint16_t id() const { return static_cast<std::uint16_t>(id1 * 256 + id0); }
  // The high nibbles of both bytes.
  constexpr std::uint16_t fam() const { return id() & 0xF0F0; }
  // The high nibble of id1 with id0 whole: (id1 AND 0xF0) x 256 + id0.
  constexpr std::uint16_t key() const {
    return static_cast<std::uint16_t>((id1 & 0xF0) * 256 + id0);
  }
};

// Families with a mode register: fam 0xB010, 0xF010, 0xC010, 0xD010, 0xE010, 0x1010,
// 0x8050; fam 0x7010 unless id0 is 0x11; and the chip 0xFF56.
bool IsNewFamilyChip(ChipId chip);

// Where the chip keeps its running-mode byte.
std::uint32_t ModeRegisterAddressOf(ChipId chip);

// Mode register values and their texts.
inline constexpr std::wstring_view kModeRom = L"ROM";
inline constexpr std::wstring_view kModeSpi = L"SPI";
inline constexpr std::wstring_view kModeRomOtp = L"ROM&&OTP";
inline constexpr std::wstring_view kModeSpiOtp = L"SPI&&OTP";
inline constexpr std::wstring_view kModeRomSpi = L"ROM&&SPI";
inline constexpr std::wstring_view kModeUnknown = L"Unknown";
// 0 "ROM", 8 "SPI", 16 "ROM&&OTP", 24 "SPI&&OTP", 32 "ROM&&SPI", others "Unknown".
std::wstring_view ModeTextOf(std::uint8_t mode);

}  // namespace vantor
