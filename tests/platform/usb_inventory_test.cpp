// The Linux inventory over a sysfs tree made in a temporary folder: an xHCI controller
// (a USB 2 and a USB 3 root hub with peered ports), an audio device on root port 1 and a
// camera behind an external hub, presented as the Windows-shaped tree the device layer
// walks; re-enumeration, removal, hub port facts, and the interface changes a tracker
// reports.
#include "platform/linux/usb_inventory.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>

#include "device/device_enum.h"
#include "platform/device_notifications.h"
#include "platform/last_error.h"

namespace vantor {
namespace {

namespace fs = std::filesystem;
namespace P = platform;
using P::linux_usb::UsbHost;
using P::linux_usb::UsbInventory;

void Write(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << text;
}

// A sysfs tree: /sys/devices/... with the devices, /sys/bus/usb/devices/* links to them.
class FakeSysfs {
 public:
  FakeSysfs() : root_(fs::temp_directory_path() / ("vantor-sysfs-" + std::to_string(::getpid()))) {
    fs::remove_all(root_);
    controller_ = root_ / "devices/pci0000:00/0000:00:14.0";
    Write(controller_ / "vendor", "0x8086\n");
    Write(controller_ / "device", "0xa36d\n");
    fs::create_directories(root_ / "bus/usb/devices");
    fs::create_directories(root_ / "bus/usb/drivers/snd-usb-audio");
    fs::create_directories(root_ / "bus/usb/drivers/uvcvideo");
  }
  ~FakeSysfs() { fs::remove_all(root_); }
  const fs::path& root() const { return root_; }

  fs::path RootHub(unsigned bus, unsigned speed, unsigned ports) {
    const fs::path dir = controller_ / ("usb" + std::to_string(bus));
    Attributes(dir, bus, 1, "1d6b", speed == 5000 ? "0003" : "0002", speed, 9, ports);
    Link("usb" + std::to_string(bus), dir);
    return dir;
  }
  void Peer(const fs::path& hub, unsigned bus, unsigned port, unsigned peerBus, unsigned peerPort) {
    const std::string self = "usb" + std::to_string(bus) + "-port" + std::to_string(port);
    const std::string other = "usb" + std::to_string(peerBus) + "-port" + std::to_string(peerPort);
    const fs::path portDir = hub / (std::to_string(bus) + "-0:1.0") / self;
    fs::create_directories(portDir);
    fs::create_directory_symlink(fs::path("../../../usb" + std::to_string(peerBus) + "/" +
                                          std::to_string(peerBus) + "-0:1.0/" + other),
                                 portDir / "peer");
  }
  fs::path Device(const fs::path& parent, const std::string& name, unsigned devnum,
                  const std::string& vid, const std::string& pid, unsigned cls, unsigned ports,
                  const std::string& product, const std::string& serial) {
    const fs::path dir = parent / name;
    Attributes(dir, static_cast<unsigned>(std::stoul(name)), devnum, vid, pid, 480, cls, ports);
    if (!product.empty()) Write(dir / "product", product + "\n");
    if (!serial.empty()) Write(dir / "serial", serial + "\n");
    Write(dir / "bConfigurationValue", "1\n");
    // Device descriptor: string indexes 1, 2, 3.
    std::string d = {18, 1, 0, 2, static_cast<char>(cls), 0, 0, 64};
    d += static_cast<char>(std::stoul(vid, nullptr, 16) & 0xFF);
    d += static_cast<char>(std::stoul(vid, nullptr, 16) >> 8);
    d += static_cast<char>(std::stoul(pid, nullptr, 16) & 0xFF);
    d += static_cast<char>(std::stoul(pid, nullptr, 16) >> 8);
    d += std::string{0, 1, 1, 2, 3, 1};
    Write(dir / "descriptors", d);
    Link(name, dir);
    return dir;
  }
  fs::path Interface(const fs::path& device, unsigned number, unsigned cls, unsigned sub,
                     const std::string& driver) {
    const std::string name = device.filename().string() + ":1." + std::to_string(number);
    const fs::path dir = device / name;
    Write(dir / "bInterfaceNumber", Hex(number));
    Write(dir / "bInterfaceClass", Hex(cls));
    Write(dir / "bInterfaceSubClass", Hex(sub));
    if (!driver.empty()) {
      fs::create_directory_symlink(root_ / "bus/usb/drivers" / driver, dir / "driver");
    }
    Link(name, dir);
    return dir;
  }
  void Remove(const std::string& name) {
    for (const auto& e : fs::directory_iterator(root_ / "bus/usb/devices")) {
      const std::string n = e.path().filename().string();
      if (n == name || n.rfind(name + ":", 0) == 0) fs::remove(e.path());
    }
  }
  fs::path controller() const { return controller_; }

