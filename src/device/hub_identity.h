// The identity of the attached USB devices as their hubs report it (the "Lib Type"
// path of the device API): every USB device interface, with the vendor and product
// ids, release, port number, serial-number and manufacturer strings that the hub port
// leading to it reports. No device needs to be opened or attached for it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/device_inventory.h"

namespace vantor {

// String descriptors are asked for in this language (English, United States), at most
// this many bytes.
inline constexpr std::uint16_t kHubStringLanguage = 0x0409;
inline constexpr std::uint32_t kHubStringBytes = 255;

struct HubDeviceEntry {
  platform::DevInst devInst = 0;  // the USB device
  std::wstring devicePath;        // its USB device interface
  bool identified = false;        // a hub port leads to it; the fields below are set
  std::uint16_t idVendor = 0;
  std::uint16_t idProduct = 0;
  std::uint16_t bcdDevice = 0;
  std::uint32_t port = 0;  // the port of its hub
  std::wstring serialNumber;
  std::wstring manufacturer;
};

// Lists the USB devices and identifies those that a hub port leads to. With `device`
// nonzero only the hubs above that device are asked. Hubs and ports that cannot be
// read are passed over. 0, or the platform error of the listing.
std::uint32_t EnumerateHubIdentities(std::vector<HubDeviceEntry>& out,
                                     platform::DevInst device = 0);

// The entry of a device instance, or null.
const HubDeviceEntry* FindHubIdentity(const std::vector<HubDeviceEntry>& list,
                                      platform::DevInst devInst);

// The text of a string descriptor as a device sends it (bLength, type 3, UTF-16LE);
// empty for anything else. Never reads past `size`.
std::wstring StringDescriptorText(const std::uint8_t* bytes, std::size_t size);

}  // namespace vantor
