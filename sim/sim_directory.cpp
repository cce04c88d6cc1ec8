#include "sim/sim_directory.h"

#include <cstdio>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>

#include "config/ini_file.h"
#include "platform/mapped_file.h"

namespace vantor::sim {

namespace fs = std::filesystem;

bool ReadText(const fs::path& file, std::string& text) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  text = s.str();
  return true;
}

namespace {

// Every line must be blank, a comment, a [section] or a key = value inside a section.
bool CheckIniText(const std::string& text, const std::string& file, std::string& error) {
  std::istringstream in(text);
  std::string line;
  int number = 0;
  bool inSection = false;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos) continue;
    char c = line[first];
    bool printable = true;
    for (unsigned char ch : line)
      if (ch < 0x20 && ch != '\t') printable = false;
    if (!printable) {
      error = file + " line " + std::to_string(number) + ": not text";
      return false;
    }
    if (c == ';' || c == '#') continue;
    if (c == '[') {
      std::size_t close = line.find(']', first);
      if (close == std::string::npos || close == first + 1) {
        error = file + " line " + std::to_string(number) + ": broken section header";
        return false;
      }
      inSection = true;
      continue;
    }
    if (line.find('=') == std::string::npos || !inSection) {
      error = file + " line " + std::to_string(number) +
              (inSection ? ": expected key = value" : ": a key outside any [device] section");
      return false;
    }
  }
  return true;
}

}  // namespace

bool WriteFileAtomically(const fs::path& file, const std::string& text, std::string& error) {
  fs::path temp = file;
  temp += ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) {
      error = temp.string() + ": cannot be written";
      return false;
    }
    out << text;
    if (!out.flush()) {
      error = temp.string() + ": cannot be written";
      return false;
    }
  }
  std::error_code ec;
  fs::rename(temp, file, ec);
  if (ec) {
    error = file.string() + ": cannot be replaced (" + ec.message() + ")";
    return false;
  }
  return true;
}

namespace {

std::string Hex(const std::uint8_t* bytes, std::size_t n) {
  std::string s;
  char b[3];
  for (std::size_t i = 0; i < n; ++i) {
    std::snprintf(b, sizeof b, "%02X", bytes[i]);
    s += b;
  }
  return s;
}

// The saved state of a device; none when absent or not as this program writes it.
std::optional<DeviceState> SavedState(const CIniFile& ini, const std::string& name) {
  int section = ini.FindSection(name);
  if (section < 0) return std::nullopt;
  DeviceState state;
  std::string run = IniValue(ini, section, "run", "");
  if (run == "firmware") {
    state.run = RunState::kFirmware;
  } else if (run == "update") {
    state.run = RunState::kUpdate;
  } else if (run == "rom") {
    state.run = RunState::kRom;
  } else {
    return std::nullopt;
  }
  state.mode = static_cast<std::uint8_t>(ConvertIntAutoBase(IniValue(ini, section, "mode", "0")));
  std::string version = IniValue(ini, section, "version", "");
  if (version.size() != 16) return std::nullopt;
  for (int i = 0; i < 8; ++i) {
    unsigned v = 0;
    if (std::sscanf(version.c_str() + 2 * i, "%2x", &v) != 1) return std::nullopt;
    state.version[i] = static_cast<std::uint8_t>(v);
  }
  state.onCompanion = IniValue(ini, section, "companion", "0") != "0";
  state.flashStatus =
      static_cast<std::uint8_t>(ConvertIntAutoBase(IniValue(ini, section, "flash_status", "0")));
  return state;
}

}  // namespace

fs::path MemoryFilePath(const fs::path& dir, const DeviceConfig& config) {
  const char* suffix = MemoryFileSuffix(config.memory);
  if (suffix == nullptr) return {};
  return dir / (config.name + "." + suffix + ".bin");
}

std::shared_ptr<SimBus> LoadSimDirectory(const fs::path& dir, std::string& error) {
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) {
    error = dir.string() + ": no such simulated-device directory";
    return nullptr;
  }
  fs::path iniPath = dir / "devices.ini";
  std::string text;
  if (!ReadText(iniPath, text)) {
    error = iniPath.string() + ": missing or unreadable";
    return nullptr;
  }
  if (!CheckIniText(text, iniPath.string(), error)) return nullptr;
  CIniFile ini;
  ini.LoadText(std::string_view(text));
  std::vector<DeviceConfig> configs;
  std::set<std::string> names;
  for (int s = 0; s < ini.SectionCount(); ++s) {
    DeviceConfig config;
    if (!LoadDeviceConfig(ini, s, config, error)) return nullptr;
    std::string lower;
    for (char ch : config.name)
      lower += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    if (!names.insert(lower).second) {
      error = iniPath.string() + ": device [" + config.name + "] is described twice";
      return nullptr;
    }
    configs.push_back(std::move(config));
  }
  auto bus = std::make_shared<SimBus>();
  CIniFile state;
  std::string stateText;
  if (ReadText(dir / "state.ini", stateText)) state.LoadText(std::string_view(stateText));
  for (DeviceConfig& config : configs) {
    std::unique_ptr<platform::MappedFile> memory;
    if (config.memory != MemoryKind::kNone) {
      memory = platform::MapFile(MemoryFilePath(dir, config), config.memorySize, true,
                                 MemoryBlank(config.memory), error);
      if (memory == nullptr) return nullptr;
    }
    std::optional<DeviceState> saved = SavedState(state, config.name);
    bus->AddDevice(std::move(config), std::move(memory), saved ? &*saved : nullptr);
  }
  fs::path keep = dir;
  std::weak_ptr<SimBus> weak = bus;
  bus->set_stateChanged([keep, weak](SimDevice&) {
    // Called under the bus lock: write the file from the devices directly.
    if (auto b = weak.lock()) {
      std::string ignored;
      SaveSimState(keep, *b, ignored);
    }
  });
  return bus;
}

