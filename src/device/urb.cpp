#include "device/urb.h"

namespace vantor {

namespace {

// _URB_CONTROL_VENDOR_OR_CLASS_REQUEST and _URB_CONTROL_DESCRIPTOR_REQUEST: header, pipe
// handle, transfer flags, buffer length, buffer, MDL, URB link, host controller area,
// then the eight request bytes.
constexpr UrbOffsets kOffsets64{kUrbSize64, 32, 36, 40, 8, 48, 56, 128};
constexpr UrbOffsets kOffsets32{kUrbSize32, 20, 24, 28, 4, 32, 36, 72};

}  // namespace

const UrbOffsets& UrbOffsetsOf(ProxyLayout layout) {
  return layout == ProxyLayout::k64 ? kOffsets64 : kOffsets32;
}

Urb::Urb(ProxyLayout layout) : layout_(layout) {
  wire::Put16(bytes_, static_cast<std::uint16_t>(UrbOffsetsOf(layout).size));
}

void Urb::SetControlRequest(std::uint16_t function, std::uint8_t requestType, std::uint8_t request,
                            std::uint16_t value, std::uint16_t index, bool in) {
  const UrbOffsets& o = UrbOffsetsOf(layout_);
  wire::Put16(bytes_ + 2, function);
  wire::Put32(bytes_ + o.transferFlags, in ? kUsbdTransferDirectionIn : 0);
  std::uint8_t* r = bytes_ + o.request;
  r[0] = requestType;
  r[1] = request;
  wire::Put16(r + 2, value);
  wire::Put16(r + 4, index);
  wire::Put16(r + 6, 0);
}

void Urb::SetDescriptorRequest(std::uint8_t descriptorType, std::uint8_t index,
                               std::uint16_t language) {
  const UrbOffsets& o = UrbOffsetsOf(layout_);
  wire::Put16(bytes_ + 2, kUrbFunctionGetDescriptorFromDevice);
  // The function implies device-to-host; the flags stay 0.
  wire::Put32(bytes_ + o.transferFlags, 0);
  std::uint8_t* r = bytes_ + o.request;
  wire::Put16(r, 0);
  r[2] = index;
  r[3] = descriptorType;
  wire::Put16(r + 4, language);
  wire::Put16(r + 6, 0);
}

void Urb::SetTransferBuffer(void* buffer, std::uint32_t length) {
  const UrbOffsets& o = UrbOffsetsOf(layout_);
  buffer_ = buffer;
  requestedLength_ = length;
  wire::Put32(bytes_ + o.transferBufferLength, length);
  auto address = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(buffer));
  bufferAddressFits_ = o.transferBufferWidth == 8 || address <= 0xFFFFFFFFu;
  std::uint64_t field = bufferAddressFits_ ? address : 0;
  if (o.transferBufferWidth == 8) {
    wire::Put64(bytes_ + o.transferBuffer, field);
  } else {
    wire::Put32(bytes_ + o.transferBuffer, static_cast<std::uint32_t>(field));
  }
}

std::uint16_t Urb::function() const { return wire::Get16(bytes_ + 2); }

bool Urb::in() const {
  if (function() == kUrbFunctionGetDescriptorFromDevice) return true;
  return (wire::Get32(bytes_ + UrbOffsetsOf(layout_).transferFlags) & kUsbdTransferDirectionIn) !=
         0;
}

std::uint32_t Urb::status() const { return wire::Get32(bytes_ + 4); }

std::uint32_t Urb::transferBufferLength() const {
  return wire::Get32(bytes_ + UrbOffsetsOf(layout_).transferBufferLength);
}

}  // namespace vantor
