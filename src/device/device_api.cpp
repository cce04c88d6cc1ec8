// The device API: state, set-up, open and close, identity, resets with reopen.
#include "device/device_api.h"

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

#include "device/device_api_state.h"
#include "device/device_enum.h"
#include "device/driver_setup.h"
#include "device/ext_unit.h"
#include "device/hub_identity.h"
#include "device/reopen.h"
#include "platform/text.h"

namespace vantor {

namespace P = platform;
using device_api_detail::ApiState;
using device_api_detail::SetCurrentDevice;
using device_api_detail::State;

namespace device_api_detail {

ApiState& State() {
  static ApiState state;
  return state;
}

void SetCurrentDevice(std::unique_ptr<CCamDev> device) {
  std::unique_ptr<CCamDev> previous;
  {
    std::lock_guard lock(State().mutex);
    previous = std::exchange(State().device, std::move(device));
  }
  // Released outside the lock: closing a record talks to the proxy.
  previous.reset();
}

CVendorCmdCommon* CommandTransport(std::uint32_t flags) {
  CCamDev* device = State().device.get();
  if (device == nullptr) return nullptr;
  if ((flags & kLibFlagExtUnit) != 0) return device->GetExtUnit();
  return device->GetCmd();
}

CExtUnit* ExtUnitOnly() {
  CCamDev* device = State().device.get();
  if (State().libType != 0 || device == nullptr || device->GetInfo() == nullptr) return nullptr;
  return device->GetExtUnit();
}

}  // namespace device_api_detail

namespace {

// String descriptors are read in this language, at most this many bytes.
constexpr std::uint16_t kStringLanguage = 0x0409;
constexpr std::uint32_t kStringBytes = 256;
// String indexes in the device descriptor.
constexpr std::size_t kManufacturerIndexAt = 14;
constexpr std::size_t kProductIndexAt = 15;
constexpr std::size_t kSerialIndexAt = 16;

// The version record of a firmware image.
constexpr std::uint32_t kVersionOffsetSmall = 283;
constexpr std::uint32_t kVersionOffsetLarge = 4108;
constexpr std::uint32_t kVersionLargeImage = 0x10000;

CCamDev* Current() { return State().device.get(); }

// The string descriptor the device descriptor names at `indexAt`; an index of 0 (the
// device has no such string) gives an empty text.
int ReadDeviceString(CCamDev& device, std::size_t indexAt, std::wstring* text) {
  const CamDevInfo* info = device.GetInfo();
  if (info == nullptr) return 0;
  const std::uint8_t index = info->deviceDescriptor[indexAt];
  std::wstring value;
  if (index != 0) {
    std::uint8_t bytes[kStringBytes] = {};
    std::uint32_t moved = 0;
    if (device.GetStringDescriptor(bytes, kStringBytes, index, kStringLanguage, &moved) != 0) {
      return 0;
    }
    value = StringDescriptorText(bytes, std::min<std::uint32_t>(moved, kStringBytes));
  }
  if (text != nullptr) *text = std::move(value);
  return 1;
}

// The hub-based entry of a USB device (non-zero lib type); null when the hubs do not
// identify it.
bool HubEntry(P::DevInst devInst, HubDeviceEntry& out) {
  std::vector<HubDeviceEntry> list;
  if (EnumerateHubIdentities(list) != 0) return false;
  const HubDeviceEntry* entry = FindHubIdentity(list, devInst);
  if (entry == nullptr || !entry->identified) return false;
  out = *entry;
  return true;
}

int ResetWithReopen(LibHandle* outHandle, std::uint32_t argument, std::uint32_t kind,
                    std::uint32_t flags, std::uint32_t settleMs, bool listFromFlags) {
  CCamDev* device = Current();
  if (device == nullptr) {
    if (outHandle != nullptr) *outHandle = 0;
    return 0;
  }
  CamDevRecord& record = device->Record();
  const CamDevInfo* info = device->GetInfo();
  bool flagsKnown = false;
  if (listFromFlags) {
    record.deviceKind = (flags & kLibFlagAudioList) != 0 ? kDeviceKindAudio : kDeviceKindCamera;
    flagsKnown = (flags & kLibFlagKnownFlags) != 0;
  }
  const std::uint32_t rc = ReopenKvCam(&record, argument, kind, info != nullptr ? info->unitId : 0,
                                       info != nullptr ? info->legacyVendor : 0,
                                       info != nullptr ? info->vendorRequests : 0, flagsKnown,
                                       (flags & kLibFlagExtUnit) != 0, kLibResetBudgetMs,
                                       device->ArrivalEvent(), settleMs);
  if (rc == 0) {
    device->RebuildTransports();
    if (device->GetCmd() == nullptr) return 0;
    State().handle = record.devInst;
    if (outHandle != nullptr) *outHandle = record.devInst;
    return 1;
  }
  // Never leave a stale device: drop it and try the first listed device again.
  SetCurrentDevice(nullptr);
  State().handle = 0;
  const LibHandle reopened = Lib_OpenDevice(0);
  if (outHandle != nullptr) *outHandle = reopened;
  return 0;
}

}  // namespace

// ---- Set-up ----

int Lib_Init(std::uint32_t /*unused*/, std::int32_t libType) {
  State().libType = libType;
  return ProxyDriverSetUp() ? 1 : 0;
}

int Lib_Uninit() {
  SetCurrentDevice(nullptr);
  State().handle = 0;
  ProxyDriverTearDown();
  return 1;
}

std::int32_t Lib_GetLibType() { return State().libType; }

// ---- Open and close ----

std::uint8_t Lib_GetDeviceCount() {
  std::vector<DeviceListEntry> list;
  std::uint32_t count = 0;
  if (EnumerateDevices(&list, &count, kListAudio) != 0) return 0;
  return static_cast<std::uint8_t>(std::min<std::uint32_t>(count, 0xFF));
}

LibHandle Lib_OpenDevice(std::uint32_t index) {
  if (Current() != nullptr) return State().handle;
  CamDevRecord record;
  if (KvCam_OpenDevice(&record, index, kListAudio) != 0) return 0;
  std::unique_ptr<CCamDev> device = CreateCamDev(std::move(record));
  if (!device) {
    SetCurrentDevice(nullptr);
    return 0;
  }
  SetCurrentDevice(std::move(device));
  if (Lib_DevQualify(0) == 0) {
    SetCurrentDevice(nullptr);
    return 0;
  }
  State().handle = Current()->Record().devInst;
  return State().handle;
}

int Lib_CloseDevice(LibHandle /*handle*/) {
  SetCurrentDevice(nullptr);
  State().handle = 0;
  return 1;
}

LibHandle Lib_GetHandle() { return Current() != nullptr ? Current()->Record().devInst : 0; }

int Lib_DevQualify(LibHandle /*handle*/) {
  CExtUnit* xu = device_api_detail::ExtUnitOnly();
  return xu != nullptr && xu->DevQualify() ? 1 : 0;
}

CCamDev* Lib_GetCurrentDevice() { return Current(); }

// ---- Identity ----

int Lib_GetIds(LibHandle handle, std::uint16_t* idVendor, std::uint16_t* idProduct,
               std::uint16_t* bcdDevice) {
  if (idVendor == nullptr || idProduct == nullptr || handle == 0) return 0;
  if (State().libType != 0) {
    HubDeviceEntry entry;
    if (!HubEntry(handle, entry)) return 0;
    *idVendor = entry.idVendor;
    *idProduct = entry.idProduct;
    if (bcdDevice != nullptr) *bcdDevice = entry.bcdDevice;
    return 1;
  }
  CCamDev* device = Current();
  const CamDevInfo* info = device != nullptr ? device->GetInfo() : nullptr;
  if (info == nullptr) return 0;
  *idVendor = info->idVendor();
  *idProduct = info->idProduct();
  if (bcdDevice != nullptr) *bcdDevice = info->bcdDevice();
  return 1;
}

int Lib_GetDevInfo(LibHandle handle, std::uint16_t* idVendor, std::uint16_t* idProduct,
                   std::uint16_t* bcdDevice, std::wstring* manufacturer) {
  if (Lib_GetIds(handle, idVendor, idProduct, bcdDevice) == 0) return 0;
  if (State().libType != 0) {
    HubDeviceEntry entry;
    if (!HubEntry(handle, entry)) return 0;
    if (manufacturer != nullptr) *manufacturer = entry.manufacturer;
    return 1;
  }
  return ReadDeviceString(*Current(), kManufacturerIndexAt, manufacturer);
}

int Lib_GetManufacturerString(std::wstring* text) {
  if (State().libType != 0) {
    std::vector<HubDeviceEntry> list;
    if (EnumerateHubIdentities(list) != 0) return 0;
    const auto first = std::find_if(list.begin(), list.end(),
                                    [](const HubDeviceEntry& e) { return e.identified; });
    if (first == list.end()) return 0;
    if (text != nullptr) *text = first->manufacturer;
    return 1;
  }
  // A device of its own, dropped again: only while no device is open (the open interface
  // is exclusive).
  if (Current() != nullptr) return 0;
  CamDevRecord record;
  if (KvCam_OpenDevice(&record, 0, kListAudio) != 0) return 0;
  std::unique_ptr<CCamDev> device = CreateCamDev(std::move(record));
  return device ? ReadDeviceString(*device, kManufacturerIndexAt, text) : 0;
}

int Lib_GetSerialString(LibHandle handle, std::wstring* text) {
  if (State().libType != 0) {
    HubDeviceEntry entry;
    if (!HubEntry(handle, entry)) return 0;
    if (text != nullptr) *text = entry.serialNumber;
    return 1;
  }
  CCamDev* device = Current();
  return device != nullptr ? ReadDeviceString(*device, kSerialIndexAt, text) : 0;
}

int Lib_GetProductString(LibHandle /*handle*/, std::wstring* text) {
  CCamDev* device = Current();
  if (State().libType != 0 || device == nullptr) return 0;
  return ReadDeviceString(*device, kProductIndexAt, text);
}

int Lib_GetDeviceName(LibHandle /*handle*/, std::wstring* text) {
  CCamDev* device = Current();
  if (device == nullptr) return 0;
  if (text != nullptr) *text = device->Record().displayName;
  return 1;
}

int Lib_GetPortInfo(P::DevInst devInst, std::uint32_t* address, P::DevInst* hub) {
  if (devInst == 0 || address == nullptr || hub == nullptr) return 0;
  auto inventory = P::GetDeviceInventory();
  std::uint32_t value = 0;
  if (inventory->GetNumberProperty(devInst, P::DeviceProperty::kAddress, value) != 0) value = 0;
  std::wstring id;
  if (inventory->GetDeviceInstanceId(devInst, id) != 0) return 0;
  P::DevInst parent = 0;
  if (inventory->GetParent(devInst, parent) != 0) return 0;
  if (id.find(L"MI_") != std::wstring::npos && inventory->GetParent(parent, parent) != 0) {
    return 0;
  }
  *address = value;
  *hub = parent;
  return 1;
}

int Lib_FormatVersion(const std::uint8_t* buffer, std::uint32_t length, std::wstring* text,
                      std::array<std::uint16_t, 6>* fields) {
  const std::uint32_t at = length >= kVersionLargeImage ? kVersionOffsetLarge : kVersionOffsetSmall;
  if (buffer == nullptr || length < at + 8) return 0;
  const std::uint8_t* v = buffer + at;
  const std::array<std::uint16_t, 6> values = {
      static_cast<std::uint16_t>(v[0] >> 4),
      static_cast<std::uint16_t>(v[0] & 0x0F),
      v[1],
      static_cast<std::uint16_t>(v[2] << 8 | v[3]),
      static_cast<std::uint16_t>(v[4] << 8 | v[5]),
      static_cast<std::uint16_t>(v[6] << 8 | v[7]),
  };
  if (text != nullptr) {
    char formatted[32];
    std::snprintf(formatted, sizeof formatted, "%01X.%01X%02X.%04X-%04X.%04X", values[0], values[1],
                  values[2], values[3], values[4], values[5]);
    *text = P::FromAnsi(formatted);
  }
  if (fields != nullptr) *fields = values;
  return 1;
}

// ---- Arrival and resets ----

int Lib_SignalDeviceArrival() {
  std::lock_guard lock(State().mutex);
  if (State().libType != 0 || !State().device) return 0;
  State().device->SignalDeviceArrival();
  return State().device->ArrivalEvent() != nullptr ? 1 : 0;
}

int Lib_Reset7(LibHandle* outHandle, std::uint32_t argument, std::uint32_t flags,
               std::uint32_t settleMs) {
  return ResetWithReopen(outHandle, argument, kResetToUpdate, flags, settleMs, false);
}

int Lib_Reset9(LibHandle* outHandle, std::uint32_t flags, std::uint32_t settleMs) {
  return ResetWithReopen(outHandle, 0, kResetToRom, flags, settleMs, true);
}

int Lib_Reset10(LibHandle* outHandle, std::uint32_t flags, std::uint32_t settleMs) {
  return ResetWithReopen(outHandle, 0, kResetToRomVendor, flags, settleMs, true);
}

}  // namespace vantor
