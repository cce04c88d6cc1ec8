#include "sim/device_config.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <functional>
#include <map>

#include "device/vendor_ids.h"

namespace vantor::sim {

bool DeviceConfig::newFamily() const {
  std::uint16_t fam = family();
  switch (fam) {
    case 0xB010:
    case 0xF010:
    case 0xC010:
    case 0xD010:
    case 0xE010:
    case 0x1010:
    case 0x8050:
      return true;
    case 0x7010:
      return (chipId & 0xFF) != 0x11;
    default:
      return chipId == 0xFF56;
  }
}

std::uint32_t DeviceConfig::effectiveCompanion() const {
  if (viaHub != 0) return 0;
  if (companionPort != 0) return companionPort;
  if (hub == RootHubKind::kUsb3 && port <= 16) return port + 16;
  return 0;
}

const std::vector<std::string>& ProfileNames() {
  static const std::vector<std::string> names = {"flash-old", "flash-new",     "flash-dual",
                                                 "eeprom8",   "eeprom16",      "otp",
                                                 "camera",    "camera-special"};
  return names;
}

namespace {

void Audio(DeviceConfig& c, std::uint16_t pid, std::uint16_t chip, const char* product) {
  c.function = FunctionKind::kAudio;
  c.vid = kMakerVendorId;
  c.pid = pid;
  c.release = kReferenceRelease;
  c.chipId = chip;
  c.statusChipId = chip;
  c.product = product;
  char text[32];
  std::snprintf(text, sizeof text, "KV%04X-000001", pid);
  c.manufacturer = text;
  std::snprintf(text, sizeof text, "%04X000001", pid);
  c.serial = text;
  c.unitId = 6;
}

}  // namespace

bool MakeProfile(std::string_view profile, std::string_view name, DeviceConfig& out) {
  DeviceConfig c;
  c.profile = std::string(profile);
  c.name = name.empty() ? c.profile : std::string(name);
  if (profile == "flash-old") {
    Audio(c, kReferenceProductId, 0x7011, "Korvane USB Audio");
    c.configAddress = 0xAE00;  // where this chip family keeps its configuration area
  } else if (profile == "flash-new") {
    Audio(c, 0x0330, 0xB013, "Korvane USB Audio 330");
    c.port = 2;
  } else if (profile == "flash-dual") {
    Audio(c, 0x1010, 0x1010, "Korvane USB Audio 1010");
    c.dualPackage = true;
    c.hub = RootHubKind::kUsb3;
    c.port = 1;
    c.companionSwitch = true;
  } else if (profile == "eeprom8") {
    Audio(c, 0x0311, 0x7011, "Korvane USB Audio E8");
    c.memory = MemoryKind::kEeprom8;
    c.memorySize = 2048;
    c.eepromPage = 16;
    c.eepromWpPin = false;
    c.port = 3;
  } else if (profile == "eeprom16") {
    Audio(c, 0x0312, 0x7011, "Korvane USB Audio E16");
    c.memory = MemoryKind::kEeprom16;
    c.memorySize = 0x10000;
    c.eepromPage = 64;
    c.port = 4;
  } else if (profile == "otp") {
    Audio(c, 0x0340, 0xD010, "Korvane USB Audio 340");
    c.memory = MemoryKind::kOtp;
    c.memorySize = 0x4000;
    c.port = 5;
  } else if (profile == "camera") {
    Audio(c, 0x0510, 0x0021, "Korvane USB Camera");
    c.function = FunctionKind::kCamera;
    c.vendorRequests = VendorRequestMode::kOff;
    c.unitId = 3;
    c.secondUnit = true;
    c.hub = RootHubKind::kUsb3;
    c.port = 2;
  } else if (profile == "camera-special") {
    c.function = FunctionKind::kCamera;
    c.vid = 0x8086;
    c.pid = 0x0A66;
    c.release = 0x0001;
    c.manufacturer = "Camera Maker";
    c.product = "Integrated Camera";
    c.serial.clear();
    c.friendlyName = false;
    c.cameraClass = "Image";
    c.chipId = 0x5010;
    c.statusChipId = 0x5010;
    c.vendorRequests = VendorRequestMode::kOff;
    c.extensionUnit = false;
    c.commandUnit = false;
    c.memory = MemoryKind::kNone;
    c.memorySize = 0;
    c.port = 6;
  } else {
    return false;
  }
  out = std::move(c);
  return true;
}

const char* MemoryKindName(MemoryKind kind) {
  switch (kind) {
    case MemoryKind::kSpiFlash:
      return "spi";
    case MemoryKind::kEeprom8:
      return "eeprom8";
    case MemoryKind::kEeprom16:
      return "eeprom16";
    case MemoryKind::kOtp:
      return "otp";
    case MemoryKind::kNone:
      break;
  }
  return "none";
}

const char* MemoryFileSuffix(MemoryKind kind) {
  switch (kind) {
    case MemoryKind::kSpiFlash:
      return "spi";
    case MemoryKind::kEeprom8:
    case MemoryKind::kEeprom16:
      return "eeprom";
    case MemoryKind::kOtp:
      return "otp";
    case MemoryKind::kNone:
      break;
  }
  return nullptr;
}

std::uint8_t MemoryBlank(MemoryKind kind) { return kind == MemoryKind::kOtp ? 0x00 : 0xFF; }

namespace {

std::string Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return std::string(s);
}

std::string Lower(std::string s) {
  for (char& ch : s) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return s;
}

// A whole integer text: decimal, or hexadecimal after "0x".
bool ParseNumber(std::string_view text, std::uint64_t max, std::uint64_t& out) {
  std::string t = Trim(text);
  int base = 10;
  std::string_view digits = t;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    base = 16;
    digits.remove_prefix(2);
  }
  if (digits.empty()) return false;
  std::uint64_t v = 0;
  auto [p, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), v, base);
  if (ec != std::errc() || p != digits.data() + digits.size() || v > max) return false;
  out = v;
  return true;
}

