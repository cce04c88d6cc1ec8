// Setting up device access once per process and taking it down at exit: the proxy
// driver's kernel service is installed (or replaced) and started when the user may do
// so, the proxy's control device is opened, the command lock and the sockets library
// are set up, and the instance flag file that every running instance holds tells the
// last instance to exit to remove the service again.
//
// Without administrator rights (and always on Linux, which has no kernel driver) the
// service is left alone and the set-up opens the proxy that is there: the running
// service's control device, or the user-space proxy (the simulated bus under
// VANTOR_SIM).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>

#include "platform/service_manager.h"

namespace vantor {

namespace platform {
class NamedMutex;
}

inline constexpr wchar_t kDriverServiceName[] = L"KvxUpx";
inline constexpr wchar_t kDriverServiceDisplayName[] = L"KvxUpx Driver";

// Native machines, as the set-up numbers them (the built-in driver image's resource
// number of type "DRIVER" is the same number).
inline constexpr std::uint32_t kNativeMachineUnknown = 0;
inline constexpr std::uint32_t kNativeMachineX86 = 1;
inline constexpr std::uint32_t kNativeMachineX64 = 2;
inline constexpr std::uint32_t kNativeMachineArm64 = 4;
inline constexpr char kDriverImageResourceType[] = "DRIVER";

// The sockets library version the set-up asks for and requires: 2.2.
inline constexpr std::uint16_t kSocketsVersion = 0x0202;

// Sets device access up; true when the proxy's control device is open (at once when it
// is open already).
bool ProxyDriverSetUp();
// Takes device access down; the last running instance removes the driver service.
// Always 1.
std::uint32_t ProxyDriverTearDown();

// Brings the driver service into the state the decision table asks for, with
// `driverFile` as its binary. False when the service control manager cannot be opened
// or an action fails.
bool InstallDriverService(const std::filesystem::path& driverFile, bool replace,
                          bool otherInstanceRunning);
// Stops the driver service and deletes it once it reports stopped.
void RemoveDriverService();

// What InstallDriverService does, in this order.
struct DriverServiceActions {
  bool stop = false;
  bool remove = false;
  bool create = false;
  bool start = false;
  friend bool operator==(const DriverServiceActions&, const DriverServiceActions&) = default;
};
DriverServiceActions DecideDriverServiceActions(bool present, bool replace, bool running,
                                                bool otherInstanceRunning);

// Whether the installed driver is to be replaced by the candidate: its version is lower,
// comparing major, minor, build and revision as numbers, most significant first.
bool DriverVersionIsLower(const platform::FileVersion& installed,
                          const platform::FileVersion& candidate);

// What the system reports about this process: a 32-bit process on a 64-bit system
// (Wow64) and the native machine (kNativeMachine...). A failed query counts as no Wow64.
struct ProcessMachine {
  bool wow64 = false;
  std::uint32_t nativeMachine = kNativeMachineUnknown;
};
ProcessMachine QueryProcessMachine(platform::ServiceManager& manager);

// Process-wide state of the set-up: the native machine found, the command lock handle
// opened for the object-free extension-unit functions (null until set up), and whether
// this process holds the instance flag file.
std::uint32_t NativeMachine();
platform::NamedMutex* CmdLockHandle();
bool HoldsInstanceFlag();

// The files of the set-up, in the directories the service manager names.
std::filesystem::path InstalledDriverFile(platform::ServiceManager& manager);
std::filesystem::path TemporaryDriverFile(platform::ServiceManager& manager);
std::filesystem::path InstanceFlagFile(platform::ServiceManager& manager);

// The built-in driver image for a native machine (x86 for any machine without one of its
// own); empty when the program carries none. The source can be replaced (tests; null
// restores the built-in resources).
using DriverImageSource = std::function<std::span<const std::uint8_t>(std::uint32_t machine)>;
std::span<const std::uint8_t> DriverImage(std::uint32_t nativeMachine);
void SetDriverImageSource(DriverImageSource source);

}  // namespace vantor