bool SaveSimState(const fs::path& dir, SimBus& bus, std::string& error) {
  std::string text = "; What each simulated device runs; written by the simulator.\n";
  for (SimDevice* device : bus.Devices()) {
    const DeviceState& s = device->state();
    char buf[256];
    std::snprintf(
        buf, sizeof buf,
        "[%s]\nrun = %s\nmode = %u\nversion = %s\ncompanion = %d\nflash_status = 0x%02X\n\n",
        device->config().name.c_str(), RunStateName(s.run), s.mode, Hex(s.version, 8).c_str(),
        s.onCompanion ? 1 : 0, s.flashStatus);
    text += buf;
  }
  return WriteFileAtomically(dir / "state.ini", text, error);
}

namespace {

std::string CounterLines(const DeviceCounters& c) {
  char buf[1024];
  std::snprintf(
      buf, sizeof buf,
      "descriptor_transfers = %llu\nvendor_transfers = %llu\nclass_transfers = %llu\n"
      "ok = %llu\nstall = %llu\ngone = %llu\nnot_ready = %llu\ntimeout = %llu\n"
      "bytes_in = %llu\nbytes_out = %llu\ncommands = %llu\nresets = %llu\n",
      static_cast<unsigned long long>(c.descriptorTransfers),
      static_cast<unsigned long long>(c.vendorTransfers),
      static_cast<unsigned long long>(c.classTransfers), static_cast<unsigned long long>(c.ok),
      static_cast<unsigned long long>(c.stall), static_cast<unsigned long long>(c.gone),
      static_cast<unsigned long long>(c.notReady), static_cast<unsigned long long>(c.timeout),
      static_cast<unsigned long long>(c.bytesIn), static_cast<unsigned long long>(c.bytesOut),
      static_cast<unsigned long long>(c.commands), static_cast<unsigned long long>(c.resets));
  return buf;
}

}  // namespace

bool SaveSimStats(const fs::path& dir, SimBus& bus, std::string& error) {
  BusCounters counters = bus.Counters();
  std::string text = "; Counters of the last run; written by the simulator.\n[run]\n";
  text += "virtual_ms = " + std::to_string(counters.virtualUs / 1000) + "\n";
  text += CounterLines(counters.total) + "\n";
  for (SimDevice* device : bus.Devices()) {
    text += "[" + device->config().name + "]\n" + CounterLines(device->counters()) + "\n";
  }
  return WriteFileAtomically(dir / "stats.ini", text, error);
}

bool InitSimDirectory(const fs::path& dir, const std::vector<std::string>& profiles,
                      std::string& error) {
  std::vector<std::string> list =
      profiles.empty() ? std::vector<std::string>{"flash-old"} : profiles;
  std::vector<DeviceConfig> configs;
  std::set<std::string> used;
  std::uint32_t nextPort[2] = {1, 1};
  for (const std::string& profile : list) {
    std::string name = profile;
    for (int n = 2; used.count(name) != 0; ++n) name = profile + "-" + std::to_string(n);
    DeviceConfig config;
    if (!MakeProfile(profile, name, config)) {
      error = "unknown profile \"" + profile + "\"";
      return false;
    }
    used.insert(name);
    // Each further device of a profile gets its own serial number.
    int copy = 1;
    for (const DeviceConfig& other : configs)
      if (other.profile == profile) ++copy;
    if (copy > 1 && !config.serial.empty()) {
      char text[64];
      std::snprintf(text, sizeof text, "KV%04X-%06d", config.pid, copy);
      config.manufacturer = text;
      std::snprintf(text, sizeof text, "%04X%06d", config.pid, copy);
      config.serial = text;
    }
    int hub = config.hub == RootHubKind::kUsb3 ? 1 : 0;
    config.port = nextPort[hub]++;
    configs.push_back(std::move(config));
  }
  std::error_code ec;
  if (fs::exists(dir / "devices.ini", ec)) {
    error = (dir / "devices.ini").string() + " exists already";
    return false;
  }
  fs::create_directories(dir, ec);
  if (!fs::is_directory(dir, ec)) {
    error = dir.string() + ": cannot be created";
    return false;
  }
  std::string text = "; Simulated devices: one section per device (keys: sim/README.md).\n\n";
  for (const DeviceConfig& config : configs) text += DeviceConfigText(config);
  for (const DeviceConfig& config : configs) {
    fs::path file = MemoryFilePath(dir, config);
    if (file.empty()) continue;
    fs::remove(file, ec);
    auto memory =
        platform::MapFile(file, config.memorySize, true, MemoryBlank(config.memory), error);
    if (memory == nullptr) return false;
  }
  return WriteFileAtomically(dir / "devices.ini", text, error);
}

}  // namespace vantor::sim
