// Device-change notifications: the arrival and removal of the device interfaces of the
// classes a caller watches (the window watches the audio and the video categories), with
// each interface's path as the inventory spells it. A registration lasts as long as the
// object it returns; its callback runs on a thread of the backend.
//
// Backends: device-interface notifications on Windows; on Linux libusb's hotplug events
// (with a look at the inventory every second, for interfaces that appear after their
// device), each turned into the interface changes an InterfaceChangeTracker finds.
#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/device_inventory.h"

namespace vantor::platform {

struct DeviceInterfaceChange {
  enum class Kind { kArrival, kRemoval };
  Kind kind = Kind::kArrival;
  Guid interfaceClass;
  std::wstring path;
};

using DeviceChangeCallback = std::function<void(const DeviceInterfaceChange&)>;

// A registration: destroying it unregisters (no callback runs after the destructor).
class DeviceNotification {
 public:
  virtual ~DeviceNotification() = default;
};

// Registers for changes of the interfaces of `classes`. Null when the platform cannot
// notify (the window then traces "Register device notification fail").
std::unique_ptr<DeviceNotification> RegisterDeviceNotification(std::vector<Guid> classes,
                                                               DeviceChangeCallback callback);

using DeviceNotificationFactory =
    std::function<std::unique_ptr<DeviceNotification>(std::vector<Guid>, DeviceChangeCallback)>;
// Installs the factory RegisterDeviceNotification uses (null restores the platform's own).
void SetDeviceNotificationFactory(DeviceNotificationFactory factory);
// The platform's own notifications.
std::unique_ptr<DeviceNotification> RegisterNativeDeviceNotification(std::vector<Guid> classes,
                                                                     DeviceChangeCallback callback);

// The interface changes between two looks at an inventory: every look lists the
// interfaces of the watched classes, and the changes are those that appeared (arrival)
// and those that went (removal) since the look before. The first look only records.
class InterfaceChangeTracker {
 public:
  InterfaceChangeTracker(std::shared_ptr<DeviceInventory> inventory, std::vector<Guid> classes);
  std::vector<DeviceInterfaceChange> Poll();

 private:
  std::shared_ptr<DeviceInventory> inventory_;
  std::vector<Guid> classes_;
  bool first_ = true;
  std::set<std::pair<std::size_t, std::wstring>> present_;  // (class index, path)
};

}  // namespace vantor::platform
