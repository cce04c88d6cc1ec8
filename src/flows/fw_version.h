// The device's firmware version as the flows print it, built from the 104-byte device
// status, the 32 bytes of status pages 128 to 131 and the mode byte.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace vantor {

inline constexpr std::uint32_t kDevStatusSize = 104;
inline constexpr std::uint32_t kStatusPagesFirst = 128;
inline constexpr std::uint32_t kStatusPagesSize = 32;

// Offset of the active version block in the status: 64, or 72 when the low nibble of
// byte 64 is 0 and the low nibble of byte 72 is neither 0 nor 0x0B.
std::uint32_t ActiveVersionBlock(std::span<const std::uint8_t, kDevStatusSize> status);

// 1 for the two-byte format (high nibble 2 of the active block's first byte), 2 for the
// dotted format (high nibble 3), 0 otherwise.
std::uint8_t VersionFormatOf(std::span<const std::uint8_t, kDevStatusSize> status);

struct FwVersion {
  std::wstring text;
  std::array<std::uint16_t, 6> ver{};  // the printed values in order; unprinted ones 0
};

// The version text: the dotted form of the status pages when modeEx is 16, 24 or 32,
// otherwise the status's own format. withIds appends "-VID%04X&&PID%04X".
FwVersion BuildFwVersion(std::span<const std::uint8_t, kDevStatusSize> status,
                         std::span<const std::uint8_t, kStatusPagesSize> pages, std::uint8_t modeEx,
                         std::uint16_t vid, std::uint16_t pid, bool withIds);

// The eight version bytes a download records: the second block (bytes 72 to 79) when it
// is active; otherwise by the high nibble of byte 64: 2 gives 77, 76, 79, 78 and four
// zero bytes, 3 gives bytes 76 to 83, anything else bytes 64 to 71.
std::array<std::uint8_t, 8> FwRecordFromStatus(
    std::span<const std::uint8_t, kDevStatusSize> status);

}  // namespace vantor
