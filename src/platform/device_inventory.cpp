#include "platform/device_inventory.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwctype>
#include <mutex>
#include <utility>

#include "platform/last_error.h"

namespace vantor::platform {

void Guid::ToBytes(std::uint8_t out[16]) const {
  out[0] = static_cast<std::uint8_t>(d1);
  out[1] = static_cast<std::uint8_t>(d1 >> 8);
  out[2] = static_cast<std::uint8_t>(d1 >> 16);
  out[3] = static_cast<std::uint8_t>(d1 >> 24);
  out[4] = static_cast<std::uint8_t>(d2);
  out[5] = static_cast<std::uint8_t>(d2 >> 8);
  out[6] = static_cast<std::uint8_t>(d3);
  out[7] = static_cast<std::uint8_t>(d3 >> 8);
  std::memcpy(out + 8, d4, 8);
}

Guid Guid::FromBytes(const std::uint8_t in[16]) {
  Guid g;
  g.d1 = std::uint32_t{in[0]} | std::uint32_t{in[1]} << 8 | std::uint32_t{in[2]} << 16 |
         std::uint32_t{in[3]} << 24;
  g.d2 = static_cast<std::uint16_t>(in[4] | in[5] << 8);
  g.d3 = static_cast<std::uint16_t>(in[6] | in[7] << 8);
  std::memcpy(g.d4, in + 8, 8);
  return g;
}

std::wstring Guid::ToText() const {
  char text[40];
  std::snprintf(text, sizeof text, "{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}", d1, d2, d3,
                d4[0], d4[1], d4[2], d4[3], d4[4], d4[5], d4[6], d4[7]);
  return std::wstring(text, text + std::strlen(text));
}

std::wstring DeviceInterfacePath(std::wstring_view instanceId, const Guid& interfaceClass,
                                 bool kernelStreaming) {
  std::wstring body = LowerText(instanceId);
  std::replace(body.begin(), body.end(), L'\\', L'#');
  return L"\\\\?\\" + body + L"#" + interfaceClass.ToText() + (kernelStreaming ? L"\\global" : L"");
}

std::wstring LowerText(std::wstring_view text) {
  std::wstring out(text);
  for (wchar_t& ch : out) ch = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(ch)));
  return out;
}

std::uint32_t InstanceHash(std::wstring_view text) {
  std::uint32_t h = 2166136261u;
  for (wchar_t ch : text) {
    h ^= static_cast<std::uint32_t>(ch);
    h *= 16777619u;
  }
  return h;
}

std::uint32_t DeviceInventory::GetTextProperty(DevInst device, DeviceProperty property,
                                               std::wstring& out) {
  std::vector<std::wstring> list;
  std::uint32_t rc = GetTextListProperty(device, property, list);
  if (rc != 0) return rc;
  out = list.empty() ? std::wstring() : list.front();
  return 0;
}

std::uint32_t DeviceInventory::GetTextListProperty(DevInst device, DeviceProperty property,
                                                   std::vector<std::wstring>& out) {
  out.clear();
  std::uint32_t type = 0;
  std::uint32_t needed = 0;
  std::uint32_t rc = GetPropertyData(device, property, &type, nullptr, 0, &needed);
  if (rc != kErrorInsufficientBuffer) return rc == 0 ? kErrorInvalidData : rc;
  std::vector<wchar_t> chars(needed / sizeof(wchar_t) + 2, L'\0');
  rc = GetPropertyData(device, property, &type, chars.data(), static_cast<std::uint32_t>(needed),
                       &needed);
  if (rc != 0) return rc;
  if (type != kPropertyTypeText && type != kPropertyTypeTextList) return kErrorInvalidData;
  // Split at the terminating zeros; a list ends at an empty string.
  std::size_t count = needed / sizeof(wchar_t);
  std::size_t start = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (chars[i] != L'\0') continue;
    if (i == start) break;
    out.emplace_back(chars.data() + start, i - start);
    start = i + 1;
    if (type == kPropertyTypeText) break;
  }
  return 0;
}

std::uint32_t DeviceInventory::GetNumberProperty(DevInst device, DeviceProperty property,
                                                 std::uint32_t& out) {
  std::uint32_t type = 0;
  std::uint32_t needed = 0;
  std::uint32_t value = 0;
  std::uint32_t rc = GetPropertyData(device, property, &type, &value, sizeof value, &needed);
  if (rc != 0) return rc;
  if (type != kPropertyTypeNumber || needed != sizeof value) return kErrorInvalidData;
  out = value;
  return 0;
}

namespace {

std::mutex gInventoryMutex;
std::shared_ptr<DeviceInventory> gInventory;

}  // namespace

std::shared_ptr<DeviceInventory> GetDeviceInventory() {
  std::lock_guard lock(gInventoryMutex);
  if (gInventory) return gInventory;
  return NativeDeviceInventory();
}

void SetDeviceInventory(std::shared_ptr<DeviceInventory> inventory) {
  std::lock_guard lock(gInventoryMutex);
  gInventory = std::move(inventory);
}

}  // namespace vantor::platform
