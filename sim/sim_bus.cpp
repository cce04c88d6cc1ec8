#include "sim/sim_bus.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cwctype>
#include <optional>

#include "platform/clock.h"
#include "platform/last_error.h"

namespace vantor::sim {

namespace P = platform;

struct SimBus::Node {
  P::DevInst parent = 0;
  std::wstring instanceId;
  std::wstring enumerator;
  std::wstring className;
  P::Guid classGuid;
  std::optional<std::wstring> friendlyName;
  std::wstring deviceDesc;
  std::wstring locationPath;
  std::optional<std::uint32_t> address;
  std::wstring pdoName;
  std::wstring driverKey;
  bool problem = false;
  std::vector<std::pair<P::Guid, std::wstring>> interfaces;
  SimDevice* device = nullptr;
  int hub = -1;
};

struct SimBus::HubInfo {
  P::DevInst node = 0;
  RootHubKind kind = RootHubKind::kUsb2;
  std::uint32_t rootPort = 0;  // 0 for a root hub, else the root port of an external hub
  std::wstring path;
  std::uint32_t ports = 0;
  std::wstring location;
};

struct SimBus::OpenInterface {
  std::wstring path;
  SimDevice* device = nullptr;
  std::uint32_t epoch = 0;
};

struct SimBus::Attachment {
  SimDevice* device = nullptr;
  std::uint32_t epoch = 0;
};

namespace {

constexpr std::uint32_t kProblemFailedStart = 10;
constexpr std::uint32_t kErrorNoAccess = 998;
constexpr std::uint32_t kDefaultTimeoutMs = 5000;

std::wstring Widen(const std::string& s) { return std::wstring(s.begin(), s.end()); }

std::wstring Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::wstring Format(const char* format, ...) {
  char text[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return Widen(text);
}

std::wstring Lower(std::wstring_view s) { return P::LowerText(s); }
std::uint32_t Hash(const std::wstring& s) { return P::InstanceHash(s); }
std::wstring InterfacePath(const std::wstring& instanceId, const P::Guid& guid, bool ks) {
  return P::DeviceInterfacePath(instanceId, guid, ks);
}

std::wstring RootLocation(RootHubKind kind) {
  return kind == RootHubKind::kUsb3 ? L"PCIROOT(0)#PCI(1400)#USBROOT(0)"
                                    : L"PCIROOT(0)#PCI(1D00)#USBROOT(0)";
}

}  // namespace

SimBus::SimBus() : startUs_(P::GetClock().NowUs()) {
  Node root;
  root.instanceId = L"HTREE\\ROOT\\0";
  root.enumerator = L"HTREE";
  root.deviceDesc = L"Root";
  P::DevInst rootInst = NewNode(root);
  Node pci;
  pci.parent = rootInst;
  pci.instanceId = L"ACPI\\PNP0A08\\0";
  pci.enumerator = L"ACPI";
  pci.className = L"System";
  pci.classGuid = P::kGuidClassSystem;
  pci.deviceDesc = L"PCI Express Root Complex";
  pci.locationPath = L"PCIROOT(0)";
  P::DevInst pciInst = NewNode(pci);
  for (RootHubKind kind : {RootHubKind::kUsb2, RootHubKind::kUsb3}) {
    bool three = kind == RootHubKind::kUsb3;
    Node hc;
    hc.parent = pciInst;
    hc.instanceId = three ? L"PCI\\VEN_8086&DEV_A36D&SUBSYS_00000000&REV_10\\3&11583659&0&A0"
                          : L"PCI\\VEN_8086&DEV_1E26&SUBSYS_00000000&REV_04\\3&11583659&0&E8";
    hc.enumerator = L"PCI";
    hc.className = L"USB";
    hc.classGuid = P::kGuidClassUsb;
    hc.deviceDesc = three ? L"USB xHCI Compliant Host Controller" : L"USB Enhanced Host Controller";
    hc.locationPath = three ? L"PCIROOT(0)#PCI(1400)" : L"PCIROOT(0)#PCI(1D00)";
    hc.driverKey = P::kGuidClassUsb.ToText() + Format("\\%04u", nextDriverKey_++);
    hc.pdoName = Format("\\Device\\NTPNP_PCI%04u", nextPdo_++);
    P::DevInst hcInst = NewNode(hc);
    Node hub;
    hub.parent = hcInst;
    hub.instanceId = three ? L"USB\\ROOT_HUB30\\4&1B5E1D2A&0&0" : L"USB\\ROOT_HUB20\\4&2E1A2C3&0";
    hub.enumerator = L"USB";
    hub.className = L"USB";
    hub.classGuid = P::kGuidClassUsb;
    hub.deviceDesc = three ? L"USB Root Hub (USB 3.0)" : L"USB Root Hub";
    hub.locationPath = RootLocation(kind);
    hub.driverKey = P::kGuidClassUsb.ToText() + Format("\\%04u", nextDriverKey_++);
    hub.pdoName = Format("\\Device\\USBPDO-%u", nextPdo_++);
    HubInfo info;
    info.kind = kind;
    info.path = InterfacePath(hub.instanceId, P::kGuidDevInterfaceUsbHub, false);
    info.ports = three ? 32 : 8;
    info.location = hub.locationPath;
    hub.interfaces.emplace_back(P::kGuidDevInterfaceUsbHub, info.path);
    hub.hub = static_cast<int>(hubs_.size());
    info.node = NewNode(hub);
    hubs_.push_back(info);
  }
}

SimBus::~SimBus() = default;

P::DevInst SimBus::NewNode(Node node) {
  P::DevInst inst = nextInst_++;
  nodes_.emplace(inst, std::move(node));
  return inst;
}

SimBus::Node* SimBus::FindNode(P::DevInst inst) {
  auto it = nodes_.find(inst);
  return it == nodes_.end() ? nullptr : &it->second;
}

P::DevInst SimBus::EnsureHub(const DeviceConfig& c) {
  int root = c.hub == RootHubKind::kUsb3 ? 1 : 0;
  if (c.viaHub == 0) return hubs_[static_cast<std::size_t>(root)].node;
  for (const HubInfo& h : hubs_)
    if (h.rootPort == c.viaHub && h.kind == c.hub) return h.node;
  const HubInfo rootHub = hubs_[static_cast<std::size_t>(root)];
  Node hub;
  hub.parent = rootHub.node;
  hub.locationPath = rootHub.location + Format("#USB(%u)", c.viaHub);
  hub.instanceId = Format("USB\\VID_05E3&PID_0610\\5&%08X&0&%u", Hash(hub.locationPath), c.viaHub);
  hub.enumerator = L"USB";
  hub.className = L"USB";
  hub.classGuid = P::kGuidClassUsb;
  hub.deviceDesc = L"Generic USB Hub";
  hub.address = c.viaHub;
  hub.driverKey = P::kGuidClassUsb.ToText() + Format("\\%04u", nextDriverKey_++);
  hub.pdoName = Format("\\Device\\USBPDO-%u", nextPdo_++);
  HubInfo info;
  info.kind = c.hub;
  info.rootPort = c.viaHub;
  info.path = InterfacePath(hub.instanceId, P::kGuidDevInterfaceUsbHub, false);
  info.ports = 4;
  info.location = hub.locationPath;
  hub.interfaces.emplace_back(P::kGuidDevInterfaceUsbHub, info.path);
  hub.interfaces.emplace_back(P::kGuidDevInterfaceUsbDevice,
                              InterfacePath(hub.instanceId, P::kGuidDevInterfaceUsbDevice, false));
  hub.hub = static_cast<int>(hubs_.size());
  info.node = NewNode(hub);
  hubs_.push_back(info);
  return info.node;
}

SimDevice& SimBus::AddDevice(DeviceConfig config, std::unique_ptr<P::MappedFile> memory,
                             const DeviceState* state) {
  std::lock_guard lock(mutex_);
  std::uint64_t now = P::GetClock().NowUs();
  EnsureHub(config);
  devices_.push_back(std::make_unique<SimDevice>(std::move(config), std::move(memory), now));
  SimDevice* device = devices_.back().get();
  if (state != nullptr) device->RestoreState(*state);
  device->set_stateChanged([this, device] {
    if (stateChanged_) stateChanged_(*device);
  });
  SyncLocked(now);
  return *device;
}

SimDevice* SimBus::FindDevice(const std::string& name) {
  std::lock_guard lock(mutex_);
  for (auto& d : devices_)
    if (d->config().name == name) return d.get();
  return nullptr;
}

bool SimBus::SetAttached(const std::string& name, bool attached) {
  std::lock_guard lock(mutex_);
  SimDevice* device = FindDevice(name);
  if (device == nullptr) return false;
  const std::uint64_t now = P::GetClock().NowUs();
  if (attached && unplugged_.erase(name) != 0) device->PowerCycle(now);
  if (!attached && unplugged_.insert(name).second) device->Unplug(now, 0);
  SyncLocked(now);
  return true;
}

bool SimBus::IsAttached(const std::string& name) {
  std::lock_guard lock(mutex_);
  return FindDevice(name) != nullptr && unplugged_.count(name) == 0;
}

std::vector<SimDevice*> SimBus::Devices() {
  std::lock_guard lock(mutex_);
  std::vector<SimDevice*> out;
  for (auto& d : devices_) out.push_back(d.get());
  return out;
}

// ---------------------------------------------------------------- device nodes

void SimBus::RemoveDeviceNodes(SimDevice* device) {
  for (auto it = nodes_.begin(); it != nodes_.end();) {
    it = it->second.device == device ? nodes_.erase(it) : std::next(it);
  }
  nodeEpoch_.erase(device);
}

void SimBus::AddDeviceNodes(SimDevice& device) {
  const DeviceConfig& c = device.config();
  P::DevInst hubInst = EnsureHub(c);
  const HubInfo& hub = hubs_[static_cast<std::size_t>(FindNode(hubInst)->hub)];
  std::uint32_t port = device.currentPort();
  Node usb;
  usb.parent = hubInst;
  usb.locationPath = hub.location + Format("#USB(%u)", port);
  std::wstring ids = Format("USB\\VID_%04X&PID_%04X", c.vid, c.pid);
  usb.instanceId = c.serial.empty() ? ids + Format("\\5&%08X&0&%u", Hash(usb.locationPath), port)
                                    : ids + L"\\" + Widen(c.serial);
  usb.enumerator = L"USB";
  usb.className = L"USB";
  usb.classGuid = P::kGuidClassUsb;
  usb.deviceDesc = L"USB Composite Device";
  usb.address = port;
  usb.pdoName = Format("\\Device\\USBPDO-%u", nextPdo_++);
  usb.driverKey = P::kGuidClassUsb.ToText() + Format("\\%04u", nextDriverKey_++);
  usb.interfaces.emplace_back(P::kGuidDevInterfaceUsbDevice,
                              InterfacePath(usb.instanceId, P::kGuidDevInterfaceUsbDevice, false));
  usb.device = &device;
  std::wstring parentId = usb.instanceId;
  std::wstring parentLocation = usb.locationPath;
  P::DevInst usbInst = NewNode(usb);

  auto function = [&](std::uint8_t number, const std::wstring& cls, const P::Guid& classGuid,
                      const std::wstring& desc, std::vector<P::Guid> interfaces) {
    Node f;
    f.parent = usbInst;
    f.instanceId = Format("USB\\VID_%04X&PID_%04X&MI_%02X\\6&%08X&0&%04X", c.vid, c.pid, number,
                          Hash(parentId), number);
    f.enumerator = L"USB";
    f.className = cls;
    f.classGuid = classGuid;
    f.deviceDesc = desc;
    if (c.friendlyName && !c.product.empty()) f.friendlyName = Widen(c.product);
    f.locationPath = parentLocation + Format("#USBMI(%u)", number);
    f.address = number;
    f.pdoName = Format("\\Device\\%08x", nextPdo_++);
    f.driverKey = classGuid.ToText() + Format("\\%04u", nextDriverKey_++);
    f.problem = c.faults.problem;
    for (const P::Guid& g : interfaces)
      f.interfaces.emplace_back(g, InterfacePath(f.instanceId, g, true));
    f.device = &device;
    NewNode(std::move(f));
  };
  if (c.function == FunctionKind::kCamera) {
    bool image = c.cameraClass == "Image";
    std::vector<P::Guid> video = {P::kGuidKsCategoryVideo};
    if (!image) video.insert(video.begin(), P::kGuidKsCategoryVideoCamera);
    function(0, image ? L"Image" : L"Camera", image ? P::kGuidClassImage : P::kGuidClassCamera,
             L"USB Video Device", video);
    if (c.commandUnit) {
      function(2, L"Media", P::kGuidClassMedia, L"USB Audio Device", {P::kGuidKsCategoryAudio});
    }
  } else {
    function(0, L"Media", P::kGuidClassMedia, L"USB Audio Device", {P::kGuidKsCategoryAudio});
  }
  nodeEpoch_[&device] = device.epoch();
}

void SimBus::SyncLocked(std::uint64_t nowUs) {
  bool changed = false;
  for (auto& d : devices_) {
    SimDevice* device = d.get();
    bool present = device->PresenceAt(nowUs) != SimDevice::Presence::kAbsent;
    auto it = nodeEpoch_.find(device);
    if (it != nodeEpoch_.end() && (!present || it->second != device->epoch())) {
      RemoveDeviceNodes(device);
      it = nodeEpoch_.end();
      changed = true;
    }
    if (present && it == nodeEpoch_.end()) {
      AddDeviceNodes(*device);
      changed = true;
    }
  }
  if (changed) {
    for (auto& [key, fn] : nodesWatchers_) fn();
  }
}

int SimBus::AddNodesWatcher(std::function<void()> fn) {
  std::lock_guard lock(mutex_);
  nodesWatchers_[nextWatcher_] = std::move(fn);
  return nextWatcher_++;
}

void SimBus::RemoveNodesWatcher(int key) {
  std::lock_guard lock(mutex_);
  nodesWatchers_.erase(key);
}

void SimBus::WithLock(const std::function<void()>& fn) {
  std::lock_guard lock(mutex_);
  fn();
}

// ---------------------------------------------------------------- proxy driver

namespace {

class BusControlDevice final : public P::ProxyDriver {
 public:
  explicit BusControlDevice(std::shared_ptr<SimBus> bus) : bus_(std::move(bus)) {}
  bool IoControl(std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                 std::uint32_t outSize, std::uint32_t* bytesReturned) override {
    return bus_->IoControl(code, in, inSize, out, outSize, bytesReturned);
  }

