#include "platform/linux/usb_inventory.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cwctype>
#include <optional>

#include "platform/last_error.h"
#include "platform/text.h"

namespace vantor::platform::linux_usb {

namespace fs = std::filesystem;

struct UsbInventory::Node {
  DevInst parent = 0;
  std::wstring instanceId;
  std::wstring enumerator;
  std::wstring className;
  Guid classGuid;
  std::optional<std::wstring> friendlyName;
  std::wstring deviceDesc;
  std::wstring location;
  std::optional<std::uint32_t> address;
  std::wstring pdoName;
  std::wstring driverKey;
  std::vector<std::pair<Guid, std::wstring>> interfaces;
  int device = -1;  // index into devices_ (USB devices and their functions)
};

struct UsbInventory::Hub {
  DevInst node = 0;
  std::wstring path;
  std::uint32_t bus = 0;             // external hub: its bus
  std::vector<std::uint32_t> chain;  // external hub: its port chain
  // Root hub: port number - 1 -> (bus, port on that bus).
  std::vector<std::pair<std::uint32_t, std::uint32_t>> rootPorts;
  int device = -1;  // external hub: index into devices_
};

namespace {

constexpr std::uint8_t kClassAudio = 1;
constexpr std::uint8_t kClassVideo = 14;
constexpr std::uint8_t kSubClassControl = 1;

std::wstring Wide(const std::string& text) { return FromUtf8(text); }

std::wstring Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::wstring Format(const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return Wide(text);
}

std::wstring Upper(std::wstring s) {
  for (wchar_t& ch : s) ch = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(ch)));
  return s;
}

// A serial number that may stand in an instance ID: printable, no separators.
bool UsableSerial(const std::string& serial) {
  if (serial.empty() || serial.size() > 128) return false;
  return std::all_of(serial.begin(), serial.end(), [](char ch) {
    return ch > ' ' && ch < 0x7F && ch != '\\' && ch != '#' && ch != '&';
  });
}

// "PCIROOT(0)#PCI(1400)" for /sys/devices/pci0000:00/0000:00:14.0; other buses by name.
std::wstring ControllerLocation(const fs::path& dir) {
  std::wstring out;
  bool below = false;
  for (const fs::path& part : dir) {
    const std::string name = part.string();
    if (!below) {
      below = name == "devices";
      continue;
    }
    unsigned domain = 0;
    unsigned bus = 0;
    unsigned slot = 0;
    unsigned function = 0;
    std::wstring piece;
    if (std::sscanf(name.c_str(), "pci%x:%x", &domain, &bus) == 2 &&
        name.find('.') == std::string::npos) {
      piece = Format("PCIROOT(%X)", bus);
    } else if (std::sscanf(name.c_str(), "%x:%x:%x.%x", &domain, &bus, &slot, &function) == 4) {
      piece = Format("PCI(%02X%02X)", slot, function);
    } else if (name != "platform") {
      piece = Upper(Wide(name));
    }
    if (piece.empty()) continue;
    if (!out.empty()) out += L"#";
    out += piece;
  }
  return out;
}

std::wstring ControllerInstanceId(const fs::path& dir) {
  const std::string vendor = ReadAttribute(dir / "vendor");
  const std::string device = ReadAttribute(dir / "device");
  if (!vendor.empty() && !device.empty()) {
    unsigned v = 0;
    unsigned d = 0;
    std::sscanf(vendor.c_str(), "%x", &v);
    std::sscanf(device.c_str(), "%x", &d);
    return Format("PCI\\VEN_%04X&DEV_%04X\\3&%08X&0", v, d, InstanceHash(Wide(dir.string())));
  }
  return L"ROOT\\" + Upper(Wide(dir.filename().string())) + L"\\0000";
}

std::uint8_t HubSpeed(std::uint32_t mbps) {
  if (mbps >= 5000) return 3;
  if (mbps >= 480) return 2;
  if (mbps >= 12) return 1;
  return 0;
}

