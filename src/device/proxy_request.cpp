#include "device/proxy_request.h"

namespace vantor {

namespace {

struct RecordOffsets {
  std::size_t fileHandle;
  std::size_t deviceLow;
  std::size_t urbAddress;
  std::size_t timeout;
};
constexpr RecordOffsets kRecord64{8, 16, 24, 32};
constexpr RecordOffsets kRecord32{4, 8, 16, 20};

const RecordOffsets& OffsetsOf(ProxyLayout layout) {
  return layout == ProxyLayout::k64 ? kRecord64 : kRecord32;
}

}  // namespace

std::uint64_t ProxyUrbAddressField(std::uint64_t address, ProxyLayout layout,
                                   unsigned processPointerBits) {
  if (layout == ProxyLayout::k32) return address & 0xFFFFFFFFu;
  if (processPointerBits == 32) {
    return static_cast<std::uint64_t>(
        static_cast<std::int64_t>(static_cast<std::int32_t>(static_cast<std::uint32_t>(address))));
  }
  return address;
}

ProxyRequest::ProxyRequest(ProxyLayout layout, Kind kind)
    : layout_(layout),
      size_(layout == ProxyLayout::k32 ? kProxyRecordSize32
            : kind == Kind::kSubmit    ? kProxySubmitRecordSize64
                                       : kProxyRecordSize64) {}

void ProxyRequest::SetFileHandle(std::uint64_t handle) {
  std::uint8_t* p = bytes_ + OffsetsOf(layout_).fileHandle;
  if (layout_ == ProxyLayout::k64) {
    wire::Put64(p, handle);
  } else {
    wire::Put32(p, static_cast<std::uint32_t>(handle));
  }
}

void ProxyRequest::SetDevice(std::uint32_t low, std::uint32_t high) {
  std::uint8_t* p = bytes_ + OffsetsOf(layout_).deviceLow;
  wire::Put32(p, low);
  wire::Put32(p + 4, high);
}

void ProxyRequest::SetUrbAddress(std::uint64_t field) {
  std::uint8_t* p = bytes_ + OffsetsOf(layout_).urbAddress;
  if (layout_ == ProxyLayout::k64) {
    wire::Put64(p, field);
  } else {
    wire::Put32(p, static_cast<std::uint32_t>(field));
  }
}

void ProxyRequest::SetTimeout(std::uint32_t ms) {
  wire::Put32(bytes_ + OffsetsOf(layout_).timeout, ms);
}

std::uint32_t ProxyRequest::deviceLow() const {
  return wire::Get32(bytes_ + OffsetsOf(layout_).deviceLow);
}

std::uint32_t ProxyRequest::deviceHigh() const {
  return wire::Get32(bytes_ + OffsetsOf(layout_).deviceLow + 4);
}

}  // namespace vantor
