#include "platform/files.h"

#include <mutex>
#include <system_error>

namespace vantor::platform {

namespace fs = std::filesystem;

namespace {

std::mutex gDirMutex;
fs::path gProgramDirOverride;

fs::path ExecutableDirectory() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return fs::current_path(ec);
  return exe.parent_path();
}

}  // namespace

fs::path ProgramDirectory() {
  std::lock_guard lock(gDirMutex);
  if (!gProgramDirOverride.empty()) return gProgramDirOverride;
  static const fs::path dir = ExecutableDirectory();
  return dir;
}

void SetProgramDirectory(const fs::path& dir) {
  std::lock_guard lock(gDirMutex);
  gProgramDirOverride = dir;
}

fs::path TempDirectory() {
  std::error_code ec;
  fs::path dir = fs::temp_directory_path(ec);
  return ec ? fs::path("/tmp") : dir;
}

bool IsReadOnly(const fs::path& file) {
  std::error_code ec;
  fs::file_status st = fs::status(file, ec);
  if (ec || !fs::exists(st)) return false;
  return (st.permissions() & fs::perms::owner_write) == fs::perms::none;
}

bool ClearReadOnly(const fs::path& file) {
  std::error_code ec;
  if (!fs::exists(file, ec)) return false;
  if (!IsReadOnly(file)) return true;
  fs::permissions(file, fs::perms::owner_write, fs::perm_options::add, ec);
  return !ec;
}

bool SetReadOnly(const fs::path& file) {
  std::error_code ec;
  fs::permissions(file, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove, ec);
  return !ec;
}

void ClearReadOnlyBesideProgram(const char* name) {
  fs::path file = ProgramDirectory() / name;
  std::error_code ec;
  if (fs::exists(file, ec)) ClearReadOnly(file);
}

}  // namespace vantor::platform