std::uint32_t PutProperty(std::uint32_t kind, const std::wstring& text, std::uint32_t number,
                          std::uint32_t* type, void* buffer, std::uint32_t size,
                          std::uint32_t* requiredSize) {
  std::wstring value = text;
  value.push_back(L'\0');
  if (kind == kPropertyTypeTextList) value.push_back(L'\0');
  const void* bytes = kind == kPropertyTypeNumber ? static_cast<const void*>(&number)
                                                  : static_cast<const void*>(value.data());
  const std::uint32_t needed = kind == kPropertyTypeNumber
                                   ? sizeof number
                                   : static_cast<std::uint32_t>(value.size() * sizeof(wchar_t));
  if (type != nullptr) *type = kind;
  if (requiredSize != nullptr) *requiredSize = needed;
  if (buffer == nullptr || size < needed) return kErrorInsufficientBuffer;
  std::memcpy(buffer, bytes, needed);
  return 0;
}

}  // namespace

UsbInventory::UsbInventory(std::shared_ptr<UsbHost> host) : host_(std::move(host)) {}
UsbInventory::~UsbInventory() = default;

DevInst UsbInventory::InstFor(const std::string& key) {
  auto it = keys_.find(key);
  if (it != keys_.end()) return it->second;
  const DevInst inst = nextInst_++;
  keys_.emplace(key, inst);
  return inst;
}

DevInst UsbInventory::AddNode(const std::string& key, Node node) {
  const DevInst inst = InstFor(key);
  node.driverKey = node.classGuid.ToText() + Format("\\%04u", inst);
  nodes_[inst] = std::move(node);
  return inst;
}

UsbInventory::Node* UsbInventory::Find(DevInst inst) {
  auto it = nodes_.find(inst);
  return it == nodes_.end() ? nullptr : &it->second;
}

void UsbInventory::Refresh() {
  devices_ = ReadSysfsUsb(host_->sysRoot());
  nodes_.clear();
  hubs_.clear();
  rootPorts_.clear();
  rootHubOfBus_.clear();
  rootLocationOfBus_.clear();
  hubDevices_.clear();

  Node root;
  root.instanceId = L"HTREE\\ROOT\\0";
  root.enumerator = L"HTREE";
  root.deviceDesc = L"Root";
  AddNode("root", std::move(root));

  // The root hubs of each controller, slower generation first.
  std::map<fs::path, std::vector<std::size_t>> controllers;
  for (std::size_t i = 0; i < devices_.size(); ++i) {
    if (devices_[i].rootHub()) controllers[devices_[i].controllerDir].push_back(i);
  }
  for (auto& [dir, rootHubs] : controllers) {
    std::sort(rootHubs.begin(), rootHubs.end(), [this](std::size_t a, std::size_t b) {
      return std::tie(devices_[a].speedMbps, devices_[a].bus) <
             std::tie(devices_[b].speedMbps, devices_[b].bus);
    });
    AddController(rootHubs);
  }
  // Parents come before their children: devices are sorted by bus and port chain.
  for (std::size_t i = 0; i < devices_.size(); ++i) {
    if (!devices_[i].rootHub()) AddDevice(i);
  }
}

void UsbInventory::AddController(const std::vector<std::size_t>& rootHubs) {
  const SysfsDevice& first = devices_[rootHubs.front()];
  const fs::path& dir = first.controllerDir;
  std::uint32_t fastest = 0;
  std::uint32_t lowestBus = first.bus;
  for (std::size_t i : rootHubs) {
    fastest = std::max(fastest, devices_[i].speedMbps);
    lowestBus = std::min(lowestBus, devices_[i].bus);
  }

  Node hc;
  hc.parent = InstFor("root");
  hc.instanceId = ControllerInstanceId(dir);
  hc.enumerator = hc.instanceId.substr(0, hc.instanceId.find(L'\\'));
  hc.className = L"USB";
  hc.classGuid = kGuidClassUsb;
  hc.deviceDesc = L"USB Host Controller";
  hc.location = ControllerLocation(dir);
  hc.pdoName = Format("\\Device\\USBHC-%u", lowestBus);
  const std::wstring controllerLocation = hc.location;
  const DevInst hcInst = AddNode("hc:" + dir.string(), std::move(hc));

  Hub hub;
  Node rh;
  rh.parent = hcInst;
  const wchar_t* kind = fastest >= 5000  ? L"ROOT_HUB30"
                        : fastest >= 480 ? L"ROOT_HUB20"
                                         : L"ROOT_HUB";
  rh.instanceId =
      std::wstring(L"USB\\") + kind + Format("\\4&%08X&0&0", InstanceHash(Wide(dir.string())));
  rh.enumerator = L"USB";
  rh.className = L"USB";
  rh.classGuid = kGuidClassUsb;
  rh.deviceDesc = fastest >= 5000 ? L"USB Root Hub (USB 3.0)" : L"USB Root Hub";
  rh.location = (controllerLocation.empty() ? L"" : controllerLocation + L"#") +
                Format("USBROOT(%u)", lowestBus);
  rh.pdoName = Format("\\Device\\USBPDO-ROOT%u", lowestBus);
  hub.path = DeviceInterfacePath(rh.instanceId, kGuidDevInterfaceUsbHub, false);
  rh.interfaces.emplace_back(kGuidDevInterfaceUsbHub, hub.path);
  const std::wstring location = rh.location;
  hub.node = AddNode("rh:" + dir.string(), std::move(rh));
  for (std::size_t i : rootHubs) {
    const SysfsDevice& d = devices_[i];
    for (std::uint32_t port = 1; port <= d.maxchild; ++port) {
      hub.rootPorts.emplace_back(d.bus, port);
      rootPorts_[{d.bus, port}] = static_cast<std::uint32_t>(hub.rootPorts.size());
    }
    rootHubOfBus_[d.bus] = hub.node;
    rootLocationOfBus_[d.bus] = location;
  }
  hubs_.push_back(std::move(hub));
}

