// Linux has no kernel proxy driver and no service control manager: the manager never
// opens, as for a user without administrator rights, and the driver set-up opens the
// user-space proxy. What the set-up still asks (the system, temporary directory, the
// ownership of a file) is answered from POSIX.
#include "platform/service_manager.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/files.h"

namespace vantor::platform {

namespace {

// Windows 6.0 and later identify devices by location paths; so does the Linux
// inventory, which presents the same paths.
constexpr std::uint32_t kSystemMajorVersion = 10;

class LinuxServiceManager final : public ServiceManager {
 public:
  std::uint32_t SystemMajorVersion() override { return kSystemMajorVersion; }
  QueryOutcome QueryProcessMachines(std::uint16_t&, std::uint16_t&) override {
    return QueryOutcome::kUnavailable;
  }
  bool QueryWow64Process(bool& wow64) override {
    wow64 = false;
    return true;
  }
  std::uint16_t NativeProcessorArchitecture() override {
    utsname name{};
    if (::uname(&name) != 0) return kProcessorArchitectureIntel;
    if (std::strcmp(name.machine, "x86_64") == 0) return kProcessorArchitectureAmd64;
    if (std::strcmp(name.machine, "aarch64") == 0) return kProcessorArchitectureArm64;
    return kProcessorArchitectureIntel;
  }
  bool DisableFileSystemRedirection() override { return true; }
  void RevertFileSystemRedirection() override {}

  std::filesystem::path SystemDirectory() override { return {}; }
  std::filesystem::path TempDirectory() override { return platform::TempDirectory(); }
  std::filesystem::path OverrideDriverFile() override { return {}; }
  bool GetFileVersion(const std::filesystem::path&, FileVersion&) override { return false; }
  AdminFileResult ReadAdminFile(const std::filesystem::path& file, std::vector<std::uint8_t>& bytes,
                                std::size_t maxBytes) override {
    return ReadAdminOwnedFile(file, bytes, maxBytes);
  }

  std::uint32_t OpenManager() override { return kErrorAccessDenied; }
  ServiceQuery QueryDriverService(std::wstring_view) override {
    return ServiceQuery{kErrorAccessDenied, false, 0};
  }
  std::uint32_t CreateDriverService(const KernelServiceConfig&) override {
    return kErrorAccessDenied;
  }
  std::uint32_t StartDriverService(std::wstring_view) override { return kErrorAccessDenied; }
  std::uint32_t StopDriverService(std::wstring_view, std::uint32_t& state) override {
    state = 0;
    return kErrorAccessDenied;
  }
  std::uint32_t DeleteDriverService(std::wstring_view) override { return kErrorAccessDenied; }

  // Sockets need no start-up here: the version asked for is the version granted.
  std::uint16_t StartSockets(std::uint16_t version) override { return version; }
  void StopSockets() override {}
};

}  // namespace

std::shared_ptr<ServiceManager> NativeServiceManager() {
  static const std::shared_ptr<ServiceManager> manager = std::make_shared<LinuxServiceManager>();
  return manager;
}

AdminFileResult ReadAdminOwnedFile(const std::filesystem::path& file,
                                   std::vector<std::uint8_t>& bytes, std::size_t maxBytes) {
  bytes.clear();
  if (file.empty()) return AdminFileResult::kAbsent;
  // O_NONBLOCK: opening a FIFO placed there must not hang; a link is followed only to
  // a file whose own owner and mode are then checked.
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return errno == ENOENT ? AdminFileResult::kAbsent : AdminFileResult::kReadError;
  struct stat st {};
  AdminFileResult result = AdminFileResult::kRead;
  if (::fstat(fd, &st) != 0) {
    result = AdminFileResult::kReadError;
  } else if (!S_ISREG(st.st_mode)) {
    result = AdminFileResult::kNotRegularFile;
  } else if (st.st_uid != 0) {
    result = AdminFileResult::kNotAdminOwned;
  } else if ((st.st_mode & S_IWOTH) != 0 || ((st.st_mode & S_IWGRP) != 0 && st.st_gid != 0)) {
    result = AdminFileResult::kWritableByOthers;
  } else if (static_cast<std::uint64_t>(st.st_size) > maxBytes) {
    result = AdminFileResult::kReadError;
  }
  if (result == AdminFileResult::kRead) {
    bytes.resize(static_cast<std::size_t>(st.st_size));
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    // The file must not have changed length under the read.
    char extra = 0;
    if (done != bytes.size() || ::read(fd, &extra, 1) != 0) {
      bytes.clear();
      result = AdminFileResult::kReadError;
    }
  }
  ::close(fd);
  return result;
}

}  // namespace vantor::platform
