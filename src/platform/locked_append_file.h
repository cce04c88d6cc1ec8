// A file that several processes append records to (the burn_result.txt table of a
// production line). Each append takes an exclusive advisory lock of the whole file and
// goes out in one write at the file's end, so records of different processes never
// interleave and none overwrites another.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace vantor::platform {

class LockedAppendFile {
 public:
  LockedAppendFile() = default;
  ~LockedAppendFile();
  LockedAppendFile(const LockedAppendFile&) = delete;
  LockedAppendFile& operator=(const LockedAppendFile&) = delete;

  // Opens the file for appending, creating it when missing; never truncates. False (with
  // the system's error text in LastErrorText) when it cannot be opened.
  bool Open(const std::filesystem::path& path);
  bool IsOpen() const { return fd_ >= 0; }
  // Appends the bytes under the lock. With onlyWhenEmpty the bytes are written only when
  // the file holds nothing yet (a header written by whichever process comes first); true
  // then also when nothing had to be written.
  bool Append(std::string_view bytes, bool onlyWhenEmpty = false);
  void Close();

  const std::string& LastErrorText() const { return lastErrorText_; }

 private:
  int fd_ = -1;
  std::string lastErrorText_;
};

}  // namespace vantor::platform
