// The configuration descriptor as the device object reads it: malformed descriptors
// (truncated, self-inconsistent, lengths of 0 or past the end) fail the read without
// touching anything outside the bytes; the camera's video function check, its command
// unit's qualification and the audio function's unit of the maker, each against a
// table of altered descriptors.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "device/cam_dev_info.h"
#include "device/config_descriptor.h"
#include "device/device_info.h"
#include "device/vendor_ids.h"
#include "sim/usb_descriptors.h"
#include "sim/virtual_clock.h"
#include "support/scripted_proxy.h"

namespace vantor {
namespace {

using test::DecodedUrb;
using test::ProxyAnswer;
using test::ScopedScriptedProxy;
using Bytes = std::vector<std::uint8_t>;

sim::DeviceConfig Config(const char* profile) {
  sim::DeviceConfig config;
  EXPECT_TRUE(sim::MakeProfile(profile, profile, config));
  return config;
}

Bytes CameraConfig() { return sim::BuildConfigDescriptor(Config("camera")); }
Bytes CameraDevice() { return sim::BuildDeviceDescriptor(Config("camera")); }
Bytes AudioConfig() { return sim::BuildConfigDescriptor(Config("flash-old")); }

// Offset of the n-th descriptor (0-based) of a type (and subtype for class-specific
// ones) in a well-formed descriptor.
std::size_t Find(const Bytes& b, std::uint8_t type, int subtype = -1, int nth = 0) {
  for (std::size_t at = 0; at + 2 <= b.size() && b[at] >= 2; at += b[at]) {
    if (b[at + 1] == type && (subtype < 0 || (at + 2 < b.size() && b[at + 2] == subtype)) &&
        nth-- == 0) {
      return at;
    }
  }
  ADD_FAILURE() << "descriptor not found";
  return 0;
}

// The offset of the camera's command unit (the extension unit with unit id 3).
std::size_t CommandUnit(const Bytes& b) {
  for (int n = 0;; ++n) {
    const std::size_t at = Find(b, 0x24, 6, n);
    if (b[at + 3] == 3) return at;
  }
}

void SetTotal(Bytes& b) {
  b[2] = static_cast<std::uint8_t>(b.size() & 0xFF);
  b[3] = static_cast<std::uint8_t>(b.size() >> 8);
}

struct Edit {
  const char* name;
  std::function<void(Bytes&)> apply;
};

// ---- The descriptor as a whole ----

const Edit kMalformed[] = {
    {"header length 0", [](Bytes& b) { b[0] = 0; }},
    {"header length 8", [](Bytes& b) { b[0] = 8; }},
    {"not a configuration", [](Bytes& b) { b[1] = 3; }},
    {"total below the header", [](Bytes& b) { b[2] = 5, b[3] = 0; }},
    {"total beyond the bytes", [](Bytes& b) { b[2] = static_cast<std::uint8_t>(b[2] + 1); }},
    {"total short of the bytes", [](Bytes& b) { b[2] = static_cast<std::uint8_t>(b[2] - 1); }},
    {"a descriptor of length 0", [](Bytes& b) { b[Find(b, 4)] = 0; }},
    {"a descriptor of length 1", [](Bytes& b) { b[Find(b, 4)] = 1; }},
    {"a descriptor longer than it is",
     [](Bytes& b) { b[Find(b, 4, -1, 1)] = static_cast<std::uint8_t>(b[Find(b, 4, -1, 1)] + 3); }},
    {"the last descriptor cut short",
     [](Bytes& b) {
       b.resize(b.size() - 3);
       SetTotal(b);
     }},
    {"the last descriptor running past the end",
     [](Bytes& b) {
       std::size_t last = 0;
       for (std::size_t at = 0; at < b.size(); at += b[at]) last = at;
       b[last] = 0xFF;
     }},
    {"header only, claiming more", [](Bytes& b) { b.resize(9); }},
};

TEST(ConfigDescriptor, WellFormedOnlyWhenItsDescriptorsTileIt) {
  for (const Bytes& base : {CameraConfig(), AudioConfig()}) {
    EXPECT_TRUE(IsWellFormedConfigDescriptor(base));
    for (const Edit& e : kMalformed) {
      SCOPED_TRACE(e.name);
      Bytes b = base;
      e.apply(b);
      EXPECT_FALSE(IsWellFormedConfigDescriptor(b));
      // Searches over it stay inside the bytes (the address sanitizer watches) and find
      // nothing beyond where the walk ended.
      FindCameraUnits(b, 0);
      FindAudioExtensionUnit(b, kMakerVendorId);
      std::array<std::uint8_t, kVideoFunctionBytes> function{};
      ParseVideoFunction(CameraDevice(), b, 0, function);
    }
  }
  EXPECT_FALSE(IsWellFormedConfigDescriptor({}));
}

TEST(ConfigDescriptor, WalkEndsAtALengthOfZeroOrPastTheEnd) {
  const Bytes twoThenZero = {3, 0x24, 1, 2, 0x24, 0, 7, 7};
  DescriptorWalker walker(twoThenZero);
  ByteSpan d;
  ASSERT_TRUE(walker.Next(d));
  EXPECT_EQ(d.size(), 3u);
  ASSERT_TRUE(walker.Next(d));
  EXPECT_EQ(d.size(), 2u);
  EXPECT_FALSE(walker.Next(d));  // length 0
  EXPECT_TRUE(walker.broken());
  EXPECT_FALSE(walker.Next(d));

  const Bytes pastEnd = {2, 1, 9, 4, 0};
  DescriptorWalker second(pastEnd);
  ASSERT_TRUE(second.Next(d));
  EXPECT_FALSE(second.Next(d));
  EXPECT_TRUE(second.broken());

  const Bytes two = {2, 1, 2, 2};
  DescriptorWalker exact(two);
  ASSERT_TRUE(exact.Next(d));
  ASSERT_TRUE(exact.Next(d));
  EXPECT_FALSE(exact.Next(d));
  EXPECT_FALSE(exact.broken());
}

// The read through the proxy: a scripted device that serves the altered descriptor.
class ConfigRead : public ::testing::Test {
 protected:
  ConfigRead() {
    record.hKvProxyDevLow = 0x8A000040;
    record.hKvProxyDevHigh = 0xFFFFC601;
    record.deviceKind = kDeviceKindCamera;
  }
  // Serves `device` and, for the configuration descriptor, `header` to a 9-byte read
  // and `whole` to any other.
  void Serve(const Bytes& device, const Bytes& header, const Bytes& whole,
             std::optional<std::uint32_t> wholeMoved = std::nullopt) {
    proxy->SetResponder([=](const DecodedUrb& u) {
      if (u.function == 0x000B && u.descriptorType() == 1) return ProxyAnswer::Data(device);
      if (u.function == 0x000B && u.descriptorType() == 2) {
        if (u.transferBufferLength == 9) return ProxyAnswer::Data(header);
        if (wholeMoved) return ProxyAnswer::Short(*wholeMoved, whole);
        return ProxyAnswer::Data(whole);
      }
      return ProxyAnswer::Stall();  // no vendor request, no extension unit
    });
  }

