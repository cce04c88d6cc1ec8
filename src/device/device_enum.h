// Finding the maker's audio and camera devices in the device inventory, opening one
// into a device record (interface opened exclusively, attached through the proxy, its
// place under the USB root hub recorded), and recognising the same physical device
// after a reset has re-enumerated it, possibly under a new device instance and on the
// companion port of a USB 3 root hub.
//
// Results are platform error codes (0 success) as the inventory and the proxy report
// them; a list that runs out (259) is the normal end of a listing, not an error.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "device/cam_dev_record.h"
#include "platform/device_inventory.h"

namespace vantor {

// Texts of list entries and device records hold at most this many characters,
// terminating zero included (longer texts are cut).
inline constexpr std::size_t kDeviceTextChars = 260;

// List kinds of EnumerateDevices (and list modes of KvCam_OpenDevice).
inline constexpr std::uint32_t kListAudio = 0;
inline constexpr std::uint32_t kListCamera = 1;
inline constexpr std::uint32_t kListUsbDevices = 2;

// The result of a device walk that cannot reach the root hub (more than 31 parents, or
// a parent that cannot be read), and of KvCam_OpenDevice for an index beyond the list.
inline constexpr std::uint32_t kOpenNotFound = 2;

// The readiness probe after an attach: a device descriptor read every 200 ms while the
// device answers "not ready", for at most the probe's time budget.
inline constexpr std::uint32_t kReadinessProbeIntervalMs = 200;
inline constexpr std::uint32_t kDefaultReadinessBudgetMs = 15000;

struct DeviceListEntry {
  // The device instance to open. Audio entries name the composite USB device the media
  // function belongs to (when it could be found), not the function itself.
  platform::DevInst devInst = 0;
  // The friendly name, or "Usb Video Device #<n>" with the entry's 1-based position.
  std::wstring displayName;
  // Audio entries: the function's instance ID cut before "&MI_" (USB devices: the whole
  // instance ID).
  std::wstring bareDeviceId;
  // Audio and USB device entries: the first location path (empty when there is none).
  std::wstring locationPath;
};

// Lists the present devices of a kind: 0 audio (setup class Media under "USB"),
// 1 camera (setup classes Image, then Camera, under "USB"), 2 USB devices (the USB
// device interfaces). Devices whose node status cannot be read or carries the problem
// flag are left out. `count` receives the number of entries. 87 when an output is
// missing or the kind is unknown; on any other failure the list is empty, the count 0
// and the result the platform error.
std::uint32_t EnumerateDevices(std::vector<DeviceListEntry>* entries, std::uint32_t* count,
                               std::uint32_t kind);

// Opens a device instance into `record`: kind from its setup class, display name,
// location path (or address), interface number from "MI_xx" of its instance ID, its
// device interface opened exclusively and attached through the proxy, the parents up to
// the root hub with the USB generation, the companion port (family 0x1010 chips), and
// then the readiness probe, which waits at most `readyBudgetMs` (0: without limit).
// 0 on success; otherwise the error of the failed step and nothing is left open, the
// caller's record untouched. A record the caller passes that still holds handles is
// closed before it is overwritten.
std::uint32_t OpenDeviceInstance(CamDevRecord* record, platform::DevInst devInst,
                                 std::uint32_t readyBudgetMs = kDefaultReadinessBudgetMs);

// Opens the index-th device of the list of `mode` (0 audio, 1 camera); in mode 0 the
// record then carries the list entry's display name. 2 when the index is beyond the list,
// else the result of the listing or of OpenDeviceInstance.
std::uint32_t KvCam_OpenDevice(CamDevRecord* record, std::uint32_t index, std::uint32_t mode,
                               std::uint32_t readyBudgetMs = kDefaultReadinessBudgetMs);

// Whether two records describe a device on the same place of the bus: the same number
// of ancestors, and then (with compareAncestors, or when location paths are not in use)
// the same address and ancestors, or else the same location path from the root hub on
// (a difference in the interface part "USBMI(" ignored), or the same path but for the
// root port being the device's port in one and that port's companion in the other.
// The reset argument and kind do not change the result.
bool IsSameLocation(const CamDevRecord& newRecord, const CamDevRecord& oldRecord,
                    std::uint32_t resetArgument, std::uint32_t resetKind, bool compareAncestors);

// The physical device object name of a device instance, read in two calls (size, then
// data) into `buffer` of `*sizeBytes` bytes, terminating zero included. 0 (`*sizeBytes`
// set to the bytes written); 122 when the buffer is missing or too small (`*sizeBytes`
// set to the size needed); 87 without `sizeBytes`; or the platform error.
std::uint32_t GetDevInstPdoName(platform::DevInst devInst, wchar_t* buffer,
                                std::uint32_t* sizeBytes);
// The same into a text.
std::uint32_t GetDevInstPdoName(platform::DevInst devInst, std::wstring& name);

// For a chip of family 0x1010 (chip id registers 0xFE21/0xFE22 read through vendor
// requests): the companion port of the root-hub port above `devInst`, as the root hub
// reports it. False for other chips, a device not below a root hub within five parents,
// or a port without a companion.
bool GetCompanionPort(const CamDevRecord& record, platform::DevInst devInst,
                      std::uint32_t* companionPort);

// Process-wide: whether location paths identify devices (set by the driver set-up from
// the system's version; true until then), and the companion port found by the last open
// that found one, with the root port it belongs to (0 until then).
bool LocationPathsInUse();
void SetLocationPathsInUse(bool inUse);
std::uint32_t CompanionPort();
void SetCompanionPort(std::uint32_t rootPort, std::uint32_t companionPort);

// The USB generation a parent of a device stands for: 3 for the USB 3 root hubs, 2 for
// the USB 2 root hubs, 1 for anything else (an external hub, the composite device).
std::uint32_t UsbGenerationOfParent(std::wstring_view parentId);
// Whether the walk up the parents ends after this parent (a root hub, or a hub that
// stands for one).
bool EndsParentWalk(std::wstring_view parentId);

}  // namespace vantor
