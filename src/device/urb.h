// USB request blocks as the proxy driver takes them: the platform's published URB
// structures for control transfers, built byte by byte in the layout of the running
// kernel (136 bytes on a 64-bit kernel, 80 on a 32-bit one), little-endian, zero-filled.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantor {

// The bitness of the kernel the proxy driver runs in; it decides the record and URB
// layouts.
enum class ProxyLayout { k64, k32 };

// URB functions the system builds.
inline constexpr std::uint16_t kUrbFunctionGetDescriptorFromDevice = 0x000B;
inline constexpr std::uint16_t kUrbFunctionVendorDevice = 0x0017;
inline constexpr std::uint16_t kUrbFunctionClassInterface = 0x001B;

inline constexpr std::uint32_t kUrbSize64 = 136;
inline constexpr std::uint32_t kUrbSize32 = 80;
// Transfer flags: the data stage runs device-to-host.
inline constexpr std::uint32_t kUsbdTransferDirectionIn = 1;

// Field offsets of one layout.
struct UrbOffsets {
  std::uint32_t size;
  std::size_t transferFlags;
  std::size_t transferBufferLength;
  std::size_t transferBuffer;
  std::size_t transferBufferWidth;
  std::size_t transferBufferMdl;
  std::size_t urbLink;
  std::size_t request;  // the eight request bytes
};
const UrbOffsets& UrbOffsetsOf(ProxyLayout layout);

// One URB in the caller's memory. The header (length, function, status) is at bytes 0..7
// in both layouts.
class Urb {
 public:
  explicit Urb(ProxyLayout layout);
  Urb(const Urb&) = delete;
  Urb& operator=(const Urb&) = delete;

  // A vendor-device (0x0017) or class-interface (0x001B) request. The request type byte
  // is stored as given; the direction that counts is the transfer-flags bit.
  void SetControlRequest(std::uint16_t function, std::uint8_t requestType, std::uint8_t request,
                         std::uint16_t value, std::uint16_t index, bool in);
  // A get-descriptor-from-device request (0x000B), device-to-host.
  void SetDescriptorRequest(std::uint8_t descriptorType, std::uint8_t index,
                            std::uint16_t language);
  // The transfer buffer and its length. The address field is written when the address
  // fits the layout; otherwise (a 64-bit process building a 32-bit kernel's URB) it
  // stays 0 and `bufferAddressFits` is false: such a URB must be staged in low memory
  // before it is submitted.
  void SetTransferBuffer(void* buffer, std::uint32_t length);

  ProxyLayout layout() const { return layout_; }
  std::uint8_t* bytes() { return bytes_; }
  const std::uint8_t* bytes() const { return bytes_; }
  std::uint32_t size() const { return UrbOffsetsOf(layout_).size; }
  std::uint16_t function() const;
  bool in() const;
  void* buffer() const { return buffer_; }
  std::uint32_t requestedLength() const { return requestedLength_; }
  bool bufferAddressFits() const { return bufferAddressFits_; }

  // Written back by the driver.
  std::uint32_t status() const;
  std::uint32_t transferBufferLength() const;

 private:
  ProxyLayout layout_;
  alignas(8) std::uint8_t bytes_[kUrbSize64] = {};
  void* buffer_ = nullptr;
  std::uint32_t requestedLength_ = 0;
  bool bufferAddressFits_ = true;
};

// Little-endian field access shared by the proxy records and URBs.
namespace wire {
inline void Put16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void Put32(std::uint8_t* p, std::uint32_t v) {
  Put16(p, static_cast<std::uint16_t>(v));
  Put16(p + 2, static_cast<std::uint16_t>(v >> 16));
}
inline void Put64(std::uint8_t* p, std::uint64_t v) {
  Put32(p, static_cast<std::uint32_t>(v));
  Put32(p + 4, static_cast<std::uint32_t>(v >> 32));
}
inline std::uint16_t Get16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
inline std::uint32_t Get32(const std::uint8_t* p) {
  return std::uint32_t{Get16(p)} | std::uint32_t{Get16(p + 2)} << 16;
}
inline std::uint64_t Get64(const std::uint8_t* p) {
  return std::uint64_t{Get32(p)} | std::uint64_t{Get32(p + 4)} << 32;
}
}  // namespace wire

}  // namespace vantor
