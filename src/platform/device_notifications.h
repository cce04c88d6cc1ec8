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
#include <string>

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

}  // namespace vantor::platform
