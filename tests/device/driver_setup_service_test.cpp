// The driver service's decision table, the driver file's version comparison and the
// set-up and tear-down as an administrator sees them (with a fake service manager), as a
// user without those rights sees them, and as they fail.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "device/device_enum.h"
#include "device/driver_setup.h"
#include "device/proxy_state.h"
#include "platform/named_mutex.h"
#include "platform/service_manager.h"
#include "sim/simulated_platform.h"
#include "support/debug_capture.h"
#include "support/driver_setup_rig.h"
#include "support/fake_service_manager.h"

namespace vantor {
namespace {

namespace P = platform;
namespace fs = std::filesystem;
using Calls = std::vector<std::string>;
using test::DriverSetUpRig;
using test::ReadBytes;
using test::WriteBytes;

TEST(DriverService, EveryRowOfTheDecisionTable) {
  struct Row {
    bool present;
    bool replace;
    bool running;
    bool other;
    Calls actions;
  };
  std::vector<Row> rows;
  for (bool replace : {false, true}) {
    for (bool running : {false, true}) {
      for (bool other : {false, true}) {
        rows.push_back({false, replace, running, other, {"create", "start"}});
      }
    }
  }
  for (bool other : {false, true}) {
    rows.push_back({true, true, false, other, {"delete", "create", "start"}});
    rows.push_back({true, false, false, other, {"start"}});
    rows.push_back({true, false, true, other, {}});
  }
  rows.push_back({true, true, true, false, {"stop", "delete", "create", "start"}});
  rows.push_back({true, true, true, true, {}});

  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << "present " << row.present << " replace " << row.replace
                                    << " running " << row.running << " other " << row.other);
    test::ScopedFakeServiceManager svc;
    svc->present = row.present;
    svc->running = row.running;
    const fs::path driver = svc->installedFile();
    EXPECT_TRUE(InstallDriverService(driver, row.replace, row.other));
    Calls expected = {"query"};
    expected.insert(expected.end(), row.actions.begin(), row.actions.end());
    EXPECT_EQ(svc->calls, expected);
    // Whatever was done, the service is there and runs afterwards.
    EXPECT_TRUE(svc->present);
    EXPECT_TRUE(svc->running);
    if (std::find(row.actions.begin(), row.actions.end(), "create") != row.actions.end()) {
      EXPECT_EQ(svc->created.name, L"KvxUpx");
      EXPECT_EQ(svc->created.displayName, L"KvxUpx Driver");
      EXPECT_EQ(svc->created.binaryPath, driver);
    }
    const DriverServiceActions decided =
        DecideDriverServiceActions(row.present, row.replace, row.running, row.other);
    Calls fromDecision;
    if (decided.stop) fromDecision.push_back("stop");
    if (decided.remove) fromDecision.push_back("delete");
    if (decided.create) fromDecision.push_back("create");
    if (decided.start) fromDecision.push_back("start");
    EXPECT_EQ(fromDecision, row.actions);
  }
}

TEST(DriverService, AFailingActionFailsAndEndsTheInstall) {
  const Calls all = {"stop", "delete", "create", "start"};
  for (std::size_t failing = 0; failing < all.size(); ++failing) {
    SCOPED_TRACE(all[failing]);
    test::ScopedFakeServiceManager svc;
    svc->present = true;
    svc->running = true;
    svc->failing.insert(all[failing]);
    EXPECT_FALSE(InstallDriverService(svc->installedFile(), true, false));
    Calls expected = {"query"};
    expected.insert(expected.end(), all.begin(), all.begin() + static_cast<long>(failing) + 1);
    EXPECT_EQ(svc->calls, expected);
  }
}