bool ParseHexBytes(std::string_view text, std::uint8_t* out, std::size_t count) {
  std::string t;
  for (char ch : text)
    if (!std::isspace(static_cast<unsigned char>(ch))) t += ch;
  if (t.size() != count * 2) return false;
  for (std::size_t i = 0; i < count; ++i) {
    unsigned v = 0;
    auto [p, ec] = std::from_chars(t.data() + 2 * i, t.data() + 2 * i + 2, v, 16);
    if (ec != std::errc() || p != t.data() + 2 * i + 2) return false;
    out[i] = static_cast<std::uint8_t>(v);
  }
  return true;
}

std::vector<std::string> SplitList(std::string_view text) {
  std::vector<std::string> items;
  std::string current;
  for (char ch : text) {
    if (ch == ',') {
      if (!Trim(current).empty()) items.push_back(Trim(current));
      current.clear();
    } else {
      current += ch;
    }
  }
  if (!Trim(current).empty()) items.push_back(Trim(current));
  return items;
}

// "C0 25", "C0 25 0x0100", "cmd 02 82", each optionally followed by "@ADDRESS" (only
// requests naming that memory address), "+N" (let the first N matches through) and "*N"
// (N times), in this order.
bool ParseMatch(const std::string& item, RequestMatch& out) {
  std::string body = item;
  out = RequestMatch{};
  std::size_t star = body.find('*');
  if (star != std::string::npos) {
    std::uint64_t n = 0;
    if (!ParseNumber(body.substr(star + 1), 0xFFFFFFFF, n) || n == 0) return false;
    out.count = static_cast<std::uint32_t>(n);
    body = body.substr(0, star);
  }
  std::vector<std::string> words;
  std::string w;
  for (char ch : body) {
    if (std::isspace(static_cast<unsigned char>(ch))) {
      if (!w.empty()) words.push_back(w);
      w.clear();
    } else {
      w += ch;
    }
  }
  if (!w.empty()) words.push_back(w);
  if (!words.empty() && words.back()[0] == '+') {
    std::uint64_t n = 0;
    if (!ParseNumber(words.back().substr(1), 0xFFFFFFFF, n)) return false;
    out.skip = static_cast<std::uint32_t>(n);
    words.pop_back();
  }
  if (!words.empty() && words.back()[0] == '@') {
    std::uint64_t n = 0;
    if (!ParseNumber(words.back().substr(1), 0xFFFFFFFF, n)) return false;
    out.address = static_cast<std::uint32_t>(n);
    words.pop_back();
  }
  if (!words.empty() && Lower(words[0]) == "cmd") {
    out.command = true;
    words.erase(words.begin());
  }
  if (words.size() < 2 || words.size() > 3 || (out.command && words.size() != 2)) return false;
  std::uint8_t b[2];
  if (!ParseHexBytes(words[0], b, 1) || !ParseHexBytes(words[1], b + 1, 1)) return false;
  out.type = b[0];
  out.request = b[1];
  if (words.size() == 3) {
    std::uint64_t v = 0;
    if (!ParseNumber(words[2], 0xFFFF, v)) return false;
    out.value = static_cast<std::uint16_t>(v);
  }
  return true;
}

