// Serial number patching of a download image: the rebuilt area as bytes, both record
// variants, the 48-byte limit, the tag, the OTP resize and cut, and failures that leave
// the image exactly as it was.
#include "image/serial_patch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/settings.h"
#include "image/descriptor_chain.h"
#include "image/image_fixture.h"
#include "platform/messages.h"
#include "support/debug_capture.h"

namespace vantor {
namespace {

using test::ImageTest;
namespace ig = imagegen;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kA = 0xF000;
constexpr std::uint32_t kS = 0x1000;
constexpr std::uint32_t kT = 0xEFFE;
const Bytes kCode = {0xC0, 0xDE, 0x55, 0xAA, 0x01};

// The usual source area: version, manufacturer and serial strings, VID/PID, code block.
ig::AreaBuilder SourceArea(bool withSerial = true, bool withVersion = true) {
  ig::AreaBuilder area(0x30, 21);
  if (withVersion) area.Add(ig::VersionRecord(0x0315, 0x2001));
  area.Add(ig::StringRecord(1, "Korvane"));
  if (withSerial) area.Add(ig::StringRecord(3, "SN0001"));
  area.Add(ig::VidPidRecord(0x3A4B, 0x0330, 0x0100)).AddCodeInfo(kCode);
  return area;
}

// An image of 0x10000 bytes: code bytes before the area, the area at `at`.
Bytes ImageWithArea(const Bytes& area, std::uint32_t at = kA, std::size_t length = 0x10000) {
  Bytes image = ig::Filled(length);
  for (std::size_t i = 0; i < 0x100 && i < length; ++i) image[i] = static_cast<std::uint8_t>(i);
  ig::Place(image, at, area);
  return image;
}

// What a successful patch at A = 0xF000 makes of `original` with the rebuilt `area`.
Bytes PatchedImage(const Bytes& original, const Bytes& area) {
  Bytes image = original;
  std::fill(image.begin() + kA, image.begin() + kA + kS, 0xFF);
  ig::Place(image, kA, area);
  image[kA] = 0x55;
  image[kT] = 0x55;
  image[kT + 1] = 0xAA;
  return image;
}

class SerialPatch : public ImageTest {
 protected:
  SerialPatch() {
    UseDefinition("QX330", kA, kS, kT);
    SetSetting(Setting::SaveSn, 1);
    SetSetting(Setting::SnAddress, 0);
    SetSetting(Setting::SnFunction, 0);
  }
  ~SerialPatch() override { DeleteSettings(); }

  // Runs the download preparation; true when it went on.
  bool Prepare(const Bytes& image, std::wstring serial) {
    cfg.imageA = image;
    cfg.manufacturerText = std::move(serial);
    resultCode = 0;
    return PreActionForAllInOne(cfg, resultCode);
  }

