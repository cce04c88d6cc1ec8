#include "platform/device_notifications.h"

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
  // The platform's own notifications come with its USB backend.
  SetLastError(kErrorNotSupported);
  return nullptr;
}

void SetDeviceChangeSource(DeviceChangeSource source) {
  std::lock_guard lock(gSourceMutex);
  gSource = std::move(source);
}

}  // namespace vantor::platform
