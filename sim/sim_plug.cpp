#include "sim/sim_plug.h"

#include <map>
#include <mutex>
#include <sstream>
#include <thread>
#include <tuple>
#include <utility>

#include "config/ini_file.h"
#include "platform/clock.h"
#include "sim/sim_directory.h"

namespace vantor::sim {

namespace fs = std::filesystem;
namespace P = vantor::platform;

namespace {

std::set<std::string> ParseNames(const std::string& text) {
  std::set<std::string> names;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    const std::size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos || line[first] == ';' || line[first] == '#') continue;
    const std::size_t last = line.find_last_not_of(" \t\r");
    names.insert(line.substr(first, last - first + 1));
  }
  return names;
}

// The device names of devices.ini, in order.
bool DeviceNames(const fs::path& dir, std::vector<std::string>& names, std::string& error) {
  std::string text;
  if (!ReadText(dir / "devices.ini", text)) {
    error = (dir / "devices.ini").string() + ": missing or unreadable";
    return false;
  }
  CIniFile ini;
  ini.LoadText(std::string_view(text));
  for (int s = 0; s < ini.SectionCount(); ++s) names.push_back(ini.SectionName(s));
  return true;
}

// One interface of a watched category as the bus lists it; a re-enumerated device comes
// back as a new device instance.
using InterfaceKey = std::tuple<int, P::DevInst, std::wstring>;

const P::Guid kWatched[] = {P::kGuidKsCategoryAudio, P::kGuidKsCategoryVideo};

std::set<InterfaceKey> ListWatched(SimBus& bus) {
  std::set<InterfaceKey> out;
  for (int c = 0; c < 2; ++c) {
    std::vector<P::DeviceInterfaceEntry> entries;
    bus.ListDeviceInterfaces(kWatched[c], 0, entries);
    for (const auto& e : entries) out.emplace(c, e.device, e.path);
  }
  return out;
}

class SimDeviceWatch : public P::DeviceChangeSubscription {
 public:
  SimDeviceWatch(std::weak_ptr<SimBus> bus, fs::path dir, P::DeviceChangeHandler handler)
      : bus_(std::move(bus)), dir_(std::move(dir)), handler_(std::move(handler)) {
    if (auto bus = bus_.lock()) {
      bus->WithLock([&] {
        known_ = ListWatched(*bus);
        // Heard at once, on the thread that changed the bus.
        watcherKey_ = bus->AddNodesWatcher([this] { Report(); });
      });
    }
    if (!dir_.empty()) ReadText(dir_ / kUnpluggedFileName, plugText_);
    thread_ = std::thread([this] { Run(); });
  }
  ~SimDeviceWatch() override {
    stop_.Set();
    thread_.join();
    if (auto bus = bus_.lock()) bus->RemoveNodesWatcher(watcherKey_);
  }

 private:
  void Run() {
    while (!stop_.WaitReal(kDeviceWatchIntervalMs)) {
      std::shared_ptr<SimBus> bus = bus_.lock();
      if (!bus) return;
      FollowPlugFile(*bus);
      // Changes the bus finds only when it looks (a re-enumeration that finished in
      // virtual time).
      bus->WithLock([this] { Report(); });
    }
  }

  void FollowPlugFile(SimBus& bus) {
    if (dir_.empty()) return;
    std::string text;
    if (!ReadText(dir_ / kUnpluggedFileName, text)) text.clear();
    if (text == plugText_) return;
    plugText_ = text;
    ApplyUnplugged(bus, ParseNames(text));
  }

  // Under the bus lock.
  void Report() {
    std::shared_ptr<SimBus> bus = bus_.lock();
    if (!bus) return;
    std::lock_guard lock(mutex_);
    std::set<InterfaceKey> now = ListWatched(*bus);
    bool changed = false;
    for (const InterfaceKey& key : known_) {
      if (now.count(key) != 0) continue;
      Notify(P::DeviceChange::kRemoveComplete, key);
      changed = true;
    }
    for (const InterfaceKey& key : now) {
      if (known_.count(key) != 0) continue;
      Notify(P::DeviceChange::kArrival, key);
      changed = true;
    }
    if (changed) handler_(P::DeviceChangeNotice{});
    known_ = std::move(now);
  }

  void Notify(P::DeviceChange change, const InterfaceKey& key) {
    P::DeviceChangeNotice notice;
    notice.change = change;
    notice.category = kWatched[std::get<0>(key)];
    notice.interfacePath = std::get<2>(key);
    handler_(notice);
  }

  std::weak_ptr<SimBus> bus_;
  fs::path dir_;
  P::DeviceChangeHandler handler_;
  std::recursive_mutex mutex_;  // known_; taken after the bus lock
  std::set<InterfaceKey> known_;
  std::string plugText_;
  int watcherKey_ = 0;
  P::Event stop_{true, false};
  std::thread thread_;
};

}  // namespace

std::set<std::string> ReadUnplugged(const fs::path& dir) {
  std::string text;
  if (!ReadText(dir / kUnpluggedFileName, text)) return {};
  return ParseNames(text);
}

void ApplyUnplugged(SimBus& bus, const std::set<std::string>& names) {
  for (SimDevice* device : bus.Devices()) {
    const std::string& name = device->config().name;
    bus.SetAttached(name, names.count(name) == 0);
  }
}

bool SetPluggedInDirectory(const fs::path& dir, const std::string& device, bool plugged,
                           std::string& name, std::string& error) {
  std::vector<std::string> names;
  if (!DeviceNames(dir, names, error)) return false;
  name.clear();
  for (const std::string& n : names) {
    if (n == device) name = n;
  }
  if (name.empty() && !device.empty() && device.size() <= 9 &&
      device.find_first_not_of("0123456789") == std::string::npos) {
    const unsigned long position = std::stoul(device);
    if (position >= 1 && position <= names.size()) name = names[position - 1];
  }
  if (name.empty()) {
    error = "no device \"" + device + "\" in " + dir.string();
    return false;
  }
  std::set<std::string> unplugged = ReadUnplugged(dir);
  if (plugged) {
    unplugged.erase(name);
  } else {
    unplugged.insert(name);
  }
  std::string text;
  for (const std::string& n : unplugged) text += n + "\n";
  return WriteFileAtomically(dir / kUnpluggedFileName, text, error);
}

P::DeviceChangeSource MakeSimDeviceChangeSource(std::weak_ptr<SimBus> bus, fs::path dir) {
  return
      [bus, dir](P::DeviceChangeHandler handler) -> std::unique_ptr<P::DeviceChangeSubscription> {
        return std::make_unique<SimDeviceWatch>(bus, dir, std::move(handler));
      };
}

}  // namespace vantor::sim
