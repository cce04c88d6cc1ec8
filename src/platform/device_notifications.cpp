#include "platform/device_notifications.h"

#include <mutex>

namespace vantor::platform {

namespace {
std::mutex gFactoryMutex;
DeviceNotificationFactory gFactory;
}  // namespace

std::unique_ptr<DeviceNotification> RegisterDeviceNotification(std::vector<Guid> classes,
                                                               DeviceChangeCallback callback) {
  DeviceNotificationFactory factory;
  {
    std::lock_guard lock(gFactoryMutex);
    factory = gFactory;
  }
  if (factory) return factory(std::move(classes), std::move(callback));
  return RegisterNativeDeviceNotification(std::move(classes), std::move(callback));
}

void SetDeviceNotificationFactory(DeviceNotificationFactory factory) {
  std::lock_guard lock(gFactoryMutex);
  gFactory = std::move(factory);
}

InterfaceChangeTracker::InterfaceChangeTracker(std::shared_ptr<DeviceInventory> inventory,
                                               std::vector<Guid> classes)
    : inventory_(std::move(inventory)), classes_(std::move(classes)) {}

std::vector<DeviceInterfaceChange> InterfaceChangeTracker::Poll() {
  std::set<std::pair<std::size_t, std::wstring>> now;
  for (std::size_t i = 0; i < classes_.size(); ++i) {
    std::vector<DeviceInterfaceEntry> entries;
    // A list that cannot be read now changes nothing.
    if (inventory_->ListDeviceInterfaces(classes_[i], 0, entries) != 0) return {};
    for (const DeviceInterfaceEntry& e : entries) now.emplace(i, e.path);
  }
  std::vector<DeviceInterfaceChange> changes;
  if (!first_) {
    for (const auto& [i, path] : present_) {
      if (now.count({i, path}) == 0) {
        changes.push_back({DeviceInterfaceChange::Kind::kRemoval, classes_[i], path});
      }
    }
    for (const auto& [i, path] : now) {
      if (present_.count({i, path}) == 0) {
        changes.push_back({DeviceInterfaceChange::Kind::kArrival, classes_[i], path});
      }
    }
  }
  first_ = false;
  present_ = std::move(now);
  return changes;
}

}  // namespace vantor::platform
