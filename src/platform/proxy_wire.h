// The driver's side of the proxy protocol: the request records it receives and the URBs
// they point at, in both layouts (64-bit kernel and 32-bit kernel), decoded into the
// control transfer they ask for, and the outcome written back. Every proxy that is not
// the kernel one (the user-space proxy over libusb, the simulated bus) decodes exactly
// what the kernel proxy would get, so the host side is exercised byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantor::platform {

enum class KernelLayout { k64, k32 };

// Record sizes of the three I/O controls.
inline constexpr std::uint32_t kAttachRecordSize64 = 32;
inline constexpr std::uint32_t kSubmitRecordSize64 = 40;
inline constexpr std::uint32_t kRecordSize32 = 24;

struct ProxyRecord {
  KernelLayout layout = KernelLayout::k64;
  std::uint64_t fileHandle = 0;
  std::uint32_t deviceLow = 0;
  std::uint32_t deviceHigh = 0;
  std::uint64_t urbAddress = 0;
  std::uint32_t timeoutMs = 0;
};

// Decodes a record of `size` bytes: 32 or 40 bytes are the 64-bit layout, 24 bytes the
// 32-bit one. False for any other size.
bool DecodeProxyRecord(const void* in, std::uint32_t size, ProxyRecord& out);
// Writes the device handle pair into an attach record of the given layout.
void EncodeDeviceHandle(void* record, KernelLayout layout, std::uint32_t low, std::uint32_t high);

// URB functions the proxy accepts.
inline constexpr std::uint16_t kUrbFunctionGetDescriptorFromDevice = 0x000B;
inline constexpr std::uint16_t kUrbFunctionVendorDevice = 0x0017;
inline constexpr std::uint16_t kUrbFunctionClassInterface = 0x001B;

inline constexpr std::uint32_t kUrbSize64 = 136;
inline constexpr std::uint32_t kUrbSize32 = 80;
inline constexpr std::uint32_t kTransferDirectionIn = 1;

// USBD status values written back into the URB header.
inline constexpr std::uint32_t kUsbdStatusSuccess = 0;
inline constexpr std::uint32_t kUsbdStatusStallPid = 0xC0000004;
inline constexpr std::uint32_t kUsbdStatusDevNotResponding = 0xC0000005;
inline constexpr std::uint32_t kUsbdStatusDeviceGone = 0xC0007000;
inline constexpr std::uint32_t kUsbdStatusCanceled = 0xC0010000;
inline constexpr std::uint32_t kUsbdStatusInvalidParameter = 0x80000300;

// The eight setup bytes of a control transfer, as they go on the wire.
struct ControlSetup {
  std::uint8_t bmRequestType = 0;
  std::uint8_t bRequest = 0;
  std::uint16_t wValue = 0;
  std::uint16_t wIndex = 0;
  std::uint16_t wLength = 0;
  bool in() const { return (bmRequestType & 0x80) != 0; }
};

// A decoded URB: the control transfer it asks for and where its buffer is.
struct UrbRequest {
  std::uint16_t function = 0;
  ControlSetup setup;
  std::uint8_t* buffer = nullptr;
  std::uint32_t bufferLength = 0;
};

// Reads the URB at `urb` in the given layout. False (with the USBD status to write back
// in `status`) when the header's length or function is not one the proxy handles, or
// the buffer length cannot go on the wire.
bool DecodeUrb(std::uint8_t* urb, KernelLayout layout, UrbRequest& out, std::uint32_t& status);
// Writes the outcome back: header status and the bytes actually moved.
void CompleteUrb(std::uint8_t* urb, KernelLayout layout, std::uint32_t status, std::uint32_t moved);

}  // namespace vantor::platform
