// Each instance holds a shared lock on the flag file. Whoever finds the file unlocked
// (an exclusive lock can be taken) knows no instance holds it and removes it while it
// has the exclusive lock; a holder that meanwhile opened the removed file notices that
// the path no longer names it and starts again with a new file.
#include "platform/instance_flag.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/last_error.h"

namespace vantor::platform {

namespace {

constexpr int kHoldAttempts = 16;

int OpenFlag(const std::filesystem::path& file, int flags) {
  int fd;
  do {
    fd = ::open(file.c_str(), flags | O_CLOEXEC | O_NOCTTY, 0644);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

bool Lock(int fd, int operation) {
  int rc;
  do {
    rc = ::flock(fd, operation);
  } while (rc != 0 && errno == EINTR);
  return rc == 0;
}

// Whether the path still names the file open on fd.
bool StillNamed(int fd, const std::filesystem::path& file) {
  struct stat open {};
  struct stat named {};
  return ::fstat(fd, &open) == 0 && ::stat(file.c_str(), &named) == 0 &&
         open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

std::uint32_t ErrorOf(int error) {
  switch (error) {
    case ENOENT:
      return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
      return kErrorAccessDenied;
    default:
      return kErrorGenFailure;
  }
}

class LockFileHold final : public InstanceFlagHold {
 public:
  LockFileHold(int fd, std::filesystem::path file) : fd_(fd), file_(std::move(file)) {}
  ~LockFileHold() override {
    // The last holder gets the exclusive lock and removes the file.
    if (Lock(fd_, LOCK_EX | LOCK_NB) && StillNamed(fd_, file_)) ::unlink(file_.c_str());
    ::close(fd_);
  }

 private:
  int fd_;
  std::filesystem::path file_;
};

}  // namespace

std::unique_ptr<InstanceFlagHold> HoldInstanceFlag(const std::filesystem::path& file) {
  for (int attempt = 0; attempt < kHoldAttempts; ++attempt) {
    int fd = OpenFlag(file, O_RDWR | O_CREAT);
    // Another user's file can still be held through a read-only opening.
    if (fd < 0 && (errno == EACCES || errno == EPERM)) fd = OpenFlag(file, O_RDONLY);
    if (fd < 0) {
      SetLastError(ErrorOf(errno));
      return nullptr;
    }
    if (!Lock(fd, LOCK_SH)) {
      const int error = errno;
      ::close(fd);
      SetLastError(ErrorOf(error));
      return nullptr;
    }
    if (StillNamed(fd, file)) return std::make_unique<LockFileHold>(fd, file);
    ::close(fd);  // removed by the instance that let go last: take the new file
  }
  SetLastError(kErrorGenFailure);
  return nullptr;
}

bool IsInstanceFlagHeld(const std::filesystem::path& file) {
  const int fd = OpenFlag(file, O_RDONLY);
  if (fd < 0) return errno != ENOENT;
  bool held = true;
  if (Lock(fd, LOCK_EX | LOCK_NB)) {
    held = false;
    if (StillNamed(fd, file)) ::unlink(file.c_str());
  }
  ::close(fd);
  return held;
}

}  // namespace vantor::platform