TEST(DriverService, RunningUnlessItsStatusReadsStopped) {
  // A service that opens with another error, or whose status cannot be read, counts as
  // present and running: without replacing there is nothing to do, not even a start.
  for (int variant = 0; variant < 2; ++variant) {
    test::ScopedFakeServiceManager svc;
    svc->present = true;
    svc->running = false;
    if (variant == 0) svc->serviceOpenError = P::kErrorAccessDenied;
    if (variant == 1) svc->statusReadable = false;
    EXPECT_TRUE(InstallDriverService(svc->installedFile(), false, false));
    EXPECT_EQ(svc->calls, Calls{"query"});
  }
  // Without the service control manager nothing is tried.
  test::ScopedFakeServiceManager svc;
  svc->managerError = P::kErrorAccessDenied;
  EXPECT_FALSE(InstallDriverService(svc->installedFile(), true, false));
  EXPECT_TRUE(svc->calls.empty());
}

TEST(DriverService, RemoveStopsAndDeletesOnceStopped) {
  test::ScopedFakeServiceManager svc;
  svc->present = true;
  svc->running = true;
  RemoveDriverService();
  EXPECT_EQ(svc->calls, (Calls{"stop", "delete"}));
  EXPECT_FALSE(svc->present);
  // A stop that does not leave it stopped keeps it.
  svc->calls.clear();
  svc->present = true;
  svc->running = true;
  svc->failing.insert("stop");
  RemoveDriverService();
  EXPECT_EQ(svc->calls, Calls{"stop"});
  EXPECT_TRUE(svc->present);
}

TEST(DriverFile, VersionsAreComparedAsNumbersMostSignificantFirst) {
  struct Case {
    P::FileVersion installed;
    P::FileVersion candidate;
    bool lower;
  };
  const Case cases[] = {
      {{1, 2, 3, 4}, {1, 2, 3, 4}, false},
      {{1, 2, 3, 4}, {1, 2, 3, 5}, true},
      {{1, 2, 3, 4}, {1, 2, 4, 0}, true},
      {{1, 2, 3, 4}, {1, 3, 0, 0}, true},
      {{1, 2, 3, 4}, {2, 0, 0, 0}, true},
      {{3, 4, 5, 6}, {1, 2, 0, 0}, false},
      // A newer installed driver stays, whatever its lower components say.
      {{2, 0, 0, 0}, {1, 5, 0, 0}, false},
      {{1, 5, 0, 9}, {1, 4, 9, 0}, false},
      {{1, 2, 9, 0}, {1, 2, 3, 7}, false},
      // Components are numbers, not digits: 10 is above 9.
      {{1, 10, 0, 0}, {1, 9, 0, 0}, false},
      {{1, 9, 0, 0}, {1, 10, 0, 0}, true},
      {{1, 2, 3, 0xFFFF}, {1, 2, 4, 0}, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DriverVersionIsLower(c.installed, c.candidate), c.lower)
        << c.installed.major << "." << c.installed.minor << "." << c.installed.build << "."
        << c.installed.revision << " / " << c.candidate.major << "." << c.candidate.minor << "."
        << c.candidate.build << "." << c.candidate.revision;
  }
}

