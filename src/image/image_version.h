// The image version record: eight bytes at image offset 0x100C in images of 0x10000
// bytes and more, at 0x11B in shorter ones. Its six values are the high and the low
// nibble of byte 0, byte 1, and three big-endian words at bytes 2-3, 4-5 and 6-7; the
// device API formats them as "%01X.%01X%02X.%04X-%04X.%04X".
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace vantor {

inline constexpr std::uint32_t kImageVersionOffsetLarge = 0x100C;
inline constexpr std::uint32_t kImageVersionOffsetSmall = 0x11B;
inline constexpr std::uint32_t kImageVersionRecordSize = 8;

constexpr std::uint32_t ImageVersionOffset(std::size_t imageLength) {
  return imageLength >= 0x10000 ? kImageVersionOffsetLarge : kImageVersionOffsetSmall;
}

// The six values of the image's version record; false when the image is too short to
// hold it.
bool DecodeImageVersion(std::span<const std::uint8_t> image, std::array<std::uint16_t, 6>& values);

}  // namespace vantor
