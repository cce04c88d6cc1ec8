#include "support/sim_proxy.h"

#include <vector>

#include "device/proxy_protocol.h"
#include "device/proxy_state.h"
#include "platform/last_error.h"

namespace vantor::test {

ScopedSimProxy::ScopedSimProxy(WireLayout layout) {
  if (layout == WireLayout::k64) {
    ok_ = OpenProxyDevice(false);
    return;
  }
  staging_ = std::make_unique<ScopedLowStaging>();
  std::shared_ptr<platform::ProxyDriver> device = platform::OpenProxyControlDevice();
  ok_ = device != nullptr && staging_->ok();
  SetProxyDevice(std::move(device), false);
}

ScopedSimProxy::~ScopedSimProxy() { CloseProxyDevice(); }

bool AttachedSimDevice::Open(const std::wstring& idPart) {
  Close();
  auto inventory = platform::GetDeviceInventory();
  std::vector<platform::DeviceInterfaceEntry> entries;
  error_ = inventory->ListDeviceInterfaces(platform::kGuidDevInterfaceUsbDevice, 0, entries);
  if (error_ != 0) return false;
  for (const auto& entry : entries) {
    std::wstring id;
    if (inventory->GetDeviceInstanceId(entry.device, id) != 0) continue;
    if (id.find(idPart) == std::wstring::npos) continue;
    error_ = inventory->OpenDeviceInterface(entry.path, interface_);
    if (error_ != 0) return false;
    if (!ProxyAttach(interface_, low_, high_)) {
      error_ = platform::GetLastError();
      Close();
      return false;
    }
    attached_ = true;
    return true;
  }
  error_ = platform::kErrorFileNotFound;
  return false;
}

void AttachedSimDevice::Close() {
  if (attached_) ProxyDetach(low_, high_);
  if (interface_ != 0) platform::GetDeviceInventory()->CloseDeviceInterface(interface_);
  attached_ = false;
  interface_ = 0;
  low_ = high_ = 0;
}

}  // namespace vantor::test
