// The named mutex on Linux: a robust, process-shared, recursive pthread mutex in a POSIX
// shared-memory object of the user ("/vantor-<uid>-<name>", mode 0600).
//
// - Robust: when the owning thread or process dies, the kernel marks the mutex and the
//   next locker gets EOWNERDEAD; that is the abandoned outcome, after which the mutex is
//   made consistent again and owned by the new locker.
// - Creation races between processes are settled with flock on the shared-memory object:
//   whoever holds the file lock initialises the block when its magic is missing, so a
//   creator that died half-way is repaired by the next one.
// - Each process maps a name once and keeps the mapping for its lifetime: the kernel
//   walks a dead owner's robust list at the addresses of its own mapping, so a mapping
//   must never go away while a thread of this process may own the mutex.
#include "platform/named_mutex.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <functional>
#include <map>
#include <mutex>
#include <new>

#include "platform/clock.h"
#include "platform/last_error.h"
#include "platform/text.h"

namespace vantor::platform {

namespace {

constexpr std::uint32_t kErrorAccessDenied = 5;
constexpr std::uint32_t kErrorNotOwner = 288;
constexpr std::uint32_t kMagic = 0x564E4D31;  // "VNM1"

struct SharedBlock {
  std::atomic<std::uint32_t> magic;  // kMagic once the mutex below is initialised
  std::uint32_t mutexSize;           // sizeof(pthread_mutex_t) of the creator
  pthread_mutex_t mutex;
};

std::uint32_t ErrorFromErrno(int error) {
  switch (error) {
    case EACCES:
    case EPERM:
      return kErrorAccessDenied;
    case EINVAL:
    case ENAMETOOLONG:
      return kErrorInvalidParameter;
    default:
      return kErrorGenFailure;
  }
}

// The shared-memory name of a mutex name: per user, without path separators, within
// the file-name limit.
std::string ShmName(const std::wstring& name) {
  std::string text = ToUtf8(name);
  for (char& c : text) {
    if (c == '/' || c == '\\' || c == '\0') c = '_';
  }
  std::string prefix = "/vantor-" + std::to_string(::getuid()) + "-";
  constexpr std::size_t kMaxName = 200;
  if (prefix.size() + text.size() > kMaxName) {
    char hash[24];
    std::snprintf(hash, sizeof hash, "~%016zx", std::hash<std::string>{}(text));
    text = text.substr(0, kMaxName - prefix.size() - sizeof hash) + hash;
  }
  return prefix + text;
}

bool InitialiseMutex(pthread_mutex_t* mutex) {
  pthread_mutexattr_t attr;
  if (pthread_mutexattr_init(&attr) != 0) return false;
  bool ok = pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED) == 0 &&
            pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST) == 0 &&
            pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE) == 0 &&
            pthread_mutex_init(mutex, &attr) == 0;
  pthread_mutexattr_destroy(&attr);
  return ok;
}

// Maps the block of an open shared-memory object and initialises it when needed; the
// caller holds the file lock. Null with the platform last error set on failure.
SharedBlock* MapLocked(int fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    SetLastError(ErrorFromErrno(errno));
    return nullptr;
  }
  if (info.st_size < static_cast<off_t>(sizeof(SharedBlock)) &&
      ::ftruncate(fd, sizeof(SharedBlock)) != 0) {
    SetLastError(ErrorFromErrno(errno));
    return nullptr;
  }
  void* memory = ::mmap(nullptr, sizeof(SharedBlock), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (memory == MAP_FAILED) {
    SetLastError(ErrorFromErrno(errno));
    return nullptr;
  }
  auto* block = static_cast<SharedBlock*>(memory);
  if (block->magic.load(std::memory_order_acquire) != kMagic) {
    // New, or its creator died before finishing: initialise it now.
    block->mutexSize = sizeof(pthread_mutex_t);
    if (!InitialiseMutex(&block->mutex)) {
      SetLastError(kErrorGenFailure);
      ::munmap(memory, sizeof(SharedBlock));
      return nullptr;
    }
    block->magic.store(kMagic, std::memory_order_release);
  } else if (block->mutexSize != sizeof(pthread_mutex_t)) {
    // Created by a program with another mutex layout: not usable from here.
    SetLastError(kErrorInvalidParameter);
    ::munmap(memory, sizeof(SharedBlock));
    return nullptr;
  }
  return block;
}

// Opens or creates the shared block; null with the platform last error set on failure.
// Creation races between processes are settled by flock on the object (released by the
// kernel should this process die meanwhile).
SharedBlock* MapSharedBlock(const std::string& shmName) {
  int fd;
  do {
    fd = ::shm_open(shmName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    SetLastError(ErrorFromErrno(errno));
    return nullptr;
  }
  int rc;
  do {
    rc = ::flock(fd, LOCK_EX);
  } while (rc != 0 && errno == EINTR);
  SharedBlock* block = nullptr;
  if (rc == 0) {
    block = MapLocked(fd);
    ::flock(fd, LOCK_UN);
  } else {
    SetLastError(ErrorFromErrno(errno));
  }
  ::close(fd);
  return block;
}

// Mappings of this process by shared-memory name; they stay mapped until the process
// ends (see the note at the top).
std::mutex& RegistryLock() {
  static std::mutex lock;
  return lock;
}
std::map<std::string, SharedBlock*>& Registry() {
  static auto* registry = new std::map<std::string, SharedBlock*>();
  return *registry;
}

class PosixNamedMutex final : public NamedMutex {
 public:
  explicit PosixNamedMutex(SharedBlock* block) : block_(block) {}

  std::uint32_t Wait(std::uint32_t timeoutMs) override {
    int rc;
    if (timeoutMs == kInfinite) {
      rc = ::pthread_mutex_lock(&block_->mutex);
    } else {
      timespec deadline{};
      ::clock_gettime(CLOCK_MONOTONIC, &deadline);
      deadline.tv_sec += timeoutMs / 1000;
      deadline.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1000000L;
      if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
      }
      rc = ::pthread_mutex_clocklock(&block_->mutex, CLOCK_MONOTONIC, &deadline);
    }
    switch (rc) {
      case 0:
        return kWaitObject0;
      case EOWNERDEAD:
        // The owner died holding it: this thread owns it now; make it usable again.
        ::pthread_mutex_consistent(&block_->mutex);
        return kWaitAbandoned;
      case ETIMEDOUT:
        return kWaitTimeout;
      default:
        SetLastError(ErrorFromErrno(rc));
        return kWaitFailed;
    }
  }

  bool Release() override {
    int rc = ::pthread_mutex_unlock(&block_->mutex);
    if (rc == 0) return true;
    SetLastError(rc == EPERM ? kErrorNotOwner : ErrorFromErrno(rc));
    return false;
  }

 private:
  SharedBlock* block_;
};

}  // namespace

std::unique_ptr<NamedMutex> CreateNamedMutex(const std::wstring& name) {
  std::string shmName = ShmName(name);
  std::lock_guard lock(RegistryLock());
  auto& registry = Registry();
  auto found = registry.find(shmName);
  SharedBlock* block = found != registry.end() ? found->second : nullptr;
  if (block == nullptr) {
    block = MapSharedBlock(shmName);
    if (block == nullptr) return nullptr;
    registry[shmName] = block;
  }
  return std::make_unique<PosixNamedMutex>(block);
}

void RemoveNamedMutex(const std::wstring& name) {
  std::string shmName = ShmName(name);
  std::lock_guard lock(RegistryLock());
  Registry().erase(shmName);
  ::shm_unlink(shmName.c_str());
}

}  // namespace vantor::platform
