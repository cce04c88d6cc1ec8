#include "device/proxy_protocol.h"

#include <algorithm>
#include <cstring>

#include "device/proxy_request.h"
#include "device/proxy_state.h"
#include "platform/last_error.h"
#include "platform/proxy_driver.h"

namespace vantor {

namespace {

constexpr unsigned kPointerBits = sizeof(void*) * 8;
constexpr std::uint32_t kMaxWireLength = 0xFFFF;

// A failed call must never leave the last error at 0: callers turn it into their result
// code, and 0 would read as success.
bool Fail(std::uint32_t fallback) {
  if (platform::GetLastError() == 0) platform::SetLastError(fallback);
  return false;
}

bool FailWith(std::uint32_t error) {
  platform::SetLastError(error);
  return false;
}

std::uint64_t AddressOf(const void* p) {
  return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(p));
}

// One I/O control with its record; `answer` receives the output record (attach).
bool IoControl(const ProxyConnection& proxy, std::uint32_t code, ProxyRequest& record,
               ProxyRequest* answer) {
  std::uint32_t returned = 0;
  platform::SetLastError(0);
  if (!proxy.device->IoControl(code, record.bytes(), record.size(),
                               answer == nullptr ? nullptr : answer->bytes(),
                               answer == nullptr ? 0 : answer->size(), &returned)) {
    return Fail(platform::kErrorGenFailure);
  }
  // The driver hands back the whole record; a shorter answer carries no device handle.
  if (answer != nullptr && returned < answer->size()) {
    return FailWith(platform::kErrorInvalidData);
  }
  return true;
}

bool SubmitRaw(const ProxyConnection& proxy, std::uint32_t devLow, std::uint32_t devHigh,
               std::uint8_t* urb, std::uint32_t timeoutMs) {
  ProxyRequest record(proxy.layout, ProxyRequest::Kind::kSubmit);
  record.SetDevice(devLow, devHigh);
  record.SetUrbAddress(ProxyUrbAddressField(AddressOf(urb), proxy.layout, kPointerBits));
  record.SetTimeout(timeoutMs);
  return IoControl(proxy, platform::kIoctlProxySubmit, record, nullptr);
}

// A 32-bit kernel's URB whose own address or buffer lies above 4 GiB goes through the
// staging area: URB at its start, the transfer buffer after it; status, bytes moved and
// the data read are copied back.
bool SubmitStaged(const ProxyConnection& proxy, std::uint32_t devLow, std::uint32_t devHigh,
                  Urb& urb, std::uint32_t timeoutMs) {
  ProxyStagingLock staging;
  constexpr std::size_t kBufferAt = 128;
  std::uint32_t length = urb.requestedLength();
  if (staging.base() == nullptr || AddressOf(staging.base()) + staging.size() > 0x100000000ull ||
      staging.size() < kBufferAt + length) {
    return FailWith(platform::kErrorInvalidParameter);
  }
  std::uint8_t* stagedUrb = staging.base();
  std::uint8_t* stagedBuffer = stagedUrb + kBufferAt;
  const UrbOffsets& o = UrbOffsetsOf(urb.layout());
  std::memcpy(stagedUrb, urb.bytes(), urb.size());
  if (length != 0) {
    if (urb.in()) {
      std::memset(stagedBuffer, 0, length);
    } else {
      std::memcpy(stagedBuffer, urb.buffer(), length);
    }
  }
  wire::Put32(stagedUrb + o.transferBuffer,
              urb.buffer() == nullptr ? 0 : static_cast<std::uint32_t>(AddressOf(stagedBuffer)));
  bool ok = SubmitRaw(proxy, devLow, devHigh, stagedUrb, timeoutMs);
  std::memcpy(urb.bytes() + 4, stagedUrb + 4, 4);
  std::memcpy(urb.bytes() + o.transferBufferLength, stagedUrb + o.transferBufferLength, 4);
  if (urb.in() && length != 0 && urb.buffer() != nullptr) {
    std::memcpy(urb.buffer(), stagedBuffer, std::min(length, urb.transferBufferLength()));
  }
  return ok;
}

bool Submit(const ProxyConnection& proxy, std::uint32_t devLow, std::uint32_t devHigh, Urb& urb,
            std::uint32_t timeoutMs) {
  if (!proxy.device) return Fail(platform::kErrorPathNotFound);
  if (urb.layout() != proxy.layout) return FailWith(platform::kErrorInvalidParameter);
  bool fits = proxy.layout == ProxyLayout::k64 ||
              (AddressOf(urb.bytes()) + urb.size() <= 0x100000000ull && urb.bufferAddressFits());
  if (!fits) return SubmitStaged(proxy, devLow, devHigh, urb, timeoutMs);
  return SubmitRaw(proxy, devLow, devHigh, urb.bytes(), timeoutMs);
}

// Submits a built URB and applies the success rule: the I/O control succeeded and the
// URB status is 0. A stalled request leaves no error of its own, so it gets one.
bool Transfer(const ProxyConnection& proxy, std::uint32_t devLow, std::uint32_t devHigh, Urb& urb,
              std::uint32_t* moved, std::uint32_t timeoutMs) {
  if (moved != nullptr) *moved = 0;
  if (!Submit(proxy, devLow, devHigh, urb, timeoutMs)) return false;
  if (urb.status() != 0) return FailWith(platform::kErrorGenFailure);
  if (moved != nullptr) *moved = std::min(urb.transferBufferLength(), urb.requestedLength());
  return true;
}

bool ControlRequest(std::uint16_t function, std::uint32_t devLow, std::uint32_t devHigh,
                    std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                    std::uint16_t index, void* buffer, std::uint32_t length, bool in,
                    std::uint32_t* moved, std::uint32_t timeoutMs) {
  if (moved != nullptr) *moved = 0;
  if (length > kMaxWireLength || (length != 0 && buffer == nullptr)) {
    return FailWith(platform::kErrorInvalidParameter);
  }
  ProxyConnection proxy = CurrentProxy();
  Urb urb(proxy.layout);
  urb.SetControlRequest(function, requestType, request, value, index, in);
  urb.SetTransferBuffer(length == 0 ? nullptr : buffer, length);
  return Transfer(proxy, devLow, devHigh, urb, moved, timeoutMs);
}

bool DescriptorRequest(std::uint32_t devLow, std::uint32_t devHigh, std::uint8_t type,
                       std::uint8_t index, std::uint16_t language, void* buffer,
                       std::uint32_t length, std::uint32_t* moved) {
  if (moved != nullptr) *moved = 0;
  if (length == 0 || length > kMaxWireLength || buffer == nullptr) {
    return FailWith(platform::kErrorInvalidParameter);
  }
  ProxyConnection proxy = CurrentProxy();
  Urb urb(proxy.layout);
  urb.SetDescriptorRequest(type, index, language);
  urb.SetTransferBuffer(buffer, length);
  return Transfer(proxy, devLow, devHigh, urb, moved, kProxyRequestTimeoutMs);
}

bool WholeDescriptor(std::uint32_t devLow, std::uint32_t devHigh, std::uint8_t type, void* buffer,
                     std::uint32_t length) {
  std::uint32_t moved = 0;
  if (!DescriptorRequest(devLow, devHigh, type, 0, 0, buffer, length, &moved)) return false;
  if (moved != length) return FailWith(platform::kErrorInvalidData);
  return true;
}

}  // namespace

