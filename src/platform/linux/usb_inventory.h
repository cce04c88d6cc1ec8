// The device inventory of Linux: the USB devices of sysfs presented as the Windows-shaped
// tree the device layer walks.
//
//   HTREE\ROOT\0
//     host controller        PCI\VEN_8086&DEV_A36D&...  or  ROOT\VHCI_HCD\0000
//       root hub             USB\ROOT_HUB30\... (ROOT_HUB20, ROOT_HUB for slower ones)
//         external hub       USB\VID_05E3&PID_0610\...
//         USB device         USB\VID_3A4B&PID_0310\<serial>      class USB
//           audio function  USB\VID_3A4B&PID_0310&MI_00\6&...   class Media
//           video function  USB\VID_3A4B&PID_0510&MI_00\6&...   class Camera
//
// One root hub stands for all root hubs of a controller (an xHCI controller shows a USB 2
// and a USB 3 root hub on Linux): its ports are those of the slower root hub, then
// those of the faster one, as Windows numbers them, so a dual-package device that comes
// back on the companion port of the other generation is found under the same root hub,
// and the companion of a port is the "peer" sysfs names. Location paths are made from
// the controller, the bus and the port chain: PCIROOT(0)#PCI(1400)#USBROOT(1)#USB(2)
// #USB(3)[#USBMI(0)], where USBROOT carries the controller's first bus number. Instance
// IDs use the serial number (else a hash of the location), so a device that re-
// enumerates keeps its ID and location; its physical-device-object name carries the bus
// and device number the kernel gives it anew at each enumeration. Display names: the
// product string, else the sound card's or video device's name.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/device_inventory.h"
#include "platform/linux/usb_host.h"
#include "platform/linux/usb_sysfs.h"

namespace vantor::platform::linux_usb {

class UsbInventory final : public DeviceInventory {
 public:
  explicit UsbInventory(std::shared_ptr<UsbHost> host);
  ~UsbInventory() override;

  std::uint32_t ListClassDevices(const Guid& setupClass, std::wstring_view enumerator,
                                 std::vector<DevInst>& out) override;
  std::uint32_t ListDeviceInterfaces(const Guid& interfaceClass, DevInst onlyDevice,
                                     std::vector<DeviceInterfaceEntry>& out) override;
  std::uint32_t GetDeviceInstanceId(DevInst device, std::wstring& id) override;
  std::uint32_t LocateDeviceInstance(std::wstring_view instanceId, DevInst& out) override;
  std::uint32_t GetRoot(DevInst& out) override;
  std::uint32_t GetParent(DevInst device, DevInst& parent) override;
  std::uint32_t GetFirstChild(DevInst device, DevInst& child) override;
  std::uint32_t GetNextSibling(DevInst device, DevInst& sibling) override;
  std::uint32_t GetNodeStatus(DevInst device, std::uint32_t& status,
                              std::uint32_t& problem) override;
  std::uint32_t GetPropertyData(DevInst device, DeviceProperty property, std::uint32_t* type,
                                void* buffer, std::uint32_t size,
                                std::uint32_t* requiredSize) override;
  std::uint32_t OpenDeviceInterface(std::wstring_view path, InterfaceHandle& out) override;
  std::uint32_t CloseDeviceInterface(InterfaceHandle handle) override;
  std::uint32_t GetHubPortCount(std::wstring_view hubPath, std::uint32_t& ports) override;
  std::uint32_t GetHubPortConnection(std::wstring_view hubPath, std::uint32_t port,
                                     HubPortConnection& out) override;
  std::uint32_t GetHubPortCompanion(std::wstring_view hubPath, std::uint32_t port,
                                    std::uint32_t& companionPort) override;
  std::uint32_t GetHubPortStringDescriptor(std::wstring_view hubPath, std::uint32_t port,
                                           std::uint8_t index, std::uint16_t language,
                                           std::vector<std::uint8_t>& descriptor) override;

 private:
  struct Node;
  struct Hub;

  void Refresh();
  DevInst InstFor(const std::string& key);
  DevInst AddNode(const std::string& key, Node node);
  void AddController(const std::vector<std::size_t>& rootHubs);
  void AddDevice(std::size_t index);
  Node* Find(DevInst inst);
  const Hub* FindHub(std::wstring_view path);
  const SysfsDevice* DeviceOnPort(const Hub& hub, std::uint32_t port);

  std::shared_ptr<UsbHost> host_;
  std::mutex mutex_;
  std::map<std::string, DevInst> keys_;
  DevInst nextInst_ = 1;
  std::vector<SysfsDevice> devices_;
  std::map<DevInst, Node> nodes_;
  std::vector<Hub> hubs_;
  // Root ports: (bus, port on that bus) -> the port's number on its controller's root hub.
  std::map<std::pair<std::uint32_t, std::uint32_t>, std::uint32_t> rootPorts_;
  std::map<std::uint32_t, DevInst> rootHubOfBus_;
  std::map<std::uint32_t, std::wstring> rootLocationOfBus_;
  std::map<std::pair<std::uint32_t, std::vector<std::uint32_t>>, DevInst> hubDevices_;
};

}  // namespace vantor::platform::linux_usb
