// The standard descriptors of a simulated device: device, configuration (with the audio
// or video function and its extension units) and strings (language 0x0409).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "sim/device_config.h"

namespace vantor::sim {

// Interface numbers of the functions.
inline constexpr std::uint8_t kAudioControlInterface = 0;
inline constexpr std::uint8_t kVideoControlInterface = 0;
inline constexpr std::uint8_t kCameraAudioControlInterface = 2;

std::vector<std::uint8_t> BuildDeviceDescriptor(const DeviceConfig& config);
std::vector<std::uint8_t> BuildConfigDescriptor(const DeviceConfig& config);
// String descriptor `index` (0: the language list); none for an unknown index.
std::optional<std::vector<std::uint8_t>> BuildStringDescriptor(const DeviceConfig& config,
                                                               std::uint8_t index);

// The interface that hosts the command extension unit.
std::uint8_t CommandUnitInterface(const DeviceConfig& config);

}  // namespace vantor::sim