bool ProxyAttach(platform::InterfaceHandle fileHandle, std::uint32_t& devLow,
                 std::uint32_t& devHigh) {
  ProxyConnection proxy = CurrentProxy();
  if (!proxy.device) return FailWith(platform::kErrorPathNotFound);
  ProxyRequest record(proxy.layout, ProxyRequest::Kind::kAttach);
  record.SetFileHandle(fileHandle);
  ProxyRequest answer(proxy.layout, ProxyRequest::Kind::kAttach);
  if (!IoControl(proxy, platform::kIoctlProxyAttach, record, &answer)) return false;
  devLow = answer.deviceLow();
  devHigh = answer.deviceHigh();
  return true;
}

bool ProxyDetach(std::uint32_t devLow, std::uint32_t devHigh) {
  ProxyConnection proxy = CurrentProxy();
  if (!proxy.device) return Fail(platform::kErrorPathNotFound);
  ProxyRequest record(proxy.layout, ProxyRequest::Kind::kDetach);
  record.SetDevice(devLow, devHigh);
  return IoControl(proxy, platform::kIoctlProxyDetach, record, nullptr);
}

bool ProxySubmit(std::uint32_t devLow, std::uint32_t devHigh, Urb& urb, std::uint32_t timeoutMs) {
  return Submit(CurrentProxy(), devLow, devHigh, urb, timeoutMs);
}

bool SendVendorRequest(std::uint32_t devLow, std::uint32_t devHigh, std::uint8_t requestType,
                       std::uint8_t request, std::uint16_t value, std::uint16_t index, void* buffer,
                       std::uint32_t length, bool in, std::uint32_t* moved,
                       std::uint32_t timeoutMs) {
  return ControlRequest(kUrbFunctionVendorDevice, devLow, devHigh, requestType, request, value,
                        index, buffer, length, in, moved, timeoutMs);
}

bool SendClassRequest(std::uint32_t devLow, std::uint32_t devHigh, std::uint8_t requestType,
                      std::uint8_t request, std::uint16_t value, std::uint16_t index, void* buffer,
                      std::uint32_t length, bool in, std::uint32_t* moved,
                      std::uint32_t timeoutMs) {
  return ControlRequest(kUrbFunctionClassInterface, devLow, devHigh, requestType, request, value,
                        index, buffer, length, in, moved, timeoutMs);
}

bool GetDeviceDescriptor(std::uint32_t devLow, std::uint32_t devHigh,
                         std::uint8_t (&buffer)[kDeviceDescriptorLength]) {
  return WholeDescriptor(devLow, devHigh, kDescriptorTypeDevice, buffer, kDeviceDescriptorLength);
}

bool GetConfigDescriptor(std::uint32_t devLow, std::uint32_t devHigh, void* buffer,
                         std::uint32_t length) {
  return WholeDescriptor(devLow, devHigh, kDescriptorTypeConfiguration, buffer, length);
}

bool GetStringDescriptor(std::uint32_t devLow, std::uint32_t devHigh, void* buffer,
                         std::uint32_t length, std::uint8_t index, std::uint16_t language,
                         std::uint32_t* moved) {
  return DescriptorRequest(devLow, devHigh, kDescriptorTypeString, index, language, buffer, length,
                           moved);
}

}  // namespace vantor