// "ADDRESS[:MASK], ..." (mask default 0xFF), addresses below `limit`.
template <typename Cell>
bool ParseCells(const std::string& text, std::uint64_t limit, std::vector<Cell>& out) {
  std::vector<Cell> cells;
  for (const std::string& item : SplitList(text)) {
    Cell cell;
    std::string addr = item;
    std::size_t colon = item.find(':');
    std::uint64_t n = 0;
    if (colon != std::string::npos) {
      if (!ParseNumber(item.substr(colon + 1), 0xFF, n) || n == 0) return false;
      cell.mask = static_cast<std::uint8_t>(n);
      addr = item.substr(0, colon);
    }
    if (!ParseNumber(addr, limit - 1, n)) return false;
    cell.address = static_cast<decltype(cell.address)>(n);
    cells.push_back(cell);
  }
  out = std::move(cells);
  return true;
}

using Setter = std::function<bool(DeviceConfig&, const std::string&)>;

template <typename T>
Setter Number(T DeviceConfig::*field, std::uint64_t max) {
  return [field, max](DeviceConfig& c, const std::string& v) {
    std::uint64_t n = 0;
    if (!ParseNumber(v, max, n)) return false;
    c.*field = static_cast<T>(n);
    return true;
  };
}

template <typename T>
Setter TimingNumber(T DeviceTiming::*field) {
  return [field](DeviceConfig& c, const std::string& v) {
    std::uint64_t n = 0;
    if (!ParseNumber(v, 0xFFFFFFFF, n)) return false;
    c.timing.*field = static_cast<T>(n);
    return true;
  };
}

Setter FaultNumber(std::uint32_t DeviceFaults::*field) {
  return [field](DeviceConfig& c, const std::string& v) {
    std::uint64_t n = 0;
    if (!ParseNumber(v, 0xFFFFFFFF, n)) return false;
    c.faults.*field = static_cast<std::uint32_t>(n);
    return true;
  };
}

Setter FaultFlag(bool DeviceFaults::*field) {
  return [field](DeviceConfig& c, const std::string& v) {
    std::uint64_t n = 0;
    if (!ParseNumber(v, 1, n)) return false;
    c.faults.*field = n != 0;
    return true;
  };
}

Setter Flag(bool DeviceConfig::*field) {
  return [field](DeviceConfig& c, const std::string& v) {
    std::uint64_t n = 0;
    if (!ParseNumber(v, 1, n)) return false;
    c.*field = n != 0;
    return true;
  };
}

Setter Text(std::string DeviceConfig::*field) {
  return [field](DeviceConfig& c, const std::string& v) {
    if (v.size() > 126) return false;
    c.*field = v;
    return true;
  };
}

template <typename E>
Setter Choice(E DeviceConfig::*field, std::vector<std::pair<const char*, E>> choices) {
  return [field, choices](DeviceConfig& c, const std::string& v) {
    for (const auto& [name, value] : choices)
      if (Lower(v) == name) {
        c.*field = value;
        return true;
      }
    return false;
  };
}

Setter MatchList(std::vector<RequestMatch> DeviceFaults::*field) {
  return [field](DeviceConfig& c, const std::string& v) {
    std::vector<RequestMatch> list;
    for (const std::string& item : SplitList(v)) {
      RequestMatch m;
      if (!ParseMatch(item, m)) return false;
      list.push_back(m);
    }
    c.faults.*field = std::move(list);
    return true;
  };
}

