#include "support/fake_service_manager.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <fstream>

#include "device/driver_setup.h"
#include "device/proxy_state.h"
#include "platform/files.h"

namespace vantor::test {

namespace fs = std::filesystem;
namespace P = platform;

namespace {
constexpr char kVersionTag[] = "KVXUPX ";
constexpr std::uint32_t kFakeFailure = 1;
constexpr std::uint32_t kServiceAlreadyRunning = 1056;
constexpr std::uint32_t kServiceNotActive = 1062;
constexpr std::uint32_t kServiceExists = 1073;
}  // namespace

std::vector<std::uint8_t> DriverImageBytes(const P::FileVersion& version, std::size_t length) {
  char head[64];
  const int n = std::snprintf(head, sizeof head, "%s%u.%u.%u.%u\n", kVersionTag, version.major,
                              version.minor, version.build, version.revision);
  std::vector<std::uint8_t> bytes(head, head + n);
  if (bytes.size() < length) bytes.resize(length, 0xCC);
  return bytes;
}

FakeServiceManager::FakeServiceManager() {
  static std::atomic<int> counter{0};
  root_ = P::TempDirectory() /
          ("vantor_svc_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
  fs::remove_all(root_);
  fs::create_directories(root_ / "system32" / "drivers");
  fs::create_directories(root_ / "temp");
}

FakeServiceManager::~FakeServiceManager() {
  std::error_code ec;
  fs::remove_all(root_, ec);
}

fs::path FakeServiceManager::installedFile() const {
  return root_ / "system32" / "drivers" / "KvxUpx.sys";
}

P::QueryOutcome FakeServiceManager::QueryProcessMachines(std::uint16_t& process,
                                                         std::uint16_t& native) {
  process = processMachine;
  native = nativeMachine;
  return machinesOutcome;
}

bool FakeServiceManager::QueryWow64Process(bool& out) {
  out = wow64;
  return wow64QueryOk;
}

bool FakeServiceManager::DisableFileSystemRedirection() {
  if (!redirectionPossible) return false;
  ++redirectionOff;
  return true;
}

bool FakeServiceManager::GetFileVersion(const fs::path& file, P::FileVersion& version) {
  std::ifstream in(file, std::ios::binary);
  std::string head(64, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<std::size_t>(in.gcount()));
  unsigned a, b, c, d;
  if (head.rfind(kVersionTag, 0) != 0 ||
      std::sscanf(head.c_str() + sizeof kVersionTag - 1, "%u.%u.%u.%u", &a, &b, &c, &d) != 4) {
    return false;
  }
  version = P::FileVersion{static_cast<std::uint16_t>(a), static_cast<std::uint16_t>(b),
                           static_cast<std::uint16_t>(c), static_cast<std::uint16_t>(d)};
  return true;
}

P::AdminFileResult FakeServiceManager::ReadAdminFile(const fs::path& file,
                                                     std::vector<std::uint8_t>& bytes,
                                                     std::size_t maxBytes) {
  return P::ReadAdminOwnedFile(file, bytes, maxBytes);
}

P::ServiceQuery FakeServiceManager::QueryDriverService(std::wstring_view) {
  calls.push_back("query");
  if (!present) return P::ServiceQuery{P::kErrorServiceDoesNotExist, false, 0};
  if (serviceOpenError != 0) return P::ServiceQuery{serviceOpenError, false, 0};
  return P::ServiceQuery{0, statusReadable, running ? P::kServiceRunning : P::kServiceStopped};
}

bool FakeServiceManager::Fails(const char* action) {
  calls.push_back(action);
  return failing.count(action) != 0;
}

std::uint32_t FakeServiceManager::CreateDriverService(const P::KernelServiceConfig& config) {
  if (Fails("create")) return kFakeFailure;
  if (present) return kServiceExists;
  created = config;
  present = true;
  running = false;
  return 0;
}

std::uint32_t FakeServiceManager::StartDriverService(std::wstring_view) {
  if (Fails("start")) return kFakeFailure;
  if (!present) return P::kErrorServiceDoesNotExist;
  if (running) return kServiceAlreadyRunning;
  running = true;
  return 0;
}

std::uint32_t FakeServiceManager::StopDriverService(std::wstring_view, std::uint32_t& state) {
  state = 0;
  if (Fails("stop")) return kFakeFailure;
  if (!present) return P::kErrorServiceDoesNotExist;
  const bool wasRunning = running;
  running = false;
  state = P::kServiceStopped;
  return wasRunning ? 0 : kServiceNotActive;
}

std::uint32_t FakeServiceManager::DeleteDriverService(std::wstring_view) {
  if (Fails("delete")) return kFakeFailure;
  if (!present) return P::kErrorServiceDoesNotExist;
  present = false;
  running = false;
  return 0;
}

std::uint16_t FakeServiceManager::StartSockets(std::uint16_t) {
  ++socketsStarted;
  return grantedSockets;
}

ScopedFakeServiceManager::ScopedFakeServiceManager()
    : fake_(std::make_shared<FakeServiceManager>()) {
  P::SetServiceManager(fake_);
}

ScopedFakeServiceManager::~ScopedFakeServiceManager() {
  ProxyDriverTearDown();
  CloseProxyDevice();
  SetDriverImageSource(nullptr);
  P::SetServiceManager(nullptr);
}

}  // namespace vantor::test
