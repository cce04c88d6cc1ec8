#include "platform/linux/usb_host.h"

#include <fcntl.h>
#include <libusb.h>
#include <linux/usb/video.h>
#include <linux/uvcvideo.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/last_error.h"
#include "platform/linux/usb_sysfs.h"
#include "platform/trace.h"

namespace vantor::platform::linux_usb {

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kErrorBusy = 170;
constexpr std::uint32_t kDefaultTimeoutMs = 5000;

std::uint64_t Key(std::uint32_t low, std::uint32_t high) { return std::uint64_t{high} << 32 | low; }

TransferOutcome Failed(TransferOutcome::Kind kind, std::uint32_t error) {
  TransferOutcome out;
  out.kind = kind;
  out.error = error;
  return out;
}

std::uint32_t OpenErrno(int error) {
  switch (error) {
    case EACCES:
    case EPERM:
      return kErrorAccessDenied;
    case ENOENT:
      return kErrorFileNotFound;
    case ENODEV:
    case ENXIO:
      return kErrorDeviceNotConnected;
    default:
      return kErrorGenFailure;
  }
}

}  // namespace

TransferOutcome MapLibusbResult(int result, bool gone) {
  if (result >= 0) {
    TransferOutcome out;
    out.moved = static_cast<std::uint32_t>(result);
    return out;
  }
  if (result == LIBUSB_ERROR_PIPE) return Failed(TransferOutcome::Kind::kStall, 0);
  if (result == LIBUSB_ERROR_NO_DEVICE || gone) {
    return Failed(TransferOutcome::Kind::kGone, kErrorDeviceNotConnected);
  }
  switch (result) {
    case LIBUSB_ERROR_TIMEOUT:
      return Failed(TransferOutcome::Kind::kTimeout, kErrorSemTimeout);
    case LIBUSB_ERROR_ACCESS:
      return Failed(TransferOutcome::Kind::kFailed, kErrorAccessDenied);
    case LIBUSB_ERROR_BUSY:
      return Failed(TransferOutcome::Kind::kFailed, kErrorBusy);
    default:
      return Failed(TransferOutcome::Kind::kFailed, kErrorGenFailure);
  }
}

TransferOutcome MapUvcQueryErrno(int error, std::uint32_t size) {
  switch (error) {
    case 0: {
      TransferOutcome out;
      out.moved = size;
      return out;
    }
    case ENODEV:
    case ESHUTDOWN:
      return Failed(TransferOutcome::Kind::kGone, kErrorDeviceNotConnected);
    case ETIMEDOUT:
      return Failed(TransferOutcome::Kind::kTimeout, kErrorSemTimeout);
    case EACCES:
    case EPERM:
      return Failed(TransferOutcome::Kind::kFailed, kErrorAccessDenied);
    case EPIPE:    // the device stalled
    case ENOENT:   // no such unit or control
    case EINVAL:   // no such query
    case ENOBUFS:  // a length other than the control's
    case EBADRQC:  // a query the control does not support
    case ERANGE:
      return Failed(TransferOutcome::Kind::kStall, 0);
    default:
      return Failed(TransferOutcome::Kind::kFailed, kErrorGenFailure);
  }
}

bool UvcQueryOf(const ControlSetup& setup, UvcQuery& out) {
  if ((setup.bmRequestType & 0x7F) != 0x21 || (setup.wIndex >> 8) == 0) return false;
  const std::uint8_t code = setup.bRequest;
  const bool set = code == UVC_SET_CUR && !setup.in();
  const bool get = code >= UVC_GET_CUR && code <= UVC_GET_DEF && setup.in();
  if (!set && !get) return false;
  out.unit = static_cast<std::uint8_t>(setup.wIndex >> 8);
  out.selector = static_cast<std::uint8_t>(setup.wValue >> 8);
  out.query = code;
  out.size = setup.wLength;
  return true;
}