 private:
  std::shared_ptr<SimBus> bus_;
};

}  // namespace

std::unique_ptr<P::ProxyDriver> SimBus::OpenControlDevice() {
  return std::make_unique<BusControlDevice>(shared_from_this());
}

bool SimBus::IoControl(std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                       std::uint32_t outSize, std::uint32_t* bytesReturned) {
  std::lock_guard lock(mutex_);
  if (bytesReturned != nullptr) *bytesReturned = 0;
  switch (code) {
    case P::kIoctlProxyAttach:
      return Attach(in, inSize, out, outSize, bytesReturned);
    case P::kIoctlProxySubmit:
      return Submit(in, inSize);
    case P::kIoctlProxyDetach:
      return Detach(in, inSize);
    default:
      P::SetLastError(1);  // invalid function
      return false;
  }
}

bool SimBus::Attach(const void* in, std::uint32_t inSize, void* out, std::uint32_t outSize,
                    std::uint32_t* bytesReturned) {
  ProxyRecord record;
  if ((inSize != kAttachRecordSize64 && inSize != kRecordSize32) ||
      !DecodeProxyRecord(in, inSize, record) || out == nullptr || outSize < inSize) {
    P::SetLastError(P::kErrorInvalidParameter);
    return false;
  }
  SyncLocked(P::GetClock().NowUs());
  auto it = interfaces_.find(static_cast<P::InterfaceHandle>(record.fileHandle));
  if (record.fileHandle > 0xFFFFFFFFu || it == interfaces_.end()) {
    P::SetLastError(P::kErrorInvalidHandle);
    return false;
  }
  SimDevice* device = it->second.device;
  auto epoch = nodeEpoch_.find(device);
  if (epoch == nodeEpoch_.end() || epoch->second != it->second.epoch) {
    P::SetLastError(P::kErrorDeviceNotConnected);
    return false;
  }
  std::uint32_t low = 0x8A000000u + 0x10u * nextAttach_++;
  std::uint32_t high = 0xFFFFC601u;
  attachments_[std::uint64_t{high} << 32 | low] = Attachment{device, it->second.epoch};
  if (out != in) std::memcpy(out, in, inSize);
  EncodeDeviceHandle(out, record.layout, low, high);
  if (bytesReturned != nullptr) *bytesReturned = inSize;
  return true;
}

bool SimBus::Detach(const void* in, std::uint32_t inSize) {
  ProxyRecord record;
  if ((inSize != kAttachRecordSize64 && inSize != kRecordSize32) ||
      !DecodeProxyRecord(in, inSize, record)) {
    P::SetLastError(P::kErrorInvalidParameter);
    return false;
  }
  if (attachments_.erase(std::uint64_t{record.deviceHigh} << 32 | record.deviceLow) == 0) {
    P::SetLastError(P::kErrorInvalidHandle);
    return false;
  }
  return true;
}

void SimBus::Log(const ControlSetup& setup, TransferOutcome outcome, const std::uint8_t* data,
                 std::uint32_t length) {
  if (log_.open()) log_.Write(TransferLogLine(setup, outcome, data, length));
}

bool SimBus::Submit(const void* in, std::uint32_t inSize) {
  ProxyRecord record;
  if ((inSize != kSubmitRecordSize64 && inSize != kRecordSize32) ||
      !DecodeProxyRecord(in, inSize, record)) {
    P::SetLastError(P::kErrorInvalidParameter);
    return false;
  }
  auto att = attachments_.find(std::uint64_t{record.deviceHigh} << 32 | record.deviceLow);
  if (att == attachments_.end()) {
    P::SetLastError(P::kErrorInvalidHandle);
    return false;
  }
  auto* urb = reinterpret_cast<std::uint8_t*>(static_cast<std::uintptr_t>(record.urbAddress));
  if (urb == nullptr) {
    P::SetLastError(kErrorNoAccess);
    return false;
  }
  P::Clock& clock = P::GetClock();
  std::uint64_t now = clock.NowUs();
  SyncLocked(now);
  UrbRequest request;
  std::uint32_t status = 0;
  if (!DecodeUrb(urb, record.layout, request, status)) {
    CompleteUrb(urb, record.layout, status, 0);
    P::SetLastError(P::kErrorInvalidParameter);
    return false;
  }
  const ControlSetup& setup = request.setup;
  SimDevice* device = att->second.device;
  DeviceCounters& counters = device->counters();
  const std::uint8_t* outData = setup.in() ? nullptr : request.buffer;
  std::uint32_t outLength = setup.in() ? 0 : setup.wLength;
  if (device->HostGone() && hostGone_) hostGone_();
  SimDevice::Presence presence = device->PresenceAt(now);
  if (device->HostGone() || presence == SimDevice::Presence::kAbsent ||
      device->epoch() != att->second.epoch) {
    ++counters.gone;
    Log(setup, TransferOutcome::kGone, nullptr, 0);
    CompleteUrb(urb, record.layout, kUsbdStatusDeviceGone, 0);
    P::SetLastError(P::kErrorDeviceNotConnected);
    return false;
  }
  if (presence == SimDevice::Presence::kNotReady) {
    ++counters.notReady;
    Log(setup, TransferOutcome::kNotReady, nullptr, 0);
    CompleteUrb(urb, record.layout, kUsbdStatusDevNotResponding, 0);
    P::SetLastError(P::kErrorNotReady);
    return false;
  }
  std::vector<std::uint8_t> data(setup.wLength, 0);
  if (!setup.in() && setup.wLength != 0) std::memcpy(data.data(), request.buffer, setup.wLength);
  TransferResult result = device->Control(setup, data.data(), now);
  std::uint64_t limitUs =
      std::uint64_t{record.timeoutMs == 0 ? kDefaultTimeoutMs : record.timeoutMs} * 1000;
  if (result.kind == TransferResult::Kind::kTimeout ||
      (record.timeoutMs != 0 && result.costUs > limitUs)) {
    clock.SleepUs(limitUs);
    ++counters.timeout;
    Log(setup, TransferOutcome::kTimeout, outData, outLength);
    CompleteUrb(urb, record.layout, kUsbdStatusCanceled, 0);
    P::SetLastError(P::kErrorSemTimeout);
    return false;
  }
  clock.SleepUs(result.costUs);
  if (result.kind == TransferResult::Kind::kStall) {
    ++counters.stall;
    Log(setup, TransferOutcome::kStall, outData, outLength);
    CompleteUrb(urb, record.layout, kUsbdStatusStallPid, 0);
    return true;
  }
  ++counters.ok;
  if (setup.in()) {
    std::memcpy(request.buffer, data.data(), result.moved);
    counters.bytesIn += result.moved;
    Log(setup, TransferOutcome::kOk, data.data(), result.moved);
  } else {
    counters.bytesOut += result.moved;
    Log(setup, TransferOutcome::kOk, outData, outLength);
  }
  CompleteUrb(urb, record.layout, kUsbdStatusSuccess, result.moved);
  return true;
}

bool SimBus::SetTransferLog(const std::filesystem::path& path, std::string& error) {
  std::lock_guard lock(mutex_);
  if (path.empty()) {
    log_.Close();
    return true;
  }
  return log_.Open(path, error);
}

BusCounters SimBus::Counters() {
  std::lock_guard lock(mutex_);
  BusCounters out;
  for (auto& d : devices_) {
    const DeviceCounters& c = d->counters();
    DeviceCounters& t = out.total;
    t.descriptorTransfers += c.descriptorTransfers;
    t.vendorTransfers += c.vendorTransfers;
    t.classTransfers += c.classTransfers;
    t.ok += c.ok;
    t.stall += c.stall;
    t.gone += c.gone;
    t.notReady += c.notReady;
    t.timeout += c.timeout;
    t.bytesIn += c.bytesIn;
    t.bytesOut += c.bytesOut;
    t.commands += c.commands;
    t.resets += c.resets;
  }
  out.virtualUs = P::GetClock().NowUs() - startUs_;
  return out;
}

std::size_t SimBus::OpenInterfaceCount() {
  std::lock_guard lock(mutex_);
  return interfaces_.size();
}

std::size_t SimBus::AttachedHandleCount() {
  std::lock_guard lock(mutex_);
  return attachments_.size();
}

// ---------------------------------------------------------------- inventory

std::uint32_t SimBus::ListClassDevices(const P::Guid& setupClass, std::wstring_view enumerator,
                                       std::vector<P::DevInst>& out) {
  std::lock_guard lock(mutex_);
  SyncLocked(P::GetClock().NowUs());
  out.clear();
  for (const auto& [inst, node] : nodes_) {
    if (node.classGuid != setupClass) continue;
    if (!enumerator.empty() && Lower(node.enumerator) != Lower(enumerator)) continue;
    out.push_back(inst);
  }
  return 0;
}

std::uint32_t SimBus::ListDeviceInterfaces(const P::Guid& interfaceClass, P::DevInst onlyDevice,
                                           std::vector<P::DeviceInterfaceEntry>& out) {
  std::lock_guard lock(mutex_);
  SyncLocked(P::GetClock().NowUs());
  out.clear();
  if (onlyDevice != 0 && FindNode(onlyDevice) == nullptr) return P::kErrorNotFound;
  for (const auto& [inst, node] : nodes_) {
    if (onlyDevice != 0 && inst != onlyDevice) continue;
    for (const auto& [guid, path] : node.interfaces)
      if (guid == interfaceClass) out.push_back({inst, path});
  }
  return 0;
}

std::uint32_t SimBus::GetDeviceInstanceId(P::DevInst device, std::wstring& id) {
  std::lock_guard lock(mutex_);
  SyncLocked(P::GetClock().NowUs());
  Node* node = FindNode(device);
  if (node == nullptr) return P::kErrorNotFound;
  id = node->instanceId;
  return 0;
}

std::uint32_t SimBus::LocateDeviceInstance(std::wstring_view instanceId, P::DevInst& out) {
  std::lock_guard lock(mutex_);
  SyncLocked(P::GetClock().NowUs());
  std::wstring want = Lower(instanceId);
  for (const auto& [inst, node] : nodes_) {
    if (Lower(node.instanceId) == want) {
      out = inst;
      return 0;
    }
  }
  return P::kErrorNotFound;
}

std::uint32_t SimBus::GetRoot(P::DevInst& out) {
  out = 1;
  return 0;
}

std::uint32_t SimBus::GetParent(P::DevInst device, P::DevInst& parent) {
  std::lock_guard lock(mutex_);
  SyncLocked(P::GetClock().NowUs());
  Node* node = FindNode(device);
  if (node == nullptr || node->parent == 0) return P::kErrorNotFound;
  parent = node->parent;
  return 0;
}

std::uint32_t SimBus::GetFirstChild(P::DevInst device, P::DevInst& child) {
  std::lock_guard lock(mutex_);
  SyncLocked(P::GetClock().NowUs());
  if (FindNode(device) == nullptr) return P::kErrorNotFound;
  for (const auto& [inst, node] : nodes_) {
    if (node.parent == device) {
      child = inst;
      return 0;
    }
  }
  return P::kErrorNotFound;
}

std::uint32_t SimBus::GetNextSibling(P::DevInst device, P::DevInst& sibling) {
  std::lock_guard lock(mutex_);
  SyncLocked(P::GetClock().NowUs());
  Node* node = FindNode(device);
  if (node == nullptr) return P::kErrorNotFound;
  for (auto it = nodes_.upper_bound(device); it != nodes_.end(); ++it) {
    if (it->second.parent == node->parent) {
      sibling = it->first;
      return 0;
    }
  }
  return P::kErrorNotFound;
}

std::uint32_t SimBus::GetNodeStatus(P::DevInst device, std::uint32_t& status,
                                    std::uint32_t& problem) {
  std::lock_guard lock(mutex_);
  SyncLocked(P::GetClock().NowUs());
  Node* node = FindNode(device);
  if (node == nullptr) return P::kErrorNotFound;
  status = P::kDnDriverLoaded | P::kDnStarted;
  problem = 0;
  if (node->problem) {
    status = P::kDnHasProblem;
    problem = kProblemFailedStart;
  }
  return 0;
}

std::uint32_t SimBus::GetPropertyData(P::DevInst device, P::DeviceProperty property,
                                      std::uint32_t* type, void* buffer, std::uint32_t size,
                                      std::uint32_t* requiredSize) {
  std::lock_guard lock(mutex_);
  SyncLocked(P::GetClock().NowUs());
  Node* node = FindNode(device);
  if (node == nullptr) return P::kErrorNotFound;
  std::vector<wchar_t> text;
  std::uint32_t number = 0;
  std::uint32_t kind = P::kPropertyTypeText;
  auto setText = [&](const std::wstring& s) {
    text.assign(s.begin(), s.end());
    text.push_back(L'\0');
  };
  switch (property) {
    case P::DeviceProperty::kFriendlyName:
      if (!node->friendlyName) return P::kErrorInvalidData;
      setText(*node->friendlyName);
      break;
    case P::DeviceProperty::kDeviceDesc:
      setText(node->deviceDesc);
      break;
    case P::DeviceProperty::kClass:
      if (node->className.empty()) return P::kErrorInvalidData;
      setText(node->className);
      break;
    case P::DeviceProperty::kLocationPaths:
      if (node->locationPath.empty()) return P::kErrorInvalidData;
      setText(node->locationPath);
      text.push_back(L'\0');
      kind = P::kPropertyTypeTextList;
      break;
    case P::DeviceProperty::kAddress:
      if (!node->address) return P::kErrorInvalidData;
      number = *node->address;
      kind = P::kPropertyTypeNumber;
      break;
    case P::DeviceProperty::kPdoName:
      if (node->pdoName.empty()) return P::kErrorInvalidData;
      setText(node->pdoName);
      break;
    case P::DeviceProperty::kDriver:
      if (node->driverKey.empty()) return P::kErrorInvalidData;
      setText(node->driverKey);
      break;
  }
  const void* bytes = kind == P::kPropertyTypeNumber ? static_cast<const void*>(&number)
                                                     : static_cast<const void*>(text.data());
  std::uint32_t needed = kind == P::kPropertyTypeNumber
                             ? sizeof number
                             : static_cast<std::uint32_t>(text.size() * sizeof(wchar_t));
  if (type != nullptr) *type = kind;
  if (requiredSize != nullptr) *requiredSize = needed;
  if (buffer == nullptr || size < needed) return P::kErrorInsufficientBuffer;
  std::memcpy(buffer, bytes, needed);
  return 0;
}

std::uint32_t SimBus::OpenDeviceInterface(std::wstring_view path, P::InterfaceHandle& out) {
  std::lock_guard lock(mutex_);
  SyncLocked(P::GetClock().NowUs());
  std::wstring want = Lower(path);
  for (const auto& [inst, node] : nodes_) {
    for (const auto& iface : node.interfaces) {
      if (Lower(iface.second) != want) continue;
      if (node.problem) return P::kErrorFileNotFound;
      OpenInterface open{want, node.device, node.device ? node.device->epoch() : 0};
      for (const auto& [h, other] : interfaces_) {
        if (other.path == want && other.device == open.device && other.epoch == open.epoch) {
          return P::kErrorSharingViolation;
        }
      }
      P::InterfaceHandle handle = nextInterfaceHandle_;
      nextInterfaceHandle_ += 4;
      interfaces_[handle] = open;
      out = handle;
      return 0;
    }
  }
  return P::kErrorFileNotFound;
}

std::uint32_t SimBus::CloseDeviceInterface(P::InterfaceHandle handle) {
  std::lock_guard lock(mutex_);
  return interfaces_.erase(handle) == 1 ? 0 : P::kErrorInvalidHandle;
}

const SimBus::HubInfo* SimBus::FindHubByPath(std::wstring_view path) {
  std::wstring want = Lower(path);
  for (const HubInfo& h : hubs_)
    if (Lower(h.path) == want) return &h;
  return nullptr;
}

SimDevice* SimBus::DeviceOnPort(const HubInfo& hub, std::uint32_t port) {
  for (auto& d : devices_) {
    const DeviceConfig& c = d->config();
    if (c.hub != hub.kind || c.viaHub != hub.rootPort) continue;
    if (nodeEpoch_.count(d.get()) != 0 && d->currentPort() == port) return d.get();
  }
  return nullptr;
}

std::uint32_t SimBus::GetHubPortCount(std::wstring_view hubPath, std::uint32_t& ports) {
  std::lock_guard lock(mutex_);
  const HubInfo* hub = FindHubByPath(hubPath);
  if (hub == nullptr) return P::kErrorFileNotFound;
  ports = hub->ports;
  return 0;
}

std::uint32_t SimBus::GetHubPortConnection(std::wstring_view hubPath, std::uint32_t port,
                                           P::HubPortConnection& out) {
  std::lock_guard lock(mutex_);
  SyncLocked(P::GetClock().NowUs());
  const HubInfo* hub = FindHubByPath(hubPath);
  if (hub == nullptr) return P::kErrorFileNotFound;
  if (port == 0 || port > hub->ports) return P::kErrorInvalidParameter;
  out = P::HubPortConnection{};
  out.speed = hub->kind == RootHubKind::kUsb3 && hub->rootPort == 0 && port > 16 ? 3 : 2;
  if (hub->rootPort == 0) {
    for (const HubInfo& h : hubs_) {
      if (h.rootPort == port && h.kind == hub->kind) {
        static constexpr std::uint8_t kHubDescriptor[18] = {
            18, 1, 0x00, 0x02, 9, 0, 1, 64, 0xE3, 0x05, 0x10, 0x06, 0x60, 0x60, 0, 1, 0, 1};
        out.connected = true;
        out.isHub = true;
        out.deviceAddress = static_cast<std::uint16_t>(h.node);
        std::memcpy(out.deviceDescriptor, kHubDescriptor, 18);
        out.driverKey = FindNode(h.node)->driverKey;
        return 0;
      }
    }
  }
  SimDevice* device = DeviceOnPort(*hub, port);
  if (device == nullptr) return 0;
  out.connected = true;
  out.deviceAddress = static_cast<std::uint16_t>(device->epoch() % 127 + 1);
  std::memcpy(out.deviceDescriptor, device->deviceDescriptor().data(), 18);
  for (const auto& [inst, node] : nodes_) {
    if (node.device == device && node.className == L"USB") out.driverKey = node.driverKey;
  }
  return 0;
}

std::uint32_t SimBus::GetHubPortCompanion(std::wstring_view hubPath, std::uint32_t port,
                                          std::uint32_t& companionPort) {
  std::lock_guard lock(mutex_);
  const HubInfo* hub = FindHubByPath(hubPath);
  if (hub == nullptr) return P::kErrorFileNotFound;
  if (port == 0 || port > hub->ports) return P::kErrorInvalidParameter;
  companionPort = 0;
  if (hub->kind != RootHubKind::kUsb3 || hub->rootPort != 0) return 0;
  for (auto& d : devices_) {
    const DeviceConfig& c = d->config();
    if (c.hub != RootHubKind::kUsb3 || c.viaHub != 0) continue;
    std::uint32_t other = c.effectiveCompanion();
    if (other == 0) continue;
    if (c.port == port) {
      companionPort = other;
      return 0;
    }
    if (other == port) {
      companionPort = c.port;
      return 0;
    }
  }
  companionPort = port <= 16 ? port + 16 : port - 16;
  return 0;
}

std::uint32_t SimBus::GetHubPortStringDescriptor(std::wstring_view hubPath, std::uint32_t port,
                                                 std::uint8_t index, std::uint16_t,
                                                 std::vector<std::uint8_t>& descriptor) {
  std::lock_guard lock(mutex_);
  SyncLocked(P::GetClock().NowUs());
  const HubInfo* hub = FindHubByPath(hubPath);
  if (hub == nullptr) return P::kErrorFileNotFound;
  SimDevice* device = DeviceOnPort(*hub, port);
  if (device == nullptr) return P::kErrorDeviceNotConnected;
  auto bytes = device->StringDescriptor(index);
  if (!bytes) return P::kErrorGenFailure;
  descriptor = *bytes;
  return 0;
}

}  // namespace vantor::sim
