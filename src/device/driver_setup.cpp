#include "device/driver_setup.h"

#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "device/device_enum.h"
#include "device/ext_unit_functions.h"
#include "device/proxy_state.h"
#include "device/sync_operate.h"
#include "platform/debug_output.h"
#include "platform/instance_flag.h"
#include "platform/last_error.h"
#include "platform/named_mutex.h"
#include "platform/resources.h"
#include "platform/text.h"
#include "platform/trace.h"

namespace vantor {

namespace P = platform;
namespace fs = std::filesystem;

namespace {

// Driver files are signed kernel images of a few dozen KiB; anything far larger placed
// as the override is not one.
constexpr std::size_t kMaxDriverFileBytes = 16u << 20;

struct SetUpState {
  std::mutex mutex;
  std::uint32_t nativeMachine = kNativeMachineUnknown;
  std::unique_ptr<P::InstanceFlagHold> flag;
  fs::path flagFile;
  bool socketsStarted = false;
  DriverImageSource imageSource;
};

SetUpState& State() {
  static SetUpState state;
  return state;
}

std::string PathText(const fs::path& path) { return P::ToUtf8(path.wstring()); }

bool WriteWholeFile(const fs::path& file, std::span<const std::uint8_t> bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.close();
  return !out.fail();
}

bool CopyOver(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
  return !ec;
}

// Turns the file-system redirection off for the set-up when the process runs under
// Wow64, and back on when the set-up ends.
class RedirectionOff {
 public:
  RedirectionOff(P::ServiceManager& manager, bool wow64) : manager_(manager) {
    ok_ = !wow64 || manager_.DisableFileSystemRedirection();
    off_ = wow64 && ok_;
  }
  ~RedirectionOff() {
    if (off_) manager_.RevertFileSystemRedirection();
  }
  RedirectionOff(const RedirectionOff&) = delete;
  RedirectionOff& operator=(const RedirectionOff&) = delete;
  bool ok() const { return ok_; }