ClassRoute RouteClassRequest(const std::string& boundDriver, const ControlSetup& setup) {
  if (boundDriver.empty() || boundDriver == "usbfs") return ClassRoute::kClaim;
  UvcQuery query;
  if (boundDriver == "uvcvideo" && UvcQueryOf(setup, query)) return ClassRoute::kUvcQuery;
  return ClassRoute::kDetachDriver;
}

std::string PermissionMessage(const std::string& node, std::uint16_t vid, std::uint16_t pid) {
  char text[512];
  std::snprintf(text, sizeof text,
                "vantorfw: no permission to open %s (USB device %04x:%04x). Install the udev "
                "rule that gives the logged-in user access (as root: cp "
                "resources/linux/70-vantorfw.rules /etc/udev/rules.d/ && udevadm control "
                "--reload && udevadm trigger), then plug the device in again; or run as root.",
                node.c_str(), vid, pid);
  return text;
}

struct UsbHost::Device {
  OpenTarget target;
  InterfaceHandle handle = 0;
  int fd = -1;
  libusb_device_handle* usb = nullptr;
  std::mutex mutex;  // one transfer at a time: claims and detached drivers change
  std::set<std::uint8_t> claimed;
  std::map<std::uint8_t, std::string> detached;
  std::map<std::uint8_t, int> videoNodes;
};

UsbHost::UsbHost(fs::path sysRoot) : sysRoot_(std::move(sysRoot)) {}

UsbHost::~UsbHost() {
  std::map<InterfaceHandle, std::shared_ptr<Device>> open;
  {
    std::lock_guard lock(mutex_);
    open = open_;
  }
  for (const auto& [handle, device] : open) Close(handle);
  if (context_ != nullptr) libusb_exit(context_);
}

bool UsbHost::IsOpen(std::wstring_view interfacePath) {
  std::lock_guard lock(mutex_);
  for (const auto& [handle, device] : open_) {
    if (device->target.interfacePath == interfacePath) return true;
  }
  return false;
}

std::uint32_t UsbHost::Open(const OpenTarget& target, InterfaceHandle& out) {
  std::lock_guard lock(mutex_);
  for (const auto& [handle, device] : open_) {
    if (device->target.interfacePath == target.interfacePath) return kErrorSharingViolation;
  }
  if (CurrentDevnum(target.deviceDir) != target.devnum) return kErrorDeviceNotConnected;
  if (context_ == nullptr) {
    const int rc = libusb_init(&context_);
    if (rc != 0) {
      context_ = nullptr;
      DebugPrint("CLinuxUsbHost::Open: libusb cannot start (%s)\n", libusb_error_name(rc));
      return kErrorGenFailure;
    }
  }
  const int fd = ::open(target.usbfsNode.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    const std::uint32_t code = OpenErrno(error);
    DebugPrint("CLinuxUsbHost::Open: %s: %s\n", target.usbfsNode.c_str(), std::strerror(error));
    if (code == kErrorAccessDenied && permissionNoticed_.insert(target.usbfsNode).second) {
      const std::string message = PermissionMessage(target.usbfsNode, target.vid, target.pid);
      DebugPrint("%s\n", message.c_str());
      std::fprintf(stderr, "%s\n", message.c_str());
    }
    return code;
  }
  libusb_device_handle* usb = nullptr;
  const int rc = libusb_wrap_sys_device(context_, static_cast<intptr_t>(fd), &usb);
  if (rc != 0) {
    ::close(fd);
    DebugPrint("CLinuxUsbHost::Open: %s: %s\n", target.usbfsNode.c_str(), libusb_error_name(rc));
    return rc == LIBUSB_ERROR_NO_DEVICE ? kErrorDeviceNotConnected : kErrorGenFailure;
  }
  auto device = std::make_shared<Device>();
  device->target = target;
  device->fd = fd;
  device->usb = usb;
  device->handle = nextHandle_++;
  open_[device->handle] = device;
  out = device->handle;
  return 0;
}

