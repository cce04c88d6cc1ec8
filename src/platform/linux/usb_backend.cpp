// The platform's own USB backends on Linux: the inventory over sysfs and the user-space
// proxy over libusb, sharing the process's open devices.
#include <filesystem>

#include "platform/device_inventory.h"
#include "platform/last_error.h"
#include "platform/linux/usb_host.h"
#include "platform/linux/usb_inventory.h"
#include "platform/linux/usb_proxy.h"
#include "platform/proxy_driver.h"

namespace vantor::platform {

std::shared_ptr<DeviceInventory> NativeDeviceInventory() {
  static const std::shared_ptr<DeviceInventory> inventory =
      std::make_shared<linux_usb::UsbInventory>(linux_usb::SystemUsbHost());
  return inventory;
}

std::unique_ptr<ProxyDriver> OpenNativeProxyControlDevice() {
  // A system without USB support has nothing for the proxy to reach.
  std::error_code ec;
  if (!std::filesystem::exists(linux_usb::SystemUsbHost()->sysRoot() / "bus" / "usb", ec)) {
    SetLastError(kErrorPathNotFound);
    return nullptr;
  }
  return std::make_unique<linux_usb::UsbProxy>(linux_usb::SystemUsbHost());
}

}  // namespace vantor::platform