void UsbInventory::AddDevice(std::size_t index) {
  const SysfsDevice& d = devices_[index];
  auto rootHub = rootHubOfBus_.find(d.bus);
  auto rootPort = rootPorts_.find({d.bus, d.ports.front()});
  if (rootHub == rootHubOfBus_.end() || rootPort == rootPorts_.end()) return;
  DevInst parent = rootHub->second;
  if (d.ports.size() > 1) {
    auto hub = hubDevices_.find({d.bus, {d.ports.begin(), d.ports.end() - 1}});
    if (hub == hubDevices_.end()) return;
    parent = hub->second;
  }
  std::wstring location = rootLocationOfBus_[d.bus] + Format("#USB(%u)", rootPort->second);
  for (std::size_t i = 1; i < d.ports.size(); ++i) location += Format("#USB(%u)", d.ports[i]);

  Node usb;
  usb.parent = parent;
  const std::wstring ids = Format("USB\\VID_%04X&PID_%04X", d.vid, d.pid);
  const std::uint32_t port = d.ports.size() == 1 ? rootPort->second : d.ports.back();
  usb.instanceId = UsableSerial(d.serial)
                       ? ids + L"\\" + Wide(d.serial)
                       : ids + Format("\\5&%08X&0&%u", InstanceHash(location), port);
  usb.enumerator = L"USB";
  usb.className = L"USB";
  usb.classGuid = kGuidClassUsb;
  usb.deviceDesc = d.hub() ? L"Generic USB Hub" : L"USB Composite Device";
  usb.location = location;
  usb.address = port;
  usb.pdoName = Format("\\Device\\USBPDO-%u-%u", d.bus, d.devnum);
  usb.interfaces.emplace_back(
      kGuidDevInterfaceUsbDevice,
      DeviceInterfacePath(usb.instanceId, kGuidDevInterfaceUsbDevice, false));
  usb.device = static_cast<int>(index);
  const std::wstring parentId = usb.instanceId;
  // A device that re-enumerates is a new device instance.
  const std::string key = "dev:" + d.name + "#" + std::to_string(d.devnum);
  Hub hub;
  if (d.hub()) {
    hub.path = DeviceInterfacePath(usb.instanceId, kGuidDevInterfaceUsbHub, false);
    usb.interfaces.emplace_back(kGuidDevInterfaceUsbHub, hub.path);
  }
  const DevInst usbInst = AddNode(key, std::move(usb));
  if (d.hub()) {
    hub.node = usbInst;
    hub.bus = d.bus;
    hub.chain = d.ports;
    hub.device = static_cast<int>(index);
    hubs_.push_back(std::move(hub));
    hubDevices_[{d.bus, d.ports}] = usbInst;
    return;
  }

  for (const SysfsInterface& i : d.interfaces) {
    const bool audio = i.interfaceClass == kClassAudio && i.interfaceSubClass == kSubClassControl;
    const bool video = i.interfaceClass == kClassVideo && i.interfaceSubClass == kSubClassControl;
    if (!audio && !video) continue;
    Node f;
    f.parent = usbInst;
    f.instanceId = Format("USB\\VID_%04X&PID_%04X&MI_%02X\\6&%08X&0&%04X", d.vid, d.pid, i.number,
                          InstanceHash(parentId), i.number);
    f.enumerator = L"USB";
    f.className = audio ? L"Media" : L"Camera";
    f.classGuid = audio ? kGuidClassMedia : kGuidClassCamera;
    f.deviceDesc = audio ? L"USB Audio Device" : L"USB Video Device";
    const std::string& ownName = audio ? i.soundCardId : i.videoName;
    if (!d.product.empty()) {
      f.friendlyName = Wide(d.product);
    } else if (!ownName.empty()) {
      f.friendlyName = Wide(ownName);
    }
    f.location = location + Format("#USBMI(%u)", i.number);
    f.address = i.number;
    f.pdoName = Format("\\Device\\USBFN-%u-%u-%u", d.bus, d.devnum, i.number);
    std::vector<Guid> classes = {kGuidKsCategoryAudio};
    if (video) classes = {kGuidKsCategoryVideoCamera, kGuidKsCategoryVideo};
    for (const Guid& g : classes)
      f.interfaces.emplace_back(g, DeviceInterfacePath(f.instanceId, g, true));
    f.device = static_cast<int>(index);
    AddNode(key + ":" + std::to_string(i.number), std::move(f));
  }
}