std::uint32_t UsbHost::Close(InterfaceHandle handle) {
  std::shared_ptr<Device> device;
  {
    std::lock_guard lock(mutex_);
    auto it = open_.find(handle);
    if (it == open_.end()) return kErrorInvalidHandle;
    device = it->second;
    open_.erase(it);
    for (auto a = attached_.begin(); a != attached_.end();) {
      a = a->second == device ? attached_.erase(a) : std::next(a);
    }
  }
  std::lock_guard lock(device->mutex);
  ReattachDrivers(*device);
  for (std::uint8_t number : device->claimed) libusb_release_interface(device->usb, number);
  device->claimed.clear();
  for (const auto& [number, fd] : device->videoNodes) ::close(fd);
  device->videoNodes.clear();
  libusb_close(device->usb);
  ::close(device->fd);
  device->usb = nullptr;
  device->fd = -1;
  return 0;
}

bool UsbHost::Attach(std::uint64_t fileHandle, std::uint32_t& low, std::uint32_t& high) {
  std::lock_guard lock(mutex_);
  auto it =
      fileHandle > 0xFFFFFFFFu ? open_.end() : open_.find(static_cast<InterfaceHandle>(fileHandle));
  if (it == open_.end()) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  if (Gone(*it->second)) {
    SetLastError(kErrorDeviceNotConnected);
    return false;
  }
  low = nextAttach_++;
  high = 0;
  attached_[Key(low, high)] = it->second;
  return true;
}

bool UsbHost::Detach(std::uint32_t low, std::uint32_t high) {
  std::shared_ptr<Device> device;
  {
    std::lock_guard lock(mutex_);
    auto it = attached_.find(Key(low, high));
    if (it == attached_.end()) {
      SetLastError(kErrorInvalidHandle);
      return false;
    }
    device = it->second;
    attached_.erase(it);
  }
  std::lock_guard lock(device->mutex);
  ReattachDrivers(*device);
  return true;
}

std::shared_ptr<UsbHost::Device> UsbHost::FindAttached(std::uint32_t low, std::uint32_t high) {
  std::lock_guard lock(mutex_);
  auto it = attached_.find(Key(low, high));
  return it == attached_.end() ? nullptr : it->second;
}

bool UsbHost::Gone(const Device& device) const {
  return CurrentDevnum(device.target.deviceDir) != device.target.devnum;
}

TransferOutcome UsbHost::Transfer(std::uint32_t low, std::uint32_t high, std::uint16_t function,
                                  const ControlSetup& setup, std::uint8_t* buffer,
                                  std::uint32_t timeoutMs) {
  std::shared_ptr<Device> device = FindAttached(low, high);
  if (!device) return Failed(TransferOutcome::Kind::kFailed, kErrorInvalidHandle);
  if (timeoutMs == 0) timeoutMs = kDefaultTimeoutMs;
  std::lock_guard lock(device->mutex);
  if (device->usb == nullptr) return Failed(TransferOutcome::Kind::kGone, kErrorDeviceNotConnected);
  if (function == kUrbFunctionClassInterface) {
    return ClassTransfer(*device, setup, buffer, timeoutMs);
  }
  // A request that needs no interface: a class driver set aside comes back first.
  ReattachDrivers(*device);
  return DeviceTransfer(*device, setup, buffer, timeoutMs);
}

TransferOutcome UsbHost::DeviceTransfer(Device& device, const ControlSetup& setup,
                                        std::uint8_t* buffer, std::uint32_t timeoutMs) {
  const int rc =
      libusb_control_transfer(device.usb, setup.bmRequestType, setup.bRequest, setup.wValue,
                              setup.wIndex, buffer, setup.wLength, timeoutMs);
  return MapLibusbResult(rc, rc < 0 && Gone(device));
}