 private:
  static std::string Hex(unsigned v) {
    char t[8];
    std::snprintf(t, sizeof t, "%02x\n", v);
    return t;
  }
  void Attributes(const fs::path& dir, unsigned bus, unsigned devnum, const std::string& vid,
                  const std::string& pid, unsigned speed, unsigned cls, unsigned ports) {
    Write(dir / "busnum", std::to_string(bus) + "\n");
    Write(dir / "devnum", std::to_string(devnum) + "\n");
    Write(dir / "idVendor", vid + "\n");
    Write(dir / "idProduct", pid + "\n");
    Write(dir / "bcdDevice", "0100\n");
    Write(dir / "bDeviceClass", Hex(cls));
    Write(dir / "speed", std::to_string(speed) + "\n");
    Write(dir / "maxchild", std::to_string(ports) + "\n");
  }
  void Link(const std::string& name, const fs::path& dir) {
    fs::create_directory_symlink(dir, root_ / "bus/usb/devices" / name);
  }

  fs::path root_;
  fs::path controller_;
};

class LinuxInventory : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path usb1 = sys.RootHub(1, 480, 2);
    const fs::path usb2 = sys.RootHub(2, 5000, 2);
    sys.Peer(usb1, 1, 1, 2, 1);
    sys.Peer(usb2, 2, 1, 1, 1);
    audio = sys.Device(usb1, "1-1", 5, "3a4b", "0310", 0, 0, "Korvane USB Audio", "0310000001");
    const fs::path ac = sys.Interface(audio, 0, 1, 1, "snd-usb-audio");
    Write(ac / "sound/card1/id", "Audio\n");
    sys.Interface(audio, 1, 1, 2, "snd-usb-audio");
    const fs::path hub = sys.Device(usb1, "1-2", 2, "05e3", "0610", 9, 4, "USB2.0 Hub", "");
    camera = sys.Device(hub, "1-2.3", 7, "3a4b", "0510", 0xEF, 0, "", "");
    const fs::path vc = sys.Interface(camera, 0, 14, 1, "uvcvideo");
    Write(vc / "video4linux/video0/name", "Korvane Cam\n");
    sys.Interface(camera, 1, 14, 2, "uvcvideo");
    host = std::make_shared<UsbHost>(sys.root());
    inventory = std::make_shared<UsbInventory>(host);
    P::SetDeviceInventory(inventory);
  }
  void TearDown() override { P::SetDeviceInventory(nullptr); }

  std::wstring Id(P::DevInst d) {
    std::wstring id;
    EXPECT_EQ(inventory->GetDeviceInstanceId(d, id), 0u);
    return id;
  }
  std::wstring Text(P::DevInst d, P::DeviceProperty p) {
    std::wstring text;
    inventory->GetTextProperty(d, p, text);
    return text;
  }
  std::wstring RootHubPath() {
    std::vector<P::DeviceInterfaceEntry> hubs;
    inventory->ListDeviceInterfaces(P::kGuidDevInterfaceUsbHub, 0, hubs);
    for (const auto& h : hubs) {
      if (Id(h.device).find(L"ROOT_HUB30") != std::wstring::npos) return h.path;
    }
    return {};
  }