TEST(DriverSetUpMachine, Wow64AndNativeMachine) {
  struct Case {
    P::QueryOutcome outcome;
    std::uint16_t processMachine;
    std::uint16_t nativeMachine;
    bool wow64QueryOk;
    bool wow64;
    std::uint16_t architecture;
    ProcessMachine expected;
  };
  using Q = P::QueryOutcome;
  const Case cases[] = {
      {Q::kOk,
       P::kImageFileMachineI386,
       P::kImageFileMachineAmd64,
       true,
       false,
       0,
       {true, kNativeMachineX64}},
      {Q::kOk,
       P::kImageFileMachineI386,
       P::kImageFileMachineArm64,
       true,
       false,
       0,
       {true, kNativeMachineArm64}},
      {Q::kOk,
       P::kImageFileMachineUnknown,
       P::kImageFileMachineI386,
       true,
       true,
       9,
       {false, kNativeMachineX86}},
      {Q::kOk, P::kImageFileMachineI386, 0x01C4, true, false, 0, {true, kNativeMachineUnknown}},
      // A failed query counts as no Wow64.
      {Q::kFailed,
       P::kImageFileMachineI386,
       P::kImageFileMachineAmd64,
       true,
       true,
       9,
       {false, kNativeMachineUnknown}},
      // Without IsWow64Process2: IsWow64Process and the native processor architecture.
      {Q::kUnavailable,
       0,
       0,
       true,
       true,
       P::kProcessorArchitectureAmd64,
       {true, kNativeMachineX64}},
      {Q::kUnavailable,
       0,
       0,
       false,
       true,
       P::kProcessorArchitectureArm64,
       {false, kNativeMachineArm64}},
      {Q::kUnavailable,
       0,
       0,
       true,
       false,
       P::kProcessorArchitectureIntel,
       {false, kNativeMachineX86}},
      {Q::kUnavailable, 0, 0, true, false, 6, {false, kNativeMachineUnknown}},
  };
  for (const Case& c : cases) {
    test::FakeServiceManager fake;
    fake.machinesOutcome = c.outcome;
    fake.processMachine = c.processMachine;
    fake.nativeMachine = c.nativeMachine;
    fake.wow64QueryOk = c.wow64QueryOk;
    fake.wow64 = c.wow64;
    fake.processorArchitecture = c.architecture;
    const ProcessMachine got = QueryProcessMachine(fake);
    EXPECT_EQ(got.wow64, c.expected.wow64) << &c - cases;
    EXPECT_EQ(got.nativeMachine, c.expected.nativeMachine) << &c - cases;
  }
}

TEST(DriverSetUp, FreshSystemInstallsAndTheLastInstanceRemoves) {
  DriverSetUpRig rig;
  rig.sim.AddDevice("flash-old");
  ASSERT_TRUE(ProxyDriverSetUp());
  EXPECT_EQ(rig.svc->calls, (Calls{"query", "create", "start"}));
  EXPECT_EQ(rig.svc->created.binaryPath, rig.svc->installedFile());
  EXPECT_EQ(ReadBytes(rig.svc->installedFile()), rig.image);
  EXPECT_EQ(rig.imageAsks, std::vector<std::uint32_t>{kNativeMachineX64});
  EXPECT_EQ(NativeMachine(), kNativeMachineX64);
  // Only the flag file is left in the temporary directory.
  EXPECT_EQ(rig.TempFiles(), std::vector<fs::path>{rig.flagFile()});
  EXPECT_TRUE(IsProxyDeviceOpen());
  EXPECT_NE(CmdLockHandle(), nullptr);
  EXPECT_TRUE(HoldsInstanceFlag());
  EXPECT_EQ(rig.svc->socketsStarted, 1);
  EXPECT_EQ(rig.svc->redirectionOff, 0);  // not under Wow64

  // Device access works.
  CamDevRecord record;
  ASSERT_EQ(KvCam_OpenDevice(&record, 0, kListAudio), 0u);
  record.Close();

  // Set up already: nothing more is done.
  EXPECT_TRUE(ProxyDriverSetUp());
  EXPECT_EQ(rig.svc->calls.size(), 3u);
  EXPECT_EQ(rig.svc->socketsStarted, 1);

  rig.svc->calls.clear();
  EXPECT_EQ(ProxyDriverTearDown(), 1u);
  EXPECT_EQ(rig.svc->calls, (Calls{"stop", "delete"}));
  EXPECT_FALSE(rig.svc->present);
  EXPECT_TRUE(fs::exists(rig.svc->installedFile()));  // the driver file stays
  EXPECT_FALSE(fs::exists(rig.flagFile()));
  EXPECT_FALSE(IsProxyDeviceOpen());
  EXPECT_EQ(CmdLockHandle(), nullptr);
  EXPECT_FALSE(HoldsInstanceFlag());
  EXPECT_EQ(rig.svc->socketsStopped, 1);
  // Taken down already.
  EXPECT_EQ(ProxyDriverTearDown(), 1u);
  EXPECT_EQ(rig.svc->calls.size(), 2u);
  EXPECT_EQ(rig.svc->socketsStopped, 1);
}

