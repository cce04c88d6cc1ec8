#include "platform/device_notifications.h"

#include <iterator>
#include <mutex>
#include <utility>

#include "platform/last_error.h"

namespace vantor::platform {

namespace {
std::mutex gSourceMutex;
DeviceChangeSource gSource;
}  // namespace

std::unique_ptr<DeviceChangeSubscription> SubscribeDeviceChanges(DeviceChangeHandler handler) {
  DeviceChangeSource source;
  {
    std::lock_guard lock(gSourceMutex);
    source = gSource;
  }
  if (source) return source(std::move(handler));
  return SubscribeNativeDeviceChanges(std::move(handler));
}

void SetDeviceChangeSource(DeviceChangeSource source) {
  std::lock_guard lock(gSourceMutex);
  gSource = std::move(source);
}

namespace {
// The categories the window watches: audio, and render.
constexpr Guid kWatched[] = {kGuidKsCategoryAudio, kGuidKsCategoryVideo};
}  // namespace

InterfaceChangeTracker::InterfaceChangeTracker(std::shared_ptr<DeviceInventory> inventory)
    : inventory_(std::move(inventory)) {}

std::vector<DeviceChangeNotice> InterfaceChangeTracker::Poll() {
  std::set<std::pair<std::size_t, std::wstring>> now;
  for (std::size_t i = 0; i < std::size(kWatched); ++i) {
    std::vector<DeviceInterfaceEntry> entries;
    // A list that cannot be read now changes nothing.
    if (inventory_->ListDeviceInterfaces(kWatched[i], 0, entries) != 0) return {};
    for (const DeviceInterfaceEntry& e : entries) now.emplace(i, e.path);
  }
  std::vector<DeviceChangeNotice> notices;
  if (!first_) {
    for (const auto& [i, path] : present_) {
      if (now.count({i, path}) == 0) {
        notices.push_back({DeviceChange::kRemoveComplete, kWatched[i], path});
      }
    }
    for (const auto& [i, path] : now) {
      if (present_.count({i, path}) == 0)
        notices.push_back({DeviceChange::kArrival, kWatched[i], path});
    }
  }
  first_ = false;
  present_ = std::move(now);
  return notices;
}

}  // namespace vantor::platform
