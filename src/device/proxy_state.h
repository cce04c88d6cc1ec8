// Process-wide state of the proxy driver: the opened control device and the 64-bit
// kernel flag that selects the record and URB layouts. The driver set-up opens the
// control device once at start-up and closes it at exit; every proxy request in between
// goes through it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "device/urb.h"
#include "platform/proxy_driver.h"

namespace vantor {

// The 64-bit kernel flag: a 32-bit process running under 64-bit emulation (Wow64)
// talks to a 64-bit kernel, and so does every 64-bit process.
constexpr bool KernelIs64Bit(bool wow64Process, unsigned processPointerBits = sizeof(void*) * 8) {
  return wow64Process || processPointerBits == 64;
}

// Opens the control device through the platform (OpenProxyControlDevice) unless one is
// open already, and sets the 64-bit kernel flag from `wow64Process` as the platform
// reports it for this process. False, with the platform's last error, when no control
// device can be opened; the state then stays closed.
bool OpenProxyDevice(bool wow64Process);
// Uses an already opened control device with the given kernel bitness (replacing any
// open one). A null device closes the state.
void SetProxyDevice(std::shared_ptr<platform::ProxyDriver> device, bool kernel64);
// Closes the control device: attach fails with error 3 from then on, submit and detach
// fail without sending.
void CloseProxyDevice();
bool IsProxyDeviceOpen();
bool IsKernel64();

// What one request works with, taken once so that a request never mixes two states.
struct ProxyConnection {
  std::shared_ptr<platform::ProxyDriver> device;
  ProxyLayout layout = ProxyLayout::k64;
};
ProxyConnection CurrentProxy();

// Memory below 4 GiB for URBs of a 32-bit kernel layout built by a 64-bit process. That
// pairing never occurs in use (a 64-bit process always has a 64-bit kernel); it lets
// the 32-bit layout run end to end in a 64-bit test program. Without an area such URBs
// are refused with error 87 (a kernel must never get a cut-off address). `base` null
// removes the area.
void SetProxyStagingArea(void* base, std::size_t size);

// The staging area, locked for one request while the object lives.
class ProxyStagingLock {
 public:
  ProxyStagingLock();
  ~ProxyStagingLock();
  ProxyStagingLock(const ProxyStagingLock&) = delete;
  ProxyStagingLock& operator=(const ProxyStagingLock&) = delete;
  std::uint8_t* base() const { return base_; }
  std::size_t size() const { return size_; }

 private:
  std::uint8_t* base_;
  std::size_t size_;
};

}  // namespace vantor
