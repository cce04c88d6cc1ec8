#include "device/device_enum.h"

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <utility>

#include "device/device_info.h"
#include "device/ext_unit_functions.h"
#include "device/proxy_protocol.h"
#include "device/vendor_functions.h"
#include "platform/clock.h"
#include "platform/last_error.h"
#include "platform/trace.h"

namespace vantor {

namespace P = platform;

namespace {

std::atomic<bool> gLocationPathsInUse{true};
// The root port and its companion, packed so that both change together.
std::atomic<std::uint64_t> gCompanion{0};

constexpr std::uint16_t kCompanionFamily = 0x1010;
constexpr int kCompanionParentLimit = 5;

bool Contains(std::wstring_view text, std::wstring_view part) {
  return text.find(part) != std::wstring_view::npos;
}

// A text as a fixed 260-character field keeps it.
std::wstring FieldText(std::wstring text) {
  if (text.size() >= kDeviceTextChars) text.resize(kDeviceTextChars - 1);
  return text;
}

std::wstring NumberedVideoName(std::size_t position) {
  return L"Usb Video Device #" + std::to_wstring(position);
}

// Present and without the problem flag.
bool IsListable(P::DeviceInventory& inventory, P::DevInst device) {
  std::uint32_t status = 0;
  std::uint32_t problem = 0;
  if (inventory.GetNodeStatus(device, status, problem) != 0) return false;
  return (status & P::kDnHasProblem) == 0;
}

std::wstring FirstLocationPath(P::DeviceInventory& inventory, P::DevInst device) {
  std::wstring path;
  if (inventory.GetTextProperty(device, P::DeviceProperty::kLocationPaths, path) != 0) {
    path.clear();
  }
  return FieldText(std::move(path));
}

// Entries for the devices of a list, in order; problem devices left out.
std::uint32_t FillEntries(P::DeviceInventory& inventory, const std::vector<P::DevInst>& devices,
                          bool withIdentity, std::vector<DeviceListEntry>& out) {
  for (P::DevInst device : devices) {
    if (!IsListable(inventory, device)) continue;
    DeviceListEntry entry;
    entry.devInst = device;
    std::wstring name;
    if (inventory.GetTextProperty(device, P::DeviceProperty::kFriendlyName, name) != 0) {
      name = NumberedVideoName(out.size() + 1);
    }
    entry.displayName = FieldText(std::move(name));
    if (withIdentity) {
      std::wstring id;
      std::uint32_t rc = inventory.GetDeviceInstanceId(device, id);
      if (rc != 0) return rc;
      std::size_t cut = id.find(L"&MI_");
      if (cut != std::wstring::npos) id.resize(cut);
      entry.bareDeviceId = FieldText(std::move(id));
      entry.locationPath = FirstLocationPath(inventory, device);
    }
    out.push_back(std::move(entry));
  }
  return 0;
}

std::uint32_t ListUsbDevices(P::DeviceInventory& inventory, std::vector<DeviceListEntry>& out) {
  std::vector<P::DeviceInterfaceEntry> interfaces;
  std::uint32_t rc = inventory.ListDeviceInterfaces(P::kGuidDevInterfaceUsbDevice, 0, interfaces);
  if (rc != 0) return rc;
  std::vector<P::DevInst> devices;
  for (const auto& entry : interfaces) devices.push_back(entry.device);
  return FillEntries(inventory, devices, true, out);
}

// Gives each audio entry the device instance of the composite USB device its media
// function belongs to: the USB device whose instance ID contains the entry's bare ID
// and whose location path the entry's location path contains.
std::uint32_t NameCompositeDevices(P::DeviceInventory& inventory,
                                   std::vector<DeviceListEntry>& audio) {
  std::vector<DeviceListEntry> usb;
  std::uint32_t rc = ListUsbDevices(inventory, usb);
  if (rc != 0) return rc;
  std::vector<bool> named(audio.size(), false);
  for (const DeviceListEntry& device : usb) {
    for (std::size_t i = 0; i < audio.size(); ++i) {
      if (named[i] || !Contains(device.bareDeviceId, audio[i].bareDeviceId) ||
          !Contains(audio[i].locationPath, device.locationPath)) {
        continue;
      }
      audio[i].devInst = device.devInst;
      named[i] = true;
      break;
    }
  }
  return 0;
}

std::uint32_t ListClass(P::DeviceInventory& inventory, const P::Guid& setupClass,
                        std::vector<P::DevInst>& devices) {
  std::vector<P::DevInst> found;
  std::uint32_t rc = inventory.ListClassDevices(setupClass, L"USB", found);
  if (rc != 0 && rc != P::kErrorNoMoreItems) return rc;
  devices.insert(devices.end(), found.begin(), found.end());
  return 0;
}

bool StartsWith(std::wstring_view text, std::wstring_view prefix, std::size_t n) {
  return text.size() >= n && prefix.size() >= n && text.substr(0, n) == prefix.substr(0, n);
}

std::uint32_t KindFromClass(std::wstring_view setupClass) {
  if (StartsWith(setupClass, L"Image", 5) || StartsWith(setupClass, L"Camera", 5)) {
    return kDeviceKindCamera;
  }
  if (StartsWith(setupClass, L"Media", 5)) return kDeviceKindAudio;
  if (StartsWith(setupClass, L"USB", 3)) return kDeviceKindUsb;
  return kDeviceKindAudio;
}

int HexDigit(wchar_t ch) {
  if (ch >= L'0' && ch <= L'9') return ch - L'0';
  if (ch >= L'A' && ch <= L'F') return ch - L'A' + 10;
  if (ch >= L'a' && ch <= L'f') return ch - L'a' + 10;
  return -1;
}

// The interface number in the (up to) two hexadecimal digits after "MI_".
std::uint32_t InterfaceNumberAt(std::wstring_view id, std::size_t digits) {
  std::uint32_t number = 0;
  for (std::size_t i = digits; i < id.size() && i < digits + 2; ++i) {
    int value = HexDigit(id[i]);
    if (value < 0) break;
    number = number * 16 + static_cast<std::uint32_t>(value);
  }
  return number;
}

const P::Guid& InterfaceClassOfKind(std::uint32_t kind) {
  switch (kind) {
    case kDeviceKindCamera:
      return P::kGuidKsCategoryVideoCamera;
    case kDeviceKindUsb:
      return P::kGuidDevInterfaceUsbDevice;
    default:
      return P::kGuidKsCategoryAudio;
  }
}

// Opens the first interface of the class that the device has.
std::uint32_t OpenFirstInterface(P::DeviceInventory& inventory, P::DevInst device,
                                 const P::Guid& interfaceClass, P::InterfaceHandle& handle) {
  std::vector<P::DeviceInterfaceEntry> interfaces;
  std::uint32_t rc = inventory.ListDeviceInterfaces(interfaceClass, device, interfaces);
  if (rc != 0) return rc;
  if (interfaces.empty()) return P::kErrorNoMoreItems;
  return inventory.OpenDeviceInterface(interfaces.front().path, handle);
}

// Stores the parents of `start` up to the root hub and the USB generation seen there.
// kOpenNotFound when a parent cannot be read or the root hub is not reached within
// kMaxAncestors parents.
std::uint32_t WalkParents(P::DeviceInventory& inventory, P::DevInst start, CamDevRecord& record) {
  P::DevInst current = start;
  std::size_t stored = 0;
  for (;;) {
    P::DevInst parent = 0;
    std::wstring parentId;
    if (inventory.GetParent(current, parent) != 0 || stored == kMaxAncestors ||
        inventory.GetDeviceInstanceId(parent, parentId) != 0) {
      return kOpenNotFound;
    }
    record.ancestors[stored++] = parent;
    record.usbGeneration = UsbGenerationOfParent(parentId);
    if (EndsParentWalk(parentId)) break;
    current = parent;
  }
  record.ancestorCount = static_cast<std::uint32_t>(stored + 1);
  return 0;
}

// The chip id registers through the device's command path: its vendor requests, or the
// extension unit of a device that answers only there.
bool ReadChipIdRegisters(const CamDevRecord& r, std::uint8_t (&chip)[2]) {
  if (VendorReadMem(r.hKvProxyDevLow, r.hKvProxyDevHigh, kChipIdRegister, 2, chip) == 0) {
    return true;
  }
  std::vector<std::uint8_t> config;
  if (ReadConfigDescriptor(r, config) != 0) return false;
  const std::optional<std::uint8_t> unit = FindCommandUnit(r, config);
  return unit &&
         ExtUnit_ReadMem(r.hKvProxyDevLow, r.hKvProxyDevHigh, *unit,
                         static_cast<std::uint8_t>(r.interfaceNumber), kChipIdRegister, 2, chip);
}

// The root port above the device and its companion, for family 0x1010 chips.
bool QueryCompanionPort(const CamDevRecord& record, P::DevInst device, std::uint32_t& rootPort,
                        std::uint32_t& companion) {
  std::uint8_t chip[2] = {};
  if (!ReadChipIdRegisters(record, chip)) return false;
  const std::uint16_t family =
      static_cast<std::uint16_t>(((chip[1] >> 4) << 12) | (chip[0] & 0xF0));
  if (family != kCompanionFamily) return false;

  auto inventory = P::GetDeviceInventory();
  P::DevInst below = device;
  P::DevInst rootHub = 0;
  for (int i = 0; i < kCompanionParentLimit && rootHub == 0; ++i) {
    P::DevInst parent = 0;
    std::wstring parentId;
    if (inventory->GetParent(below, parent) != 0 ||
        inventory->GetDeviceInstanceId(parent, parentId) != 0) {
      return false;
    }
    if (Contains(parentId, L"ROOT_HUB")) {
      rootHub = parent;
    } else {
      below = parent;
    }
  }
  std::uint32_t port = 0;
  if (rootHub == 0 || inventory->GetNumberProperty(below, P::DeviceProperty::kAddress, port) != 0) {
    return false;
  }
  std::vector<P::DeviceInterfaceEntry> hubs;
  if (inventory->ListDeviceInterfaces(P::kGuidDevInterfaceUsbHub, rootHub, hubs) != 0 ||
      hubs.empty()) {
    return false;
  }
  std::uint32_t answer = 0;
  if (inventory->GetHubPortCompanion(hubs.front().path, port, answer) != 0 || answer == 0) {
    return false;
  }
  rootPort = port;
  companion = answer;
  return true;
}

// Reads the device descriptor every 200 ms while the device answers "not ready".
void WaitUntilReady(const CamDevRecord& record, std::uint32_t budgetMs) {
  P::Clock& clock = P::GetClock();
  const std::uint64_t start = clock.NowMs();
  for (;;) {
    clock.Sleep(kReadinessProbeIntervalMs);
    std::uint8_t descriptor[kDeviceDescriptorLength];
    if (GetDeviceDescriptor(record.hKvProxyDevLow, record.hKvProxyDevHigh, descriptor)) return;
    if (P::GetLastError() != P::kErrorNotReady) return;
    if (budgetMs != 0 && clock.NowMs() - start >= budgetMs) {
      DebugPrint("OpenDeviceInstance: device still not ready after %u ms\n", budgetMs);
      return;
    }
  }
}

// Where the location path of the root hub (or of a hub standing for one) begins.
std::wstring_view FromRootHub(std::wstring_view path, std::wstring_view marker) {
  std::size_t at = path.find(marker);
  return at == std::wstring_view::npos ? path : path.substr(at);
}

// The port number of "#USB(<n>)" at `at`; false unless the digits are closed by ")".
bool PortAt(std::wstring_view path, std::size_t at, std::uint32_t& port, std::size_t& close) {
  constexpr std::wstring_view kMark = L"#USB(";
  std::size_t i = at + kMark.size();
  std::uint64_t value = 0;
  std::size_t digits = 0;
  for (; i < path.size() && path[i] >= L'0' && path[i] <= L'9' && digits < 9; ++i, ++digits) {
    value = value * 10 + static_cast<std::uint64_t>(path[i] - L'0');
  }
  if (digits == 0 || i >= path.size() || path[i] != L')') return false;
  port = static_cast<std::uint32_t>(value);
  close = i;
  return true;
}

// Same path but for the root port, which is the known port in one and its companion in
// the other.
bool SameButCompanion(std::wstring_view a, std::wstring_view b) {
  const std::uint64_t pair = gCompanion.load();
  const std::uint32_t rootPort = static_cast<std::uint32_t>(pair >> 32);
  const std::uint32_t companion = static_cast<std::uint32_t>(pair);
  if (companion == 0) return false;
  const std::size_t at = a.find(L"#USB(");
  if (at == std::wstring_view::npos || at != b.find(L"#USB(") ||
      a.substr(0, at) != b.substr(0, at)) {
    return false;
  }
  std::uint32_t portA = 0;
  std::uint32_t portB = 0;
  std::size_t closeA = 0;
  std::size_t closeB = 0;
  if (!PortAt(a, at, portA, closeA) || !PortAt(b, at, portB, closeB) ||
      a.substr(closeA) != b.substr(closeB)) {
    return false;
  }
  return (portA == rootPort && portB == companion) || (portA == companion && portB == rootPort);
}

}  // namespace

bool LocationPathsInUse() { return gLocationPathsInUse.load(); }
void SetLocationPathsInUse(bool inUse) { gLocationPathsInUse.store(inUse); }

std::uint32_t CompanionPort() { return static_cast<std::uint32_t>(gCompanion.load()); }
void SetCompanionPort(std::uint32_t rootPort, std::uint32_t companionPort) {
  gCompanion.store(std::uint64_t{rootPort} << 32 | companionPort);
}

std::uint32_t UsbGenerationOfParent(std::wstring_view id) {
  for (std::wstring_view hub :
       {L"ROOT_HUB30", L"TIUSBD_HUB", L"ROOT_HUB_FL30", L"VIA_ROOT_HUB", L"ASMEDIAUSBD_HUB"}) {
    if (Contains(id, hub)) return 3;
  }
  if (Contains(id, L"ROOT_HUB20") || Contains(id, L"IWSEPAL\\VRHUB")) return 2;
  return 1;
}

bool EndsParentWalk(std::wstring_view id) {
  for (std::wstring_view hub : {L"ROOT_HUB", L"VMUSB\\HUB", L"TIUSBD_HUB", L"ROOT_HUB_FL30",
                                L"VIA_ROOT_HUB", L"ASMEDIAUSBD_HUB", L"IWSEPAL\\VRHUB"}) {
    if (Contains(id, hub)) return true;
  }
  return false;
}

std::uint32_t EnumerateDevices(std::vector<DeviceListEntry>* entries, std::uint32_t* count,
                               std::uint32_t kind) {
  if (entries == nullptr || count == nullptr) return P::kErrorInvalidParameter;
  entries->clear();
  *count = 0;
  auto inventory = P::GetDeviceInventory();
  std::vector<DeviceListEntry> list;
  std::uint32_t rc = 0;
  switch (kind) {
    case kListAudio: {
      std::vector<P::DevInst> devices;
      rc = ListClass(*inventory, P::kGuidClassMedia, devices);
      if (rc == 0) rc = FillEntries(*inventory, devices, true, list);
      if (rc == 0) rc = NameCompositeDevices(*inventory, list);
      break;
    }
    case kListCamera: {
      std::vector<P::DevInst> devices;
      rc = ListClass(*inventory, P::kGuidClassImage, devices);
      if (rc == 0) rc = ListClass(*inventory, P::kGuidClassCamera, devices);
      if (rc == 0) rc = FillEntries(*inventory, devices, false, list);
      break;
    }
    case kListUsbDevices:
      rc = ListUsbDevices(*inventory, list);
      break;
    default:
      return P::kErrorInvalidParameter;
  }
  if (rc != 0 && rc != P::kErrorNoMoreItems) return rc;
  *count = static_cast<std::uint32_t>(list.size());
  *entries = std::move(list);
  return 0;
}

std::uint32_t OpenDeviceInstance(CamDevRecord* out, P::DevInst devInst,
                                 std::uint32_t readyBudgetMs) {
  if (out == nullptr) return P::kErrorInvalidParameter;
  auto inventory = P::GetDeviceInventory();
  CamDevRecord record;
  record.magic = kCamDevRecordMagic;
  record.usbGeneration = 0;

  std::wstring id;
  std::uint32_t rc = inventory->GetDeviceInstanceId(devInst, id);
  if (rc != 0) return rc;

  std::wstring text;
  if (inventory->GetTextProperty(devInst, P::DeviceProperty::kClass, text) == 0) {
    record.deviceKind = KindFromClass(text);
  }
  if (inventory->GetTextProperty(devInst, P::DeviceProperty::kFriendlyName, text) != 0 &&
      inventory->GetTextProperty(devInst, P::DeviceProperty::kDeviceDesc, text) != 0) {
    text.clear();
  }
  record.displayName = FieldText(text);
  if (LocationPathsInUse()) {
    record.locationPath = FirstLocationPath(*inventory, devInst);
  } else if (inventory->GetNumberProperty(devInst, P::DeviceProperty::kAddress, record.address) !=
             0) {
    record.address = 0;
  }
  // An interface of a composite device: its number, and the walk starts at the
  // composite device, whose own instance changes when the device re-enumerates.
  const std::size_t mi = id.find(L"MI_");
  const bool function = mi != std::wstring::npos;
  if (function) record.interfaceNumber = InterfaceNumberAt(id, mi + 3);

  // Failing that, the video interface; without one the first failure tells why.
  P::InterfaceHandle handle = 0;
  rc = OpenFirstInterface(*inventory, devInst, InterfaceClassOfKind(record.deviceKind), handle);
  if (rc != 0) {
    const std::uint32_t video =
        OpenFirstInterface(*inventory, devInst, P::kGuidKsCategoryVideo, handle);
    if (video != P::kErrorNoMoreItems) rc = video;
  }
  if (rc != 0) return rc;

  std::uint32_t low = 0;
  std::uint32_t high = 0;
  if (!ProxyAttach(handle, low, high)) {
    rc = P::GetLastError();
    inventory->CloseDeviceInterface(handle);
    P::SetLastError(rc);
    return rc != 0 ? rc : P::kErrorGenFailure;
  }
  record.hKvProxyDevLow = low;
  record.hKvProxyDevHigh = high;
  record.interfaceHandle = handle;

  P::DevInst start = devInst;
  if ((function && inventory->GetParent(devInst, start) != 0) ||
      WalkParents(*inventory, start, record) != 0) {
    record.Close();
    return kOpenNotFound;
  }
  record.devInst = devInst;
  *out = std::move(record);

  std::uint32_t rootPort = 0;
  std::uint32_t companion = 0;
  if (QueryCompanionPort(*out, devInst, rootPort, companion)) SetCompanionPort(rootPort, companion);

  WaitUntilReady(*out, readyBudgetMs);
  return 0;
}

std::uint32_t KvCam_OpenDevice(CamDevRecord* record, std::uint32_t index, std::uint32_t mode,
                               std::uint32_t readyBudgetMs) {
  if (record == nullptr) return P::kErrorInvalidParameter;
  std::vector<DeviceListEntry> list;
  std::uint32_t count = 0;
  std::uint32_t rc = EnumerateDevices(&list, &count, mode);
  if (rc != 0) return rc;
  if (index >= count) return kOpenNotFound;
  rc = OpenDeviceInstance(record, list[index].devInst, readyBudgetMs);
  if (rc == 0 && mode == kListAudio) record->displayName = list[index].displayName;
  return rc;
}

bool IsSameLocation(const CamDevRecord& newRecord, const CamDevRecord& oldRecord,
                    std::uint32_t /*resetArgument*/, std::uint32_t /*resetKind*/,
                    bool compareAncestors) {
  if (newRecord.ancestorCount != oldRecord.ancestorCount) return false;
  if (compareAncestors || !LocationPathsInUse()) {
    const std::size_t stored = std::min<std::size_t>(
        newRecord.ancestorCount == 0 ? 0 : newRecord.ancestorCount - 1, kMaxAncestors);
    return newRecord.address == oldRecord.address &&
           std::equal(newRecord.ancestors.begin(), newRecord.ancestors.begin() + stored,
                      oldRecord.ancestors.begin());
  }
  std::wstring_view a = newRecord.locationPath;
  std::wstring_view b = oldRecord.locationPath;
  if (Contains(a, L"USBROOT(") && Contains(b, L"USBROOT(")) {
    a = FromRootHub(a, L"USBROOT(");
    b = FromRootHub(b, L"USBROOT(");
  } else {
    a = FromRootHub(a, L"RHUB");
    b = FromRootHub(b, L"RHUB");
  }
  const std::size_t miA = a.find(L"USBMI(");
  const std::size_t miB = b.find(L"USBMI(");
  if (miA != std::wstring_view::npos && miB != std::wstring_view::npos) {
    a = a.substr(0, miA);
    b = b.substr(0, miB);
  }
  return a == b || SameButCompanion(a, b);
}

std::uint32_t GetDevInstPdoName(P::DevInst devInst, wchar_t* buffer, std::uint32_t* sizeBytes) {
  if (sizeBytes == nullptr) return P::kErrorInvalidParameter;
  auto inventory = P::GetDeviceInventory();
  std::uint32_t type = 0;
  std::uint32_t needed = 0;
  std::uint32_t rc =
      inventory->GetPropertyData(devInst, P::DeviceProperty::kPdoName, &type, nullptr, 0, &needed);
  if (rc != 0 && rc != P::kErrorInsufficientBuffer) {
    DebugPrint("SetupDiGetDeviceRegistryProperty error %d\n", static_cast<int>(rc));
    return rc;
  }
  if (buffer == nullptr || *sizeBytes < needed) {
    *sizeBytes = needed;
    return P::kErrorInsufficientBuffer;
  }
  rc = inventory->GetPropertyData(devInst, P::DeviceProperty::kPdoName, &type, buffer, *sizeBytes,
                                  &needed);
  if (rc != 0) {
    DebugPrint("GetDevInstPdoName::SetupDiGetDeviceRegistryProperty_2nd error %d\n",
               static_cast<int>(rc));
    return rc;
  }
  *sizeBytes = needed;
  return 0;
}

std::uint32_t GetDevInstPdoName(P::DevInst devInst, std::wstring& name) {
  name.clear();
  std::uint32_t size = 0;
  std::uint32_t rc = GetDevInstPdoName(devInst, nullptr, &size);
  if (rc != P::kErrorInsufficientBuffer) return rc;
  std::vector<wchar_t> chars(size / sizeof(wchar_t) + 1, L'\0');
  size = static_cast<std::uint32_t>(chars.size() * sizeof(wchar_t));
  rc = GetDevInstPdoName(devInst, chars.data(), &size);
  if (rc != 0) return rc;
  name.assign(chars.data(), ::wcsnlen(chars.data(), chars.size()));
  return 0;
}

bool GetCompanionPort(const CamDevRecord& record, P::DevInst devInst,
                      std::uint32_t* companionPort) {
  std::uint32_t rootPort = 0;
  std::uint32_t companion = 0;
  if (companionPort == nullptr || !QueryCompanionPort(record, devInst, rootPort, companion)) {
    return false;
  }
  *companionPort = companion;
  return true;
}

}  // namespace vantor
