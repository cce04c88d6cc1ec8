// The USB devices of a Linux system as sysfs shows them (/sys/bus/usb/devices): root
// hubs ("usb3"), devices ("3-1.4") with their port chain, identity, strings, raw
// descriptors and interfaces ("3-1.4:1.0") with the class driver bound to each, the
// sound card or video node an interface carries, and the companion ("peer") of each
// root-hub port on the other USB generation of the same controller.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace vantor::platform::linux_usb {

struct SysfsInterface {
  std::string name;  // "3-1.4:1.0"
  std::uint8_t number = 0;
  std::uint8_t interfaceClass = 0;
  std::uint8_t interfaceSubClass = 0;
  std::string driver;     // the bound driver ("snd-usb-audio", "uvcvideo", "usbfs"), or ""
  std::string soundCard;  // "card1" when the interface carries a sound card
  std::string soundCardId;
  std::string videoNode;  // "video0" when it carries a video device
  std::string videoName;
};

struct SysfsDevice {
  std::string name;           // "usb3" for a root hub, else "3-1.4"
  std::filesystem::path dir;  // the device's own directory (links resolved)
  std::uint32_t bus = 0;
  std::uint32_t devnum = 0;
  std::vector<std::uint32_t> ports;  // the port chain from the root hub; empty for a root hub
  std::uint16_t vid = 0;
  std::uint16_t pid = 0;
  std::uint16_t bcdDevice = 0;
  std::uint8_t deviceClass = 0;
  std::uint32_t speedMbps = 0;
  std::uint32_t maxchild = 0;
  std::string manufacturer;
  std::string product;
  std::string serial;
  std::vector<std::uint8_t> descriptors;  // device descriptor, then the configuration
  std::vector<SysfsInterface> interfaces;
  // Root hubs: the controller beneath (its directory) and the peer of each port,
  // as "usb<bus>-port<n>" names.
  std::filesystem::path controllerDir;
  std::map<std::uint32_t, std::string> portPeers;

  bool rootHub() const { return ports.empty(); }
  bool hub() const { return deviceClass == 9; }
  // The usbfs node, e.g. /dev/bus/usb/003/007.
  std::string UsbfsNode() const;
};

// Reads <sysRoot>/bus/usb/devices; devices sorted by bus and port chain. A system
// without USB gives an empty list.
std::vector<SysfsDevice> ReadSysfsUsb(const std::filesystem::path& sysRoot);

// The text of a sysfs attribute without its line end ("" when it cannot be read).
std::string ReadAttribute(const std::filesystem::path& file);
// The device's number (devnum) now, or 0 when the device directory has gone.
std::uint32_t CurrentDevnum(const std::filesystem::path& deviceDir);

}  // namespace vantor::platform::linux_usb