TransferOutcome UsbHost::ClassTransfer(Device& device, const ControlSetup& setup,
                                       std::uint8_t* buffer, std::uint32_t timeoutMs) {
  const auto number = static_cast<std::uint8_t>(setup.wIndex & 0xFF);
  const fs::path& dir = device.target.deviceDir;
  const std::string configuration = ReadAttribute(dir / "bConfigurationValue");
  const fs::path interfaceDir =
      dir / (device.target.deviceName + ":" + configuration + "." + std::to_string(number));
  std::error_code ec;
  const std::string driver = fs::read_symlink(interfaceDir / "driver", ec).filename().string();
  const char* name = device.target.deviceName.c_str();

  switch (RouteClassRequest(driver, setup)) {
    case ClassRoute::kUvcQuery: {
      auto node = device.videoNodes.find(number);
      if (node == device.videoNodes.end()) {
        std::string video;
        for (const auto& entry : fs::directory_iterator(interfaceDir / "video4linux", ec)) {
          const std::string n = entry.path().filename().string();
          if (n.rfind("video", 0) == 0 && (video.empty() || n < video)) video = n;
        }
        const int fd = video.empty() ? -1 : ::open(("/dev/" + video).c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) {
          DebugPrint("CLinuxUsbHost: no video node for interface %u of %s\n", number, name);
          return Gone(device) ? Failed(TransferOutcome::Kind::kGone, kErrorDeviceNotConnected)
                              : Failed(TransferOutcome::Kind::kFailed, OpenErrno(errno));
        }
        node = device.videoNodes.emplace(number, fd).first;
      }
      UvcQuery query;
      UvcQueryOf(setup, query);
      uvc_xu_control_query xu{};
      xu.unit = query.unit;
      xu.selector = query.selector;
      xu.query = query.query;
      xu.size = query.size;
      xu.data = buffer;
      const int error = ::ioctl(node->second, UVCIOC_CTRL_QUERY, &xu) == 0 ? 0 : errno;
      return MapUvcQueryErrno(error, query.size);
    }
    case ClassRoute::kDetachDriver: {
      const int rc = libusb_detach_kernel_driver(device.usb, number);
      if (rc != 0 && rc != LIBUSB_ERROR_NOT_FOUND) {
        return MapLibusbResult(rc, Gone(device));
      }
      DebugPrint(
          "CLinuxUsbHost: detached the %s driver from interface %u of %s for an "
          "extension-unit request\n",
          driver.c_str(), number, name);
      device.detached[number] = driver;
      break;
    }
    case ClassRoute::kClaim:
      break;
  }
  if (device.claimed.count(number) == 0) {
    const int rc = libusb_claim_interface(device.usb, number);
    if (rc != 0) {
      DebugPrint("CLinuxUsbHost: cannot claim interface %u of %s (%s)\n", number, name,
                 libusb_error_name(rc));
      return MapLibusbResult(rc, Gone(device));
    }
    device.claimed.insert(number);
  }
  return DeviceTransfer(device, setup, buffer, timeoutMs);
}

void UsbHost::ReattachDrivers(Device& device) {
  for (const auto& [number, driver] : device.detached) {
    libusb_release_interface(device.usb, number);
    device.claimed.erase(number);
    const int rc = libusb_attach_kernel_driver(device.usb, number);
    DebugPrint("CLinuxUsbHost: %s the %s driver to interface %u of %s%s%s\n",
               rc == 0 ? "re-attached" : "could not re-attach", driver.c_str(), number,
               device.target.deviceName.c_str(), rc == 0 ? "" : ": ",
               rc == 0 ? "" : libusb_error_name(rc));
  }
  device.detached.clear();
}

std::shared_ptr<UsbHost> SystemUsbHost() {
  static const std::shared_ptr<UsbHost> host = std::make_shared<UsbHost>("/sys");
  return host;
}

}  // namespace vantor::platform::linux_usb
