// The simulated bus: the devices, the USB topology they hang in (host controllers, root
// hubs, external hubs), the device-instance tree the inventory presents, the opened
// interfaces, and the proxy driver's device handles. It plays the kernel proxy's part:
// it decodes the byte-exact records and URBs of both layouts and routes each request to
// its device by device handle. Everything is guarded by one lock; time is the platform
// clock's (the virtual clock in tests and with VANTOR_SIM).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/device_inventory.h"
#include "platform/proxy_driver.h"
#include "sim/sim_device.h"
#include "sim/transfer_log.h"

namespace vantor::sim {

// Counters of a run, over all devices.
struct BusCounters {
  DeviceCounters total;
  std::uint64_t virtualUs = 0;  // virtual time since the bus was made
};

class SimBus : public std::enable_shared_from_this<SimBus> {
 public:
  SimBus();
  ~SimBus();
  SimBus(const SimBus&) = delete;
  SimBus& operator=(const SimBus&) = delete;

  // Adds a device made from `config`; `memory` as for SimDevice; `state` what it runs
  // (null: it boots from its memory).
  SimDevice& AddDevice(DeviceConfig config, std::unique_ptr<platform::MappedFile> memory = {},
                       const DeviceState* state = nullptr);
  // The device of that name, or null.
  SimDevice* FindDevice(const std::string& name);
  std::vector<SimDevice*> Devices();
  // Unplugs the device (it stays off the bus until plugged again) or plugs it back in (it
  // powers up from its memory). False for a name the bus does not have.
  bool SetAttached(const std::string& name, bool attached);
  bool IsAttached(const std::string& name);

  // A new proxy control device on this bus (what OpenProxyControlDevice returns).
  std::unique_ptr<platform::ProxyDriver> OpenControlDevice();
  // The proxy's three I/O controls.
  bool IoControl(std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                 std::uint32_t outSize, std::uint32_t* bytesReturned);

  // The transfer log (an empty path closes it).
  bool SetTransferLog(const std::filesystem::path& path, std::string& error);
  BusCounters Counters();
  // Watchers of the device tree: called under the bus lock, on the thread that made the
  // change, right after device nodes came or went (so a reset's removal is heard while
  // the operation that reset the device still runs). Returns the watcher's key.
  int AddNodesWatcher(std::function<void()> fn);
  void RemoveNodesWatcher(int key);
  // Runs `fn` under the bus lock (watchers keep the bus's lock order: bus, then their own).
  void WithLock(const std::function<void()>& fn);
  // Called (under the bus lock) whenever a device's state to keep has changed.
  void set_stateChanged(std::function<void(SimDevice&)> fn) { stateChanged_ = std::move(fn); }
  // Called (under the bus lock) when a transfer reaches a device whose kill fault has
  // fired, before the transfer fails as "gone".
  void set_hostGone(std::function<void()> fn) { hostGone_ = std::move(fn); }

  // The inventory of this bus (see platform/device_inventory.h for the results).
  std::uint32_t ListClassDevices(const platform::Guid& setupClass, std::wstring_view enumerator,
                                 std::vector<platform::DevInst>& out);
  std::uint32_t ListDeviceInterfaces(const platform::Guid& interfaceClass,
                                     platform::DevInst onlyDevice,
                                     std::vector<platform::DeviceInterfaceEntry>& out);
  std::uint32_t GetDeviceInstanceId(platform::DevInst device, std::wstring& id);
  std::uint32_t LocateDeviceInstance(std::wstring_view instanceId, platform::DevInst& out);
  std::uint32_t GetRoot(platform::DevInst& out);
  std::uint32_t GetParent(platform::DevInst device, platform::DevInst& parent);
  std::uint32_t GetFirstChild(platform::DevInst device, platform::DevInst& child);
  std::uint32_t GetNextSibling(platform::DevInst device, platform::DevInst& sibling);
  std::uint32_t GetNodeStatus(platform::DevInst device, std::uint32_t& status,
                              std::uint32_t& problem);
  std::uint32_t GetPropertyData(platform::DevInst device, platform::DeviceProperty property,
                                std::uint32_t* type, void* buffer, std::uint32_t size,
                                std::uint32_t* requiredSize);
  std::uint32_t OpenDeviceInterface(std::wstring_view path, platform::InterfaceHandle& out);
  std::uint32_t CloseDeviceInterface(platform::InterfaceHandle handle);
  std::uint32_t GetHubPortCount(std::wstring_view hubPath, std::uint32_t& ports);
  std::uint32_t GetHubPortConnection(std::wstring_view hubPath, std::uint32_t port,
                                     platform::HubPortConnection& out);
  std::uint32_t GetHubPortCompanion(std::wstring_view hubPath, std::uint32_t port,
                                    std::uint32_t& companionPort);
  std::uint32_t GetHubPortStringDescriptor(std::wstring_view hubPath, std::uint32_t port,
                                           std::uint8_t index, std::uint16_t language,
                                           std::vector<std::uint8_t>& descriptor);

  // The number of interface handles and proxy device handles open now (tests).
  std::size_t OpenInterfaceCount();
  std::size_t AttachedHandleCount();

 private:
  struct Node;
  struct HubInfo;
  struct OpenInterface;
  struct Attachment;

  void SyncLocked(std::uint64_t nowUs);
  void AddDeviceNodes(SimDevice& device);
  void RemoveDeviceNodes(SimDevice* device);
  platform::DevInst EnsureHub(const DeviceConfig& config);
  platform::DevInst NewNode(Node node);
  Node* FindNode(platform::DevInst inst);
  const HubInfo* FindHubByPath(std::wstring_view path);
  SimDevice* DeviceOnPort(const HubInfo& hub, std::uint32_t port);

  bool Attach(const void* in, std::uint32_t inSize, void* out, std::uint32_t outSize,
              std::uint32_t* bytesReturned);
  bool Submit(const void* in, std::uint32_t inSize);
  bool Detach(const void* in, std::uint32_t inSize);
  void Log(const ControlSetup& setup, TransferOutcome outcome, const std::uint8_t* data,
           std::uint32_t length);

  std::recursive_mutex mutex_;
  std::vector<std::unique_ptr<SimDevice>> devices_;
  std::set<std::string> unplugged_;
  std::map<platform::DevInst, Node> nodes_;
  std::vector<HubInfo> hubs_;
  std::map<SimDevice*, std::uint32_t> nodeEpoch_;
  std::map<platform::InterfaceHandle, OpenInterface> interfaces_;
  std::map<std::uint64_t, Attachment> attachments_;
  platform::DevInst nextInst_ = 1;
  std::uint32_t nextPdo_ = 1;
  std::uint32_t nextDriverKey_ = 1;
  platform::InterfaceHandle nextInterfaceHandle_ = 0x100;
  std::uint32_t nextAttach_ = 1;
  std::uint64_t startUs_ = 0;
  TransferLog log_;
  std::function<void(SimDevice&)> stateChanged_;
  std::map<int, std::function<void()>> nodesWatchers_;
  int nextWatcher_ = 1;
  std::function<void()> hostGone_;
};

}  // namespace vantor::sim
