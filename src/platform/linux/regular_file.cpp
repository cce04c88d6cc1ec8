// Whole-file reads of untrusted input on POSIX: the file is opened without blocking (a
// FIFO would otherwise wait for a writer), checked to be a regular file of bounded size,
// and only then read.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "platform/files.h"

namespace vantor::platform {

namespace {

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

template <class Buffer>
FileReadResult ReadInto(const std::filesystem::path& path, std::size_t maxBytes, Buffer& out) {
  out.clear();
  Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (fd.get() < 0) {
    return errno == ENOENT || errno == ENOTDIR ? FileReadResult::kMissing
                                               : FileReadResult::kUnreadable;
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return FileReadResult::kUnreadable;
  if (!S_ISREG(st.st_mode)) return FileReadResult::kNotRegular;
  if (st.st_size < 0 || static_cast<std::uintmax_t>(st.st_size) > maxBytes) {
    return FileReadResult::kTooBig;
  }
  try {
    out.resize(static_cast<std::size_t>(st.st_size));
  } catch (const std::bad_alloc&) {
    return FileReadResult::kTooBig;
  }
  // The size read may change under us: read what is there, up to the limit and one more
  // byte to notice a file that grew past it.
  std::size_t done = 0;
  for (;;) {
    if (done == out.size()) {
      if (out.size() > maxBytes) break;
      out.resize(out.size() + 1);
    }
    const ssize_t n =
        ::read(fd.get(), reinterpret_cast<char*>(out.data()) + done, out.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      out.clear();
      return FileReadResult::kUnreadable;
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  out.resize(done);
  if (done > maxBytes) {
    out.clear();
    return FileReadResult::kTooBig;
  }
  return FileReadResult::kOk;
}

}  // namespace

FileReadResult ReadRegularFile(const std::filesystem::path& path, std::size_t maxBytes,
                               std::string& out) {
  return ReadInto(path, maxBytes, out);
}

FileReadResult ReadRegularFile(const std::filesystem::path& path, std::size_t maxBytes,
                               std::vector<std::uint8_t>& out) {
  return ReadInto(path, maxBytes, out);
}

const char* FileReadResultText(FileReadResult result) {
  switch (result) {
    case FileReadResult::kOk:
      return "";
    case FileReadResult::kMissing:
      return "missing";
    case FileReadResult::kNotRegular:
      return "not a regular file";
    case FileReadResult::kTooBig:
      return "too big";
    case FileReadResult::kUnreadable:
      return "unreadable";
  }
  return "unreadable";
}

}  // namespace vantor::platform
