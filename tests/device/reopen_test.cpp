// Resets with reopen against the simulated device, end to end through the real
// transports: the reset request of each kind and transport, the re-enumeration under a
// new instance and proxy handle, the device API carrying on with the new handle, and
// every fault the simulator offers on the way (not-ready answers, slow devices, devices
// that come back late, never, or only elsewhere). Waits are measured on the virtual
// clock.
#include "device/reopen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "device/cam_dev.h"
#include "device/device_api.h"
#include "device/device_enum.h"
#include "device/ext_unit.h"
#include "platform/clock.h"
#include "platform/last_error.h"
#include "support/debug_capture.h"
#include "support/device_rig.h"

namespace vantor {
namespace {

using test::DebugCapture;
using test::DeviceRig;

constexpr std::uint32_t kSettleMs = 3000;

int ApiReset(std::uint32_t kind, LibHandle* out, std::uint32_t argument, std::uint32_t flags,
             std::uint32_t settleMs) {
  switch (kind) {
    case kResetToUpdate:
      return Lib_Reset7(out, argument, flags, settleMs);
    case kResetToRom:
      return Lib_Reset9(out, flags, settleMs);
    default:
      return Lib_Reset10(out, flags, settleMs);
  }
}

// Index of the first log line starting with `prefix`, or the line count.
std::size_t FindLine(const std::vector<std::string>& lines, const std::string& prefix) {
  const auto it = std::find_if(lines.begin(), lines.end(),
                               [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
  return static_cast<std::size_t>(it - lines.begin());
}

bool AnyLineBefore(const std::vector<std::string>& lines, std::size_t end,
                   const std::string& prefix) {
  for (std::size_t i = 0; i < end && i < lines.size(); ++i) {
    if (lines[i].rfind(prefix, 0) == 0) return true;
  }
  return false;
}

// Opens the audio list's device on root port `port` into `record`.
bool OpenOnPort(DeviceRig& rig, CamDevRecord& record, std::uint32_t port) {
  const std::wstring at = L"#USB(" + std::to_wstring(port) + L")";
  for (std::uint32_t i = 0; rig.Open(record, kListAudio, i) == 0; ++i) {
    if (record.locationPath.find(at) != std::wstring::npos) return true;
    record.Close();
  }
  return false;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string all;
  for (const std::string& l : lines) all += l + "\n";
  return all;
}

// ---------------------------------------------------------------- each kind

struct KindCase {
  const char* label;
  std::uint32_t kind;
  std::uint32_t flags;
  const char* resetLine;  // the reset request as the bus logs it
  bool determined;        // the device was asked what it answers before the reset
  bool chipId;            // the chip id registers were read through vendor requests
  sim::RunState run;      // what the device runs afterwards (its flash is blank)
};

const KindCase kKinds[] = {
    {"kind 7 through vendor requests", kResetToUpdate, 0, "40 20 0000 0000 0 ok", true, true,
     sim::RunState::kUpdate},
    // The extension unit swaps parameters 0 and 1.
    {"kind 7 with the extension unit preferred", kResetToUpdate, kLibFlagExtUnit,
     "21 01 0a00 0600 8 ok 0007010000000000", true, false, sim::RunState::kUpdate},
    {"kind 9 from the audio list", kResetToRom, kLibFlagAudioList, "40 22 0000 0000 0 ok", true,
     true, sim::RunState::kRom},
    {"kind 9 with the stored transport flags", kResetToRom, kLibFlagAudioList | kLibFlagKnownFlags,
     "40 22 0000 0000 0 ok", false, true, sim::RunState::kRom},
    {"kind 9 through the extension unit", kResetToRom, kLibFlagAudioList | kLibFlagExtUnit,
     "21 01 0a00 0600 8 ok 0009000000000000", true, false, sim::RunState::kRom},
    // Kind 10: vendor requests as kind 9, nothing asked first, no chip id step.
    {"kind 10", kResetToRomVendor, kLibFlagAudioList, "40 22 0000 0000 0 ok", false, false,
     sim::RunState::kRom},
};

TEST(ResetWithReopen, EachKindReenumeratesAndTheApiCarriesOnWithTheNewHandle) {
  for (const KindCase& c : kKinds) {
    SCOPED_TRACE(c.label);
    DeviceRig rig;
    sim::SimDevice& device = rig.Add("flash-old");
    const LibHandle before = Lib_OpenDevice(0);
    ASSERT_NE(before, 0u);
    const std::uint32_t oldProxy = Lib_GetCurrentDevice()->Record().hKvProxyDevLow;
    const std::uint32_t epoch = device.epoch();
    DebugCapture trace;
    rig.StartLog();

    LibHandle after = 0;
    ASSERT_EQ(ApiReset(c.kind, &after, 0, c.flags, 1000), 1) << trace.All();

    // A new instance under a new proxy handle, and the API's current device is it.
    EXPECT_EQ(device.epoch(), epoch + 1);
    EXPECT_EQ(device.counters().resets, 1u);
    EXPECT_EQ(device.state().run, c.run);
    EXPECT_NE(after, 0u);
    EXPECT_NE(after, before);
    EXPECT_EQ(Lib_GetHandle(), after);
    EXPECT_EQ(Lib_OpenDevice(0), after);  // open while open: the same handle
    ASSERT_NE(Lib_GetCurrentDevice(), nullptr);
    EXPECT_NE(Lib_GetCurrentDevice()->Record().hKvProxyDevLow, oldProxy);
    EXPECT_EQ(rig.OpenInterfaces(), 1u);
    EXPECT_EQ(rig.Attached(), 1u);
    EXPECT_TRUE(trace.Contains("Device reset ok"));

    const std::vector<std::string> lines = rig.LogLines();
    const std::size_t reset = FindLine(lines, c.resetLine);
    ASSERT_LT(reset, lines.size()) << Joined(lines);
    EXPECT_EQ(AnyLineBefore(lines, reset, "c0 07 0000 0000 8"), c.determined) << Joined(lines);
    EXPECT_EQ(AnyLineBefore(lines, reset, "c0 25 0000 fe21 2 ok"), c.chipId) << Joined(lines);
    EXPECT_EQ(rig.CountLog(c.resetLine), 1u) << "one reset request only";

    // The commands run on the new handle, through both transports.
    std::array<std::uint8_t, 104> status{};
    ASSERT_EQ(Lib_GetDevStatus104(after, status.data(), 0), 1);
    EXPECT_EQ(status[1], static_cast<std::uint8_t>(c.run));
    std::array<std::uint8_t, 2> chip{};
    ASSERT_EQ(Lib_ReadMem(after, 0xFE21, 2, chip.data(), kLibFlagExtUnit), 1);
    EXPECT_EQ(chip[0] | chip[1] << 8, device.config().chipId);
  }
}

TEST(ResetWithReopen, CameraResetsThroughItsExtensionUnitAndReopensFromTheCameraList) {
  DeviceRig rig;
  sim::SimDevice& device = rig.Add("camera");
  CamDevRecord record;
  ASSERT_EQ(rig.Open(record, kListCamera), 0u);
  std::unique_ptr<CCamDev> camera = CreateCamDev(std::move(record));
  ASSERT_NE(camera, nullptr);
  const platform::DevInst oldInst = camera->Record().devInst;
  rig.StartLog();

  ASSERT_EQ(ReopenKvCam(&camera->Record(), 0, kResetToUpdate, 0, 0, 0, false, false,
                        kLibResetBudgetMs, camera->ArrivalEvent(), 1000),
            0u);
  camera->RebuildTransports();

  EXPECT_EQ(device.counters().resets, 1u);
  EXPECT_EQ(device.state().run, sim::RunState::kUpdate);
  EXPECT_EQ(camera->Record().deviceKind, kDeviceKindCamera);
  EXPECT_NE(camera->Record().devInst, oldInst);
  // Unit 3 on the video control interface 0, parameter 0 sent as 1.
  EXPECT_EQ(rig.CountLog("21 01 0a00 0300 8 ok 0007010000000000"), 1u);
  EXPECT_EQ(rig.CountLog("40 20"), 0u);
  EXPECT_EQ(rig.CountLog("40 01"), 0u);
  ASSERT_NE(camera->GetCmd(), nullptr);
  EXPECT_EQ(camera->GetCmd(), camera->GetExtUnit());
  std::array<std::uint8_t, 104> status{};
  EXPECT_EQ(camera->GetCmd()->GetDevStatus(0, status.data(), 104), kSOk);
  EXPECT_EQ(status[1], static_cast<std::uint8_t>(sim::RunState::kUpdate));
}

TEST(ResetWithReopen, DeviceAnsweringOnlyTheLegacyRequestsGetsTheLegacyReset) {
  DeviceRig rig;
  sim::SimDevice& device = rig.Add("flash-old", nullptr, [](sim::DeviceConfig& config) {
    config.vendorRequests = sim::VendorRequestMode::kLegacy;
  });
  CamDevRecord record;
  ASSERT_EQ(rig.Open(record, kListAudio), 0u);
  rig.StartLog();
  ASSERT_EQ(ReopenKvCam(&record, 0, kResetToUpdate, 0, 0, 0, false, false, kLibResetBudgetMs,
                        nullptr, 1000),
            0u);
  EXPECT_EQ(device.counters().resets, 1u);
  EXPECT_EQ(device.state().run, sim::RunState::kUpdate);
  // The parameter as given (no swap), the kind in wIndex; the chip id through the unit;
  // the reopened device pinged until it answers.
  EXPECT_EQ(rig.CountLog("40 01 0000 0007 0 ok"), 1u) << Joined(rig.LogLines());
  EXPECT_EQ(rig.CountLog("c0 25 0000 fe21 2 ok"), 0u);
  EXPECT_EQ(rig.CountLog("c0 06 0000 0000 1 ok 01"), 1u) << Joined(rig.LogLines());
  EXPECT_TRUE(record.IsValid());
  record.Close();
}

TEST(ResetWithReopen, DualPackageComingBackOnItsCompanionPortIsTheSameDevice) {
  DeviceRig rig;
  sim::SimDevice& device = rig.Add("flash-dual");
  // An area header at the start of the flash: firmware it runs (on the companion port).
  device.memory()[0] = 0x30;
  device.memory()[1] = 0xA5;
  const LibHandle before = Lib_OpenDevice(0);
  ASSERT_NE(before, 0u);
  const std::wstring oldPath = Lib_GetCurrentDevice()->Record().locationPath;
  DebugCapture trace;
  LibHandle after = 0;
  ASSERT_EQ(Lib_Reset9(&after, kLibFlagAudioList, 1000), 1) << trace.All();
  EXPECT_TRUE(device.state().onCompanion);
  EXPECT_EQ(device.state().run, sim::RunState::kFirmware);
  EXPECT_NE(after, before);
  EXPECT_NE(Lib_GetCurrentDevice()->Record().locationPath, oldPath);
  EXPECT_TRUE(trace.Contains("Is same dev location"));
  std::array<std::uint8_t, 104> status{};
  ASSERT_EQ(Lib_GetDevStatus104(after, status.data(), 0), 1);
  EXPECT_EQ(status[1], static_cast<std::uint8_t>(sim::RunState::kFirmware));
}

// A dual-package camera answers only on its extension unit: its companion port is found
// through the unit, so the camera coming back there is the same device.
TEST(ResetWithReopen, ExtensionUnitOnlyDualPackageIsFoundAgainOnItsCompanionPort) {
  DeviceRig rig;
  sim::SimDevice& device = rig.Add("camera", "dual-camera", [](sim::DeviceConfig& c) {
    c.chipId = 0x1010;
    c.statusChipId = 0x1010;
    c.dualPackage = true;
    c.companionSwitch = true;
  });
  device.memory()[0] = 0x30;
  device.memory()[1] = 0xA5;
  CamDevRecord record;
  ASSERT_EQ(rig.Open(record, kListCamera), 0u);
  EXPECT_EQ(CompanionPort(), 18u);
  std::unique_ptr<CCamDev> camera = CreateCamDev(std::move(record));
  ASSERT_NE(camera, nullptr);
  const std::wstring oldPath = camera->Record().locationPath;
  DebugCapture trace;
  ASSERT_EQ(ReopenKvCam(&camera->Record(), 0, kResetToRom, 0, 0, 0, false, false, kLibResetBudgetMs,
                        camera->ArrivalEvent(), 1000),
            0u)
      << trace.All();
  EXPECT_TRUE(device.state().onCompanion);
  EXPECT_NE(camera->Record().locationPath, oldPath);
  EXPECT_TRUE(trace.Contains("Is same dev location")) << trace.All();
}

// ---------------------------------------------------------------- timing

struct FastCase {
  std::uint32_t argument;
  std::uint32_t flags;
  bool fast;
  const char* resetLine;
  const char* ping;  // the wait for the device to answer (vendor requests), or null
};

const FastCase kFast[] = {
    {0, 0, false, "40 20 0000 0000 0 ok", "c0 06 0000 0000 1 ok"},
    {1, 0, false, "40 20 0001 0000 0 ok", "c0 06 0001 0000 1 ok"},
    {2, 0, true, "40 20 0002 0000 0 ok", "c0 06 0001 0000 1 ok"},  // 2 works as 1
    {5, 0, true, "40 20 0005 0000 0 ok", "c0 06 0005 0000 1 ok"},
    {0, kLibFlagExtUnit, false, "21 01 0a00 0600 8 ok 0007010000000000", nullptr},
    {1, kLibFlagExtUnit, false, "21 01 0a00 0600 8 ok 0007000000000000", nullptr},
    {2, kLibFlagExtUnit, true, "21 01 0a00 0600 8 ok 0007020000000000", nullptr},
    {5, kLibFlagExtUnit, true, "21 01 0a00 0600 8 ok 0007050000000000", nullptr},
};

TEST(ResetWithReopen, FastParametersSkipTheSettleWaitAndTheDisconnectCheck) {
  constexpr std::uint32_t kLongSettleMs = 5000;
  for (const FastCase& c : kFast) {
    SCOPED_TRACE("argument " + std::to_string(c.argument) + " flags " + std::to_string(c.flags));
    DeviceRig rig;
    rig.Add("flash-old");
    ASSERT_NE(Lib_OpenDevice(0), 0u);
    DebugCapture trace;
    rig.StartLog();
    const std::uint64_t start = rig.ElapsedMs();
    LibHandle after = 0;
    ASSERT_EQ(Lib_Reset7(&after, c.argument, c.flags, kLongSettleMs), 1) << trace.All();
    const std::uint64_t took = rig.ElapsedMs() - start;

    EXPECT_EQ(rig.CountLog(c.resetLine), 1u) << Joined(rig.LogLines());
    if (c.ping != nullptr) {
      EXPECT_GE(rig.CountLog(c.ping), 1u) << Joined(rig.LogLines());
    }
    EXPECT_EQ(trace.Contains("Fast reset mode, not checking old device disconnect"), c.fast);
    EXPECT_EQ(trace.Contains("disconnected, new device"), !c.fast);
    if (c.fast) {
      EXPECT_LT(took, kLongSettleMs);
    } else {
      EXPECT_GE(took, kLongSettleMs);
    }
    EXPECT_EQ(Lib_GetHandle(), after);
  }
}

// A device that takes its time to leave the bus after the reset request: the reopen
// finds the old instance still at the same place.
TEST(ResetWithReopen, OldInstanceStillOnTheBusIsPassedOverUnlessTheResetIsFast) {
  constexpr std::uint32_t kLeaveMs = 2500;
  for (const std::uint32_t argument : {0u, 2u}) {
    const bool fast = argument == 2;
    SCOPED_TRACE(fast ? "fast" : "normal");
    DeviceRig rig;
    sim::SimDevice& device = rig.Add(
        "flash-old", nullptr, [](sim::DeviceConfig& config) { config.timing.leaveMs = kLeaveMs; });
    const LibHandle before = Lib_OpenDevice(0);
    ASSERT_NE(before, 0u);
    const std::uint32_t epoch = device.epoch();
    DebugCapture trace;
    const std::uint64_t start = rig.ElapsedMs();
    LibHandle after = 0;
    ASSERT_EQ(Lib_Reset7(&after, argument, 0, 1000), 1) << trace.All();
    const std::uint64_t took = rig.ElapsedMs() - start;

    EXPECT_TRUE(trace.Contains("Is same dev location"));
    if (fast) {
      // Taken as it is: the old instance, before it has even left.
      EXPECT_TRUE(trace.Contains("Fast reset mode, not checking old device disconnect"));
      EXPECT_FALSE(trace.Contains("Pdo device name still match"));
      EXPECT_EQ(after, before);
      EXPECT_LT(took, kLeaveMs);
    } else {
      // The old instance has the old physical device object: closed and looked for
      // again until the new one is there.
      EXPECT_TRUE(
          trace.Contains("Pdo device name still match, old device not completely disconnected"));
      EXPECT_TRUE(trace.Contains("Close device that is not match"));
      EXPECT_TRUE(trace.Contains("disconnected, new device"));
      EXPECT_NE(after, before);
      EXPECT_EQ(device.epoch(), epoch + 1);
      EXPECT_GE(took, kLeaveMs + device.config().timing.reenumMs);
      std::array<std::uint8_t, 104> status{};
      ASSERT_EQ(Lib_GetDevStatus104(after, status.data(), 0), 1);
      EXPECT_EQ(status[1], static_cast<std::uint8_t>(sim::RunState::kUpdate));
    }
    EXPECT_EQ(rig.OpenInterfaces(), 1u);
  }
}

struct SlowCase {
  const char* profile;
  std::uint16_t chipId;  // 0: the profile's
  bool slow;
};

const SlowCase kSlow[] = {
    {"flash-old", 0, false},     {"flash-new", 0, true},  // 0xB013
    {"flash-new", 0xB014, true}, {"flash-new", 0xB012, false}, {"otp", 0, false},
};

TEST(ResetWithReopen, SlowDevicesWaitTwoSecondsMoreAfterTheSettleTime) {
  for (const SlowCase& c : kSlow) {
    SCOPED_TRACE(std::string(c.profile) + " " + std::to_string(c.chipId));
    DeviceRig rig;
    rig.Add(c.profile, nullptr, [&](sim::DeviceConfig& config) {
      if (c.chipId != 0) config.chipId = c.chipId;
    });
    ASSERT_NE(Lib_OpenDevice(0), 0u);
    const std::uint64_t start = rig.ElapsedMs();
    LibHandle after = 0;
    ASSERT_EQ(Lib_Reset7(&after, 0, 0, kSettleMs), 1);
    const std::uint64_t took = rig.ElapsedMs() - start;
    // The device is back and ready well within the settle time.
    EXPECT_GE(took, kSettleMs);
    if (c.slow) {
      EXPECT_GE(took, kSettleMs + kSlowDeviceExtraMs);
    } else {
      EXPECT_LT(took, kSettleMs + kSlowDeviceExtraMs);
    }
  }
}

TEST(ResetWithReopen, AnArrivalSignalledBeforeTheResetDoesNotCutTheSettleWaitShort) {
  DeviceRig rig;
  rig.Add("flash-old");
  ASSERT_NE(Lib_OpenDevice(0), 0u);
  ASSERT_EQ(Lib_SignalDeviceArrival(), 1);
  ASSERT_TRUE(Lib_GetCurrentDevice()->ArrivalEvent()->IsSet());
  const std::uint64_t start = rig.ElapsedMs();
  LibHandle after = 0;
  ASSERT_EQ(Lib_Reset7(&after, 0, 0, kSettleMs), 1);
  EXPECT_GE(rig.ElapsedMs() - start, kSettleMs);
}

// ---------------------------------------------------------------- not ready

struct NotReadyCase {
  const char* label;
  bool extensionUnit;        // the reset goes through the unit, else vendor requests
  std::uint32_t notReadyMs;  // how long the device answers 21 after coming back
  std::uint32_t budgetMs;
  std::uint32_t rc;
};

const NotReadyCase kNotReady[] = {
    {"ready within the budget", false, 2000, kLibResetBudgetMs, 0},
    {"ready within the budget, unit", true, 2000, kLibResetBudgetMs, 0},
    {"still not ready when the budget runs out", false, 30000, kLibResetBudgetMs,
     platform::kErrorTimeout},
    {"still not ready when the budget runs out, unit", true, 30000, kLibResetBudgetMs,
     platform::kErrorTimeout},
    {"no budget: waits as long as it takes", false, 30000, 0, 0},
};

TEST(ResetWithReopen, ResetRequestAnsweredNotReadyIsSentAgainEvery300Ms) {
  for (const NotReadyCase& c : kNotReady) {
    SCOPED_TRACE(c.label);
    DeviceRig rig;
    sim::SimDevice& device = rig.Add("flash-old", nullptr, [&](sim::DeviceConfig& config) {
      config.timing.notReadyMs = c.notReadyMs;
    });
    // The device was just plugged in: it is there, but answers "not ready", and the
    // record is opened without waiting for it.
    device.Unplug(rig.sim.clock().NowUs(), 10);
    platform::Sleep(20);
    CamDevRecord record;
    ASSERT_EQ(KvCam_OpenDevice(&record, 0, kListAudio, 1), 0u);
    const platform::DevInst oldInst = record.devInst;
    rig.StartLog();
    DebugCapture trace;
    const std::uint64_t start = rig.ElapsedMs();

    EXPECT_EQ(ReopenKvCam(&record, 0, kResetToUpdate, 6, 0, c.extensionUnit ? 0 : 1, true, false,
                          c.budgetMs, nullptr, 1000),
              c.rc)
        << trace.All();
    const std::uint64_t took = rig.ElapsedMs() - start;

    const std::string resetLine = c.extensionUnit ? "21 01 0a00 0600 8 " : "40 20 0000 0000 0 ";
    const std::size_t refused = rig.CountLog(resetLine + "notready");
    EXPECT_GE(refused, 2u);
    if (c.rc == 0) {
      EXPECT_EQ(rig.CountLog(resetLine + (c.extensionUnit ? "ok 0007010000000000" : "ok")), 1u);
      EXPECT_EQ(device.counters().resets, 1u);
      EXPECT_TRUE(record.IsValid());
      EXPECT_NE(record.devInst, oldInst);
      // One try every 300 ms until the device is ready.
      EXPECT_GE(refused * kResetRetryMs + 300, c.notReadyMs - 200);
    } else {
      // Nothing went out: the record still holds the old device.
      EXPECT_EQ(device.counters().resets, 0u);
      EXPECT_TRUE(record.IsValid());
      EXPECT_EQ(record.devInst, oldInst);
      EXPECT_GE(took, c.budgetMs);
      EXPECT_LT(took, c.budgetMs + 1000);
      // One try every 300 ms (the unit's failed tries also log the clearing block).
      if (!c.extensionUnit) {
        EXPECT_EQ(refused, c.budgetMs / kResetRetryMs + 1);
      }
    }
    record.Close();
  }
}

struct ComeBackCase {
  const char* label;
  std::uint32_t extraNotReadyMs;
  int result;
};

const ComeBackCase kComeBack[] = {
    {"answers after 3 s", 3000, 1},
    {"never ready within the budget", 60000, 0},
};

TEST(ResetWithReopen, ReenumeratedDeviceAnsweringNotReadyIsWaitedForWithinTheBudget) {
  for (const ComeBackCase& c : kComeBack) {
    SCOPED_TRACE(c.label);
    DeviceRig rig;
    sim::SimDevice& device = rig.Add("flash-old", nullptr, [&](sim::DeviceConfig& config) {
      config.faults.extraNotReadyMs = c.extraNotReadyMs;
    });
    ASSERT_NE(Lib_OpenDevice(0), 0u);
    DebugCapture trace;
    rig.StartLog();
    const std::uint64_t start = rig.ElapsedMs();
    LibHandle after = 99;
    EXPECT_EQ(Lib_Reset7(&after, 0, 0, 1000), c.result) << trace.All();
    const std::uint64_t took = rig.ElapsedMs() - start;
    const sim::DeviceTiming& timing = device.config().timing;

    EXPECT_GE(rig.CountLog("80 06 0100 0000 18 notready"), 1u);
    if (c.result == 1) {
      EXPECT_GE(took, timing.reenumMs + timing.notReadyMs + c.extraNotReadyMs);
      EXPECT_EQ(Lib_GetHandle(), after);
      std::array<std::uint8_t, 104> status{};
      EXPECT_EQ(Lib_GetDevStatus104(after, status.data(), 0), 1);
    } else {
      // The reopened device never answered: it is closed, not reported reset; the
      // first listed device (the same one, still not ready) cannot be opened either.
      EXPECT_TRUE(trace.Contains("reconnect..."));
      EXPECT_FALSE(trace.Contains("Device reset ok"));
      EXPECT_EQ(after, 0u);
      EXPECT_EQ(Lib_GetCurrentDevice(), nullptr);
      EXPECT_EQ(rig.OpenInterfaces(), 0u);
      // The reopen's budget, then the second open's readiness probe.
      EXPECT_GE(took, kLibResetBudgetMs);
      EXPECT_LT(took, 1000 + kLibResetBudgetMs + kDefaultReadinessBudgetMs + 2000);
    }
  }
}

// ---------------------------------------------------------------- gone

struct GoneCase {
  const char* label;
  std::uint32_t reenumMs;
  std::uint32_t budgetMs;
  bool otherDevice;  // another device of the maker at another port
  std::uint32_t rc;
};

const GoneCase kGone[] = {
    {"never back", 100000, kLibResetBudgetMs, false, platform::kErrorTimeout},
    {"never back, another device elsewhere", 100000, kLibResetBudgetMs, true,
     platform::kErrorTimeout},
    {"back after 40 s without a budget", 40000, 0, true, 0},
};

TEST(ResetWithReopen, DeviceNotBackWithinTheBudgetEndsWithTimeoutAndTheOldRecordClosed) {
  for (const GoneCase& c : kGone) {
    SCOPED_TRACE(c.label);
    DeviceRig rig;
    rig.Add("flash-old", nullptr,
            [&](sim::DeviceConfig& config) { config.timing.reenumMs = c.reenumMs; });
    if (c.otherDevice) rig.Add("eeprom8");
    CamDevRecord record;
    ASSERT_TRUE(OpenOnPort(rig, record, 1)) << "flash-old";
    DebugCapture trace;
    const std::uint64_t start = rig.ElapsedMs();

    EXPECT_EQ(
        ReopenKvCam(&record, 0, kResetToUpdate, 0, 0, 0, false, false, c.budgetMs, nullptr, 1000),
        c.rc)
        << trace.All();
    const std::uint64_t took = rig.ElapsedMs() - start;

    if (c.rc == 0) {
      EXPECT_GE(took, c.reenumMs);
      EXPECT_TRUE(record.IsValid());
      record.Close();
    } else {
      // Settle time and the budget, and not much more.
      EXPECT_GE(took, 1000 + c.budgetMs);
      EXPECT_LT(took, 1000 + c.budgetMs + 1500);
      EXPECT_TRUE(
          trace.Contains("Re-open device timeout, return ERROR_TIMEOUT, Old device closed"));
      EXPECT_FALSE(record.IsValid());
      EXPECT_EQ(record.devInst, 0u);
    }
    // Candidates at the wrong place were looked at and closed again.
    EXPECT_EQ(trace.Contains("Close device that is not match"), c.otherDevice);
    EXPECT_EQ(rig.OpenInterfaces(), 0u);
    EXPECT_EQ(rig.Attached(), 0u);
  }
}

TEST(ResetWithReopen, ApiDropsADeviceThatDoesNotComeBackAndOpensTheFirstListedOne) {
  for (const bool other : {false, true}) {
    SCOPED_TRACE(other ? "another device elsewhere" : "alone");
    DeviceRig rig;
    rig.Add("flash-old", nullptr,
            [](sim::DeviceConfig& config) { config.timing.reenumMs = 100000; });
    if (other) rig.Add("eeprom8");
    // Open flash-old, whichever entry it is.
    LibHandle handle = 0;
    for (std::uint32_t i = 0; i < 2 && handle == 0; ++i) {
      handle = Lib_OpenDevice(i);
      std::uint16_t vid = 0, pid = 0;
      ASSERT_EQ(Lib_GetIds(handle, &vid, &pid, nullptr), 1);
      if (pid != 0x0310) {
        Lib_CloseDevice(handle);
        handle = 0;
      }
    }
    ASSERT_NE(handle, 0u);
    DebugCapture trace;
    const std::uint64_t start = rig.ElapsedMs();
    LibHandle after = 99;

    EXPECT_EQ(Lib_Reset7(&after, 0, 0, 1000), 0);
    EXPECT_LT(rig.ElapsedMs() - start, 1000 + kLibResetBudgetMs + 2000);
    EXPECT_TRUE(trace.Contains("Old device closed"));
    if (other) {
      // List entry 0, now the only device, is the current device.
      EXPECT_NE(after, 0u);
      EXPECT_EQ(Lib_GetHandle(), after);
      std::uint16_t vid = 0, pid = 0;
      ASSERT_EQ(Lib_GetIds(after, &vid, &pid, nullptr), 1);
      EXPECT_EQ(pid, 0x0311);
      EXPECT_EQ(rig.OpenInterfaces(), 1u);
    } else {
      EXPECT_EQ(after, 0u);
      EXPECT_EQ(Lib_GetCurrentDevice(), nullptr);
      EXPECT_EQ(rig.OpenInterfaces(), 0u);
    }
  }
}

// ---------------------------------------------------------------- refused

TEST(ResetWithReopen, RecordWithoutAnOpenDeviceIsRefused) {
  DeviceRig rig;
  rig.Add("flash-old");
  CamDevRecord empty;
  EXPECT_EQ(ReopenKvCam(nullptr, 0, kResetToUpdate, 0, 0, 1, true, false, 100, nullptr, 0),
            platform::kErrorInvalidParameter);
  EXPECT_EQ(ReopenKvCam(&empty, 0, kResetToUpdate, 0, 0, 1, true, false, 100, nullptr, 0),
            platform::kErrorInvalidParameter);
  CamDevRecord closed;
  ASSERT_EQ(rig.Open(closed, kListAudio), 0u);
  closed.Close();
  EXPECT_EQ(ReopenKvCam(&closed, 0, kResetToUpdate, 0, 0, 1, true, false, 100, nullptr, 0),
            platform::kErrorInvalidParameter);
}

struct UndeterminedCase {
  const char* label;
  sim::VendorRequestMode vendorRequests;
  bool extensionUnit;
  bool wrongSignature;
};

const UndeterminedCase kUndetermined[] = {
    {"no transport at all", sim::VendorRequestMode::kOff, false, false},
    {"unit that does not qualify", sim::VendorRequestMode::kOff, true, true},
};

TEST(ResetWithReopen, DeviceAnsweringNeitherTransportIsNotReset) {
  for (const UndeterminedCase& c : kUndetermined) {
    SCOPED_TRACE(c.label);
    DeviceRig rig;
    sim::SimDevice& device = rig.Add("flash-old", nullptr, [&](sim::DeviceConfig& config) {
      config.vendorRequests = c.vendorRequests;
      config.extensionUnit = c.extensionUnit;
      config.faults.wrongSignature = c.wrongSignature;
    });
    CamDevRecord record;
    ASSERT_EQ(rig.Open(record, kListAudio), 0u);
    EXPECT_EQ(ReopenKvCam(&record, 0, kResetToUpdate, 0, 0, 0, false, false, kLibResetBudgetMs,
                          nullptr, 1000),
              kReopenFail);
    EXPECT_EQ(device.counters().resets, 0u);
    EXPECT_TRUE(record.IsValid());
    record.Close();
  }
}

TEST(ResetWithReopen, RefusedResetRequestIsReportedAndTheApiReopensTheFirstListedDevice) {
  DeviceRig rig;
  sim::SimDevice& device = rig.Add("flash-old", nullptr, [](sim::DeviceConfig& config) {
    sim::RequestMatch reset;
    reset.type = 0x40;
    reset.request = 0x20;
    config.faults.stall.push_back(reset);
  });
  // The object-free call: the error as the request gave it, the record untouched.
  {
    CamDevRecord record;
    ASSERT_EQ(rig.Open(record, kListAudio), 0u);
    DebugCapture trace;
    const std::uint32_t rc = ReopenKvCam(&record, 0, kResetToUpdate, 0, 0, 0, false, false,
                                         kLibResetBudgetMs, nullptr, 1000);
    EXPECT_NE(rc, 0u);
    EXPECT_NE(rc, platform::kErrorTimeout);
    EXPECT_TRUE(trace.Contains("Reset device failed " + std::to_string(static_cast<int>(rc))));
    EXPECT_TRUE(record.IsValid());
    record.Close();
  }
  // Through the API: the device is dropped and list entry 0 (the same device, which
  // never left) is opened again.
  const LibHandle before = Lib_OpenDevice(0);
  ASSERT_NE(before, 0u);
  const std::uint32_t oldProxy = Lib_GetCurrentDevice()->Record().hKvProxyDevLow;
  LibHandle after = 0;
  EXPECT_EQ(Lib_Reset7(&after, 0, 0, 1000), 0);
  EXPECT_EQ(after, before);
  EXPECT_EQ(Lib_GetHandle(), before);
  ASSERT_NE(Lib_GetCurrentDevice(), nullptr);
  EXPECT_NE(Lib_GetCurrentDevice()->Record().hKvProxyDevLow, oldProxy);
  EXPECT_EQ(device.counters().resets, 0u);
  EXPECT_EQ(rig.OpenInterfaces(), 1u);
}

}  // namespace
}  // namespace vantor
