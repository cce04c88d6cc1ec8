// The device information block: what the device object learnt from the descriptors
// and the status pages when it opened a device. Owned by the device record.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace vantor {

inline constexpr std::size_t kVideoFunctionBytes = 2155;
inline constexpr std::size_t kDeviceStatusBytes = 96;

struct CamDevInfo {
  std::array<std::uint8_t, 18> deviceDescriptor{};
  std::vector<std::uint8_t> configDescriptor;  // wTotalLength bytes as read
  std::array<std::uint8_t, kVideoFunctionBytes> videoFunction{};
  std::uint32_t reservedFlag1 = 0;
  std::uint32_t reservedFlag2 = 0;
  std::uint32_t vendorDevice = 0;    // one of the maker's devices the system drives
  std::uint32_t extensionUnit = 0;   // the command-block transport is available
  std::uint32_t legacyVendor = 0;    // only the legacy vendor request answers
  std::uint32_t vendorRequests = 0;  // the vendor-request transport is available
  std::uint32_t specialCamera = 0;   // the special-cased camera identity
  std::uint32_t secondUnit = 0;      // the second extension unit is present
  std::uint32_t unitId = 0;          // extension unit id of the command-block transport
  std::array<std::uint8_t, kDeviceStatusBytes> deviceStatus{};  // status pages 0 to 11

  std::uint16_t idVendor() const { return Le16(8); }
  std::uint16_t idProduct() const { return Le16(10); }
  std::uint16_t bcdDevice() const { return Le16(12); }
  std::uint16_t chipId() const {
    return static_cast<std::uint16_t>(deviceStatus[6] | (deviceStatus[7] << 8));
  }
  void setChipId(std::uint16_t id) {
    deviceStatus[6] = static_cast<std::uint8_t>(id & 0xFF);
    deviceStatus[7] = static_cast<std::uint8_t>(id >> 8);
  }

 private:
  std::uint16_t Le16(std::size_t at) const {
    return static_cast<std::uint16_t>(deviceDescriptor[at] | (deviceDescriptor[at + 1] << 8));
  }
};

}  // namespace vantor