TEST(DriverSetUp, InstalledDriverIsReplacedByTheVersionRule) {
  const std::vector<std::uint8_t> garbage = {'M', 'Z', 0x90, 0};
  struct Case {
    const char* label;
    bool installed;
    std::vector<std::uint8_t> bytes;
    bool replaced;
  };
  const Case cases[] = {
      {"same", true, test::DriverImageBytes({1, 2, 0, 0}), false},
      {"newer in every component", true, test::DriverImageBytes({3, 4, 5, 6}), false},
      {"newer revision", true, test::DriverImageBytes({1, 2, 0, 1}), false},
      {"lower minor", true, test::DriverImageBytes({1, 1, 9, 9}), true},
      // 3.0.0.0 is newer than the carried 1.2.0.0: the newer driver stays.
      {"higher major, lower minor", true, test::DriverImageBytes({3, 0, 0, 0}), false},
      {"lower major, higher minor", true, test::DriverImageBytes({0, 9, 9, 9}), true},
      {"no version", true, garbage, true},
      {"missing", false, {}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    DriverSetUpRig rig({1, 2, 0, 0});
    rig.svc->present = true;
    rig.svc->running = true;
    if (c.installed) WriteBytes(rig.svc->installedFile(), c.bytes);
    ASSERT_TRUE(ProxyDriverSetUp());
    EXPECT_EQ(ReadBytes(rig.svc->installedFile()), c.replaced ? rig.image : c.bytes);
    const Calls expected =
        c.replaced ? Calls{"query", "stop", "delete", "create", "start"} : Calls{"query"};
    EXPECT_EQ(rig.svc->calls, expected);
    EXPECT_EQ(rig.TempFiles(), std::vector<fs::path>{rig.flagFile()});
  }
}

TEST(DriverSetUp, WithoutABuiltInImageTheSetUpFails) {
  DriverSetUpRig rig;
  SetDriverImageSource(nullptr);  // the program's own resources: it carries none
  EXPECT_TRUE(DriverImage(kNativeMachineX64).empty());
  test::DebugCapture capture;
  EXPECT_FALSE(ProxyDriverSetUp());
  EXPECT_TRUE(capture.Contains("carries no proxy driver image for machine 2"));
  EXPECT_TRUE(rig.svc->calls.empty());
  EXPECT_FALSE(IsProxyDeviceOpen());
  EXPECT_FALSE(HoldsInstanceFlag());
  EXPECT_FALSE(fs::exists(rig.svc->installedFile()));
  EXPECT_TRUE(rig.TempFiles().empty());
}

TEST(DriverSetUp, ImageOfTheNativeMachineAndRedirectionUnderWow64) {
  struct Case {
    std::uint16_t nativeMachine;
    std::uint32_t asked;
  };
  const Case cases[] = {{P::kImageFileMachineArm64, kNativeMachineArm64},
                        {P::kImageFileMachineAmd64, kNativeMachineX64},
                        {P::kImageFileMachineI386, kNativeMachineX86},
                        {0x01C4, kNativeMachineX86}};
  for (const Case& c : cases) {
    DriverSetUpRig rig;
    rig.svc->machinesOutcome = P::QueryOutcome::kOk;
    rig.svc->processMachine = P::kImageFileMachineI386;
    rig.svc->nativeMachine = c.nativeMachine;
    ASSERT_TRUE(ProxyDriverSetUp());
    EXPECT_EQ(rig.imageAsks, std::vector<std::uint32_t>{c.asked});
    EXPECT_TRUE(IsKernel64());
    EXPECT_EQ(rig.svc->redirectionOff, 1);
    EXPECT_EQ(rig.svc->redirectionOn, 1);
  }
  // Redirection that cannot be turned off ends the set-up before anything is done.
  DriverSetUpRig rig;
  rig.svc->wow64 = true;
  rig.svc->redirectionPossible = false;
  EXPECT_FALSE(ProxyDriverSetUp());
  EXPECT_TRUE(rig.svc->calls.empty());
  EXPECT_TRUE(rig.imageAsks.empty());
  EXPECT_FALSE(IsProxyDeviceOpen());
  EXPECT_EQ(rig.svc->redirectionOn, 0);
}

TEST(DriverSetUp, LocationPathsFromTheSystemVersion) {
  for (std::uint32_t major : {5u, 6u, 10u}) {
    DriverSetUpRig rig;
    rig.svc->majorVersion = major;
    ASSERT_TRUE(ProxyDriverSetUp());
    EXPECT_EQ(LocationPathsInUse(), major >= 6) << major;
  }
  SetLocationPathsInUse(true);
}

TEST(DriverSetUp, SocketsOtherThan22FailTheSetUp) {
  for (std::uint16_t granted : {std::uint16_t{0x0101}, std::uint16_t{0}}) {
    SCOPED_TRACE(granted);
    DriverSetUpRig rig;
    rig.svc->grantedSockets = granted;
    EXPECT_FALSE(ProxyDriverSetUp());
    EXPECT_EQ(rig.svc->socketsStopped, granted != 0 ? 1 : 0);
    EXPECT_FALSE(IsProxyDeviceOpen());
    EXPECT_EQ(CmdLockHandle(), nullptr);
    // The tear-down lets go of the flag file.
    EXPECT_EQ(ProxyDriverTearDown(), 1u);
    EXPECT_FALSE(HoldsInstanceFlag());
    EXPECT_FALSE(fs::exists(rig.flagFile()));
  }
}

TEST(DriverSetUp, WithoutAdministratorRightsTheRunningProxyIsUsed) {
  DriverSetUpRig rig;
  rig.svc->managerError = P::kErrorAccessDenied;
  ASSERT_TRUE(ProxyDriverSetUp());
  EXPECT_TRUE(rig.svc->calls.empty());
  EXPECT_TRUE(rig.imageAsks.empty());
  EXPECT_FALSE(fs::exists(rig.svc->installedFile()));
  EXPECT_TRUE(IsProxyDeviceOpen());
  EXPECT_TRUE(HoldsInstanceFlag());
  EXPECT_NE(CmdLockHandle(), nullptr);
  EXPECT_EQ(ProxyDriverTearDown(), 1u);
  EXPECT_TRUE(rig.svc->calls.empty());
  EXPECT_FALSE(fs::exists(rig.flagFile()));
}

TEST(DriverSetUp, NoProxyToOpen) {
  test::ScopedFakeServiceManager svc;  // no simulated bus: no proxy at all
  svc->managerError = P::kErrorAccessDenied;
  test::DebugCapture capture;
  EXPECT_FALSE(ProxyDriverSetUp());
  EXPECT_TRUE(capture.Contains("cannot open the proxy driver's control device"));
  EXPECT_FALSE(IsProxyDeviceOpen());
  EXPECT_EQ(ProxyDriverTearDown(), 1u);
  EXPECT_FALSE(HoldsInstanceFlag());
}

TEST(DriverSetUp, LinuxBackendOpensTheUserSpaceProxy) {
  sim::SimulatedPlatform sim;
  sim.AddDevice("flash-old");
  P::SetServiceManager(nullptr);
  ASSERT_TRUE(ProxyDriverSetUp());
  EXPECT_TRUE(IsProxyDeviceOpen());
  EXPECT_TRUE(HoldsInstanceFlag());
  EXPECT_NE(CmdLockHandle(), nullptr);
  EXPECT_TRUE(LocationPathsInUse());
  CamDevRecord record;
  EXPECT_EQ(KvCam_OpenDevice(&record, 0, kListAudio), 0u);
  record.Close();
  EXPECT_EQ(ProxyDriverTearDown(), 1u);
  EXPECT_FALSE(IsProxyDeviceOpen());
  EXPECT_FALSE(HoldsInstanceFlag());
}

}  // namespace
}  // namespace vantor
