// Device-change notices on Linux: a thread waits for libusb's hotplug events (and looks
// at the inventory at least once a second, for the interfaces of a device that the
// kernel adds after the device itself) and reports the interface changes it finds.
#include <libusb.h>

#include <atomic>
#include <thread>

#include "platform/device_notifications.h"
#include "platform/last_error.h"
#include "platform/trace.h"

namespace vantor::platform {

namespace {

constexpr int kLookEveryMs = 1000;
constexpr int kEventWaitMs = 200;

class UsbSubscription final : public DeviceChangeSubscription {
 public:
  UsbSubscription(libusb_context* context, DeviceChangeHandler handler)
      : context_(context), tracker_(GetDeviceInventory()), handler_(std::move(handler)) {
    tracker_.Poll();
    if (libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG) != 0) {
      libusb_hotplug_register_callback(
          context_,
          static_cast<libusb_hotplug_event>(LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED |
                                            LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT),
          LIBUSB_HOTPLUG_NO_FLAGS, LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY,
          LIBUSB_HOTPLUG_MATCH_ANY, &UsbSubscription::OnHotplug, this, &hotplug_);
    }
    thread_ = std::thread([this] { Run(); });
  }

  ~UsbSubscription() override {
    stop_.store(true);
    thread_.join();
    if (hotplug_ != 0) libusb_hotplug_deregister_callback(context_, hotplug_);
    libusb_exit(context_);
  }

 private:
  static int OnHotplug(libusb_context*, libusb_device*, libusb_hotplug_event, void* self) {
    static_cast<UsbSubscription*>(self)->changed_.store(true);
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
      for (const DeviceChangeNotice& notice : tracker_.Poll()) {
        if (!stop_.load()) handler_(notice);
      }
    }
  }

  libusb_context* context_;
  InterfaceChangeTracker tracker_;
  DeviceChangeHandler handler_;
  libusb_hotplug_callback_handle hotplug_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<bool> changed_{false};
  std::thread thread_;
};

}  // namespace

std::unique_ptr<DeviceChangeSubscription> SubscribeNativeDeviceChanges(
    DeviceChangeHandler handler) {
  libusb_context* context = nullptr;
  if (libusb_init(&context) != 0) {
    DebugPrint("SubscribeDeviceChanges: libusb cannot start\n");
    SetLastError(kErrorNotSupported);
    return nullptr;
  }
  return std::make_unique<UsbSubscription>(context, std::move(handler));
}

}  // namespace vantor::platform
