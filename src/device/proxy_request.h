// The proxy driver's request record (`ProxyRequest`): little-endian, in the natural
// alignment of the kernel's bitness, zero-filled.
//
//   64-bit kernel  32-bit kernel  field
//   0 (8)          0 (4)          reserved, 0
//   8 (8)          4 (4)          the device interface's file handle (attach only)
//   16 (4)         8 (4)          device handle, low half
//   20 (4)         12 (4)         device handle, high half
//   24 (8)         16 (4)         address of the URB (submit only)
//   32 (4)         20 (4)         time-out in milliseconds (submit only)
//   36 (4)         -              padding, 0
//
// Sizes sent: attach and detach 32 bytes (64-bit) or 24 (32-bit); submit 40 or 24.
#pragma once

#include <cstdint>

#include "device/urb.h"

namespace vantor {

inline constexpr std::uint32_t kProxyRecordSize64 = 32;
inline constexpr std::uint32_t kProxySubmitRecordSize64 = 40;
inline constexpr std::uint32_t kProxyRecordSize32 = 24;

// The value a submit record carries for a URB at `address`: a 64-bit kernel takes a
// 32-bit process's address sign-extended, as the platform widens a 32-bit pointer;
// a 64-bit process's address goes as it is; a 32-bit kernel takes 32 bits.
std::uint64_t ProxyUrbAddressField(std::uint64_t address, ProxyLayout layout,
                                   unsigned processPointerBits);

class ProxyRequest {
 public:
  enum class Kind { kAttach, kSubmit, kDetach };

  ProxyRequest(ProxyLayout layout, Kind kind);

  void SetFileHandle(std::uint64_t handle);
  void SetDevice(std::uint32_t low, std::uint32_t high);
  // The URB address field as ProxyUrbAddressField gives it.
  void SetUrbAddress(std::uint64_t field);
  void SetTimeout(std::uint32_t ms);

  std::uint32_t deviceLow() const;
  std::uint32_t deviceHigh() const;

  std::uint8_t* bytes() { return bytes_; }
  const std::uint8_t* bytes() const { return bytes_; }
  // The bytes sent for this kind in this layout.
  std::uint32_t size() const { return size_; }
  ProxyLayout layout() const { return layout_; }

 private:
  ProxyLayout layout_;
  std::uint32_t size_;
  alignas(8) std::uint8_t bytes_[kProxySubmitRecordSize64] = {};
};

}  // namespace vantor
