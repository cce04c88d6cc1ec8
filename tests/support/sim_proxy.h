// The proxy state opened on the simulated bus (in either kernel layout), and a device of
// the bus opened through the inventory and attached with the proxy protocol, as the
// device layer does it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/device_inventory.h"
#include "support/scripted_proxy.h"

namespace vantor::test {

// Opens the installed simulated bus's control device as the process's proxy for the life
// of the object (for the 32-bit layout with a staging area below 4 GiB).
class ScopedSimProxy {
 public:
  explicit ScopedSimProxy(WireLayout layout = WireLayout::k64);
  ~ScopedSimProxy();
  ScopedSimProxy(const ScopedSimProxy&) = delete;
  ScopedSimProxy& operator=(const ScopedSimProxy&) = delete;
  bool ok() const { return ok_; }

 private:
  std::unique_ptr<ScopedLowStaging> staging_;
  bool ok_ = false;
};

class AttachedSimDevice {
 public:
  AttachedSimDevice() = default;
  ~AttachedSimDevice() { Close(); }
  AttachedSimDevice(const AttachedSimDevice&) = delete;
  AttachedSimDevice& operator=(const AttachedSimDevice&) = delete;

  // Opens the first USB device interface whose instance ID contains `idPart` and
  // attaches it; false (with the platform error in `error()`) when that fails.
  bool Open(const std::wstring& idPart);
  // Detaches and closes.
  void Close();

  std::uint32_t low() const { return low_; }
  std::uint32_t high() const { return high_; }
  std::uint32_t error() const { return error_; }

 private:
  platform::InterfaceHandle interface_ = 0;
  std::uint32_t low_ = 0;
  std::uint32_t high_ = 0;
  bool attached_ = false;
  std::uint32_t error_ = 0;
};

}  // namespace vantor::test
