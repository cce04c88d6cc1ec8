// A file mapped into memory and shared with the file: every byte written through the
// mapping is in the file at once, also when the process is killed afterwards.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace vantor::platform {

class MappedFile {
 public:
  virtual ~MappedFile() = default;
  virtual std::uint8_t* data() = 0;
  virtual std::size_t size() const = 0;
};

// Maps an existing file of exactly `size` bytes. With `create` a missing file is created
// filled with `fill`. Null with a one-line reason in `error` otherwise (missing file,
// wrong size, no access).
std::unique_ptr<MappedFile> MapFile(const std::filesystem::path& path, std::size_t size,
                                    bool create, std::uint8_t fill, std::string& error);

}  // namespace vantor::platform