const std::map<std::string, Setter>& Setters() {
  static const std::map<std::string, Setter> setters = {
      {"function", Choice(&DeviceConfig::function, {std::pair{"audio", FunctionKind::kAudio},
                                                    std::pair{"camera", FunctionKind::kCamera}})},
      {"vid", Number(&DeviceConfig::vid, 0xFFFF)},
      {"pid", Number(&DeviceConfig::pid, 0xFFFF)},
      {"release", Number(&DeviceConfig::release, 0xFFFF)},
      {"manufacturer", Text(&DeviceConfig::manufacturer)},
      {"product", Text(&DeviceConfig::product)},
      {"serial", Text(&DeviceConfig::serial)},
      {"friendly_name", Flag(&DeviceConfig::friendlyName)},
      {"camera_class", Choice(&DeviceConfig::cameraClass,
                              {std::pair{"camera", std::string("Camera")},
                               std::pair{"image", std::string("Image")}})},
      {"chip_id", Number(&DeviceConfig::chipId, 0xFFFF)},
      {"status_chip_id", Number(&DeviceConfig::statusChipId, 0xFFFF)},
      {"rom_version",
       [](DeviceConfig& c, const std::string& v) { return ParseHexBytes(v, c.romVersion, 5); }},
      {"strap_fec7", Number(&DeviceConfig::strapFec7, 0xFF)},
      {"package", Choice(&DeviceConfig::dualPackage,
                         {std::pair{"single", false}, std::pair{"dual", true}})},
      {"boot", Choice(&DeviceConfig::bootFromSpi, {std::pair{"rom", false}, std::pair{"spi", true}})},
      {"vendor_requests",
       Choice(&DeviceConfig::vendorRequests, {std::pair{"full", VendorRequestMode::kFull},
                                              std::pair{"legacy", VendorRequestMode::kLegacy},
                                              std::pair{"off", VendorRequestMode::kOff}})},
      {"extension_unit", Flag(&DeviceConfig::extensionUnit)},
      {"unit_id", Number(&DeviceConfig::unitId, 0xFF)},
      {"second_unit", Flag(&DeviceConfig::secondUnit)},
      {"command_unit", Flag(&DeviceConfig::commandUnit)},
      {"max_data_control",
       [](DeviceConfig& c, const std::string& v) {
         std::uint64_t n = 0;
         if (!ParseNumber(v, 0xFFFF, n) || n < 8) return false;
         c.maxDataControl = static_cast<std::uint16_t>(n);
         return true;
       }},
      {"memory", Choice(&DeviceConfig::memory, {std::pair{"spi", MemoryKind::kSpiFlash},
                                                std::pair{"eeprom8", MemoryKind::kEeprom8},
                                                std::pair{"eeprom16", MemoryKind::kEeprom16},
                                                std::pair{"otp", MemoryKind::kOtp},
                                                std::pair{"none", MemoryKind::kNone}})},
      {"memory_size", Number(&DeviceConfig::memorySize, 0x100000)},
      {"flash_id", [](DeviceConfig& c,
                      const std::string& v) { return ParseHexBytes(v, c.flashId, 3); }},
      {"eeprom_page", Number(&DeviceConfig::eepromPage, 4096)},
      {"eeprom_wp", Choice(&DeviceConfig::eepromWpPin,
                           {std::pair{"pin", true}, std::pair{"none", false}})},
      {"config_address", Number(&DeviceConfig::configAddress, 0xFFFF)},
      {"tag_address", Number(&DeviceConfig::tagAddress, 0xFFFE)},
      {"otp_weak", [](DeviceConfig& c,
                      const std::string& v) { return ParseCells(v, 0x4000, c.otpWeak); }},
      {"otp_locked", Flag(&DeviceConfig::otpLocked)},
      {"hub", Choice(&DeviceConfig::hub,
                     {std::pair{"usb2", RootHubKind::kUsb2}, std::pair{"usb3", RootHubKind::kUsb3}})},
      {"port", Number(&DeviceConfig::port, 32)},
      {"via_hub", Number(&DeviceConfig::viaHub, 32)},
      {"companion_port", Number(&DeviceConfig::companionPort, 32)},
      {"companion_switch", Flag(&DeviceConfig::companionSwitch)},
      {"time_transfer_us", TimingNumber(&DeviceTiming::transferUs)},
      {"time_byte_ns", TimingNumber(&DeviceTiming::byteNs)},
      {"time_page_program_us", TimingNumber(&DeviceTiming::pageProgramUs)},
      {"time_sector_erase_ms", TimingNumber(&DeviceTiming::sectorEraseMs)},
      {"time_chip_erase_ms", TimingNumber(&DeviceTiming::chipEraseMs)},
      {"time_status_write_ms", TimingNumber(&DeviceTiming::statusWriteMs)},
      {"time_eeprom_write_ms", TimingNumber(&DeviceTiming::eepromWriteMs)},
      {"time_otp_byte_us", TimingNumber(&DeviceTiming::otpByteUs)},
      {"time_reenum_ms", TimingNumber(&DeviceTiming::reenumMs)},
      {"time_fast_reenum_ms", TimingNumber(&DeviceTiming::fastReenumMs)},
      {"time_leave_ms", TimingNumber(&DeviceTiming::leaveMs)},
      {"time_not_ready_ms", TimingNumber(&DeviceTiming::notReadyMs)},
      {"fault_stall", MatchList(&DeviceFaults::stall)},
      {"fault_timeout", MatchList(&DeviceFaults::timeout)},
      {"fault_disconnect_after", FaultNumber(&DeviceFaults::disconnectAfter)},
      {"fault_reconnect_ms", FaultNumber(&DeviceFaults::reconnectMs)},
      {"fault_busy", FaultFlag(&DeviceFaults::stayBusy)},
      {"fault_not_ready_ms", FaultNumber(&DeviceFaults::extraNotReadyMs)},
      {"fault_signature", FaultFlag(&DeviceFaults::wrongSignature)},
      {"fault_problem", FaultFlag(&DeviceFaults::problem)},
      {"fault_program_stuck",
       [](DeviceConfig& c, const std::string& v) {
         return ParseCells(v, 0x100000, c.faults.programStuck);
       }},
      {"fault_erase_stuck",
       [](DeviceConfig& c, const std::string& v) {
         return ParseCells(v, 0x100000, c.faults.eraseStuck);
       }},
      {"fault_status_stuck", FaultFlag(&DeviceFaults::statusStuck)},
      {"fault_kill_after", FaultNumber(&DeviceFaults::killAfter)},
      {"fault_reset_lost", FaultNumber(&DeviceFaults::resetLost)},
      {"fault_boot_rom", FaultFlag(&DeviceFaults::bootRom)},
  };
  return setters;
}

}  // namespace

