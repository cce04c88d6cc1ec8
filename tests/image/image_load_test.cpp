// Loading images: firmware files, built-in images, the image chosen for a device, the
// read-back buffer and its dump file, the record carried over to a new flow object.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "config/builtin_images.h"
#include "image/image_fixture.h"
#include "platform/files.h"
#include "platform/resources.h"
#include "platform/text.h"
#include "support/scoped_program_dir.h"

namespace vantor {
namespace {

namespace fs = std::filesystem;
using test::ImageTest;
namespace ig = imagegen;

std::wstring Wide(const fs::path& path) { return platform::FromUtf8(path.string()); }

ig::Bytes ResourceBytes(unsigned id) {
  const auto bytes = platform::FindResource(kBuiltInImageType, id);
  return ig::Bytes(bytes.begin(), bytes.end());
}

std::string ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class LoadImageFile : public ImageTest {
 protected:
  test::ScopedProgramDir dir;
};

TEST_F(LoadImageFile, RelativePathIsTakenBesideTheProgram) {
  const std::string bytes = "\x30\xA5\x01\x02\x03";
  dir.Write("fw.rfw", bytes);
  fs::create_directory(dir.path() / "sub");
  dir.Write("sub/other.rfw", "xyz");
  // The current directory holds a different file of the same name.
  const fs::path cwd = fs::current_path();
  fs::current_path(dir.path() / "sub");
  std::ofstream(dir.path() / "sub" / "fw.rfw") << "wrong";

  cfg.imagePath = L"fw.rfw";
  const bool loaded = cfg.LoadImageFile();
  fs::current_path(cwd);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(std::string(cfg.imageA.begin(), cfg.imageA.end()), bytes);
  EXPECT_EQ(cfg.imageALen(), bytes.size());
  EXPECT_EQ(cfg.backupImage, cfg.imageA);
  EXPECT_EQ(cfg.imagePath, Wide(dir.path() / "fw.rfw"));

  cfg.imagePath = L"sub/../sub/other.rfw";
  ASSERT_TRUE(cfg.LoadImageFile());
  EXPECT_EQ(cfg.imagePath, Wide(dir.path() / "sub" / "other.rfw"));
  EXPECT_EQ(cfg.imageALen(), 3u);
}

TEST_F(LoadImageFile, AbsolutePath) {
  const fs::path file = dir.Write("abs.rfw", "abc");
  cfg.imagePath = Wide(file);
  ASSERT_TRUE(cfg.LoadImageFile());
  EXPECT_EQ(cfg.imageA, (ig::Bytes{'a', 'b', 'c'}));
}

TEST_F(LoadImageFile, BadPathsKeepTheImageHeld) {
  dir.Write("good.rfw", "good");
  cfg.imagePath = L"good.rfw";
  ASSERT_TRUE(cfg.LoadImageFile());
  cfg.configA = cfg.imageA.data();
  fs::create_directory(dir.path() / "folder.rfw");
  // Not a file at all: a device that never ends, a FIFO nobody writes.
  fs::create_symlink("/dev/zero", dir.path() / "zero.rfw");
  ASSERT_EQ(::mkfifo((dir.path() / "fifo.rfw").c_str(), 0600), 0);
  for (const wchar_t* path : {L"", L"missing.rfw", L"folder.rfw", L"zero.rfw", L"fifo.rfw"}) {
    cfg.imagePath = path;
    EXPECT_FALSE(cfg.LoadImageFile()) << platform::ToUtf8(path);
    EXPECT_EQ(cfg.imageALen(), 4u);
    EXPECT_NE(cfg.configA, nullptr);
  }
}

TEST_F(LoadImageFile, EmptyFileFailsAndLeavesNoImage) {
  dir.Write("good.rfw", "good");
  dir.Write("empty.rfw", "");
  cfg.imagePath = L"good.rfw";
  ASSERT_TRUE(cfg.LoadImageFile());
  cfg.configA = cfg.imageA.data();
  cfg.imagePath = L"empty.rfw";
  EXPECT_FALSE(cfg.LoadImageFile());
  EXPECT_TRUE(cfg.imageA.empty());
  EXPECT_TRUE(cfg.backupImage.empty());
  EXPECT_EQ(cfg.configA, nullptr);
}

// An image larger than any memory the tool programs (with room to spare) is refused
// before it is read, like a file that cannot be read.
TEST_F(LoadImageFile, AnImageBeyondTheLimitIsRefused) {
  const fs::path at = dir.Write("at.rfw", "");
  fs::resize_file(at, platform::kMaxImageFileBytes);
  cfg.imagePath = L"at.rfw";
  ASSERT_TRUE(cfg.LoadImageFile());
  EXPECT_EQ(cfg.imageALen(), platform::kMaxImageFileBytes);
  const fs::path over = dir.Write("over.rfw", "");
  fs::resize_file(over, platform::kMaxImageFileBytes + 1);
  cfg.imagePath = L"over.rfw";
  EXPECT_FALSE(cfg.LoadImageFile());
  EXPECT_TRUE(cfg.imageA.empty());
  EXPECT_TRUE(cfg.backupImage.empty());
}

TEST_F(LoadImageFile, LoadedImageIsLocated) {
  UseDefinition("QX330", 0xF000);
  ig::AreaBuilder area(0x30, 21);
  area.Add(ig::StringRecord(1, "M"));
  const ig::Bytes image = test::ImageWith(0x20000, {{0xF000, area.Build()}});
  dir.Write("image.rfw", std::string(image.begin(), image.end()));
  cfg.imagePath = L"image.rfw";
  ASSERT_TRUE(cfg.LoadImageFile());
  ASSERT_TRUE(cfg.ParseImageA());
  EXPECT_EQ(cfg.configA, cfg.imageA.data() + 0xF000);
  EXPECT_EQ(cfg.imageManufacturerText, L"M");
}

class BuiltInImageLoad : public ImageTest {};

TEST_F(BuiltInImageLoad, FillsImageBAndTheConfiguredMemorySize) {
  cfg.configB = reinterpret_cast<const std::uint8_t*>(&cfg);
  cfg.LoadBuiltInImage(3018);
  EXPECT_EQ(cfg.imageB, ResourceBytes(3018));
  EXPECT_EQ(cfg.imageBLen(), 0x20000u);
  EXPECT_EQ(ConfiguredMemorySize(), 0x20000u);
  EXPECT_EQ(cfg.configB, nullptr);

  // A missing resource changes nothing.
  SetConfiguredMemorySize(0x1234);
  cfg.LoadBuiltInImage(2999);
  EXPECT_EQ(cfg.imageB, ResourceBytes(3018));
  EXPECT_EQ(ConfiguredMemorySize(), 0x1234u);

  // On a MIPI bus the image's length still wins.
  SetBusType(BusType::kMipi);
  cfg.LoadBuiltInImage(3012);
  EXPECT_EQ(cfg.imageBLen(), 0x10000u);
  EXPECT_EQ(ConfiguredMemorySize(), 0x10000u);
}

TEST_F(BuiltInImageLoad, DefaultImageOfTheDefinition) {
  UseBuiltInDefinition(2032);
  cfg.LoadDefaultImage();
  EXPECT_EQ(cfg.imageB, ResourceBytes(3020));

  // Without a listed definition there is no update image.
  CICTypeIni unlisted;
  unlisted.LoadFromResource(2032);
  SetActiveICTypeIni(&unlisted);
  cfg.LoadDefaultImage();
  EXPECT_TRUE(cfg.imageB.empty());

  cfg.LoadBuiltInImage(3012);
  SetActiveICTypeIni(nullptr);
  cfg.LoadDefaultImage();
  EXPECT_TRUE(cfg.imageB.empty());

  UseDefinition("QX330", 0xF000);  // no "Def Bin"
  ic.BuildList();
  cfg.LoadBuiltInImage(3012);
  cfg.LoadDefaultImage();
  EXPECT_TRUE(cfg.imageB.empty());
}

TEST_F(BuiltInImageLoad, IdByExactName) {
  EXPECT_EQ(CMpConfig::BuiltInImageId(L"FFU_330"), 3018u);
  EXPECT_EQ(CMpConfig::BuiltInImageId(L"FFU_17AA_1046L"), 3022u);
  EXPECT_EQ(CMpConfig::BuiltInImageId(L"ffu_330"), 0u);
  EXPECT_EQ(CMpConfig::BuiltInImageId(L"FFU_17AA_1046"), 0u);
  EXPECT_EQ(CMpConfig::BuiltInImageId(L""), 0u);
}

TEST(BuiltInImageName, FromTheDeviceIdText) {
  struct Case {
    const wchar_t* id;
    const wchar_t* name;
  } cases[] = {
      {L"VID_1234&PID_5678&REV_0001", L"FFU_1234_5678"},
      {L"VID_17AA&PID_1046&REV_0100", L"FFU_17AA_1046"},
      {L"VID_3A4B&PID_0310", L"FFU_3A4B"},
      {L"NOAMPERSAND", L"FFUNOAMPERSAND"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CMpConfig::BuiltInImageNameForDevice(c.id), c.name) << platform::ToUtf8(c.id);
  }
}

class DeviceImageChoice : public ImageTest {
 protected:
  int reads = 0;
  std::wstring Choose(const wchar_t* id, std::uint8_t variant) {
    return cfg.ChooseBuiltInImage(id, [this, variant] {
      ++reads;
      return variant;
    });
  }
};

TEST_F(DeviceImageChoice, BoardVariantByteChoosesHOrL) {
  UseBuiltInDefinition(2030);
  struct Case {
    std::uint8_t variant;
    const wchar_t* name;
    unsigned resource;
  } cases[] = {{0x01, L"FFU_17AA_1046H", 3021},
               {0xFF, L"FFU_17AA_1046H", 3021},
               {0x00, L"FFU_17AA_1046L", 3022},
               {0xFE, L"FFU_17AA_1046L", 3022}};
  for (const auto& c : cases) {
    reads = 0;
    EXPECT_EQ(Choose(L"VID_17AA&PID_1046&REV_0100", c.variant), c.name);
    EXPECT_EQ(reads, 1);
    EXPECT_EQ(DeviceVariantByte(), c.variant);
    EXPECT_EQ(cfg.imageB, ResourceBytes(c.resource));
  }
}

TEST_F(DeviceImageChoice, CustomerImageOrTheDefault) {
  UseBuiltInDefinition(2030);
  EXPECT_EQ(Choose(L"VID_2E5C&PID_0101&REV_0200", 0), L"FFU_2E5C_0101");
  EXPECT_EQ(cfg.imageB, ResourceBytes(3036));
  // The reference device has no image of its own: the definition's default.
  EXPECT_EQ(Choose(L"VID_3A4B&PID_0310&REV_0100", 0), L"FFU_3A4B_0310");
  EXPECT_EQ(cfg.imageB, ResourceBytes(3012));
  EXPECT_EQ(reads, 0);
}

class ReadBack : public ImageTest {
 protected:
  test::ScopedProgramDir dir;
};

TEST_F(ReadBack, AllocateAndSave) {
  ASSERT_TRUE(cfg.AllocReadBack(0x100));
  EXPECT_EQ(cfg.readBufLen(), 0x100u);
  for (std::size_t i = 0; i < cfg.readBuf.size(); ++i)
    cfg.readBuf[i] = static_cast<std::uint8_t>(i);
  const fs::path dump = dir.Write("dump.bin", std::string(0x400, 'x'));
  cfg.dumpPath = Wide(dump);
  ASSERT_TRUE(cfg.SaveBufferToFile());
  const std::string written = ReadFile(dump);
  EXPECT_EQ(written, std::string(cfg.readBuf.begin(), cfg.readBuf.end()));

  ASSERT_TRUE(cfg.AllocReadBack(0x10));
  EXPECT_EQ(cfg.readBuf, ig::Bytes(0x10, 0));
  cfg.dumpPath = Wide(dir.path());
  EXPECT_FALSE(cfg.SaveBufferToFile());
}

TEST_F(ReadBack, ReplacementKeepsFieldsAndDropsBuffers) {
  cfg.imagePath = L"fw.rfw";
  cfg.imageA = {1, 2, 3};
  cfg.imageB = {4};
  cfg.backupImage = {1, 2, 3};
  cfg.readBuf = {9};
  cfg.configA = cfg.imageA.data();
  cfg.configB = cfg.imageB.data();
  cfg.noTag = 1;
  cfg.imageChip = 24;
  cfg.altPinMux = 1;
  cfg.areaLength = 0x9C;
  cfg.configPageAddress = 0xF000;
  cfg.configPageLength = 0x1000;
  cfg.manufacturerText = L"SN-1";
  cfg.vidPidText = L"VID_3A4B&PID_0330";
  cfg.imageVersionText = L"0x0102030405";
  cfg.dumpPath = L"dump.bin";
  SaveConfigForReplacement(cfg);
  EXPECT_TRUE(cfg.imageA.empty() && cfg.imageB.empty() && cfg.backupImage.empty() &&
              cfg.readBuf.empty());
  EXPECT_EQ(cfg.configA, nullptr);

  CMpConfig fresh;
  fresh.imageA = {7};
  RestoreSavedConfig(fresh);
  EXPECT_TRUE(fresh.imageA.empty());
  EXPECT_EQ(fresh.configA, nullptr);
  EXPECT_EQ(fresh.configB, nullptr);
  EXPECT_EQ(fresh.imagePath, L"fw.rfw");
  EXPECT_EQ(fresh.noTag, 1u);
  EXPECT_EQ(fresh.imageChip, 24);
  EXPECT_EQ(fresh.altPinMux, 1u);
  EXPECT_EQ(fresh.areaLength, 0x9C);
  EXPECT_EQ(fresh.configPageAddress, 0xF000u);
  EXPECT_EQ(fresh.configPageLength, 0x1000u);
  EXPECT_EQ(fresh.manufacturerText, L"SN-1");
  EXPECT_EQ(fresh.vidPidText, L"VID_3A4B&PID_0330");
  EXPECT_EQ(fresh.imageVersionText, L"0x0102030405");
  EXPECT_EQ(fresh.dumpPath, L"dump.bin");
}

}  // namespace
}  // namespace vantor