// ---------------------------------------------------------------- the tree

std::uint32_t UsbInventory::ListClassDevices(const Guid& setupClass, std::wstring_view enumerator,
                                             std::vector<DevInst>& out) {
  std::lock_guard lock(mutex_);
  Refresh();
  out.clear();
  for (const auto& [inst, node] : nodes_) {
    if (node.classGuid != setupClass) continue;
    if (!enumerator.empty() && LowerText(node.enumerator) != LowerText(enumerator)) continue;
    out.push_back(inst);
  }
  return 0;
}

std::uint32_t UsbInventory::ListDeviceInterfaces(const Guid& interfaceClass, DevInst onlyDevice,
                                                 std::vector<DeviceInterfaceEntry>& out) {
  std::lock_guard lock(mutex_);
  Refresh();
  out.clear();
  if (onlyDevice != 0 && Find(onlyDevice) == nullptr) return kErrorNotFound;
  for (const auto& [inst, node] : nodes_) {
    if (onlyDevice != 0 && inst != onlyDevice) continue;
    for (const auto& [guid, path] : node.interfaces) {
      if (guid == interfaceClass) out.push_back({inst, path});
    }
  }
  return 0;
}

std::uint32_t UsbInventory::GetDeviceInstanceId(DevInst device, std::wstring& id) {
  std::lock_guard lock(mutex_);
  Refresh();
  const Node* node = Find(device);
  if (node == nullptr) return kErrorNotFound;
  id = node->instanceId;
  return 0;
}

std::uint32_t UsbInventory::LocateDeviceInstance(std::wstring_view instanceId, DevInst& out) {
  std::lock_guard lock(mutex_);
  Refresh();
  const std::wstring want = LowerText(instanceId);
  for (const auto& [inst, node] : nodes_) {
    if (LowerText(node.instanceId) == want) {
      out = inst;
      return 0;
    }
  }
  return kErrorNotFound;
}

std::uint32_t UsbInventory::GetRoot(DevInst& out) {
  std::lock_guard lock(mutex_);
  out = InstFor("root");
  return 0;
}

std::uint32_t UsbInventory::GetParent(DevInst device, DevInst& parent) {
  std::lock_guard lock(mutex_);
  Refresh();
  const Node* node = Find(device);
  if (node == nullptr || node->parent == 0) return kErrorNotFound;
  parent = node->parent;
  return 0;
}

std::uint32_t UsbInventory::GetFirstChild(DevInst device, DevInst& child) {
  std::lock_guard lock(mutex_);
  Refresh();
  if (Find(device) == nullptr) return kErrorNotFound;
  for (const auto& [inst, node] : nodes_) {
    if (node.parent == device) {
      child = inst;
      return 0;
    }
  }
  return kErrorNotFound;
}

