// A device inventory that passes every call on to another one (the simulated bus's),
// except for the faults a test sets: a node whose parent or instance ID cannot be read,
// a node that is its own parent (a tree that never reaches a root hub), a node whose
// instance ID reads differently, and property reads that fail once the buffer is given.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "platform/device_inventory.h"

namespace vantor::test {

class FaultyInventory final : public platform::DeviceInventory {
 public:
  explicit FaultyInventory(std::shared_ptr<platform::DeviceInventory> inner)
      : inner_(std::move(inner)) {}

  std::set<platform::DevInst> parentFails;         // GetParent fails with kErrorNotFound
  std::set<platform::DevInst> ownParent;           // GetParent answers the node itself
  std::set<platform::DevInst> idFails;             // GetDeviceInstanceId fails
  std::map<platform::DevInst, std::wstring> idAs;  // GetDeviceInstanceId answers this
  std::set<platform::DevInst> dataCallFails;       // GetPropertyData with a buffer fails

  std::uint32_t ListClassDevices(const platform::Guid& setupClass, std::wstring_view enumerator,
                                 std::vector<platform::DevInst>& out) override {
    return inner_->ListClassDevices(setupClass, enumerator, out);
  }
  std::uint32_t ListDeviceInterfaces(const platform::Guid& interfaceClass,
                                     platform::DevInst onlyDevice,
                                     std::vector<platform::DeviceInterfaceEntry>& out) override {
    return inner_->ListDeviceInterfaces(interfaceClass, onlyDevice, out);
  }
  std::uint32_t GetDeviceInstanceId(platform::DevInst device, std::wstring& id) override {
    if (idFails.count(device) != 0) return platform::kErrorNotFound;
    auto as = idAs.find(device);
    if (as != idAs.end()) {
      id = as->second;
      return 0;
    }
    return inner_->GetDeviceInstanceId(device, id);
  }
  std::uint32_t LocateDeviceInstance(std::wstring_view instanceId,
                                     platform::DevInst& out) override {
    return inner_->LocateDeviceInstance(instanceId, out);
  }
  std::uint32_t GetRoot(platform::DevInst& out) override { return inner_->GetRoot(out); }
  std::uint32_t GetParent(platform::DevInst device, platform::DevInst& parent) override {
    if (parentFails.count(device) != 0) return platform::kErrorNotFound;
    if (ownParent.count(device) != 0) {
      parent = device;
      return 0;
    }
    return inner_->GetParent(device, parent);
  }
  std::uint32_t GetFirstChild(platform::DevInst device, platform::DevInst& child) override {
    return inner_->GetFirstChild(device, child);
  }
  std::uint32_t GetNextSibling(platform::DevInst device, platform::DevInst& sibling) override {
    return inner_->GetNextSibling(device, sibling);
  }
  std::uint32_t GetNodeStatus(platform::DevInst device, std::uint32_t& status,
                              std::uint32_t& problem) override {
    return inner_->GetNodeStatus(device, status, problem);
  }
  std::uint32_t GetPropertyData(platform::DevInst device, platform::DeviceProperty property,
                                std::uint32_t* type, void* buffer, std::uint32_t size,
                                std::uint32_t* requiredSize) override {
    if (buffer != nullptr && dataCallFails.count(device) != 0) return platform::kErrorNotFound;
    return inner_->GetPropertyData(device, property, type, buffer, size, requiredSize);
  }
  std::uint32_t OpenDeviceInterface(std::wstring_view path,
                                    platform::InterfaceHandle& out) override {
    return inner_->OpenDeviceInterface(path, out);
  }
  std::uint32_t CloseDeviceInterface(platform::InterfaceHandle handle) override {
    return inner_->CloseDeviceInterface(handle);
  }
  std::uint32_t GetHubPortCount(std::wstring_view hubPath, std::uint32_t& ports) override {
    return inner_->GetHubPortCount(hubPath, ports);
  }
  std::uint32_t GetHubPortConnection(std::wstring_view hubPath, std::uint32_t port,
                                     platform::HubPortConnection& out) override {
    return inner_->GetHubPortConnection(hubPath, port, out);
  }
  std::uint32_t GetHubPortCompanion(std::wstring_view hubPath, std::uint32_t port,
                                    std::uint32_t& companionPort) override {
    return inner_->GetHubPortCompanion(hubPath, port, companionPort);
  }
  std::uint32_t GetHubPortStringDescriptor(std::wstring_view hubPath, std::uint32_t port,
                                           std::uint8_t index, std::uint16_t language,
                                           std::vector<std::uint8_t>& descriptor) override {
    return inner_->GetHubPortStringDescriptor(hubPath, port, index, language, descriptor);
  }

 private:
  std::shared_ptr<platform::DeviceInventory> inner_;
};

// Puts a FaultyInventory over the installed inventory for the life of the object.
class ScopedFaultyInventory {
 public:
  ScopedFaultyInventory()
      : previous_(platform::GetDeviceInventory()),
        faulty_(std::make_shared<FaultyInventory>(previous_)) {
    platform::SetDeviceInventory(faulty_);
  }
  ~ScopedFaultyInventory() { platform::SetDeviceInventory(previous_); }
  ScopedFaultyInventory(const ScopedFaultyInventory&) = delete;
  ScopedFaultyInventory& operator=(const ScopedFaultyInventory&) = delete;
  FaultyInventory* operator->() { return faulty_.get(); }

 private:
  std::shared_ptr<platform::DeviceInventory> previous_;
  std::shared_ptr<FaultyInventory> faulty_;
};

}  // namespace vantor::test
