// The proxy driver protocol: attach a device through its interface's file handle,
// submit ready-made URBs to its default control pipe, detach it. The records and URBs
// are built here byte for byte in the layout of the running kernel (proxy_state.h);
// the control device only carries them.
//
// Every function returns true on success, else false with the platform's last error
// set: 1167 device not connected, 21 not ready, 121 or another code for a time-out,
// 31 (general failure) for a request the device stalled, 87 for arguments that cannot
// go on the wire. When the control device is not open, attach fails with error 3 and
// submit and detach fail without sending.
#pragma once

#include <cstdint>

#include "device/urb.h"
#include "platform/device_inventory.h"

namespace vantor {

// I/O control codes and descriptor requests of the protocol.
inline constexpr std::uint32_t kProxyRequestTimeoutMs = 5000;
inline constexpr std::uint8_t kDescriptorTypeDevice = 1;
inline constexpr std::uint8_t kDescriptorTypeConfiguration = 2;
inline constexpr std::uint8_t kDescriptorTypeString = 3;
inline constexpr std::uint32_t kDeviceDescriptorLength = 18;

// Resolves the device beneath an opened interface; fills the device handle pair.
bool ProxyAttach(platform::InterfaceHandle fileHandle, std::uint32_t& devLow,
                 std::uint32_t& devHigh);
// Releases a device handle pair.
bool ProxyDetach(std::uint32_t devLow, std::uint32_t devHigh);
// Submits a URB built in the current layout and waits for it up to `timeoutMs`; the
// driver writes the URB's status and the bytes moved back into it. True when the I/O
// control succeeded, whatever the URB status.
bool ProxySubmit(std::uint32_t devLow, std::uint32_t devHigh, Urb& urb, std::uint32_t timeoutMs);

// A vendor-device (or class-interface) control request. True when the submit succeeded
// and the URB status is 0; `moved` (may be null) then receives the bytes moved.
// `requestType` is the nominal bmRequestType (0x40/0xC0 vendor, 0x21/0xA1 class); the
// direction on the wire is `in`.
bool SendVendorRequest(std::uint32_t devLow, std::uint32_t devHigh, std::uint8_t requestType,
                       std::uint8_t request, std::uint16_t value, std::uint16_t index, void* buffer,
                       std::uint32_t length, bool in, std::uint32_t* moved,
                       std::uint32_t timeoutMs);
bool SendClassRequest(std::uint32_t devLow, std::uint32_t devHigh, std::uint8_t requestType,
                      std::uint8_t request, std::uint16_t value, std::uint16_t index, void* buffer,
                      std::uint32_t length, bool in, std::uint32_t* moved, std::uint32_t timeoutMs);

// Standard descriptor reads (5000 ms). The device and configuration descriptor reads
// succeed only when the device sent all the bytes asked for (else error 13, invalid
// data); a string descriptor may be shorter than the buffer: `moved` tells its length.
bool GetDeviceDescriptor(std::uint32_t devLow, std::uint32_t devHigh,
                         std::uint8_t (&buffer)[kDeviceDescriptorLength]);
bool GetConfigDescriptor(std::uint32_t devLow, std::uint32_t devHigh, void* buffer,
                         std::uint32_t length);
bool GetStringDescriptor(std::uint32_t devLow, std::uint32_t devHigh, void* buffer,
                         std::uint32_t length, std::uint8_t index, std::uint16_t language,
                         std::uint32_t* moved = nullptr);

}  // namespace vantor
