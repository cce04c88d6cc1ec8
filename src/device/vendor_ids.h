// USB identities the tool knows by number.
#pragma once

#include <cstdint>

namespace vantor {

// The chip maker's USB vendor ID: the extension code of its audio extension unit, and
// the vendor of its own reference devices.
inline constexpr std::uint16_t kMakerVendorId = 0x3A4B;

// The maker's reference audio device (old family, SPI flash): the identity of the
// simulator's default device and the active entry of the built-in device ID list.
inline constexpr std::uint16_t kReferenceProductId = 0x0310;
inline constexpr std::uint16_t kReferenceRelease = 0x0100;

}  // namespace vantor
