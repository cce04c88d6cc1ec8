// A fresh temporary directory that stands in for the program's directory while the
// object lives; removed again afterwards.
#pragma once

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "platform/files.h"

namespace vantor::test {

class ScopedProgramDir {
 public:
  ScopedProgramDir() {
    static std::atomic<int> counter{0};
    path_ = platform::TempDirectory() /
            ("vantor_progdir_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
    platform::SetProgramDirectory(path_);
  }
  ~ScopedProgramDir() {
    platform::SetProgramDirectory({});
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScopedProgramDir(const ScopedProgramDir&) = delete;
  ScopedProgramDir& operator=(const ScopedProgramDir&) = delete;

  const std::filesystem::path& path() const { return path_; }

  // Writes a file beside the "program"; returns its path.
  std::filesystem::path Write(std::string_view name, std::string_view bytes) const {
    const std::filesystem::path file = path_ / name;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return file;
  }

 private:
  std::filesystem::path path_;
};

}  // namespace vantor::test
