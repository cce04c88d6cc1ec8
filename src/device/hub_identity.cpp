#include "device/hub_identity.h"

#include <algorithm>
#include <cwctype>
#include <map>
#include <set>

namespace vantor {

namespace P = platform;

namespace {

// Bounds against a device tree that loops or never ends.
constexpr std::size_t kMaxTreeNodes = 4096;
constexpr std::size_t kMaxTreeDepth = 64;

std::wstring Lower(std::wstring text) {
  for (wchar_t& ch : text) ch = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(ch)));
  return text;
}

// Every device instance of the tree by its driver key (letter case ignored).
std::map<std::wstring, P::DevInst> DriverKeys(P::DeviceInventory& inventory) {
  std::map<std::wstring, P::DevInst> keys;
  P::DevInst root = 0;
  if (inventory.GetRoot(root) != 0) return keys;
  std::vector<std::pair<P::DevInst, std::size_t>> pending = {{root, 0}};
  std::set<P::DevInst> seen;
  while (!pending.empty() && seen.size() < kMaxTreeNodes) {
    auto [node, depth] = pending.back();
    pending.pop_back();
    if (!seen.insert(node).second) continue;
    std::wstring key;
    if (inventory.GetTextProperty(node, P::DeviceProperty::kDriver, key) == 0 && !key.empty()) {
      keys.emplace(Lower(key), node);
    }
    if (depth + 1 >= kMaxTreeDepth) continue;
    P::DevInst child = 0;
    std::uint32_t rc = inventory.GetFirstChild(node, child);
    for (std::size_t n = 0; rc == 0 && n < kMaxTreeNodes; ++n) {
      pending.emplace_back(child, depth + 1);
      rc = inventory.GetNextSibling(child, child);
    }
  }
  return keys;
}

std::set<P::DevInst> Ancestors(P::DeviceInventory& inventory, P::DevInst device) {
  std::set<P::DevInst> out;
  P::DevInst current = device;
  for (std::size_t i = 0; i < kMaxTreeDepth; ++i) {
    P::DevInst parent = 0;
    if (inventory.GetParent(current, parent) != 0 || !out.insert(parent).second) break;
    current = parent;
  }
  return out;
}

std::wstring PortString(P::DeviceInventory& inventory, const std::wstring& hubPath,
                        std::uint32_t port, std::uint8_t index) {
  if (index == 0) return {};
  std::vector<std::uint8_t> bytes;
  if (inventory.GetHubPortStringDescriptor(hubPath, port, index, kHubStringLanguage, bytes) != 0) {
    return {};
  }
  if (bytes.size() > kHubStringBytes) bytes.resize(kHubStringBytes);
  return StringDescriptorText(bytes.data(), bytes.size());
}

std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

}  // namespace

std::wstring StringDescriptorText(const std::uint8_t* bytes, std::size_t size) {
  if (bytes == nullptr || size < 2 || bytes[1] != 3) return {};
  const std::size_t length = std::min<std::size_t>(bytes[0], size);
  std::wstring text;
  for (std::size_t i = 2; i + 1 < length; i += 2) text += static_cast<wchar_t>(Le16(bytes + i));
  return text;
}

std::uint32_t EnumerateHubIdentities(std::vector<HubDeviceEntry>& out, P::DevInst device) {
  out.clear();
  auto inventory = P::GetDeviceInventory();
  std::vector<P::DeviceInterfaceEntry> devices;
  std::uint32_t rc = inventory->ListDeviceInterfaces(P::kGuidDevInterfaceUsbDevice, 0, devices);
  if (rc != 0) return rc;
  std::vector<P::DeviceInterfaceEntry> hubs;
  rc = inventory->ListDeviceInterfaces(P::kGuidDevInterfaceUsbHub, 0, hubs);
  if (rc != 0) return rc;
  std::vector<HubDeviceEntry> list;
  for (const auto& d : devices) {
    HubDeviceEntry entry;
    entry.devInst = d.device;
    entry.devicePath = d.path;
    list.push_back(std::move(entry));
  }
  const std::set<P::DevInst> above =
      device != 0 ? Ancestors(*inventory, device) : std::set<P::DevInst>{};
  const std::map<std::wstring, P::DevInst> keys = DriverKeys(*inventory);

  for (const auto& hub : hubs) {
    if (device != 0 && above.count(hub.device) == 0) continue;
    std::uint32_t ports = 0;
    if (inventory->GetHubPortCount(hub.path, ports) != 0) continue;
    for (std::uint32_t port = 1; port <= ports; ++port) {
      P::HubPortConnection connection;
      if (inventory->GetHubPortConnection(hub.path, port, connection) != 0 ||
          !connection.connected || connection.isHub) {
        continue;
      }
      auto key = keys.find(Lower(connection.driverKey));
      if (key == keys.end()) continue;
      for (HubDeviceEntry& entry : list) {
        if (entry.devInst != key->second) continue;
        const std::uint8_t* descriptor = connection.deviceDescriptor;
        entry.identified = true;
        entry.idVendor = Le16(descriptor + 8);
        entry.idProduct = Le16(descriptor + 10);
        entry.bcdDevice = Le16(descriptor + 12);
        entry.port = port;
        entry.manufacturer = PortString(*inventory, hub.path, port, descriptor[14]);
        entry.serialNumber = PortString(*inventory, hub.path, port, descriptor[16]);
      }
    }
  }
  out = std::move(list);
  return 0;
}

const HubDeviceEntry* FindHubIdentity(const std::vector<HubDeviceEntry>& list, P::DevInst devInst) {
  for (const HubDeviceEntry& entry : list) {
    if (entry.devInst == devInst) return &entry;
  }
  return nullptr;
}

}  // namespace vantor
