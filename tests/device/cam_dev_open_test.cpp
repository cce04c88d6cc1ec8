// Device objects made from every simulated profile: the information block read from
// the device (descriptors, transports, unit, status, chip id), the class the factory
// picks, and the command transport the object offers, used for real.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "device/cam_dev.h"
#include "device/device_enum.h"
#include "device/device_info.h"
#include "device/ext_unit.h"
#include "device/kvx_cam.h"
#include "device/vendor_request_v2.h"
#include "sim/usb_descriptors.h"
#include "support/device_rig.h"

namespace vantor {
namespace {

using test::DeviceRig;

enum class Cmd { kVendorRequests, kExtensionUnit, kNone };

struct ProfileCase {
  const char* profile;
  std::uint32_t list;
  bool kvxCam;  // the factory makes a CKvxCam
  std::uint32_t vendorRequests;
  std::uint32_t extensionUnit;
  std::uint32_t legacy;
  std::uint32_t unitId;
  std::uint32_t secondUnit;
  std::uint32_t special;
  std::uint16_t chipId;
  Cmd cmd;
};

const ProfileCase kProfiles[] = {
    {"flash-old", kListAudio, true, 1, 1, 0, 6, 0, 0, 0x7011, Cmd::kVendorRequests},
    {"flash-new", kListAudio, true, 1, 1, 0, 6, 0, 0, 0xB013, Cmd::kVendorRequests},
    {"flash-dual", kListAudio, true, 1, 1, 0, 6, 0, 0, 0x1010, Cmd::kVendorRequests},
    {"eeprom8", kListAudio, true, 1, 1, 0, 6, 0, 0, 0x7011, Cmd::kVendorRequests},
    {"eeprom16", kListAudio, true, 1, 1, 0, 6, 0, 0, 0x7011, Cmd::kVendorRequests},
    {"otp", kListAudio, true, 1, 1, 0, 6, 0, 0, 0xD010, Cmd::kVendorRequests},
    // Status chip id 0x21 with id registers 21 00: adjusted to 0x71.
    {"camera", kListCamera, true, 0, 1, 0, 3, 1, 0, 0x0071, Cmd::kExtensionUnit},
    // No command unit: a vendor device by its identity alone, without transports.
    {"camera-special", kListCamera, true, 0, 0, 0, 0, 0, 1, 0x5010, Cmd::kNone},
    // The camera's microphone: its audio function has no unit of the maker.
    {"camera", kListAudio, false, 0, 0, 0, 0, 0, 0, 0x0000, Cmd::kNone},
};

TEST(CamDevOpen, EveryProfileGetsItsBlockClassAndTransport) {
  for (const ProfileCase& c : kProfiles) {
    SCOPED_TRACE(std::string(c.profile) + (c.list == kListAudio ? " (audio list)" : ""));
    DeviceRig rig;
    sim::SimDevice& device = rig.Add(c.profile);
    CamDevRecord record;
    ASSERT_EQ(rig.Open(record, c.list), 0u);
    std::uint32_t error = 99;
    std::unique_ptr<CCamDev> object = CreateCamDev(std::move(record), &error);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(object->OpenResult(), 0u);
    EXPECT_FALSE(record.IsValid());  // taken over
    EXPECT_EQ(rig.OpenInterfaces(), 1u);

    const CamDevInfo* info = object->GetInfo();
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->vendorDevice, c.kvxCam ? 1u : 0u);
    EXPECT_EQ(info->vendorRequests, c.vendorRequests);
    EXPECT_EQ(info->extensionUnit, c.extensionUnit);
    EXPECT_EQ(info->legacyVendor, c.legacy);
    EXPECT_EQ(info->unitId, c.unitId);
    EXPECT_EQ(info->secondUnit, c.secondUnit);
    EXPECT_EQ(info->specialCamera, c.special);
    EXPECT_EQ(info->reservedFlag1 | info->reservedFlag2, 0u);
    EXPECT_EQ(info->chipId(), c.chipId);
    EXPECT_EQ(info->idVendor(), device.config().vid);
    EXPECT_EQ(info->idProduct(), device.config().pid);
    EXPECT_EQ(info->bcdDevice(), device.config().release);
    EXPECT_EQ(info->configDescriptor, sim::BuildConfigDescriptor(device.config()));
    // The record keeps its own block; the object a copy of it.
    ASSERT_NE(object->Record().info, nullptr);
    EXPECT_NE(object->Record().info.get(), info);
    EXPECT_EQ(object->Record().info->configDescriptor, info->configDescriptor);

    EXPECT_EQ(dynamic_cast<CKvxCam*>(object.get()) != nullptr, c.kvxCam);
    CVendorCmdCommon* cmd = object->GetCmd();
    switch (c.cmd) {
      case Cmd::kVendorRequests:
        ASSERT_NE(cmd, nullptr);
        EXPECT_EQ(cmd, object->GetVendorRequest(false));
        // The extension unit is there too, for callers that ask for it.
        ASSERT_NE(object->GetExtUnit(), nullptr);
        EXPECT_EQ(object->GetExtUnit()->UnitId(), c.unitId);
        break;
      case Cmd::kExtensionUnit:
        ASSERT_NE(cmd, nullptr);
        EXPECT_EQ(cmd, object->GetExtUnit());
        EXPECT_EQ(object->GetVendorRequest(false), nullptr);
        break;
      case Cmd::kNone:
        EXPECT_EQ(cmd, nullptr);
        EXPECT_EQ(object->GetExtUnit(), nullptr);
        EXPECT_EQ(object->GetVendorRequest(false), nullptr);
        break;
    }
    if (cmd != nullptr) {
      // The transport reaches the chip: its id registers.
      std::uint8_t id[2] = {};
      ASSERT_EQ(cmd->ReadMem(kChipIdRegister, 2, id, nullptr, nullptr), kSOk);
      EXPECT_EQ(id[0] | id[1] << 8, device.config().chipId);
      std::array<std::uint8_t, kDeviceStatusBytes> status{};
      ASSERT_EQ(cmd->GetDevStatus(0, status.data(), kDeviceStatusBytes), kSOk);
      EXPECT_EQ(std::memcmp(status.data() + 24, "KESTRAL", 8), 0);
    }
    object.reset();
    EXPECT_EQ(rig.OpenInterfaces(), 0u);
    EXPECT_EQ(rig.Attached(), 0u);
  }
}

TEST(CamDevOpen, TransportFlagsFollowWhatTheDeviceAnswers) {
  struct Case {
    const char* name;
    sim::VendorRequestMode vendor;
    bool wrongSignature;
    std::uint32_t vendorRequests;
    std::uint32_t legacy;
    bool kvxCam;
  };
  const Case cases[] = {
      {"full", sim::VendorRequestMode::kFull, false, 1, 0, true},
      // The status answers without the signature: the ping still does.
      {"wrong signature", sim::VendorRequestMode::kFull, true, 0, 1, false},
      // Only the legacy ping and reset.
      {"legacy", sim::VendorRequestMode::kLegacy, false, 0, 1, false},
      {"off", sim::VendorRequestMode::kOff, false, 0, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DeviceRig rig;
    rig.Add("flash-old", "dev", [&](sim::DeviceConfig& config) {
      config.vendorRequests = c.vendor;
      config.faults.wrongSignature = c.wrongSignature;
    });
    CamDevRecord record;
    ASSERT_EQ(rig.Open(record, kListAudio), 0u);
    auto object = CreateCamDev(std::move(record));
    ASSERT_NE(object, nullptr);
    const CamDevInfo* info = object->GetInfo();
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->extensionUnit, 1u);  // the audio unit of the maker is there
    EXPECT_EQ(info->unitId, 6u);
    EXPECT_EQ(info->vendorRequests, c.vendorRequests);
    EXPECT_EQ(info->legacyVendor, c.legacy);
    EXPECT_EQ(dynamic_cast<CKvxCam*>(object.get()) != nullptr, c.kvxCam);
    EXPECT_EQ(object->GetCmd() != nullptr, c.kvxCam);
  }
}

TEST(CamDevOpen, CameraWithoutVendorRequestsOrQualifyingUnit) {
  // A camera whose command unit does not answer the qualify command: neither transport.
  DeviceRig rig;
  rig.Add("camera", "cam", [](sim::DeviceConfig& config) { config.faults.wrongSignature = true; });
  CamDevRecord record;
  ASSERT_EQ(rig.Open(record, kListCamera), 0u);
  auto object = CreateCamDev(std::move(record));
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(dynamic_cast<CKvxCam*>(object.get()), nullptr);
  EXPECT_EQ(object->GetInfo()->extensionUnit, 0u);
  EXPECT_EQ(object->GetInfo()->unitId, 0u);
  EXPECT_EQ(object->GetInfo()->secondUnit, 1u);
}

TEST(CamDevOpen, NamedRecordIsOpenedAgainAndEmptyRecordIsRefused) {
  DeviceRig rig;
  rig.Add("flash-old");
  std::vector<DeviceListEntry> list;
  std::uint32_t count = 0;
  ASSERT_EQ(EnumerateDevices(&list, &count, kListAudio), 0u);
  ASSERT_EQ(count, 1u);

  CamDevRecord named;
  named.magic = kCamDevRecordMagic;
  named.devInst = list[0].devInst;
  CCamDev object(std::move(named));
  EXPECT_EQ(object.OpenResult(), 0u);
  EXPECT_TRUE(object.Record().IsValid());
  EXPECT_EQ(object.Record().devInst, list[0].devInst);
  ASSERT_NE(object.GetInfo(), nullptr);
  EXPECT_EQ(object.GetInfo()->idProduct(), 0x0310);
  EXPECT_EQ(rig.OpenInterfaces(), 1u);

  // Nothing named, or no magic: 87 and no object from the factory.
  for (bool magic : {false, true}) {
    CamDevRecord empty;
    if (magic) empty.magic = kCamDevRecordMagic;
    CCamDev none(std::move(empty));
    EXPECT_EQ(none.OpenResult(), 87u);
    EXPECT_EQ(none.GetCmd(), nullptr);
    CamDevRecord again;
    if (magic) again.magic = kCamDevRecordMagic;
    std::uint32_t error = 0;
    EXPECT_EQ(CreateCamDev(std::move(again), &error), nullptr);
    EXPECT_EQ(error, 87u);
  }
  // A device instance that is open already (exclusively) cannot be opened a second time.
  CamDevRecord twice;
  twice.magic = kCamDevRecordMagic;
  twice.devInst = list[0].devInst;
  std::uint32_t error = 0;
  EXPECT_EQ(CreateCamDev(std::move(twice), &error), nullptr);
  EXPECT_NE(error, 0u);
  EXPECT_EQ(rig.OpenInterfaces(), 1u);
}

TEST(CamDevOpen, FailedInformationReadLeavesNothingOpen) {
  DeviceRig rig;
  sim::SimDevice& device = rig.Add("flash-old");
  // The configuration descriptor read stalls once.
  device.faults().stall.push_back({false, 0x80, 0x06, 0x0200, 1});
  CamDevRecord record;
  ASSERT_EQ(rig.Open(record, kListAudio), 0u);
  std::uint32_t error = 0;
  EXPECT_EQ(CreateCamDev(std::move(record), &error), nullptr);
  EXPECT_NE(error, 0u);
  EXPECT_EQ(rig.OpenInterfaces(), 0u);
  EXPECT_EQ(rig.Attached(), 0u);
}

TEST(CamDevOpen, RefreshReadsAgainAndKeepsTheOldBlockWhenItFails) {
  DeviceRig rig;
  sim::SimDevice& device = rig.Add("flash-old");
  CamDevRecord record;
  ASSERT_EQ(rig.Open(record, kListAudio), 0u);
  auto object = CreateCamDev(std::move(record));
  ASSERT_NE(object, nullptr);
  const CamDevInfo* before = object->GetInfo();
  ASSERT_NE(before, nullptr);
  EXPECT_EQ(object->GetInfo(false), before);  // no read without refresh

  // A refresh reads the descriptors again.
  const std::uint64_t transfers = device.counters().descriptorTransfers;
  const CamDevInfo* refreshed = object->GetInfo(true);
  ASSERT_NE(refreshed, nullptr);
  EXPECT_GT(device.counters().descriptorTransfers, transfers);
  EXPECT_EQ(refreshed->idProduct(), 0x0310);

  // A refresh that fails keeps what was read before.
  device.faults().stall.push_back({false, 0x80, 0x06, 0x0100, 1});
  const CamDevInfo* kept = object->GetInfo(true);
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(kept->idProduct(), 0x0310);
  EXPECT_EQ(kept->vendorRequests, 1u);
}

TEST(CamDevOpen, StringDescriptorsThroughTheObject) {
  DeviceRig rig;
  rig.Add("flash-old");
  CamDevRecord record;
  ASSERT_EQ(rig.Open(record, kListAudio), 0u);
  auto object = CreateCamDev(std::move(record));
  ASSERT_NE(object, nullptr);
  std::uint8_t bytes[256] = {};
  std::uint32_t moved = 0;
  ASSERT_EQ(object->GetStringDescriptor(bytes, sizeof bytes, 2, 0x0409, &moved), 0u);
  EXPECT_EQ(moved, bytes[0]);
  EXPECT_EQ(bytes[1], 3);
  EXPECT_EQ(bytes[2], 'K');
  // A string the device does not have: the platform error, not success.
  EXPECT_NE(object->GetStringDescriptor(bytes, sizeof bytes, 9, 0x0409), 0u);
}

}  // namespace
}  // namespace vantor
