#include "platform/linux/usb_sysfs.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

namespace vantor::platform::linux_usb {

namespace fs = std::filesystem;

namespace {

// Sysfs attribute files are small; anything larger is not one.
constexpr std::size_t kMaxAttributeBytes = 64 * 1024;

std::uint32_t ReadNumber(const fs::path& file, int base) {
  const std::string text = ReadAttribute(file);
  if (text.empty()) return 0;
  try {
    return static_cast<std::uint32_t>(std::stoul(text, nullptr, base));
  } catch (...) {
    return 0;
  }
}

std::vector<std::uint8_t> ReadBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::vector<std::uint8_t> bytes;
  char chunk[4096];
  while (in && bytes.size() < kMaxAttributeBytes) {
    in.read(chunk, sizeof chunk);
    bytes.insert(bytes.end(), chunk, chunk + in.gcount());
  }
  return bytes;
}

std::string LinkName(const fs::path& link) {
  std::error_code ec;
  const fs::path target = fs::read_symlink(link, ec);
  return ec ? std::string() : target.filename().string();
}

// "3-1.4" -> bus 3, ports {1, 4}; false for anything else.
bool ParseDeviceName(const std::string& name, std::uint32_t& bus,
                     std::vector<std::uint32_t>& ports) {
  const std::size_t dash = name.find('-');
  if (dash == std::string::npos || dash == 0) return false;
  try {
    bus = static_cast<std::uint32_t>(std::stoul(name.substr(0, dash)));
    std::stringstream rest(name.substr(dash + 1));
    std::string part;
    while (std::getline(rest, part, '.')) {
      if (part.empty() || part.find_first_not_of("0123456789") != std::string::npos) return false;
      ports.push_back(static_cast<std::uint32_t>(std::stoul(part)));
    }
  } catch (...) {
    return false;
  }
  return !ports.empty();
}

// The first entry of a class folder below an interface ("sound/card1").
std::string FirstEntry(const fs::path& dir, const std::string& prefix) {
  std::error_code ec;
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(prefix, 0) == 0) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names.empty() ? std::string() : names.front();
}

SysfsInterface ReadInterface(const fs::path& dir, const std::string& name) {
  SysfsInterface i;
  i.name = name;
  i.number = static_cast<std::uint8_t>(ReadNumber(dir / "bInterfaceNumber", 16));
  i.interfaceClass = static_cast<std::uint8_t>(ReadNumber(dir / "bInterfaceClass", 16));
  i.interfaceSubClass = static_cast<std::uint8_t>(ReadNumber(dir / "bInterfaceSubClass", 16));
  i.driver = LinkName(dir / "driver");
  i.soundCard = FirstEntry(dir / "sound", "card");
  if (!i.soundCard.empty()) i.soundCardId = ReadAttribute(dir / "sound" / i.soundCard / "id");
  i.videoNode = FirstEntry(dir / "video4linux", "video");
  if (!i.videoNode.empty()) i.videoName = ReadAttribute(dir / "video4linux" / i.videoNode / "name");
  return i;
}

void ReadPeers(SysfsDevice& d) {
  const fs::path hubInterface = d.dir / (std::to_string(d.bus) + "-0:1.0");
  for (std::uint32_t port = 1; port <= d.maxchild; ++port) {
    const std::string peer =
        LinkName(hubInterface / (d.name + "-port" + std::to_string(port)) / "peer");
    if (!peer.empty()) d.portPeers[port] = peer;
  }
}

}  // namespace

std::string SysfsDevice::UsbfsNode() const {
  char text[32];
  std::snprintf(text, sizeof text, "/dev/bus/usb/%03u/%03u", bus, devnum);
  return text;
}

std::string ReadAttribute(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return {};
  std::string text;
  char chunk[512];
  while (in && text.size() < kMaxAttributeBytes) {
    in.read(chunk, sizeof chunk);
    text.append(chunk, static_cast<std::size_t>(in.gcount()));
  }
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

std::uint32_t CurrentDevnum(const fs::path& deviceDir) {
  return ReadNumber(deviceDir / "devnum", 10);
}

std::vector<SysfsDevice> ReadSysfsUsb(const fs::path& sysRoot) {
  std::vector<SysfsDevice> devices;
  std::map<std::string, std::vector<std::pair<fs::path, std::string>>> interfaces;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(sysRoot / "bus" / "usb" / "devices", ec)) {
    const std::string name = entry.path().filename().string();
    const fs::path dir = fs::canonical(entry.path(), ec);
    if (ec) continue;
    const std::size_t colon = name.find(':');
    if (colon != std::string::npos) {
      interfaces[name.substr(0, colon)].emplace_back(dir, name);
      continue;
    }
    SysfsDevice d;
    d.name = name;
    d.dir = dir;
    if (name.rfind("usb", 0) == 0) {
      d.bus = ReadNumber(dir / "busnum", 10);
      d.controllerDir = dir.parent_path();
    } else if (!ParseDeviceName(name, d.bus, d.ports)) {
      continue;
    }
    d.devnum = ReadNumber(dir / "devnum", 10);
    d.vid = static_cast<std::uint16_t>(ReadNumber(dir / "idVendor", 16));
    d.pid = static_cast<std::uint16_t>(ReadNumber(dir / "idProduct", 16));
    d.bcdDevice = static_cast<std::uint16_t>(ReadNumber(dir / "bcdDevice", 16));
    d.deviceClass = static_cast<std::uint8_t>(ReadNumber(dir / "bDeviceClass", 16));
    d.speedMbps = ReadNumber(dir / "speed", 10);
    d.maxchild = ReadNumber(dir / "maxchild", 10);
    d.manufacturer = ReadAttribute(dir / "manufacturer");
    d.product = ReadAttribute(dir / "product");
    d.serial = ReadAttribute(dir / "serial");
    d.descriptors = ReadBytes(dir / "descriptors");
    if (d.rootHub()) ReadPeers(d);
    devices.push_back(std::move(d));
  }
  for (SysfsDevice& d : devices) {
    auto found = interfaces.find(d.name);
    if (found == interfaces.end()) continue;
    for (const auto& [dir, name] : found->second) d.interfaces.push_back(ReadInterface(dir, name));
    std::sort(d.interfaces.begin(), d.interfaces.end(),
              [](const SysfsInterface& a, const SysfsInterface& b) { return a.number < b.number; });
  }
  std::sort(devices.begin(), devices.end(), [](const SysfsDevice& a, const SysfsDevice& b) {
    return std::tie(a.bus, a.ports) < std::tie(b.bus, b.ports);
  });
  return devices;
}

}  // namespace vantor::platform::linux_usb