std::uint32_t UsbInventory::GetNextSibling(DevInst device, DevInst& sibling) {
  std::lock_guard lock(mutex_);
  Refresh();
  const Node* node = Find(device);
  if (node == nullptr) return kErrorNotFound;
  for (auto it = nodes_.upper_bound(device); it != nodes_.end(); ++it) {
    if (it->second.parent == node->parent) {
      sibling = it->first;
      return 0;
    }
  }
  return kErrorNotFound;
}

std::uint32_t UsbInventory::GetNodeStatus(DevInst device, std::uint32_t& status,
                                          std::uint32_t& problem) {
  std::lock_guard lock(mutex_);
  Refresh();
  if (Find(device) == nullptr) return kErrorNotFound;
  status = kDnDriverLoaded | kDnStarted;
  problem = 0;
  return 0;
}

std::uint32_t UsbInventory::GetPropertyData(DevInst device, DeviceProperty property,
                                            std::uint32_t* type, void* buffer, std::uint32_t size,
                                            std::uint32_t* requiredSize) {
  std::lock_guard lock(mutex_);
  Refresh();
  const Node* node = Find(device);
  if (node == nullptr) return kErrorNotFound;
  auto text = [&](const std::wstring& value) -> std::uint32_t {
    if (value.empty()) return kErrorInvalidData;
    return PutProperty(kPropertyTypeText, value, 0, type, buffer, size, requiredSize);
  };
  switch (property) {
    case DeviceProperty::kFriendlyName:
      return node->friendlyName ? text(*node->friendlyName) : kErrorInvalidData;
    case DeviceProperty::kDeviceDesc:
      return text(node->deviceDesc);
    case DeviceProperty::kClass:
      return text(node->className);
    case DeviceProperty::kLocationPaths:
      if (node->location.empty()) return kErrorInvalidData;
      return PutProperty(kPropertyTypeTextList, node->location, 0, type, buffer, size,
                         requiredSize);
    case DeviceProperty::kAddress:
      if (!node->address) return kErrorInvalidData;
      return PutProperty(kPropertyTypeNumber, {}, *node->address, type, buffer, size, requiredSize);
    case DeviceProperty::kPdoName:
      return text(node->pdoName);
    case DeviceProperty::kDriver:
      return text(node->driverKey);
  }
  return kErrorInvalidData;
}

// ---------------------------------------------------------------- opening

std::uint32_t UsbInventory::OpenDeviceInterface(std::wstring_view path, InterfaceHandle& out) {
  OpenTarget target;
  {
    std::lock_guard lock(mutex_);
    Refresh();
    const std::wstring want = LowerText(path);
    const Node* found = nullptr;
    for (const auto& [inst, node] : nodes_) {
      for (const auto& entry : node.interfaces) {
        if (LowerText(entry.second) == want && node.device >= 0) found = &node;
      }
    }
    if (found == nullptr) return kErrorFileNotFound;
    const SysfsDevice& d = devices_[static_cast<std::size_t>(found->device)];
    target.interfacePath = want;
    target.deviceDir = d.dir;
    target.deviceName = d.name;
    target.devnum = d.devnum;
    target.usbfsNode = d.UsbfsNode();
    target.vid = d.vid;
    target.pid = d.pid;
  }
  return host_->Open(target, out);
}

std::uint32_t UsbInventory::CloseDeviceInterface(InterfaceHandle handle) {
  return host_->Close(handle);
}

// ---------------------------------------------------------------- hubs

const UsbInventory::Hub* UsbInventory::FindHub(std::wstring_view path) {
  const std::wstring want = LowerText(path);
  for (const Hub& hub : hubs_) {
    if (LowerText(hub.path) == want) return &hub;
  }
  return nullptr;
}

const SysfsDevice* UsbInventory::DeviceOnPort(const Hub& hub, std::uint32_t port) {
  std::uint32_t bus = hub.bus;
  std::vector<std::uint32_t> chain = hub.chain;
  if (hub.device < 0) {
    if (port == 0 || port > hub.rootPorts.size()) return nullptr;
    const auto& [rootBus, rootPort] = hub.rootPorts[port - 1];
    bus = rootBus;
    chain = {rootPort};
  } else {
    chain.push_back(port);
  }
  for (const SysfsDevice& d : devices_) {
    if (d.bus == bus && d.ports == chain) return &d;
  }
  return nullptr;
}

