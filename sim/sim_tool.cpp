#include "sim/sim_tool.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "sim/sim_directory.h"
#include "sim/sim_plug.h"
#include "sim/simulated_platform.h"

namespace vantor::sim {

namespace fs = std::filesystem;

namespace {

constexpr const char* kUsage =
    "usage: vantorfw-sim init DIR [PROFILE...] | show DIR | "
    "dump DIR DEVICE MEMORY FILE | load DIR DEVICE MEMORY FILE | plug DIR DEVICE | "
    "unplug DIR DEVICE | profiles | usbip DIR [DEVICE]";

int Fail(std::ostream& err, const std::string& text) {
  err << "vantorfw-sim: " << text << "\n";
  return 1;
}

std::string MemorySummary(SimDevice& device) {
  const DeviceConfig& c = device.config();
  if (c.memory == MemoryKind::kNone) return "no memory";
  const std::uint8_t* m = device.memory();
  std::size_t size = device.memorySize();
  std::uint8_t blank = MemoryBlank(c.memory);
  std::size_t used = static_cast<std::size_t>(
      std::count_if(m, m + size, [blank](std::uint8_t b) { return b != blank; }));
  std::size_t last = size;
  while (last > 0 && m[last - 1] == blank) --last;
  char text[256];
  std::snprintf(text, sizeof text, "%s %zu bytes, %zu programmed (up to 0x%zX)",
                MemoryKindName(c.memory), size, used, last);
  std::string s = text;
  if (c.memory == MemoryKind::kSpiFlash) {
    std::snprintf(text, sizeof text, ", status 0x%02X", device.flash()->statusBits());
    s += text;
  }
  if (c.memory == MemoryKind::kOtp) {
    int entries = 0;
    for (int n = 0; n < 16; ++n)
      if (m[0x3F70 + 5 * n + 4] != 0) ++entries;
    std::snprintf(text, sizeof text, ", %d of 16 block entries used", entries);
    s += text;
  }
  return s;
}

int Show(const fs::path& dir, std::ostream& out, std::ostream& err) {
  std::string error;
  auto platform = SimulatedPlatform::FromDirectory(dir, {}, error);
  if (!platform) return Fail(err, error);
  std::vector<SimDevice*> devices = platform->bus().Devices();
  if (devices.empty()) out << "no devices\n";
  for (SimDevice* device : devices) {
    const DeviceConfig& c = device->config();
    char line[512];
    std::snprintf(line, sizeof line,
                  "%s: VID_%04X&PID_%04X&REV_%04X %s \"%s\", serial text \"%s\"\n"
                  "  profile %s, chip id 0x%04X, %s root port %u%s\n"
                  "  %s %s, mode %s, version %s\n  memory: %s\n",
                  c.name.c_str(), c.vid, c.pid, c.release,
                  c.function == FunctionKind::kCamera ? "camera" : "audio", c.product.c_str(),
                  c.manufacturer.c_str(), c.profile.c_str(), c.chipId,
                  c.hub == RootHubKind::kUsb3 ? "usb3" : "usb2", device->currentPort(),
                  c.viaHub != 0 ? " (through a hub)" : "",
                  platform->bus().IsAttached(c.name) ? "running" : "unplugged, last ran",
                  RunStateName(device->state().run), device->ModeText().c_str(),
                  device->VersionText().c_str(), MemorySummary(*device).c_str());
    out << line;
  }
  return 0;
}

int Copy(bool dump, const std::vector<std::string>& a, std::ostream& out, std::ostream& err) {
  std::string error;
  auto platform = SimulatedPlatform::FromDirectory(a[1], {}, error);
  if (!platform) return Fail(err, error);
  SimDevice* device = platform->bus().FindDevice(a[2]);
  if (device == nullptr) return Fail(err, "no device \"" + a[2] + "\" in " + a[1]);
  const DeviceConfig& c = device->config();
  const char* suffix = MemoryFileSuffix(c.memory);
  if (suffix == nullptr || a[3] != suffix) {
    return Fail(err, "device \"" + a[2] + "\" has no memory \"" + a[3] + "\" (it has " +
                         (suffix ? suffix : "none") + ")");
  }
  std::uint8_t* m = device->memory();
  std::size_t size = device->memorySize();
  if (dump) {
    std::ofstream file(a[4], std::ios::binary | std::ios::trunc);
    if (!file ||
        !file.write(reinterpret_cast<const char*>(m), static_cast<std::streamsize>(size))) {
      return Fail(err, a[4] + ": cannot be written");
    }
    out << "dumped " << size << " bytes of " << a[2] << " " << a[3] << " to " << a[4] << "\n";
    return 0;
  }
  std::ifstream file(a[4], std::ios::binary);
  if (!file) return Fail(err, a[4] + ": cannot be read");
  std::ostringstream s;
  s << file.rdbuf();
  std::string bytes = s.str();
  if (bytes.size() > size) {
    return Fail(err, a[4] + ": " + std::to_string(bytes.size()) + " bytes do not fit in " +
                         std::to_string(size));
  }
  std::memcpy(m, bytes.data(), bytes.size());
  std::memset(m + bytes.size(), MemoryBlank(c.memory), size - bytes.size());
  // Memory changed from outside: the device starts again from it.
  device->PowerCycle(platform->clock().NowUs());
  if (!platform->Save(error)) return Fail(err, error);
  out << "loaded " << bytes.size() << " bytes into " << a[2] << " " << a[3] << "; running "
      << RunStateName(device->state().run) << ", version " << device->VersionText() << "\n";
  return 0;
}

}  // namespace

int RunSimTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    err << kUsage << "\n";
    return 2;
  }
  const std::string& cmd = args[0];
  if (cmd == "profiles" && args.size() == 1) {
    for (const std::string& p : ProfileNames()) out << p << "\n";
    return 0;
  }
  if (cmd == "init" && args.size() >= 2) {
    std::string error;
    std::vector<std::string> profiles(args.begin() + 2, args.end());
    if (!InitSimDirectory(args[1], profiles, error)) return Fail(err, error);
    out << "created " << args[1] << " with " << (profiles.empty() ? 1 : profiles.size())
        << " device(s)\n";
    return 0;
  }
  if (cmd == "show" && args.size() == 2) return Show(args[1], out, err);
  if ((cmd == "plug" || cmd == "unplug") && args.size() == 3) {
    std::string name, error;
    if (!SetPluggedInDirectory(args[1], args[2], cmd == "plug", name, error))
      return Fail(err, error);
    out << (cmd == "plug" ? "plugged in " : "unplugged ") << name << "\n";
    return 0;
  }
  if ((cmd == "dump" || cmd == "load") && args.size() == 5)
    return Copy(cmd == "dump", args, out, err);
  err << kUsage << "\n";
  return 2;
}

}  // namespace vantor::sim