  FakeSysfs sys;
  fs::path audio;
  fs::path camera;
  std::shared_ptr<UsbHost> host;
  std::shared_ptr<UsbInventory> inventory;
};

TEST_F(LinuxInventory, AudioDevicesAreListedAsTheirCompositeDevice) {
  std::vector<DeviceListEntry> list;
  std::uint32_t count = 0;
  ASSERT_EQ(EnumerateDevices(&list, &count, kListAudio), 0u);
  ASSERT_EQ(count, 1u);
  EXPECT_EQ(list[0].displayName, L"Korvane USB Audio");
  EXPECT_EQ(list[0].bareDeviceId, L"USB\\VID_3A4B&PID_0310");
  EXPECT_EQ(list[0].locationPath, L"PCIROOT(0)#PCI(1400)#USBROOT(1)#USB(1)#USBMI(0)");
  const P::DevInst composite = list[0].devInst;
  EXPECT_EQ(Id(composite), L"USB\\VID_3A4B&PID_0310\\0310000001");
  EXPECT_EQ(Text(composite, P::DeviceProperty::kClass), L"USB");
  EXPECT_EQ(Text(composite, P::DeviceProperty::kLocationPaths),
            L"PCIROOT(0)#PCI(1400)#USBROOT(1)#USB(1)");
  std::uint32_t address = 0;
  EXPECT_EQ(inventory->GetNumberProperty(composite, P::DeviceProperty::kAddress, address), 0u);
  EXPECT_EQ(address, 1u);
  EXPECT_EQ(Text(composite, P::DeviceProperty::kPdoName), L"\\Device\\USBPDO-1-5");

  // Up the tree: the root hub (USB 3 generation), the controller, the root.
  P::DevInst hub = 0;
  ASSERT_EQ(inventory->GetParent(composite, hub), 0u);
  EXPECT_TRUE(EndsParentWalk(Id(hub)));
  EXPECT_EQ(UsbGenerationOfParent(Id(hub)), 3u);
  P::DevInst controller = 0;
  ASSERT_EQ(inventory->GetParent(hub, controller), 0u);
  EXPECT_EQ(Id(controller).rfind(L"PCI\\VEN_8086&DEV_A36D", 0), 0u) << Id(controller);
  P::DevInst root = 0;
  ASSERT_EQ(inventory->GetParent(controller, root), 0u);
  P::DevInst expectedRoot = 0;
  inventory->GetRoot(expectedRoot);
  EXPECT_EQ(root, expectedRoot);

  // The function: its interface number and the audio category interface.
  std::vector<P::DevInst> media;
  ASSERT_EQ(inventory->ListClassDevices(P::kGuidClassMedia, L"USB", media), 0u);
  ASSERT_EQ(media.size(), 1u);
  EXPECT_EQ(Id(media[0]).find(L"USB\\VID_3A4B&PID_0310&MI_00\\"), 0u);
  std::vector<P::DeviceInterfaceEntry> audioInterfaces;
  inventory->ListDeviceInterfaces(P::kGuidKsCategoryAudio, media[0], audioInterfaces);
  ASSERT_EQ(audioInterfaces.size(), 1u);
  EXPECT_EQ(audioInterfaces[0].path.find(L"\\\\?\\usb#vid_3a4b&pid_0310&mi_00#"), 0u);
}