std::string IniValue(const CIniFile& ini, int section, std::string_view key,
                     std::string_view fallback) {
  if (section < 0 || section >= ini.SectionCount()) return std::string(fallback);
  const CIniFile::Section& s = ini.SectionAt(section);
  for (std::size_t i = 0; i < s.keys.size(); ++i)
    if (Lower(Trim(s.keys[i])) == Lower(std::string(key))) return Trim(s.values[i]);
  return std::string(fallback);
}

bool LoadDeviceConfig(const CIniFile& ini, int section, DeviceConfig& out, std::string& error) {
  const std::string& name = ini.SectionName(section);
  if (name.empty() || name.find_first_of("/\\ ") != std::string::npos || name[0] == '.') {
    error = "devices.ini: [" + name + "] is not a usable device name";
    return false;
  }
  std::string profile = IniValue(ini, section, "profile", "flash-old");
  DeviceConfig c;
  if (!MakeProfile(profile, name, c)) {
    error = "devices.ini: [" + name + "] names an unknown profile \"" + profile + "\"";
    return false;
  }
  const CIniFile::Section& s = ini.SectionAt(section);
  for (std::size_t i = 0; i < s.keys.size(); ++i) {
    std::string key = Lower(Trim(s.keys[i]));
    if (key == "profile") continue;
    auto it = Setters().find(key);
    if (it == Setters().end()) {
      error = "devices.ini: [" + name + "] has an unknown key \"" + s.keys[i] + "\"";
      return false;
    }
    if (!it->second(c, Trim(s.values[i]))) {
      error = "devices.ini: [" + name + "] " + s.keys[i] + " = \"" + s.values[i] +
              "\" is not a valid value";
      return false;
    }
  }
  if (c.memory == MemoryKind::kOtp) c.memorySize = 0x4000;
  if (c.memory == MemoryKind::kNone) c.memorySize = 0;
  if (c.memory != MemoryKind::kNone &&
      (c.memorySize < 0x1000 && c.memory == MemoryKind::kSpiFlash)) {
    error = "devices.ini: [" + name + "] memory_size is too small for an SPI flash";
    return false;
  }
  if (c.memory != MemoryKind::kNone && c.memorySize == 0) {
    error = "devices.ini: [" + name + "] memory_size must not be 0";
    return false;
  }
  if (c.eepromPage == 0) c.eepromPage = 1;
  if (c.port == 0) {
    error = "devices.ini: [" + name + "] port must be 1 or more";
    return false;
  }
  out = std::move(c);
  return true;
}

std::string DeviceConfigText(const DeviceConfig& c) {
  char text[512];
  std::snprintf(text, sizeof text,
                "[%s]\nprofile = %s\nvid = 0x%04X\npid = 0x%04X\nrelease = 0x%04X\n"
                "manufacturer = %s\nserial = %s\nhub = %s\nport = %u\n\n",
                c.name.c_str(), c.profile.c_str(), c.vid, c.pid, c.release, c.manufacturer.c_str(),
                c.serial.c_str(), c.hub == RootHubKind::kUsb3 ? "usb3" : "usb2", c.port);
  return text;
}

}  // namespace vantor::sim
