// Reading a whole input file: only a regular file of bounded size is read; anything else
// (a directory, a device that never ends, a FIFO nobody writes) is refused before a byte
// is read, without blocking.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/files.h"

namespace vantor::platform {
namespace {

namespace fs = std::filesystem;

class RegularFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = TempDirectory() / ("vantor_regular_file_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path Write(const std::string& name, const std::string& bytes) {
    const fs::path file = dir_ / name;
    std::ofstream(file, std::ios::binary) << bytes;
    return file;
  }
  // A file of `size` bytes that occupies no disk space.
  fs::path Sparse(const std::string& name, std::uintmax_t size) {
    const fs::path file = Write(name, "");
    fs::resize_file(file, size);
    return file;
  }

  fs::path dir_;
};

TEST_F(RegularFileTest, WhatIsReadAndWhatIsRefused) {
  constexpr std::size_t kLimit = 4096;
  const fs::path fifo = dir_ / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  fs::create_directory(dir_ / "folder");
  fs::create_symlink("/dev/zero", dir_ / "zero.ini");
  fs::create_symlink(Write("target", "linked"), dir_ / "link");
  struct Case {
    const char* name;
    fs::path path;
    FileReadResult result;
    std::string bytes;
  };
  const Case cases[] = {
      {"small file", Write("small", "a\r\nb"), FileReadResult::kOk, "a\r\nb"},
      {"empty file", Write("empty", ""), FileReadResult::kOk, ""},
      {"at the limit", Sparse("at", kLimit), FileReadResult::kOk, std::string(kLimit, '\0')},
      {"one byte over", Sparse("over", kLimit + 1), FileReadResult::kTooBig, ""},
      {"missing", dir_ / "missing", FileReadResult::kMissing, ""},
      {"directory", dir_ / "folder", FileReadResult::kNotRegular, ""},
      {"FIFO", fifo, FileReadResult::kNotRegular, ""},
      {"device", "/dev/zero", FileReadResult::kNotRegular, ""},
      {"link to a device", dir_ / "zero.ini", FileReadResult::kNotRegular, ""},
      {"link to a file", dir_ / "link", FileReadResult::kOk, "linked"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string text = "stale";
    EXPECT_EQ(ReadRegularFile(c.path, kLimit, text), c.result);
    EXPECT_EQ(text, c.bytes);
    std::vector<std::uint8_t> bytes = {1, 2, 3};
    EXPECT_EQ(ReadRegularFile(c.path, kLimit, bytes), c.result);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), c.bytes);
  }
  EXPECT_STREQ(FileReadResultText(FileReadResult::kTooBig), "too big");
  EXPECT_STREQ(FileReadResultText(FileReadResult::kNotRegular), "not a regular file");
}

}  // namespace
}  // namespace vantor::platform