TEST_F(LinuxInventory, CamerasBehindAHubAndNamesFromTheVideoNode) {
  std::vector<DeviceListEntry> list;
  std::uint32_t count = 0;
  ASSERT_EQ(EnumerateDevices(&list, &count, kListCamera), 0u);
  ASSERT_EQ(count, 1u);
  EXPECT_EQ(list[0].displayName, L"Korvane Cam");
  EXPECT_EQ(Text(list[0].devInst, P::DeviceProperty::kClass), L"Camera");
  EXPECT_EQ(Text(list[0].devInst, P::DeviceProperty::kLocationPaths),
            L"PCIROOT(0)#PCI(1400)#USBROOT(1)#USB(2)#USB(3)#USBMI(0)");
  P::DevInst composite = 0;
  P::DevInst hub = 0;
  ASSERT_EQ(inventory->GetParent(list[0].devInst, composite), 0u);
  ASSERT_EQ(inventory->GetParent(composite, hub), 0u);
  EXPECT_EQ(Id(hub).find(L"USB\\VID_05E3&PID_0610\\"), 0u);
  // Without a serial number the instance ID comes from the place.
  EXPECT_NE(Id(composite).find(L"&0&3"), std::wstring::npos) << Id(composite);
  std::vector<P::DeviceInterfaceEntry> video;
  inventory->ListDeviceInterfaces(P::kGuidKsCategoryVideoCamera, list[0].devInst, video);
  EXPECT_EQ(video.size(), 1u);
}

TEST_F(LinuxInventory, RootPortsOfBothGenerationsAndTheirCompanions) {
  const std::wstring root = RootHubPath();
  ASSERT_FALSE(root.empty());
  std::uint32_t ports = 0;
  ASSERT_EQ(inventory->GetHubPortCount(root, ports), 0u);
  EXPECT_EQ(ports, 4u);  // two USB 2 ports, then two USB 3 ports
  std::uint32_t companion = 0;
  ASSERT_EQ(inventory->GetHubPortCompanion(root, 1, companion), 0u);
  EXPECT_EQ(companion, 3u);
  ASSERT_EQ(inventory->GetHubPortCompanion(root, 3, companion), 0u);
  EXPECT_EQ(companion, 1u);
  ASSERT_EQ(inventory->GetHubPortCompanion(root, 2, companion), 0u);
  EXPECT_EQ(companion, 0u);

  P::HubPortConnection port1;
  ASSERT_EQ(inventory->GetHubPortConnection(root, 1, port1), 0u);
  EXPECT_TRUE(port1.connected);
  EXPECT_FALSE(port1.isHub);
  EXPECT_EQ(port1.deviceAddress, 5u);
  EXPECT_EQ(port1.deviceDescriptor[8], 0x4B);
  EXPECT_EQ(port1.deviceDescriptor[9], 0x3A);
  EXPECT_FALSE(port1.driverKey.empty());
  P::HubPortConnection port2;
  ASSERT_EQ(inventory->GetHubPortConnection(root, 2, port2), 0u);
  EXPECT_TRUE(port2.isHub);
  P::HubPortConnection port4;
  ASSERT_EQ(inventory->GetHubPortConnection(root, 4, port4), 0u);
  EXPECT_FALSE(port4.connected);
  EXPECT_EQ(inventory->GetHubPortConnection(root, 5, port4), P::kErrorInvalidParameter);

  // The product string (index 2) as the device sends it.
  std::vector<std::uint8_t> text;
  ASSERT_EQ(inventory->GetHubPortStringDescriptor(root, 1, 2, 0x0409, text), 0u);
  ASSERT_EQ(text.size(), 2u + 2 * 17);
  EXPECT_EQ(text[1], 3);
  EXPECT_EQ(text[2], 'K');
  EXPECT_EQ(text[3], 0);
}

TEST_F(LinuxInventory, ReEnumerationKeepsIdAndPlaceButNotTheInstance) {
  std::vector<DeviceListEntry> before;
  std::uint32_t count = 0;
  ASSERT_EQ(EnumerateDevices(&before, &count, kListAudio), 0u);
  const std::wstring pdo = Text(before[0].devInst, P::DeviceProperty::kPdoName);
  const std::wstring id = Id(before[0].devInst);
  Write(audio / "devnum", "9\n");
  std::vector<DeviceListEntry> after;
  ASSERT_EQ(EnumerateDevices(&after, &count, kListAudio), 0u);
  ASSERT_EQ(count, 1u);
  EXPECT_NE(after[0].devInst, before[0].devInst);
  EXPECT_EQ(Id(after[0].devInst), id);
  EXPECT_EQ(after[0].locationPath, before[0].locationPath);
  EXPECT_NE(Text(after[0].devInst, P::DeviceProperty::kPdoName), pdo);
  // The old instance has gone.
  std::uint32_t status = 0;
  std::uint32_t problem = 0;
  EXPECT_EQ(inventory->GetNodeStatus(before[0].devInst, status, problem), P::kErrorNotFound);
}