std::uint32_t UsbInventory::GetHubPortCount(std::wstring_view hubPath, std::uint32_t& ports) {
  std::lock_guard lock(mutex_);
  Refresh();
  const Hub* hub = FindHub(hubPath);
  if (hub == nullptr) return kErrorFileNotFound;
  ports = hub->device < 0 ? static_cast<std::uint32_t>(hub->rootPorts.size())
                          : devices_[static_cast<std::size_t>(hub->device)].maxchild;
  return 0;
}

std::uint32_t UsbInventory::GetHubPortConnection(std::wstring_view hubPath, std::uint32_t port,
                                                 HubPortConnection& out) {
  std::lock_guard lock(mutex_);
  Refresh();
  const Hub* hub = FindHub(hubPath);
  if (hub == nullptr) return kErrorFileNotFound;
  const std::uint32_t ports = hub->device < 0
                                  ? static_cast<std::uint32_t>(hub->rootPorts.size())
                                  : devices_[static_cast<std::size_t>(hub->device)].maxchild;
  if (port == 0 || port > ports) return kErrorInvalidParameter;
  out = HubPortConnection{};
  const SysfsDevice* d = DeviceOnPort(*hub, port);
  if (d == nullptr) return 0;
  out.connected = true;
  out.isHub = d->hub();
  out.speed = HubSpeed(d->speedMbps);
  out.deviceAddress = static_cast<std::uint16_t>(d->devnum);
  std::memcpy(out.deviceDescriptor, d->descriptors.data(),
              std::min<std::size_t>(d->descriptors.size(), sizeof out.deviceDescriptor));
  const auto key = keys_.find("dev:" + d->name + "#" + std::to_string(d->devnum));
  if (key != keys_.end()) {
    if (const Node* node = Find(key->second)) out.driverKey = node->driverKey;
  }
  return 0;
}

std::uint32_t UsbInventory::GetHubPortCompanion(std::wstring_view hubPath, std::uint32_t port,
                                                std::uint32_t& companionPort) {
  std::lock_guard lock(mutex_);
  Refresh();
  const Hub* hub = FindHub(hubPath);
  if (hub == nullptr) return kErrorFileNotFound;
  companionPort = 0;
  if (hub->device >= 0) return 0;
  if (port == 0 || port > hub->rootPorts.size()) return kErrorInvalidParameter;
  const auto& [bus, local] = hub->rootPorts[port - 1];
  for (const SysfsDevice& d : devices_) {
    if (!d.rootHub() || d.bus != bus) continue;
    auto peer = d.portPeers.find(local);
    unsigned peerBus = 0;
    unsigned peerPort = 0;
    if (peer == d.portPeers.end() ||
        std::sscanf(peer->second.c_str(), "usb%u-port%u", &peerBus, &peerPort) != 2) {
      return 0;
    }
    auto merged = rootPorts_.find({peerBus, peerPort});
    if (merged != rootPorts_.end()) companionPort = merged->second;
  }
  return 0;
}

std::uint32_t UsbInventory::GetHubPortStringDescriptor(std::wstring_view hubPath,
                                                       std::uint32_t port, std::uint8_t index,
                                                       std::uint16_t,
                                                       std::vector<std::uint8_t>& descriptor) {
  std::lock_guard lock(mutex_);
  Refresh();
  const Hub* hub = FindHub(hubPath);
  if (hub == nullptr) return kErrorFileNotFound;
  const SysfsDevice* d = port == 0 ? nullptr : DeviceOnPort(*hub, port);
  if (d == nullptr || d->descriptors.size() < 18) return kErrorDeviceNotConnected;
  // The kernel read the strings the device descriptor names; they are served from there.
  const std::string* text = nullptr;
  if (index != 0 && index == d->descriptors[14]) text = &d->manufacturer;
  if (index != 0 && index == d->descriptors[15]) text = &d->product;
  if (index != 0 && index == d->descriptors[16]) text = &d->serial;
  if (text == nullptr) return kErrorGenFailure;
  const std::wstring wide = Wide(*text);
  const std::size_t chars = std::min<std::size_t>(wide.size(), 126);
  descriptor = {static_cast<std::uint8_t>(2 + 2 * chars), 3};
  for (std::size_t i = 0; i < chars; ++i) {
    descriptor.push_back(static_cast<std::uint8_t>(wide[i] & 0xFF));
    descriptor.push_back(static_cast<std::uint8_t>((wide[i] >> 8) & 0xFF));
  }
  return 0;
}

}  // namespace vantor::platform::linux_usb
