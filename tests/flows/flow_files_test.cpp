// The files of the read-to-file slots: binary and hex text, paths and directories.
#include "flows/flow_files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "flows/flash_info.h"

namespace vantor {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class FlowFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("vantor-flow-files-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    previous_ = fs::current_path();
  }
  void TearDown() override {
    fs::current_path(previous_);
    fs::remove_all(dir_);
  }
  std::wstring W(const fs::path& p) { return p.wstring(); }
  fs::path dir_;
  fs::path previous_;
};

TEST_F(FlowFilesTest, HexTextLayout) {
  std::vector<std::uint8_t> data(17);
  for (int i = 0; i < 17; ++i) data[i] = static_cast<std::uint8_t>(i * 0x11 + 0x0A);
  EXPECT_EQ(HexText(data), "0A 1B 2C 3D 4E 5F 70 81 92 A3 B4 C5 D6 E7 F8 09 \r\n1A ");
  EXPECT_EQ(HexText(std::vector<std::uint8_t>(16, 0xAB)),
            "AB AB AB AB AB AB AB AB AB AB AB AB AB AB AB AB ");
  EXPECT_EQ(HexText({}), "");
}

TEST_F(FlowFilesTest, WritesCreateDirectoriesAndTruncate) {
  const fs::path file = dir_ / "a" / "b" / "dump.bin";
  const std::vector<std::uint8_t> data = {0x00, 0xFF, 0x10, 0x0D, 0x0A};
  ASSERT_TRUE(WriteBinaryFile(W(file), data));
  EXPECT_EQ(ReadAll(file), std::string("\x00\xFF\x10\x0D\x0A", 5));
  ASSERT_TRUE(WriteBinaryFile(W(file), std::vector<std::uint8_t>{7}));
  EXPECT_EQ(ReadAll(file), "\x07");

  const fs::path text = dir_ / "c" / "dump.txt";
  ASSERT_TRUE(WriteHexTextFile(W(text), data));
  EXPECT_EQ(ReadAll(text), "00 FF 10 0D 0A ");
}

TEST_F(FlowFilesTest, RelativePathsAreTakenFromTheCurrentDirectory) {
  fs::current_path(dir_);
  EXPECT_EQ(ResolveOutputPath(L"out/x.bin"), dir_ / "out" / "x.bin");
  ASSERT_TRUE(WriteBinaryFile(L"out/x.bin", std::vector<std::uint8_t>{1, 2}));
  EXPECT_EQ(ReadAll(dir_ / "out" / "x.bin"), "\x01\x02");
  // A path with a drive colon is taken as it stands.
  EXPECT_EQ(ResolveOutputPath(L"C:dump.bin"), fs::path("C:dump.bin"));
  EXPECT_TRUE(ResolveOutputPath(L"").empty());
}

TEST_F(FlowFilesTest, NothingToWriteWritesNothing) {
  const fs::path file = dir_ / "empty.bin";
  EXPECT_FALSE(WriteBinaryFile(W(file), {}));
  EXPECT_FALSE(WriteHexTextFile(W(file), {}));
  EXPECT_FALSE(fs::exists(file));
  EXPECT_FALSE(WriteBinaryFile(L"", std::vector<std::uint8_t>{1}));
  // A directory given as the file fails.
  EXPECT_FALSE(WriteBinaryFile(W(dir_), std::vector<std::uint8_t>{1}));
}

// Slots 7 and 9 write only after a successful read and report the read's result.
class SavingFlow : public CSPIFlashInfo_USB {
 public:
  using CDevFlow::SaveAfterRead;
};

TEST_F(FlowFilesTest, SaveAfterReadFollowsTheRead) {
  const std::vector<std::uint8_t> data = {1, 2, 3};
  const fs::path file = dir_ / "r" / "read.bin";
  EXPECT_EQ(SavingFlow::SaveAfterRead(0, W(file), data, false), 0);
  EXPECT_FALSE(fs::exists(file));
  EXPECT_EQ(SavingFlow::SaveAfterRead(1, W(file), data, false), 1);
  EXPECT_EQ(ReadAll(file), "\x01\x02\x03");
  EXPECT_EQ(SavingFlow::SaveAfterRead(2, W(dir_ / "h.txt"), data, true), 2);
  EXPECT_EQ(ReadAll(dir_ / "h.txt"), "01 02 03 ");
  // The file failing does not change the result.
  EXPECT_EQ(SavingFlow::SaveAfterRead(1, W(dir_), data, false), 1);
}

}  // namespace
}  // namespace vantor
