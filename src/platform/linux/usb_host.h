// The USB devices this process has open on Linux, shared by the inventory (which opens
// and closes device interfaces) and the user-space proxy (which attaches to an opened
// interface and performs the control transfers of the URBs it is handed, over libusb).
//
// The class drivers stay bound: vendor and standard requests go to the device through
// usbfs without claiming an interface. A class request to an interface is routed by the
// driver bound to it: none (or usbfs) claims it; uvcvideo answers extension-unit
// requests through its extension-unit query on the video node; any other driver (the
// audio driver) is detached for as short a time as possible (until the next request
// that does not need the interface, or until the device is released) and attached again,
// both traced.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "platform/device_inventory.h"
#include "platform/proxy_wire.h"

struct libusb_context;
struct libusb_device_handle;

namespace vantor::platform::linux_usb {

// What to open: a device as sysfs showed it when the inventory listed it.
struct OpenTarget {
  std::wstring interfacePath;
  std::filesystem::path deviceDir;  // sysfs directory
  std::string deviceName;           // "3-1"
  std::uint32_t devnum = 0;
  std::string usbfsNode;  // /dev/bus/usb/003/007
  std::uint16_t vid = 0;
  std::uint16_t pid = 0;
};

// How a control transfer ended, in the proxy's terms.
struct TransferOutcome {
  enum class Kind { kOk, kStall, kGone, kTimeout, kFailed };
  Kind kind = Kind::kOk;
  std::uint32_t moved = 0;
  std::uint32_t error = 0;  // the platform error of a failed call (kGone, kTimeout, kFailed)
};

// libusb's result (bytes moved, or a LIBUSB_ERROR_*) in the proxy's terms; `gone`
// tells whether the device has left the bus meanwhile.
TransferOutcome MapLibusbResult(int result, bool gone);
// An errno of the extension-unit query on a video node in the proxy's terms.
TransferOutcome MapUvcQueryErrno(int error, std::uint32_t size);

// How a class request to an interface is carried, by the driver bound to it.
enum class ClassRoute { kClaim, kUvcQuery, kDetachDriver };
ClassRoute RouteClassRequest(const std::string& boundDriver, const ControlSetup& setup);

// The fields of the extension-unit query for a class request to a unit of a video
// control interface: unit, selector and query code. False when the request is not one
// (its recipient is not a unit, or the code is no query).
struct UvcQuery {
  std::uint8_t unit = 0;
  std::uint8_t selector = 0;
  std::uint8_t query = 0;
  std::uint16_t size = 0;
};
bool UvcQueryOf(const ControlSetup& setup, UvcQuery& out);

// The line a permission error prints: the device node and the fix.
std::string PermissionMessage(const std::string& node, std::uint16_t vid, std::uint16_t pid);

class UsbHost {
 public:
  explicit UsbHost(std::filesystem::path sysRoot);
  ~UsbHost();
  UsbHost(const UsbHost&) = delete;
  UsbHost& operator=(const UsbHost&) = delete;

  const std::filesystem::path& sysRoot() const { return sysRoot_; }

  // Opens the device's usbfs node for this interface path (one opening per path):
  // 0, kErrorSharingViolation, kErrorAccessDenied (after saying which node and how to
  // fix it), kErrorFileNotFound or kErrorDeviceNotConnected.
  std::uint32_t Open(const OpenTarget& target, InterfaceHandle& out);
  std::uint32_t Close(InterfaceHandle handle);
  bool IsOpen(std::wstring_view interfacePath);

  // The proxy's three operations on opened devices.
  bool Attach(std::uint64_t fileHandle, std::uint32_t& low, std::uint32_t& high);
  bool Detach(std::uint32_t low, std::uint32_t high);
  // One control transfer of a decoded URB on an attached device.
  TransferOutcome Transfer(std::uint32_t low, std::uint32_t high, std::uint16_t function,
                           const ControlSetup& setup, std::uint8_t* buffer,
                           std::uint32_t timeoutMs);

 private:
  struct Device;

  std::shared_ptr<Device> FindAttached(std::uint32_t low, std::uint32_t high);
  TransferOutcome ClassTransfer(Device& device, const ControlSetup& setup, std::uint8_t* buffer,
                                std::uint32_t timeoutMs);
  TransferOutcome DeviceTransfer(Device& device, const ControlSetup& setup, std::uint8_t* buffer,
                                 std::uint32_t timeoutMs);
  void ReattachDrivers(Device& device);
  bool Gone(const Device& device) const;

  std::filesystem::path sysRoot_;
  std::mutex mutex_;
  libusb_context* context_ = nullptr;
  std::map<InterfaceHandle, std::shared_ptr<Device>> open_;
  std::map<std::uint64_t, std::shared_ptr<Device>> attached_;
  InterfaceHandle nextHandle_ = 0x200;
  std::uint32_t nextAttach_ = 1;
  std::set<std::string> permissionNoticed_;
};

// The process's host on the system's own sysfs.
std::shared_ptr<UsbHost> SystemUsbHost();

}  // namespace vantor::platform::linux_usb
