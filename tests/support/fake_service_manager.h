// A service control manager and system for the driver set-up that lives in a scratch
// directory: it keeps one driver service's state (present, running), records every
// action in order, and can be told to fail any of them. Driver files are real files in
// the scratch directory; a file's version is read from its text "KVXUPX a.b.c.d" at the
// start (DriverImageBytes makes such a file).
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/service_manager.h"

namespace vantor::test {

// A stand-in driver image carrying a version.
std::vector<std::uint8_t> DriverImageBytes(const platform::FileVersion& version,
                                           std::size_t length = 4096);

class FakeServiceManager final : public platform::ServiceManager {
 public:
  FakeServiceManager();            // creates the scratch directory
  ~FakeServiceManager() override;  // removes it

  // ---- The system ----
  std::uint32_t majorVersion = 10;
  platform::QueryOutcome machinesOutcome = platform::QueryOutcome::kUnavailable;
  std::uint16_t processMachine = 0;
  std::uint16_t nativeMachine = 0;
  bool wow64QueryOk = true;
  bool wow64 = false;
  std::uint16_t processorArchitecture = platform::kProcessorArchitectureAmd64;
  bool redirectionPossible = true;
  int redirectionOff = 0;  // calls
  int redirectionOn = 0;

  // ---- The service control manager ----
  std::uint32_t managerError = 0;  // OpenManager's result: 0 administrator
  bool present = false;
  bool running = false;
  std::uint32_t serviceOpenError = 0;  // when present: an error opening it all the same
  bool statusReadable = true;
  std::set<std::string> failing;   // "stop", "delete", "create", "start": fail with 1
  std::vector<std::string> calls;  // "stop", "delete", "create", "start" in order
  platform::KernelServiceConfig created;

  // ---- Sockets ----
  std::uint16_t grantedSockets = 0x0202;
  int socketsStarted = 0;
  int socketsStopped = 0;

  const std::filesystem::path& root() const { return root_; }
  std::filesystem::path installedFile() const;

  std::uint32_t SystemMajorVersion() override { return majorVersion; }
  platform::QueryOutcome QueryProcessMachines(std::uint16_t& process,
                                              std::uint16_t& native) override;
  bool QueryWow64Process(bool& out) override;
  std::uint16_t NativeProcessorArchitecture() override { return processorArchitecture; }
  bool DisableFileSystemRedirection() override;
  void RevertFileSystemRedirection() override { ++redirectionOn; }

  std::filesystem::path SystemDirectory() override { return root_ / "system32"; }
  std::filesystem::path TempDirectory() override { return root_ / "temp"; }
  std::filesystem::path OverrideDriverFile() override { return root_ / "KvxUpx.sys"; }
  bool GetFileVersion(const std::filesystem::path& file, platform::FileVersion& version) override;
  platform::AdminFileResult ReadAdminFile(const std::filesystem::path& file,
                                          std::vector<std::uint8_t>& bytes,
                                          std::size_t maxBytes) override;

  std::uint32_t OpenManager() override { return managerError; }
  platform::ServiceQuery QueryDriverService(std::wstring_view name) override;
  std::uint32_t CreateDriverService(const platform::KernelServiceConfig& config) override;
  std::uint32_t StartDriverService(std::wstring_view name) override;
  std::uint32_t StopDriverService(std::wstring_view name, std::uint32_t& state) override;
  std::uint32_t DeleteDriverService(std::wstring_view name) override;

  std::uint16_t StartSockets(std::uint16_t version) override;
  void StopSockets() override { ++socketsStopped; }

 private:
  bool Fails(const char* action);
  std::filesystem::path root_;
};

// Installs a fake service manager as the process's for the life of the object; the
// driver set-up is taken down and the proxy closed again when it ends.
class ScopedFakeServiceManager {
 public:
  ScopedFakeServiceManager();
  ~ScopedFakeServiceManager();
  ScopedFakeServiceManager(const ScopedFakeServiceManager&) = delete;
  ScopedFakeServiceManager& operator=(const ScopedFakeServiceManager&) = delete;
  FakeServiceManager* operator->() { return fake_.get(); }
  FakeServiceManager& operator*() { return *fake_; }

 private:
  std::shared_ptr<FakeServiceManager> fake_;
};

}  // namespace vantor::test
