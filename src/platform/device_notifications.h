// The device-change seam: arrival and removal of device interfaces, as the window hears
// them to relist devices and to end the settle wait after a reset. A subscription lasts
// as long as the object it returns; the handler runs on a thread of the backend's (the
// window marshals it onto its own thread).
//
// Backends: device-interface notifications on Windows, udev (sound and video4linux) or
// libusb hotplug on Linux, the simulated bus when devices are plugged and unplugged.
#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/device_inventory.h"

namespace vantor::platform {

enum class DeviceChange {
  kArrival,         // an interface of the category appeared
  kRemoveComplete,  // an interface of the category has gone
  kNodesChanged,    // something in the device tree changed (no interface named)
};

struct DeviceChangeNotice {
  DeviceChange change = DeviceChange::kNodesChanged;
  // The interface's category (e.g. kGuidKsCategoryAudio) and its path, which holds the
  // device instance ID with every backslash replaced by '#'.
  Guid category;
  std::wstring interfacePath;
};

using DeviceChangeHandler = std::function<void(const DeviceChangeNotice& notice)>;

// Ends the subscription when destroyed; no handler call runs after the destructor returns.
class DeviceChangeSubscription {
 public:
  virtual ~DeviceChangeSubscription() = default;
};

using DeviceChangeSource =
    std::function<std::unique_ptr<DeviceChangeSubscription>(DeviceChangeHandler handler)>;

// Subscribes to arrivals and removals of interfaces of the audio and render categories
// through the installed source; null (with the last error set) when the platform cannot
// deliver them.
std::unique_ptr<DeviceChangeSubscription> SubscribeDeviceChanges(DeviceChangeHandler handler);
// Installs the source used by SubscribeDeviceChanges (null restores the platform's own).
void SetDeviceChangeSource(DeviceChangeSource source);
// The platform's own notices (on Linux: libusb's hotplug events, with a look at the
// inventory at least once a second for interfaces that appear after their device).
std::unique_ptr<DeviceChangeSubscription> SubscribeNativeDeviceChanges(DeviceChangeHandler handler);

// The interface changes between two looks at an inventory, for backends whose events do
// not name interfaces: each look lists the interfaces of the audio and render categories;
// those that appeared since the look before are arrivals, those that went are removals.
// The first look only records.
class InterfaceChangeTracker {
 public:
  explicit InterfaceChangeTracker(std::shared_ptr<DeviceInventory> inventory);
  std::vector<DeviceChangeNotice> Poll();

 private:
  std::shared_ptr<DeviceInventory> inventory_;
  bool first_ = true;
  std::set<std::pair<std::size_t, std::wstring>> present_;  // (category index, path)
};

}  // namespace vantor::platform