  sim::ScopedVirtualClock clock;
  ScopedScriptedProxy proxy;
  CamDevRecord record;
};

TEST_F(ConfigRead, MalformedDescriptorsFailTheReadAndKeepTheOldBlock) {
  // A block read before stays when a later read fails.
  Serve(CameraDevice(), CameraConfig(), CameraConfig());
  ASSERT_EQ(BuildDeviceInfo(record), 0u);
  ASSERT_NE(record.info, nullptr);
  const CamDevInfo* good = record.info.get();
  EXPECT_EQ(good->configDescriptor, CameraConfig());

  for (const Edit& e : kMalformed) {
    SCOPED_TRACE(e.name);
    Bytes b = CameraConfig();
    e.apply(b);
    Bytes header(b.begin(), b.begin() + std::min<std::size_t>(9, b.size()));
    Serve(CameraDevice(), header, b);
    std::vector<std::uint8_t> config = {1, 2, 3};
    EXPECT_NE(ReadConfigDescriptor(record, config), 0u);
    EXPECT_EQ(config, (Bytes{1, 2, 3}));  // untouched
    EXPECT_NE(BuildDeviceInfo(record), 0u);
    EXPECT_EQ(record.info.get(), good);
  }
}

TEST_F(ConfigRead, SelfInconsistentReadsFail) {
  const Bytes whole = CameraConfig();
  struct Case {
    const char* name;
    Bytes header;
    Bytes whole;
    std::optional<std::uint32_t> moved;
    std::uint32_t error;
  };
  Bytes longer = whole;
  longer.push_back(0);  // the header grows by one between the reads
  Bytes header(whole.begin(), whole.begin() + 9);
  Bytes headerLonger = header;
  headerLonger[2] = static_cast<std::uint8_t>(headerLonger[2] + 1);
  Bytes wholeSaysLonger = whole;
  wholeSaysLonger[2] = static_cast<std::uint8_t>(wholeSaysLonger[2] + 1);
  const Case cases[] = {
      // The first read promises one byte more than the second one's header claims.
      {"total grows between the reads", headerLonger, whole, std::nullopt, 13},
      // The second read's own header claims a byte more than was asked for.
      {"second header disagrees", header, wholeSaysLonger, std::nullopt, 13},
      // The device sends fewer bytes than wTotalLength.
      {"short second read", header, whole, static_cast<std::uint32_t>(whole.size() - 4), 13},
      {"short header", header, whole, std::nullopt, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (std::string(c.name) == "short header") {
      proxy->SetResponder([](const DecodedUrb& u) {
        return u.transferBufferLength == 9 ? ProxyAnswer::Short(4, {9, 2, 0x40, 0})
                                           : ProxyAnswer::Stall();
      });
    } else {
      Serve(CameraDevice(), c.header, c.whole, c.moved);
    }
    std::vector<std::uint8_t> config;
    const std::uint32_t rc = ReadConfigDescriptor(record, config);
    EXPECT_NE(rc, 0u);
    if (c.error != 0) {
      EXPECT_EQ(rc, c.error);
    }
    EXPECT_TRUE(config.empty());
  }
}

TEST_F(ConfigRead, DescriptorReadFailuresAreNeverSuccess) {
  // The device descriptor read stalls: the platform error, no block.
  proxy->SetResponder([](const DecodedUrb&) { return ProxyAnswer::Stall(); });
  EXPECT_NE(BuildDeviceInfo(record), 0u);
  EXPECT_EQ(record.info, nullptr);
  proxy->SetResponder([](const DecodedUrb&) { return ProxyAnswer::Error(1167); });
  EXPECT_EQ(BuildDeviceInfo(record), 1167u);
  EXPECT_EQ(record.info, nullptr);
}

// ---- The camera's video function ----

TEST(VideoFunction, TheAssociationAndItsInterfacesMustBeThere) {
  std::array<std::uint8_t, kVideoFunctionBytes> function{};
  ASSERT_TRUE(ParseVideoFunction(CameraDevice(), CameraConfig(), 0, function));
  // The control interface's class-specific descriptors, header first, as they stand.
  const Bytes config = CameraConfig();
  const std::size_t header = Find(config, 0x24, 1);
  EXPECT_TRUE(std::equal(config.begin() + static_cast<long>(header),
                         config.begin() + static_cast<long>(header) + 13, function.begin()));
  const std::size_t total = config[header + 5] | config[header + 6] << 8;
  EXPECT_TRUE(std::equal(config.begin() + static_cast<long>(header),
                         config.begin() + static_cast<long>(header + total), function.begin()));
  EXPECT_EQ(function[total], 0);

  const Edit edits[] = {
      {"device class not the association class", [](Bytes& d) { d[4] = 0x00; }},
  };
  for (const Edit& e : edits) {
    SCOPED_TRACE(e.name);
    Bytes device = CameraDevice();
    e.apply(device);
    EXPECT_FALSE(ParseVideoFunction(device, CameraConfig(), 0, function));
  }
  const Edit configEdits[] = {
      {"no association for the interface", [](Bytes& b) { b[Find(b, 11) + 2] = 5; }},
      {"association of another class", [](Bytes& b) { b[Find(b, 11) + 4] = 1; }},
      {"association not a video collection", [](Bytes& b) { b[Find(b, 11) + 5] = 1; }},
      {"association with no interfaces", [](Bytes& b) { b[Find(b, 11) + 3] = 0; }},
      {"association counting more interfaces than there are",
       [](Bytes& b) { b[Find(b, 11) + 3] = 4; }},
      {"association counting a third streaming interface",
       [](Bytes& b) { b[Find(b, 11) + 3] = 3; }},
      {"control interface missing", [](Bytes& b) { b[Find(b, 4) + 6] = 9; }},
      {"header missing", [](Bytes& b) { b[Find(b, 0x24, 1) + 2] = 0x0F; }},
      {"streaming interface not a streaming one", [](Bytes& b) { b[Find(b, 4, -1, 1) + 6] = 1; }},
      {"streaming interface outside the association",
       [](Bytes& b) { b[Find(b, 4, -1, 1) + 2] = 7; }},
  };
  for (const Edit& e : configEdits) {
    SCOPED_TRACE(e.name);
    Bytes b = CameraConfig();
    e.apply(b);
    EXPECT_FALSE(ParseVideoFunction(CameraDevice(), b, 0, function));
  }
  // The record's interface must be the association's first.
  EXPECT_FALSE(ParseVideoFunction(CameraDevice(), CameraConfig(), 1, function));
}

TEST(VideoFunction, ACameraWithoutItFailsTheInformationRead) {
  sim::ScopedVirtualClock clock;
  ScopedScriptedProxy proxy;
  Bytes config = CameraConfig();
  config[Find(config, 11) + 5] = 1;  // not a video collection
  proxy->SetResponder([&](const DecodedUrb& u) {
    if (u.function == 0x000B && u.descriptorType() == 1) return ProxyAnswer::Data(CameraDevice());
    if (u.function == 0x000B && u.descriptorType() == 2) return ProxyAnswer::Data(config);
    return ProxyAnswer::Stall();
  });
  CamDevRecord record;
  record.hKvProxyDevLow = 1;
  record.deviceKind = kDeviceKindCamera;
  EXPECT_EQ(BuildDeviceInfo(record), 13u);
  EXPECT_EQ(record.info, nullptr);
  // No vendor request or unit request went out.
  for (const DecodedUrb& u : proxy->urbs()) EXPECT_EQ(u.function, 0x000B);
}

// ---- The camera's command unit ----

TEST(CameraUnits, CommandUnitQualifiesOnlyWithItsControls) {
  const CameraUnits found = FindCameraUnits(CameraConfig(), 0);
  ASSERT_TRUE(found.commandUnit.has_value());
  EXPECT_EQ(*found.commandUnit, 3);
  EXPECT_TRUE(found.secondUnit);

  struct Case {
    Edit edit;
    bool secondUnit;
  };
  const Case cases[] = {
      {{"another GUID", [](Bytes& b) { b[CommandUnit(b) + 4] ^= 0xFF; }}, true},
      {{"one control", [](Bytes& b) { b[CommandUnit(b) + 20] = 1; }}, true},
      {{"control size 1", [](Bytes& b) { b[CommandUnit(b) + 23] = 1; }}, true},
      {{"control 11 absent", [](Bytes& b) { b[CommandUnit(b) + 25] = 0x02; }}, true},
      {{"control 10 absent", [](Bytes& b) { b[CommandUnit(b) + 25] = 0x04; }}, true},
      // So many input pins that the control fields would lie past the descriptor.
      {{"input pins past the descriptor", [](Bytes& b) { b[CommandUnit(b) + 21] = 200; }}, true},
      {{"control fields cut off",
        [](Bytes& b) {
          const std::size_t at = CommandUnit(b);
          b[at] = 24;  // up to the first control byte
          b.erase(b.begin() + static_cast<long>(at + 24), b.begin() + static_cast<long>(at + 27));
          SetTotal(b);
        }},
       true},
      {{"unit of another interface", [](Bytes& b) { b[Find(b, 4) + 2] = 5; }}, false},
      {{"control interface with alternate 1", [](Bytes& b) { b[Find(b, 4) + 3] = 1; }}, false},
      {{"second unit GUID altered",
        [](Bytes& b) {
          b[CommandUnit(b) + 4] ^= 0xFF;
          for (int n = 0;; ++n) {
            const std::size_t at = Find(b, 0x24, 6, n);
            if (b[at + 3] == 4) {
              b[at + 4] ^= 0xFF;
              break;
            }
          }
        }},
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.edit.name);
    Bytes b = CameraConfig();
    c.edit.apply(b);
    ASSERT_TRUE(IsWellFormedConfigDescriptor(b));
    const CameraUnits units = FindCameraUnits(b, 0);
    EXPECT_FALSE(units.commandUnit.has_value());
    EXPECT_EQ(units.secondUnit, c.secondUnit);
  }
}

// ---- The audio function's unit of the maker ----

TEST(AudioUnit, ExtensionOrProcessingUnitWithTheMakersCode) {
  const Bytes base = AudioConfig();
  const std::size_t unit = Find(base, 0x24, 8);
  ASSERT_EQ(FindAudioExtensionUnit(base, kMakerVendorId), std::optional<std::uint8_t>(6));

  struct Case {
    Edit edit;
    std::optional<std::uint8_t> found;
  };
  const Case cases[] = {
      {{"subtype 9", [&](Bytes& b) { b[unit + 2] = 9; }}, 6},
      {{"unit id 0x21", [&](Bytes& b) { b[unit + 3] = 0x21; }}, 0x21},
      {{"subtype 7", [&](Bytes& b) { b[unit + 2] = 7; }}, std::nullopt},
      {{"another vendor's code", [&](Bytes& b) { b[unit + 5] ^= 0x01; }}, std::nullopt},
      {{"cut to 5 bytes",
        [&](Bytes& b) {
          b[unit] = 5;
          b.erase(b.begin() + static_cast<long>(unit + 5),
                  b.begin() + static_cast<long>(unit + 15));
          SetTotal(b);
        }},
       std::nullopt},
      // Only the first interface's descriptors count.
      {{"first interface another one",
        [&](Bytes& b) {
          const Bytes hid = {9, 4, 7, 0, 0, 3, 0, 0, 0};
          b.insert(b.begin() + 9, hid.begin(), hid.end());
          SetTotal(b);
        }},
       std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.edit.name);
    Bytes b = base;
    c.edit.apply(b);
    ASSERT_TRUE(IsWellFormedConfigDescriptor(b));
    EXPECT_EQ(FindAudioExtensionUnit(b, kMakerVendorId), c.found);
  }
}

}  // namespace
}  // namespace vantor
