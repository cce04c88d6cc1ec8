#include "platform/mapped_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace vantor::platform {

namespace {

class PosixMappedFile final : public MappedFile {
 public:
  PosixMappedFile(std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  ~PosixMappedFile() override {
    if (data_ != nullptr) ::munmap(data_, size_);
  }
  std::uint8_t* data() override { return data_; }
  std::size_t size() const override { return size_; }

 private:
  std::uint8_t* data_;
  std::size_t size_;
};

std::string Reason(const std::filesystem::path& path, const char* what) {
  return path.string() + ": " + what + " (" + std::strerror(errno) + ")";
}

}  // namespace

std::unique_ptr<MappedFile> MapFile(const std::filesystem::path& path, std::size_t size,
                                    bool create, std::uint8_t fill, std::string& error) {
  if (size == 0) {
    error = path.string() + ": a memory of size 0 cannot be mapped";
    return nullptr;
  }
  int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0 && errno == ENOENT && create) {
    fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
      std::vector<std::uint8_t> block(65536, fill);
      std::size_t left = size;
      while (left > 0) {
        std::size_t n = left < block.size() ? left : block.size();
        ssize_t w = ::write(fd, block.data(), n);
        if (w <= 0) {
          error = Reason(path, "cannot be written");
          ::close(fd);
          return nullptr;
        }
        left -= static_cast<std::size_t>(w);
      }
    }
  }
  if (fd < 0) {
    error = Reason(path, errno == ENOENT ? "missing" : "cannot be opened");
    return nullptr;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    error = Reason(path, "cannot be read");
    ::close(fd);
    return nullptr;
  }
  if (static_cast<std::size_t>(st.st_size) != size) {
    error = path.string() + ": wrong size " + std::to_string(st.st_size) + " bytes, expected " +
            std::to_string(size);
    ::close(fd);
    return nullptr;
  }
  void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  ::close(fd);
  if (p == MAP_FAILED) {
    error = Reason(path, "cannot be mapped");
    return nullptr;
  }
  return std::make_unique<PosixMappedFile>(static_cast<std::uint8_t*>(p), size);
}

}  // namespace vantor::platform
