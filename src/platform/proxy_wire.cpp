#include "platform/proxy_wire.h"

#include <cstring>

namespace vantor::platform {

namespace {

std::uint16_t Get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t Get32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}
std::uint64_t Get64(const std::uint8_t* p) {
  return std::uint64_t{Get32(p)} | std::uint64_t{Get32(p + 4)} << 32;
}
void Put32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}

// Field offsets of the URB layouts.
struct UrbLayout {
  std::uint32_t size;
  std::size_t flags;
  std::size_t length;
  std::size_t buffer;
  std::size_t bufferWidth;
  std::size_t request;
};
constexpr UrbLayout kUrb64{kUrbSize64, 32, 36, 40, 8, 128};
constexpr UrbLayout kUrb32{kUrbSize32, 20, 24, 28, 4, 72};

const UrbLayout& LayoutOf(KernelLayout layout) {
  return layout == KernelLayout::k64 ? kUrb64 : kUrb32;
}

}  // namespace

bool DecodeProxyRecord(const void* in, std::uint32_t size, ProxyRecord& out) {
  const auto* p = static_cast<const std::uint8_t*>(in);
  if (p == nullptr) return false;
  out = ProxyRecord{};
  if (size == kAttachRecordSize64 || size == kSubmitRecordSize64) {
    out.layout = KernelLayout::k64;
    out.fileHandle = Get64(p + 8);
    out.deviceLow = Get32(p + 16);
    out.deviceHigh = Get32(p + 20);
    out.urbAddress = Get64(p + 24);
    if (size == kSubmitRecordSize64) out.timeoutMs = Get32(p + 32);
    return true;
  }
  if (size == kRecordSize32) {
    out.layout = KernelLayout::k32;
    out.fileHandle = Get32(p + 4);
    out.deviceLow = Get32(p + 8);
    out.deviceHigh = Get32(p + 12);
    out.urbAddress = Get32(p + 16);
    out.timeoutMs = Get32(p + 20);
    return true;
  }
  return false;
}

void EncodeDeviceHandle(void* record, KernelLayout layout, std::uint32_t low, std::uint32_t high) {
  auto* p = static_cast<std::uint8_t*>(record);
  std::size_t at = layout == KernelLayout::k64 ? 16 : 8;
  Put32(p + at, low);
  Put32(p + at + 4, high);
}

bool DecodeUrb(std::uint8_t* urb, KernelLayout layout, UrbRequest& out, std::uint32_t& status) {
  const UrbLayout& l = LayoutOf(layout);
  out = UrbRequest{};
  status = kUsbdStatusInvalidParameter;
  if (Get16(urb) != l.size) return false;
  out.function = Get16(urb + 2);
  std::uint32_t flags = Get32(urb + l.flags);
  out.bufferLength = Get32(urb + l.length);
  std::uint64_t address = l.bufferWidth == 8 ? Get64(urb + l.buffer) : Get32(urb + l.buffer);
  out.buffer = reinterpret_cast<std::uint8_t*>(static_cast<std::uintptr_t>(address));
  if (out.bufferLength > 0xFFFF) return false;
  if (out.bufferLength != 0 && out.buffer == nullptr) return false;
  const std::uint8_t* r = urb + l.request;
  bool in = (flags & kTransferDirectionIn) != 0;
  switch (out.function) {
    case kUrbFunctionVendorDevice:
      // The stack sends type and recipient from the function and the direction from the
      // transfer flags; the request type byte of the URB is not what goes on the wire.
      out.setup.bmRequestType = static_cast<std::uint8_t>((in ? 0x80 : 0x00) | 0x40);
      out.setup.bRequest = r[1];
      out.setup.wValue = Get16(r + 2);
      out.setup.wIndex = Get16(r + 4);
      break;
    case kUrbFunctionClassInterface:
      out.setup.bmRequestType = static_cast<std::uint8_t>((in ? 0x80 : 0x00) | 0x21);
      out.setup.bRequest = r[1];
      out.setup.wValue = Get16(r + 2);
      out.setup.wIndex = Get16(r + 4);
      break;
    case kUrbFunctionGetDescriptorFromDevice:
      out.setup.bmRequestType = 0x80;
      out.setup.bRequest = 0x06;
      out.setup.wValue = static_cast<std::uint16_t>(r[3] << 8 | r[2]);
      out.setup.wIndex = Get16(r + 4);
      break;
    default:
      return false;
  }
  out.setup.wLength = static_cast<std::uint16_t>(out.bufferLength);
  status = kUsbdStatusSuccess;
  return true;
}

void CompleteUrb(std::uint8_t* urb, KernelLayout layout, std::uint32_t status,
                 std::uint32_t moved) {
  const UrbLayout& l = LayoutOf(layout);
  Put32(urb + 4, status);
  Put32(urb + l.length, moved);
}

}  // namespace vantor::platform