TEST_F(LinuxInventory, OpeningNeedsTheDeviceStillThereAndItsNode) {
  std::vector<P::DeviceInterfaceEntry> usb;
  ASSERT_EQ(inventory->ListDeviceInterfaces(P::kGuidDevInterfaceUsbDevice, 0, usb), 0u);
  P::InterfaceHandle handle = 0;
  EXPECT_EQ(inventory->OpenDeviceInterface(L"\\\\?\\usb#nothing", handle), P::kErrorFileNotFound);
  // The device re-enumerated since it was listed: the listed interface is gone.
  std::wstring path;
  for (const auto& e : usb) {
    if (Id(e.device).find(L"PID_0310") != std::wstring::npos) path = e.path;
  }
  ASSERT_FALSE(path.empty());
  Write(audio / "devnum", "6\n");
  // Same path (the instance ID did not change), new device number: the open looks at
  // the device as it is now, whose usbfs node does not exist in this tree.
  EXPECT_NE(inventory->OpenDeviceInterface(path, handle), 0u);
  EXPECT_EQ(host->IsOpen(path), false);
}

TEST_F(LinuxInventory, TrackerReportsInterfaceArrivalAndRemoval) {
  P::InterfaceChangeTracker tracker(inventory);
  EXPECT_TRUE(tracker.Poll().empty()) << "the first look only records";
  EXPECT_TRUE(tracker.Poll().empty());
  sys.Remove("1-1");
  auto changes = tracker.Poll();
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].change, P::DeviceChange::kRemoveComplete);
  EXPECT_EQ(changes[0].category, P::kGuidKsCategoryAudio);
  EXPECT_EQ(changes[0].interfacePath.find(L"\\\\?\\usb#vid_3a4b&pid_0310&mi_00#"), 0u);
  fs::create_directory_symlink(audio, sys.root() / "bus/usb/devices/1-1");
  fs::create_directory_symlink(audio / "1-1:1.0", sys.root() / "bus/usb/devices/1-1:1.0");
  changes = tracker.Poll();
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].change, P::DeviceChange::kArrival);
}

TEST_F(LinuxInventory, TheNativeSubscriptionReportsARemoval) {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<P::DeviceChangeNotice> notices;
  auto subscription = P::SubscribeNativeDeviceChanges([&](const P::DeviceChangeNotice& n) {
    std::lock_guard lock(mutex);
    notices.push_back(n);
    changed.notify_all();
  });
  if (!subscription) GTEST_SKIP() << "libusb does not start here";
  sys.Remove("1-2.3");
  std::unique_lock lock(mutex);
  // The subscription looks at the inventory at least once a second.
  ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(10), [&] { return !notices.empty(); }));
  EXPECT_EQ(notices[0].change, P::DeviceChange::kRemoveComplete);
  EXPECT_EQ(notices[0].category, P::kGuidKsCategoryVideo);
  EXPECT_NE(notices[0].interfacePath.find(L"vid_3a4b&pid_0510&mi_00"), std::wstring::npos);
  lock.unlock();
  subscription.reset();
}

TEST(LinuxInventoryEmpty, ASystemWithoutUsbListsNothing) {
  auto inventory = std::make_shared<UsbInventory>(std::make_shared<UsbHost>("/nonexistent"));
  std::vector<P::DevInst> media;
  EXPECT_EQ(inventory->ListClassDevices(P::kGuidClassMedia, L"USB", media), 0u);
  EXPECT_TRUE(media.empty());
}

}  // namespace
}  // namespace vantor
