// Device-change notifications on Linux: a thread waits for libusb's hotplug events (and
// looks at the inventory at least once a second, for the interfaces of a device that the
// kernel adds after the device itself) and reports the interface changes it finds.
#include <libusb.h>

#include <atomic>
#include <thread>

#include "platform/device_notifications.h"
#include "platform/trace.h"

namespace vantor::platform {

namespace {

constexpr int kLookEveryMs = 1000;
constexpr int kEventWaitMs = 200;

class UsbNotification final : public DeviceNotification {
 public:
  UsbNotification(libusb_context* context, std::vector<Guid> classes, DeviceChangeCallback callback)
      : context_(context),
        tracker_(GetDeviceInventory(), std::move(classes)),
        callback_(std::move(callback)) {
    tracker_.Poll();
    if (libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG) != 0) {
      libusb_hotplug_register_callback(
          context_,
          static_cast<libusb_hotplug_event>(LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED |
                                            LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT),
          LIBUSB_HOTPLUG_NO_FLAGS, LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY,
          LIBUSB_HOTPLUG_MATCH_ANY, &UsbNotification::OnHotplug, this, &hotplug_);
    }
    thread_ = std::thread([this] { Run(); });
  }

  ~UsbNotification() override {
    stop_.store(true);
    thread_.join();
    if (hotplug_ != 0) libusb_hotplug_deregister_callback(context_, hotplug_);
    libusb_exit(context_);
  }

 private:
  static int OnHotplug(libusb_context*, libusb_device*, libusb_hotplug_event, void* self) {
    static_cast<UsbNotification*>(self)->changed_.store(true);
    return 0;
  }

  void Run() {
    int sinceLook = 0;
    while (!stop_.load()) {
      timeval wait{0, kEventWaitMs * 1000};
      libusb_handle_events_timeout_completed(context_, &wait, nullptr);
      sinceLook += kEventWaitMs;
      if (!changed_.exchange(false) && sinceLook < kLookEveryMs) continue;
      sinceLook = 0;
      for (const DeviceInterfaceChange& change : tracker_.Poll()) {
        if (!stop_.load()) callback_(change);
      }
    }
  }

  libusb_context* context_;
  InterfaceChangeTracker tracker_;
  DeviceChangeCallback callback_;
  libusb_hotplug_callback_handle hotplug_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<bool> changed_{false};
  std::thread thread_;
};

}  // namespace

std::unique_ptr<DeviceNotification> RegisterNativeDeviceNotification(
    std::vector<Guid> classes, DeviceChangeCallback callback) {
  libusb_context* context = nullptr;
  if (libusb_init(&context) != 0) {
    DebugPrint("RegisterDeviceNotification: libusb cannot start\n");
    return nullptr;
  }
  return std::make_unique<UsbNotification>(context, std::move(classes), std::move(callback));
}

}  // namespace vantor::platform
