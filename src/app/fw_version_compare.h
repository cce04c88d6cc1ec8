// Whether the window's Start may program the device's built-in image over the firmware
// the device runs: six version words each, compared in their order (the first word that
// differs decides).
#pragma once

#include <array>
#include <cstdint>

namespace vantor {

using VersionWords = std::array<std::uint16_t, 6>;

enum class VersionVerdict {
  kNewer,       // the image is newer: go on
  kSame,        // "Same FW version!": nothing starts
  kOlderQuiet,  // older, but the device runs the placeholder version: go on without asking
  kOlder,       // older: ask before going on
};

// The version words of a device that runs the placeholder firmware, which any image may
// replace without a question.
inline constexpr VersionWords kPlaceholderDeviceVersion = {0x000B, 0x000B, 0x00BB,
                                                           0xBBBB, 0xBBBB, 0xBBBB};

VersionVerdict CompareFirmwareVersions(const VersionWords& image, const VersionWords& device);

}  // namespace vantor
