// What the proxy driver's set-up asks of the operating system: the system's version and
// processor architecture, the file-system redirection of a 32-bit process on a 64-bit
// system, where the driver files live and their file versions, and the service control
// manager that installs, starts, stops and deletes the driver's kernel service.
//
// Backends: the service control manager, version resources and Wow64 services on
// Windows. On Linux there is no kernel driver: the service control manager never opens
// (as for a user without administrator rights), so the set-up goes straight to the
// user-space proxy. Tests install a fake.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/last_error.h"

namespace vantor::platform {

// Error codes of this seam beyond those of last_error.h.
inline constexpr std::uint32_t kErrorServiceDoesNotExist = 1060;

// Service states as the service control manager numbers them.
inline constexpr std::uint32_t kServiceStopped = 1;
inline constexpr std::uint32_t kServiceStopPending = 3;
inline constexpr std::uint32_t kServiceRunning = 4;

// Machine types of IsWow64Process2, and processor architectures of the native system
// information.
inline constexpr std::uint16_t kImageFileMachineUnknown = 0;
inline constexpr std::uint16_t kImageFileMachineI386 = 0x014C;
inline constexpr std::uint16_t kImageFileMachineAmd64 = 0x8664;
inline constexpr std::uint16_t kImageFileMachineArm64 = 0xAA64;
inline constexpr std::uint16_t kProcessorArchitectureIntel = 0;
inline constexpr std::uint16_t kProcessorArchitectureAmd64 = 9;
inline constexpr std::uint16_t kProcessorArchitectureArm64 = 12;

// A file's version resource: four 16-bit numbers.
struct FileVersion {
  std::uint16_t major = 0;
  std::uint16_t minor = 0;
  std::uint16_t build = 0;
  std::uint16_t revision = 0;
};

enum class QueryOutcome { kOk, kFailed, kUnavailable };

// What opening a service and reading its status found.
struct ServiceQuery {
  std::uint32_t openError = 0;  // 0: opened; kErrorServiceDoesNotExist: no such service
  bool statusRead = false;
  std::uint32_t state = 0;  // kService... when statusRead
};

// A kernel driver service: demand start, errors ignored, no group, dependencies or
// account.
struct KernelServiceConfig {
  std::wstring name;
  std::wstring displayName;
  std::filesystem::path binaryPath;
};

// How reading a file that only an administrator may have placed went.
enum class AdminFileResult {
  kRead,              // read; owned by an administrator and writable by nobody else
  kAbsent,            // no such file
  kNotAdminOwned,     // its owner is not an administrator account
  kWritableByOthers,  // others than administrators may write it
  kNotRegularFile,    // a directory, device or other special file
  kReadError,         // could not be opened or read
};
const char* AdminFileResultText(AdminFileResult result);

// Reads a whole file, but only when an administrator account owns it and nobody else may
// write it; ownership and content are taken from one opening of the file, so it cannot
// be swapped in between. At most `maxBytes` are read (a longer file is a read error).
AdminFileResult ReadAdminOwnedFile(const std::filesystem::path& file,
                                   std::vector<std::uint8_t>& bytes, std::size_t maxBytes);

class ServiceManager {
 public:
  virtual ~ServiceManager() = default;

  // ---- The system ----
  virtual std::uint32_t SystemMajorVersion() = 0;
  // IsWow64Process2 for this process: kUnavailable when the system lacks it.
  virtual QueryOutcome QueryProcessMachines(std::uint16_t& processMachine,
                                            std::uint16_t& nativeMachine) = 0;
  // IsWow64Process for this process; false when the query fails.
  virtual bool QueryWow64Process(bool& wow64) = 0;
  // The processor architecture of the native system information.
  virtual std::uint16_t NativeProcessorArchitecture() = 0;
  // Turns the file-system redirection of this 32-bit process off for the calling
  // thread (false when that is not possible), and back on.
  virtual bool DisableFileSystemRedirection() = 0;
  virtual void RevertFileSystemRedirection() = 0;

  // ---- Files ----
  virtual std::filesystem::path SystemDirectory() = 0;
  virtual std::filesystem::path TempDirectory() = 0;
  // The driver file an administrator may place to be installed instead of the built-in
  // one ("C:\KvxUpx.sys"); empty where there is none.
  virtual std::filesystem::path OverrideDriverFile() = 0;
  // The file's version resource; false when it has none or cannot be read.
  virtual bool GetFileVersion(const std::filesystem::path& file, FileVersion& version) = 0;
  // ReadAdminOwnedFile as this system checks ownership.
  virtual AdminFileResult ReadAdminFile(const std::filesystem::path& file,
                                        std::vector<std::uint8_t>& bytes, std::size_t maxBytes) = 0;

  // ---- The service control manager (each call opens it with full access) ----
  // 0 when the manager opens with full access (the user is an administrator).
  virtual std::uint32_t OpenManager() = 0;
  virtual ServiceQuery QueryDriverService(std::wstring_view name) = 0;
  virtual std::uint32_t CreateDriverService(const KernelServiceConfig& config) = 0;
  virtual std::uint32_t StartDriverService(std::wstring_view name) = 0;
  // Sends "stop"; `state` receives the state the service reports then (0 unknown).
  virtual std::uint32_t StopDriverService(std::wstring_view name, std::uint32_t& state) = 0;
  virtual std::uint32_t DeleteDriverService(std::wstring_view name) = 0;

  // ---- The sockets library ----
  // Starts it asking for `version` (major in the low byte); the version granted, 0 when
  // it did not start.
  virtual std::uint16_t StartSockets(std::uint16_t version) = 0;
  virtual void StopSockets() = 0;
};

// The platform's own service manager (one per process, made on first use).
std::shared_ptr<ServiceManager> NativeServiceManager();

// The process-wide service manager: the installed one, else the platform's own.
std::shared_ptr<ServiceManager> GetServiceManager();
// Installs a service manager (null restores the platform's own).
void SetServiceManager(std::shared_ptr<ServiceManager> manager);

}  // namespace vantor::platform
