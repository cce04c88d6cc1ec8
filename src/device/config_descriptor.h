// Reading what the device object needs out of a USB configuration descriptor: the
// camera's video function and its command extension unit, and the audio function's
// extension unit of the maker. The descriptor comes from the device and is not trusted:
// every walk is bounds-checked, and a descriptor whose length is below 2 or runs past
// the end ends the walk without being looked at.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "device/cam_dev_info.h"
#include "platform/device_inventory.h"

namespace vantor {

using ByteSpan = std::span<const std::uint8_t>;

// Descriptor types and the class codes the searches use.
inline constexpr std::uint8_t kDescConfiguration = 0x02;
inline constexpr std::uint8_t kDescInterface = 0x04;
inline constexpr std::uint8_t kDescInterfaceAssociation = 0x0B;
inline constexpr std::uint8_t kDescClassInterface = 0x24;
inline constexpr std::uint8_t kClassVideo = 0x0E;
inline constexpr std::uint8_t kSubclassVideoControl = 0x01;
inline constexpr std::uint8_t kSubclassVideoStreaming = 0x02;
inline constexpr std::uint8_t kSubclassVideoCollection = 0x03;
inline constexpr std::size_t kConfigHeaderLength = 9;

// The camera's command extension unit and the second unit.
inline constexpr platform::Guid kCommandUnitGuid{
    0x1229A78C, 0x47B4, 0x4094, {0xB0, 0xCE, 0xDB, 0x07, 0x38, 0x6F, 0xB9, 0x38}};
inline constexpr platform::Guid kSecondUnitGuid{
    0x45B5DA73, 0x23C1, 0x4A3D, {0xA3, 0x68, 0x61, 0x0F, 0x07, 0x8C, 0x43, 0x97}};

// The descriptors of a configuration descriptor one after another, header included.
// Next gives each descriptor as a span of its bLength bytes; it ends at the end of the
// bytes and at a descriptor whose length is below 2 or runs past the end.
class DescriptorWalker {
 public:
  explicit DescriptorWalker(ByteSpan bytes) : bytes_(bytes) {}
  bool Next(ByteSpan& descriptor);
  // True when the walk ended at a descriptor that does not fit (not at the end).
  bool broken() const { return broken_; }

 private:
  ByteSpan bytes_;
  std::size_t at_ = 0;
  bool broken_ = false;
};

// The 16-bit wTotalLength of a configuration descriptor header, or nullopt when the
// header is not one (shorter than 9 bytes, bLength below 9, type not 2).
std::optional<std::uint16_t> ConfigTotalLength(ByteSpan header);

// A whole configuration descriptor as read: a valid header whose wTotalLength equals
// the bytes' size, and descriptors that tile it exactly (each at least 2 bytes).
bool IsWellFormedConfigDescriptor(ByteSpan config);

// The camera's command unit: the extension unit with the command unit GUID among the
// class-specific descriptors of the video control interface `interfaceNumber` (alternate
// setting 0), when it carries at least 2 controls of at least 2 bytes with controls 10
// and 11 present. secondUnit tells whether that interface also has the second unit.
struct CameraUnits {
  std::optional<std::uint8_t> commandUnit;
  bool secondUnit = false;
};
CameraUnits FindCameraUnits(ByteSpan config, std::uint32_t interfaceNumber);

// The audio function's extension or processing unit (subtype 8 or 9) whose 16-bit code
// is `vendorId`, among the class-specific descriptors of the first interface.
std::optional<std::uint8_t> FindAudioExtensionUnit(ByteSpan config, std::uint16_t vendorId);

// The video function of a camera: the device descriptor announces interface
// associations (class 0xEF, subclass 2, protocol 1); an association starting at
// `interfaceNumber` is a video collection (class 14, subclass 3) whose interfaces are
// all there; its video control interface comes with its class-specific header, and one
// video streaming interface (alternate setting 0) follows for every other interface of
// the association. On success `function` holds the control interface's class-specific
// descriptors (header, terminals, units) as they stand, as many whole ones as fit.
bool ParseVideoFunction(ByteSpan deviceDescriptor, ByteSpan config, std::uint32_t interfaceNumber,
                        std::array<std::uint8_t, kVideoFunctionBytes>& function);

}  // namespace vantor
