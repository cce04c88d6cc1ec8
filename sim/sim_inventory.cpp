#include "sim/sim_inventory.h"

namespace vantor::sim {

namespace {

class SimInventory final : public platform::DeviceInventory {
 public:
  explicit SimInventory(std::shared_ptr<SimBus> bus) : bus_(std::move(bus)) {}

  std::uint32_t ListClassDevices(const platform::Guid& setupClass, std::wstring_view enumerator,
                                 std::vector<platform::DevInst>& out) override {
    return bus_->ListClassDevices(setupClass, enumerator, out);
  }
  std::uint32_t ListDeviceInterfaces(const platform::Guid& interfaceClass,
                                     platform::DevInst onlyDevice,
                                     std::vector<platform::DeviceInterfaceEntry>& out) override {
    return bus_->ListDeviceInterfaces(interfaceClass, onlyDevice, out);
  }
  std::uint32_t GetDeviceInstanceId(platform::DevInst device, std::wstring& id) override {
    return bus_->GetDeviceInstanceId(device, id);
  }
  std::uint32_t LocateDeviceInstance(std::wstring_view instanceId,
                                     platform::DevInst& out) override {
    return bus_->LocateDeviceInstance(instanceId, out);
  }
  std::uint32_t GetRoot(platform::DevInst& out) override { return bus_->GetRoot(out); }
  std::uint32_t GetParent(platform::DevInst device, platform::DevInst& parent) override {
    return bus_->GetParent(device, parent);
  }
  std::uint32_t GetFirstChild(platform::DevInst device, platform::DevInst& child) override {
    return bus_->GetFirstChild(device, child);
  }
  std::uint32_t GetNextSibling(platform::DevInst device, platform::DevInst& sibling) override {
    return bus_->GetNextSibling(device, sibling);
  }
  std::uint32_t GetNodeStatus(platform::DevInst device, std::uint32_t& status,
                              std::uint32_t& problem) override {
    return bus_->GetNodeStatus(device, status, problem);
  }
  std::uint32_t GetPropertyData(platform::DevInst device, platform::DeviceProperty property,
                                std::uint32_t* type, void* buffer, std::uint32_t size,
                                std::uint32_t* requiredSize) override {
    return bus_->GetPropertyData(device, property, type, buffer, size, requiredSize);
  }
  std::uint32_t OpenDeviceInterface(std::wstring_view path,
                                    platform::InterfaceHandle& out) override {
    return bus_->OpenDeviceInterface(path, out);
  }
  std::uint32_t CloseDeviceInterface(platform::InterfaceHandle handle) override {
    return bus_->CloseDeviceInterface(handle);
  }
  std::uint32_t GetHubPortCount(std::wstring_view hubPath, std::uint32_t& ports) override {
    return bus_->GetHubPortCount(hubPath, ports);
  }
  std::uint32_t GetHubPortConnection(std::wstring_view hubPath, std::uint32_t port,
                                     platform::HubPortConnection& out) override {
    return bus_->GetHubPortConnection(hubPath, port, out);
  }
  std::uint32_t GetHubPortCompanion(std::wstring_view hubPath, std::uint32_t port,
                                    std::uint32_t& companionPort) override {
    return bus_->GetHubPortCompanion(hubPath, port, companionPort);
  }
  std::uint32_t GetHubPortStringDescriptor(std::wstring_view hubPath, std::uint32_t port,
                                           std::uint8_t index, std::uint16_t language,
                                           std::vector<std::uint8_t>& descriptor) override {
    return bus_->GetHubPortStringDescriptor(hubPath, port, index, language, descriptor);
  }

 private:
  std::shared_ptr<SimBus> bus_;
};

}  // namespace

std::shared_ptr<platform::DeviceInventory> MakeSimInventory(std::shared_ptr<SimBus> bus) {
  return std::make_shared<SimInventory>(std::move(bus));
}

}  // namespace vantor::sim
