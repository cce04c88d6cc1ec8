#include "platform/locked_append_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vantor::platform {

namespace {

// Holds flock(LOCK_EX) on a descriptor for its lifetime.
class FileLock {
 public:
  explicit FileLock(int fd) : fd_(fd) {
    int rc;
    do {
      rc = ::flock(fd_, LOCK_EX);
    } while (rc != 0 && errno == EINTR);
    locked_ = rc == 0;
  }
  ~FileLock() {
    if (locked_) ::flock(fd_, LOCK_UN);
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  bool locked() const { return locked_; }

 private:
  int fd_;
  bool locked_;
};

}  // namespace

LockedAppendFile::~LockedAppendFile() { Close(); }

bool LockedAppendFile::Open(const std::filesystem::path& path) {
  Close();
  do {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  } while (fd_ < 0 && errno == EINTR);
  if (fd_ < 0) {
    lastErrorText_ = std::strerror(errno);
    return false;
  }
  return true;
}

bool LockedAppendFile::Append(std::string_view bytes, bool onlyWhenEmpty) {
  if (fd_ < 0) {
    lastErrorText_ = "not open";
    return false;
  }
  FileLock lock(fd_);
  if (!lock.locked()) {
    lastErrorText_ = std::strerror(errno);
    return false;
  }
  if (onlyWhenEmpty) {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
      lastErrorText_ = std::strerror(errno);
      return false;
    }
    if (st.st_size != 0) return true;
  }
  // One write in the normal case; a short write (a full disk) is continued while the lock
  // is still held, so no other record can come between the parts.
  while (!bytes.empty()) {
    ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      lastErrorText_ = n < 0 ? std::strerror(errno) : "nothing written";
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

void LockedAppendFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

}  // namespace vantor::platform