 private:
  P::ServiceManager& manager_;
  bool ok_ = false;
  bool off_ = false;
};

// Puts the driver to install in place: the administrator's override file when it may be
// trusted, else the built-in image when the installed file is missing or older.
bool PlaceDriverFile(P::ServiceManager& manager, std::uint32_t machine, bool& replace) {
  const fs::path installed = InstalledDriverFile(manager);
  const fs::path override = manager.OverrideDriverFile();
  std::vector<std::uint8_t> bytes;
  const P::AdminFileResult result = manager.ReadAdminFile(override, bytes, kMaxDriverFileBytes);
  if (result == P::AdminFileResult::kRead) {
    if (!WriteWholeFile(installed, bytes)) {
      DebugPrint("ProxyDriverSetUp: cannot write the driver file %s\n",
                 PathText(installed).c_str());
      return false;
    }
    DebugPrint("ProxyDriverSetUp: installed the driver file %s\n", PathText(override).c_str());
    replace = true;
    return true;
  }
  if (result != P::AdminFileResult::kAbsent) {
    // Anyone who could write it would choose the kernel driver an administrator installs.
    DebugPrint("ProxyDriverSetUp: ignoring the driver file %s: %s\n", PathText(override).c_str(),
               P::AdminFileResultText(result));
  }

  const std::span<const std::uint8_t> image = DriverImage(machine);
  if (image.empty()) {
    DebugPrint("ProxyDriverSetUp: this program carries no proxy driver image for machine %u\n",
               machine);
    return false;
  }
  const fs::path temporary = TemporaryDriverFile(manager);
  std::error_code ec;
  if (!WriteWholeFile(temporary, image)) {
    DebugPrint("ProxyDriverSetUp: cannot write %s\n", PathText(temporary).c_str());
    fs::remove(temporary, ec);
    return false;
  }
  bool copy = !fs::exists(installed, ec);
  if (!copy) {
    P::FileVersion current;
    P::FileVersion built;
    copy = !manager.GetFileVersion(installed, current) ||
           !manager.GetFileVersion(temporary, built) || DriverVersionIsLower(current, built);
  }
  bool ok = true;
  if (copy) {
    ok = CopyOver(temporary, installed);
    if (ok) {
      replace = true;
    } else {
      DebugPrint("ProxyDriverSetUp: cannot write the driver file %s\n",
                 PathText(installed).c_str());
    }
  }
  fs::remove(temporary, ec);
  return ok;
}

// Takes this process's hold on the instance flag file unless it has one.
bool HoldFlag(SetUpState& state, P::ServiceManager& manager) {
  if (state.flag) return true;
  const fs::path file = InstanceFlagFile(manager);
  state.flag = P::HoldInstanceFlag(file);
  if (!state.flag) {
    DebugPrint("ProxyDriverSetUp: cannot hold the instance flag file %s (%u)\n",
               PathText(file).c_str(), P::GetLastError());
    return false;
  }
  state.flagFile = file;
  return true;
}

}  // namespace

DriverServiceActions DecideDriverServiceActions(bool present, bool replace, bool running,
                                                bool otherInstanceRunning) {
  DriverServiceActions a;
  if (!present) {
    a.create = a.start = true;
  } else if (replace && !running) {
    a.remove = a.create = a.start = true;
  } else if (replace && !otherInstanceRunning) {
    a.stop = a.remove = a.create = a.start = true;
  } else if (!replace && !running) {
    a.start = true;
  }
  return a;
}

bool DriverVersionIsLower(const P::FileVersion& installed, const P::FileVersion& candidate) {
  // Most significant first: a newer installed driver is never replaced by an older one.
  const auto key = [](const P::FileVersion& v) {
    return std::tuple(v.major, v.minor, v.build, v.revision);
  };
  return key(installed) < key(candidate);
}

ProcessMachine QueryProcessMachine(P::ServiceManager& manager) {
  // The native machine as IsWow64Process2 names it, and as the processor architecture
  // of the native system information names it.
  struct Name {
    std::uint16_t imageMachine;
    std::uint16_t architecture;
    std::uint32_t machine;
  };
  static constexpr Name kNames[] = {
      {P::kImageFileMachineI386, P::kProcessorArchitectureIntel, kNativeMachineX86},
      {P::kImageFileMachineAmd64, P::kProcessorArchitectureAmd64, kNativeMachineX64},
      {P::kImageFileMachineArm64, P::kProcessorArchitectureArm64, kNativeMachineArm64},
  };
  ProcessMachine out;
  std::uint16_t processMachine = 0;
  std::uint16_t nativeMachine = 0;
  const P::QueryOutcome outcome = manager.QueryProcessMachines(processMachine, nativeMachine);
  if (outcome == P::QueryOutcome::kFailed) return out;
  if (outcome == P::QueryOutcome::kOk) {
    out.wow64 = processMachine != P::kImageFileMachineUnknown;
    for (const Name& n : kNames) {
      if (n.imageMachine == nativeMachine) out.nativeMachine = n.machine;
    }
    return out;
  }
  bool wow64 = false;
  out.wow64 = manager.QueryWow64Process(wow64) && wow64;
  const std::uint16_t architecture = manager.NativeProcessorArchitecture();
  for (const Name& n : kNames) {
    if (n.architecture == architecture) out.nativeMachine = n.machine;
  }
  return out;
}

fs::path InstalledDriverFile(P::ServiceManager& manager) {
  return manager.SystemDirectory() / "drivers" / "KvxUpx.sys";
}

fs::path TemporaryDriverFile(P::ServiceManager& manager) {
  return manager.TempDirectory() / ("KvxUpx" + std::to_string(P::CurrentThreadId()) + ".sys");
}

fs::path InstanceFlagFile(P::ServiceManager& manager) {
  return manager.TempDirectory() / "KvxUpx.flag";
}

std::span<const std::uint8_t> DriverImage(std::uint32_t nativeMachine) {
  const std::uint32_t machine =
      nativeMachine == kNativeMachineX64 || nativeMachine == kNativeMachineArm64
          ? nativeMachine
          : kNativeMachineX86;
  DriverImageSource source;
  {
    SetUpState& state = State();
    std::lock_guard lock(state.mutex);
    source = state.imageSource;
  }
  if (source) return source(machine);
  return P::FindResource(kDriverImageResourceType, machine);
}

void SetDriverImageSource(DriverImageSource source) {
  SetUpState& state = State();
  std::lock_guard lock(state.mutex);
  state.imageSource = std::move(source);
}

std::uint32_t NativeMachine() {
  SetUpState& state = State();
  std::lock_guard lock(state.mutex);
  return state.nativeMachine;
}

P::NamedMutex* CmdLockHandle() { return ExtUnitFunctionLock(); }

bool HoldsInstanceFlag() {
  SetUpState& state = State();
  std::lock_guard lock(state.mutex);
  return state.flag != nullptr;
}

bool InstallDriverService(const fs::path& driverFile, bool replace, bool otherInstanceRunning) {
  auto manager = P::GetServiceManager();
  std::uint32_t rc = manager->OpenManager();
  if (rc != 0) {
    DebugPrint("InstallDriverService: cannot open the service control manager (%u)\n", rc);
    return false;
  }
  const P::ServiceQuery query = manager->QueryDriverService(kDriverServiceName);
  const bool present = query.openError != P::kErrorServiceDoesNotExist;
  const bool stopped =
      query.openError == 0 && query.statusRead && query.state == P::kServiceStopped;
  const DriverServiceActions actions =
      DecideDriverServiceActions(present, replace, !stopped, otherInstanceRunning);
  std::uint32_t state = 0;
  if (actions.stop && (rc = manager->StopDriverService(kDriverServiceName, state)) != 0) {
    DebugPrint("InstallDriverService: stopping the service failed (%u)\n", rc);
    return false;
  }
  if (actions.remove && (rc = manager->DeleteDriverService(kDriverServiceName)) != 0) {
    DebugPrint("InstallDriverService: deleting the service failed (%u)\n", rc);
    return false;
  }
  if (actions.create) {
    const P::KernelServiceConfig config{kDriverServiceName, kDriverServiceDisplayName, driverFile};
    if ((rc = manager->CreateDriverService(config)) != 0) {
      DebugPrint("InstallDriverService: creating the service failed (%u)\n", rc);
      return false;
    }
  }
  if (actions.start && (rc = manager->StartDriverService(kDriverServiceName)) != 0) {
    DebugPrint("InstallDriverService: starting the service failed (%u)\n", rc);
    return false;
  }
  return true;
}

void RemoveDriverService() {
  auto manager = P::GetServiceManager();
  if (manager->OpenManager() != 0) return;
  std::uint32_t state = 0;
  manager->StopDriverService(kDriverServiceName, state);
  if (state == P::kServiceStopped) manager->DeleteDriverService(kDriverServiceName);
}

bool ProxyDriverSetUp() {
  if (IsProxyDeviceOpen()) return true;
  auto manager = P::GetServiceManager();
  SetUpState& state = State();

  SetLocationPathsInUse(manager->SystemMajorVersion() >= 6);
  const ProcessMachine machine = QueryProcessMachine(*manager);
  {
    std::lock_guard lock(state.mutex);
    state.nativeMachine = machine.nativeMachine;
  }
  RedirectionOff redirection(*manager, machine.wow64);
  if (!redirection.ok()) {
    DebugPrint("ProxyDriverSetUp: cannot turn off the file-system redirection\n");
    return false;
  }

  const std::uint32_t managerError = manager->OpenManager();
  if (managerError == 0) {
    bool replace = false;
    if (!PlaceDriverFile(*manager, machine.nativeMachine, replace)) return false;
    const bool otherInstance = P::IsInstanceFlagHeld(InstanceFlagFile(*manager));
    if (!InstallDriverService(InstalledDriverFile(*manager), replace, otherInstance)) return false;
  } else {
    DebugPrint("ProxyDriverSetUp: no service control manager (%u); using the proxy there is\n",
               managerError);
  }

  std::lock_guard lock(state.mutex);
  if (!HoldFlag(state, *manager)) return false;
  if (!OpenProxyDevice(machine.wow64)) {
    DebugPrint("ProxyDriverSetUp: cannot open the proxy driver's control device (%u)\n",
               P::GetLastError());
    return false;
  }
  // The object-free extension-unit functions (identification, resets) take this lock.
  if (!OpenExtUnitFunctionLock()) {
    DebugPrint("ProxyDriverSetUp: cannot open the command lock (%u)\n", P::GetLastError());
  }
  const std::uint16_t granted = manager->StartSockets(kSocketsVersion);
  if (granted != kSocketsVersion) {
    DebugPrint("ProxyDriverSetUp: sockets library version %u.%u instead of 2.2\n",
               static_cast<unsigned>(granted & 0xFF), static_cast<unsigned>(granted >> 8));
    if (granted != 0) manager->StopSockets();
    CloseExtUnitFunctionLock();
    CloseProxyDevice();
    return false;
  }
  state.socketsStarted = true;
  return true;
}

std::uint32_t ProxyDriverTearDown() {
  auto manager = P::GetServiceManager();
  SetUpState& state = State();
  std::unique_ptr<P::InstanceFlagHold> flag;
  fs::path flagFile;
  {
    std::lock_guard lock(state.mutex);
    if (state.socketsStarted) manager->StopSockets();
    state.socketsStarted = false;
    CloseExtUnitFunctionLock();
    flag = std::move(state.flag);
    flagFile = std::move(state.flagFile);
    state.flagFile.clear();
  }
  if (!IsProxyDeviceOpen()) return 1;
  CloseProxyDevice();
  flag.reset();
  if (flagFile.empty()) flagFile = InstanceFlagFile(*manager);
  if (!P::IsInstanceFlagHeld(flagFile)) RemoveDriverService();
  return 1;
}

}  // namespace vantor