  test::DebugCapture trace;
  std::uint32_t resultCode = 0;
};

TEST_F(SerialPatch, SaveSnZeroLeavesTheImageAlone) {
  SetSetting(Setting::SaveSn, 0);
  SetSetting(Setting::SnAddress, 1);
  SetSetting(Setting::SnFunction, 1);
  const Bytes image = ImageWithArea(SourceArea().Build());
  cfg.areaLength = 0x1234;
  EXPECT_TRUE(Prepare(image, L"NEW"));
  EXPECT_EQ(cfg.imageA, image);
  EXPECT_EQ(cfg.areaLength, 0x1234);
  EXPECT_FALSE(trace.Contains("Find descriptor"));

  // Not for OTP either: no resize, no cut.
  SetMemoryType(MemoryType::kOtp);
  EXPECT_TRUE(Prepare(image, L"NEW"));
  EXPECT_EQ(cfg.imageA, image);
}

TEST_F(SerialPatch, ManufacturerRecordAndStoredAreaLength) {
  const Bytes original = ImageWithArea(SourceArea().Build());
  ASSERT_TRUE(Prepare(original, L"ABC123"));

  ig::AreaBuilder rebuilt(0x30, 21);
  rebuilt.Add(ig::VersionRecord(0x0315, 0x2001))
      .Add(ig::StringRecord(1, "ABC123"))
      .Add(ig::StringRecord(3, "SN0001"))
      .Add(ig::VidPidRecord(0x3A4B, 0x0330, 0x0100))
      .AddCodeInfo(kCode);
  EXPECT_EQ(cfg.imageA, PatchedImage(original, rebuilt.Build()));
  EXPECT_EQ(cfg.areaLength, rebuilt.AreaLength() + kCode.size());
  for (const char* line : {"Find descriptor 0x01", "Find descriptor 0x03", "Find descriptor 0x04",
                           "Find descriptor 0x0F", "|----- DescType length: 8",
                           "|-----string length: 6", "|----- DownLoad length: 65536"}) {
    EXPECT_TRUE(trace.Contains(line)) << line;
  }

  // The patched image reads back with its new text.
  EXPECT_TRUE(cfg.ReadImageInfo(cfg.imageA.data(), cfg.imageALen()));
  EXPECT_EQ(cfg.imageManufacturerText, L"ABC123");
  EXPECT_EQ(cfg.imageSerialText, L"SN0001");
}

TEST_F(SerialPatch, SerialRecordWithBellPrefix) {
  SetSetting(Setting::SnAddress, 0x20);
  SetSetting(Setting::SnFunction, 1);
  const Bytes original = ImageWithArea(SourceArea().Build());
  cfg.areaLength = 0x77;
  ASSERT_TRUE(Prepare(original, L"AB"));

  ig::AreaBuilder rebuilt(0x30, 21);
  rebuilt.Add(ig::VersionRecord(0x0315, 0x2001))
      .Add(ig::StringRecord(1, "Korvane"))
      .Add(Bytes{7, 3, 5, 3, 0x07, 'A', 'B'})
      .Add(ig::VidPidRecord(0x3A4B, 0x0330, 0x0100))
      .AddCodeInfo(kCode);
  EXPECT_EQ(cfg.imageA, PatchedImage(original, rebuilt.Build()));
  EXPECT_EQ(cfg.areaLength, 0x77);  // only the manufacturer variant stores it
  EXPECT_TRUE(trace.Contains("|----- DescType length: 5"));

  // Without "SN Function" no prefix.
  SetSetting(Setting::SnFunction, 0);
  ASSERT_TRUE(Prepare(original, L"AB"));
  DescriptorChain chain;
  ASSERT_TRUE(chain.Attach(std::span<const std::uint8_t>(cfg.imageA).subspan(kA)));
  std::string serial;
  chain.Walk([&](const ChainRecord& r) {
    if (r.header.type == 3) serial.assign(r.bytes.begin(), r.bytes.end());
  });
  EXPECT_EQ(serial, std::string("\x06\x03\x04\x03"
                                "AB"));
}

TEST_F(SerialPatch, MissingRecordIsAppendedAndCounted) {
  SetSetting(Setting::SnAddress, 1);
  const Bytes source = SourceArea(false).Build();
  ASSERT_TRUE(Prepare(ImageWithArea(source), L"XY-42"));

  ig::AreaBuilder rebuilt(0x30, 21);
  rebuilt.Add(ig::VersionRecord(0x0315, 0x2001))
      .Add(ig::StringRecord(1, "Korvane"))
      .Add(ig::VidPidRecord(0x3A4B, 0x0330, 0x0100))
      .AddCodeInfo(kCode)
      .Add(ig::StringRecord(3, "XY-42"));
  const Bytes expected = rebuilt.Build();
  EXPECT_EQ(expected[5], source[5] + 1);
  EXPECT_TRUE(std::equal(expected.begin() + 1, expected.end(), cfg.imageA.begin() + kA + 1));
  EXPECT_TRUE(trace.Contains("|----- SN length: 7"));
  EXPECT_TRUE(trace.Contains("|-----string length: 5"));
}

TEST_F(SerialPatch, RebuiltChainStartsWithAVersionRecord) {
  const Bytes source = SourceArea(true, false).Build();
  ASSERT_TRUE(Prepare(ImageWithArea(source), L"Korvane"));
  const Bytes head(cfg.imageA.begin() + kA, cfg.imageA.begin() + kA + 12);
  EXPECT_EQ(head, (Bytes{0x55, 0xA5, 21 << 3, static_cast<std::uint8_t>(source[3] + 6), 0,
                         static_cast<std::uint8_t>(source[5] + 1), 6, 47, 0x15, 0x03, 0x60, 0x10}));
}

TEST_F(SerialPatch, FortyEightBytesAtMost) {
  struct Case {
    int snAddress;
    bool withSerial;
    std::size_t length;
    const char* failure;
  } cases[] = {
      {0, true, 48, nullptr},
      {0, true, 49, "SetString failed"},
      {1, false, 48, nullptr},
      {1, false, 49, "set serial number string failed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.snAddress << " " << c.length);
    SetSetting(Setting::SnAddress, c.snAddress);
    trace.Clear();
    const Bytes original = ImageWithArea(SourceArea(c.withSerial).Build());
    cfg.areaLength = 0x55;
    const std::wstring serial(c.length, L'7');
    EXPECT_EQ(Prepare(original, serial), c.failure == nullptr);
    if (c.failure) {
      EXPECT_TRUE(trace.Contains(c.failure));
      EXPECT_EQ(cfg.imageA, original);
      EXPECT_EQ(resultCode, msg::kSaveSnFail);
      EXPECT_EQ(cfg.areaLength, 0x55);
    } else {
      EXPECT_TRUE(std::search(cfg.imageA.begin(), cfg.imageA.end(), serial.begin(), serial.end()) !=
                  cfg.imageA.end());
    }
  }
}

TEST_F(SerialPatch, TagOnlyWhenTheAreaIsNotAtTheStart) {
  // A = 0xF000: image type code 0x55 and the tag at T (checked byte for byte above).
  ASSERT_TRUE(Prepare(ImageWithArea(SourceArea().Build()), L"S1"));
  EXPECT_EQ(cfg.imageA[kA], 0x55);
  EXPECT_EQ(cfg.imageA[kT], 0x55);
  EXPECT_EQ(cfg.imageA[kT + 1], 0xAA);

  // A = 0: neither; T may even lie beyond the image.
  UseDefinition("QX330", 0, 0x800, 0x20000);
  const Bytes original = ImageWithArea(SourceArea().Build(), 0, 0x4000);
  ASSERT_TRUE(Prepare(original, L"S1"));
  EXPECT_EQ(cfg.imageA[0], 0x30);
  EXPECT_EQ(cfg.imageA.size(), original.size());
  EXPECT_TRUE(std::equal(original.begin() + 0x800, original.end(), cfg.imageA.begin() + 0x800));
}

TEST_F(SerialPatch, FailuresLeaveTheImageAsItWas) {
  struct Case {
    const char* name;
    std::uint32_t a, s, t;
    Bytes image;
    const char* trace;
  };
  const Bytes good = ImageWithArea(SourceArea().Build());
  Bytes broken = good;
  broken[kA + 6 + 6 + 11 + 10] = 0;  // the VID/PID record's length
  Bytes noArea = good;
  noArea[kA + 1] = 0x5A;
  const std::vector<Case> cases = {
      {"area and size beyond the image", kA, 0x1001, kT, good, "beyond the image"},
      {"tag beyond the image", kA, kS, 0xFFFF, good, "Tag address 0xFFFF"},
      {"area too big for the size", kA, 0x40, kT, good, "GetConfigData failed"},
      {"size of 0", kA, 0, kT, good, "GetConfigData failed"},
      {"broken chain", kA, kS, kT, broken, "Config file corrupted"},
      {"no area at A", kA, kS, kT, noArea, "No config area at 0xF000"},
      {"empty image", kA, kS, kT, {}, "beyond the image"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    UseDefinition("QX330", c.a, c.s, c.t);
    trace.Clear();
    cfg.areaLength = 0x66;
    EXPECT_FALSE(Prepare(c.image, L"NEWSERIAL"));
    EXPECT_EQ(cfg.imageA, c.image);
    EXPECT_EQ(cfg.areaLength, 0x66);
    EXPECT_EQ(resultCode, msg::kSaveSnFail);
    EXPECT_TRUE(trace.Contains(c.trace)) << trace.All();
    EXPECT_TRUE(trace.Contains("----------------:"));
    EXPECT_TRUE(trace.Contains("Save SN Fail"));
  }
}

TEST_F(SerialPatch, CapacityKeeps128BytesSpare) {
  const Bytes original = ImageWithArea(SourceArea().Build());
  // The rebuilt area of "ABC" is exactly as long as the source's.
  const std::uint32_t total = SourceArea().AreaLength() + static_cast<std::uint32_t>(kCode.size());
  UseDefinition("QX330", kA, total + 128, kT);
  EXPECT_TRUE(Prepare(original, L"Korvane"));
  UseDefinition("QX330", kA, total + 127, kT);
  EXPECT_FALSE(Prepare(original, L"Korvane"));
  EXPECT_EQ(cfg.imageA, original);
}

TEST_F(SerialPatch, NonAsciiCharactersBecomeQuestionMarks) {
  EXPECT_EQ(SerialTextBytes(L"Ab-9 \x7F"), "Ab-9 \x7F");
  EXPECT_EQ(SerialTextBytes(L"\x00E9t\x00E9-\x4E2D\x6587"), "?t?-??");
  EXPECT_EQ(SerialTextBytes(std::wstring(1, L'\x07') + L"Z"), "\x07Z");

  ASSERT_TRUE(Prepare(ImageWithArea(SourceArea().Build()), L"N\x00D8-\x65E5"));
  cfg.ReadImageInfo(cfg.imageA.data(), cfg.imageALen());
  EXPECT_EQ(cfg.imageManufacturerText, L"N?-?");
}

// OTP images: the area at 0 and the code in the small-cache-code record.
class OtpSerialPatch : public SerialPatch {
 protected:
  OtpSerialPatch() {
    SetMemoryType(MemoryType::kOtp);
    UseDefinition("QX330", 0, 0x400, kT);
  }
  static Bytes OtpArea(std::string_view serial) {
    ig::AreaBuilder area(0x60, 21);
    area.Add(ig::VersionRecord(0x0315, 0x1060))
        .Add(ig::StringRecord(1, "Korvane"))
        .Add(ig::StringRecord(3, serial))
        .AddSmallCache(Bytes(40, 0x3C));
    return area.Build();
  }
};

TEST_F(OtpSerialPatch, ExtendedPatchedAndCutToTheStoredLength) {
  const Bytes source = OtpArea("SN1");
  Bytes image = source;
  image.resize(0x180, 0x00);
  cfg.configA = nullptr;
  ASSERT_TRUE(Prepare(image, L"ABCDEFGH"));
  ig::AreaBuilder rebuilt(0x60, 21);
  rebuilt.Add(ig::VersionRecord(0x0315, 0x1060))
      .Add(ig::StringRecord(1, "ABCDEFGH"))
      .Add(ig::StringRecord(3, "SN1"))
      .AddSmallCache(Bytes(40, 0x3C));
  EXPECT_EQ(cfg.imageA, rebuilt.Build());
  EXPECT_EQ(cfg.areaLength, cfg.imageA.size());
}

TEST_F(OtpSerialPatch, SerialVariantNeverCutsTheRebuiltArea) {
  SetSetting(Setting::SnAddress, 1);
  const Bytes source = OtpArea("SN1");
  struct Case {
    const wchar_t* serial;
    std::uint16_t stored;
    std::size_t length;  // of the image afterwards
  } cases[] = {
      // Stored length as read: a longer serial would lose the end of the area.
      {L"SERIAL-0001", static_cast<std::uint16_t>(source.size()), source.size() + 8},
      // A stored length beyond the rebuilt area keeps the 0xFF filling up to it.
      {L"S", 0x200, 0x200},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    cfg.areaLength = c.stored;
    cfg.imageA = source;
    cfg.configA = cfg.imageA.data();
    cfg.manufacturerText = c.serial;
    ASSERT_TRUE(PreActionForAllInOne(cfg, resultCode));
    EXPECT_EQ(cfg.imageA.size(), c.length);
    EXPECT_EQ(cfg.areaLength, c.stored);
    EXPECT_EQ(cfg.configA, cfg.imageA.data());
    cfg.ReadImageInfo(cfg.imageA.data(), cfg.imageALen());
    EXPECT_EQ(cfg.imageSerialText, c.serial);
    if (c.length == 0x200) {
      EXPECT_EQ(cfg.imageA.back(), 0xFF);
    }
  }
}

TEST_F(OtpSerialPatch, LimitsFailWithoutChange) {
  const Bytes source = OtpArea("SN1");
  struct Case {
    const char* name;
    std::size_t imageLength;
    int snAddress;
    std::uint16_t stored;
    const char* trace;
  } cases[] = {
      {"image longer than the config size", 0x401, 0, 0, "longer than the config size"},
      {"stored length beyond the config size", 0x100, 1, 0x401, "Stored area length 0x401"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetSetting(Setting::SnAddress, c.snAddress);
    Bytes image = source;
    image.resize(c.imageLength, 0);
    cfg.areaLength = c.stored;
    trace.Clear();
    EXPECT_FALSE(Prepare(image, L"NEW"));
    EXPECT_EQ(cfg.imageA, image);
    EXPECT_EQ(cfg.areaLength, c.stored);
    EXPECT_EQ(resultCode, msg::kSaveSnFail);
    EXPECT_TRUE(trace.Contains(c.trace)) << trace.All();
  }
}

TEST_F(SerialPatch, BuiltInImagesTakeASerialNumber) {
  struct Case {
    unsigned resource;
    unsigned definition;
  } cases[] = {{3012, 2030}, {3018, 2031}, {3020, 2032}, {3023, 2033}};
  SetSetting(Setting::SnAddress, 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.resource);
    UseBuiltInDefinition(c.definition);
    cfg.LoadBuiltInImage(c.resource);
    ASSERT_FALSE(cfg.imageB.empty());
    const Bytes original = cfg.imageB;
    ASSERT_TRUE(Prepare(original, L"PATCHED-0042"));
    const std::uint32_t a = ic.ConfigAddress();
    const auto s = static_cast<std::uint32_t>(ic.GetConfigSize());
    EXPECT_EQ(cfg.imageA[a], 0x55);
    // Outside the area only the tag may change, and only when it lies before A + S
    // (QX310: area 0xAE00, size 0x200, tag 0xEFFE: no tag).
    Bytes expected = original;
    std::copy(cfg.imageA.begin() + a, cfg.imageA.begin() + a + s, expected.begin() + a);
    if (kT + 2 <= a + s) {
      expected[kT] = 0x55;
      expected[kT + 1] = 0xAA;
    }
    EXPECT_EQ(cfg.imageA, expected);
    EXPECT_EQ(cfg.imageA[kT] == 0x55, a == kA);
    cfg.ReadImageInfo(cfg.imageA.data(), cfg.imageALen());
    EXPECT_EQ(cfg.imageSerialText, L"PATCHED-0042");
    EXPECT_EQ(cfg.imageManufacturerText, L"Korvane");
  }
}

}  // namespace
}  // namespace vantor
