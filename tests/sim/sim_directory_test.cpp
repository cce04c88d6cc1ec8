// Simulated-device directories: persistence across processes, the program's entry
// point, bad input, and the vantorfw-sim command line.
#include "sim/sim_directory.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/text.h"
#include "sim/sim_tool.h"
#include "sim/simulated_platform.h"
#include "test_host.h"

namespace vantor::sim {
namespace {

namespace fs = std::filesystem;
using test::TestHost;

class Directory : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("vantor-sim-" + std::to_string(::getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
  }
  void TearDown() override { fs::remove_all(dir); }
  int Tool(std::vector<std::string> args, std::string* out = nullptr, std::string* err = nullptr) {
    std::ostringstream o;
    std::ostringstream e;
    int rc = RunSimTool(args, o, e);
    if (out) *out = o.str();
    if (err) *err = e.str();
    return rc;
  }
  std::string ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  void WriteFile(const fs::path& p, const std::string& text) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << text;
  }

  fs::path dir;
};

TEST_F(Directory, InitCreatesEveryProfile) {
  std::vector<std::string> args = {"init", dir.string()};
  for (const std::string& p : ProfileNames()) args.push_back(p);
  ASSERT_EQ(Tool(args), 0);
  std::string error;
  auto sim = SimulatedPlatform::FromDirectory(dir, {}, error);
  ASSERT_TRUE(sim) << error;
  std::vector<SimDevice*> devices = sim->bus().Devices();
  ASSERT_EQ(devices.size(), ProfileNames().size());
  for (SimDevice* d : devices) {
    SCOPED_TRACE(d->config().name);
    EXPECT_EQ(d->config().profile, d->config().name);
    fs::path memory = MemoryFilePath(dir, d->config());
    if (!memory.empty()) {
      EXPECT_EQ(fs::file_size(memory), d->memorySize());
    }
  }
  // Every device is reachable by its descriptors through the proxy.
  for (const wchar_t* pid : {L"PID_0310", L"PID_0330", L"PID_1010", L"PID_0311", L"PID_0312",
                             L"PID_0340", L"PID_0510", L"PID_0A66"}) {
    TestHost host;
    ASSERT_TRUE(host.Open(platform::kGuidDevInterfaceUsbDevice, pid)) << platform::ToUtf8(pid);
    EXPECT_TRUE(host.Descriptor(1, 0, 0, 18).good());
  }
  // A second init does not overwrite.
  std::string err;
  EXPECT_EQ(Tool({"init", dir.string()}, nullptr, &err), 1);
  EXPECT_NE(err.find("exists already"), std::string::npos);
}

TEST_F(Directory, WritesSurviveAKilledProcessAndStateIsKept) {
  ASSERT_EQ(Tool({"init", dir.string()}), 0);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::string error;
    auto sim = SimulatedPlatform::FromDirectory(dir, {}, error);
    TestHost host;
    if (!sim || !host.Open(platform::kGuidDevInterfaceUsbDevice, L"PID_0310")) ::_exit(3);
    // A code byte, the configuration area's header and the tag: an image the chip runs.
    if (!host.VendorOut(0x2F, 0, 0x0000, {0x02}).good() ||
        !host.VendorOut(0x2F, 0, 0xAE00, {0x55, 0xA5}).good() ||
        !host.VendorOut(0x2F, 0, 0xEFFE, {0x55, 0xAA}).good()) {
      ::_exit(4);
    }
    ::kill(::getpid(), SIGKILL);  // no clean-up at all
    ::_exit(5);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status)) << "child exit " << WEXITSTATUS(status);
  std::string flash = ReadFile(dir / "flash-old.spi.bin");
  EXPECT_EQ(static_cast<unsigned char>(flash[0xEFFE]), 0x55);
  EXPECT_EQ(static_cast<unsigned char>(flash[0xEFFF]), 0xAA);

  // A process that resets the device into its (now valid) firmware leaves it running
  // there; the next process finds it so without a reset, and the counters are saved.
  {
    std::string error;
    auto sim = SimulatedPlatform::FromDirectory(dir, {}, error);
    ASSERT_TRUE(sim) << error;
    TestHost host;
    ASSERT_TRUE(host.Open(platform::kGuidDevInterfaceUsbDevice, L"PID_0310"));
    ASSERT_TRUE(host.VendorOut(0x22, 0, 0, {}).good());
  }
  std::string stats = ReadFile(dir / "stats.ini");
  EXPECT_NE(stats.find("vendor_transfers = 1"), std::string::npos) << stats;
  EXPECT_NE(stats.find("resets = 1"), std::string::npos);
  std::string error;
  auto sim = SimulatedPlatform::FromDirectory(dir, {}, error);
  ASSERT_TRUE(sim);
  EXPECT_EQ(sim->bus().FindDevice("flash-old")->state().run, RunState::kFirmware);
}

// The kill fault ends the program as if it were killed; the device goes on (its reset
// finishes) and the next run finds the directory as the device left it.
TEST_F(Directory, KillFaultEndsTheProgramAndTheNextRunGoesOn) {
  ASSERT_EQ(Tool({"init", dir.string()}), 0);
  std::string ini = ReadFile(dir / "devices.ini");
  WriteFile(dir / "devices.ini", ini + "fault_kill_after = 3\n");
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (!InstallSimulatedPlatform(dir).empty()) ::_exit(3);
    TestHost host;
    if (!host.Open(platform::kGuidDevInterfaceUsbDevice, L"PID_0310")) ::_exit(4);
    // Three transfers: a valid tagged image (byte 0, area header, tag) ...
    host.VendorOut(0x2F, 0, 0x0000, {0x02});
    host.VendorOut(0x2F, 0, 0xAE00, {0x55, 0xA5});
    host.VendorOut(0x2F, 0, 0xEFFE, {0x55, 0xAA});
    // ... then the reset that the fourth would be: the program ends before it.
    host.VendorOut(0x22, 0, 0, {});
    ::_exit(5);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), kKilledExitCode);
  EXPECT_FALSE(fs::exists(dir / "stats.ini")) << "a killed run writes no counters";
  std::string flash = ReadFile(dir / "flash-old.spi.bin");
  EXPECT_EQ(static_cast<unsigned char>(flash[0xEFFF]), 0xAA) << "the third transfer completed";

  // Another child resets the device and is killed while the device re-enumerates: the
  // next run finds it running the image.
  WriteFile(dir / "devices.ini", ini + "fault_kill_after = 2\n");
  child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (!InstallSimulatedPlatform(dir).empty()) ::_exit(3);
    TestHost host;
    if (!host.Open(platform::kGuidDevInterfaceUsbDevice, L"PID_0310")) ::_exit(4);
    host.Descriptor(1, 0, 0, 18);
    host.VendorOut(0x22, 0, 0, {});
    host.Descriptor(1, 0, 0, 18);
    ::_exit(5);
  }
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), kKilledExitCode);
  WriteFile(dir / "devices.ini", ini);
  std::string error;
  auto sim = SimulatedPlatform::FromDirectory(dir, {}, error);
  ASSERT_TRUE(sim) << error;
  EXPECT_EQ(sim->bus().FindDevice("flash-old")->state().run, RunState::kFirmware);
  TestHost host;
  ASSERT_TRUE(host.Open(platform::kGuidDevInterfaceUsbDevice, L"PID_0310"));
  EXPECT_TRUE(host.Descriptor(1, 0, 0, 18).good());
}

TEST_F(Directory, ProgramEntryPointAndBadInput) {
  std::string error = InstallSimulatedPlatform(dir);
  EXPECT_NE(error.find("no such simulated-device directory"), std::string::npos) << error;
  EXPECT_EQ(InstalledSimulatedPlatform(), nullptr);
  EXPECT_EQ(platform::OpenProxyControlDevice(), nullptr);

  fs::create_directories(dir);
  EXPECT_NE(InstallSimulatedPlatform(dir).find("devices.ini"), std::string::npos);
  struct Case {
    const char* text;
    const char* reason;
  } cases[] = {
      {"key = 1\n", "outside any"},           {"[a]\nprofile = toaster\n", "unknown profile"},
      {"[a]\ncolour = red\n", "unknown key"}, {"[a]\nvid = 0x1FFFF\n", "not a valid value"},
      {"[a]\n[A]\n", "described twice"},      {"[a]\x01\n", "not text"},
  };
  for (const Case& c : cases) {
    WriteFile(dir / "devices.ini", c.text);
    error = InstallSimulatedPlatform(dir);
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.text << " -> " << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << "one line";
  }
  // A memory file of the wrong size.
  WriteFile(dir / "devices.ini", "[dev]\nprofile = eeprom8\n");
  WriteFile(dir / "dev.eeprom.bin", "short");
  error = InstallSimulatedPlatform(dir);
  EXPECT_NE(error.find("wrong size"), std::string::npos) << error;
  std::string err;
  EXPECT_EQ(Tool({"show", dir.string()}, nullptr, &err), 1);
  EXPECT_NE(err.find("wrong size"), std::string::npos);

  // An empty devices.ini is a bus without devices.
  WriteFile(dir / "devices.ini", "; nothing attached\n");
  ASSERT_EQ(InstallSimulatedPlatform(dir), "");
  ASSERT_NE(InstalledSimulatedPlatform(), nullptr);
  EXPECT_NE(platform::OpenProxyControlDevice(), nullptr);
  std::vector<platform::DevInst> media;
  platform::GetDeviceInventory()->ListClassDevices(platform::kGuidClassMedia, L"USB", media);
  EXPECT_TRUE(media.empty());
  UninstallSimulatedPlatform();
  EXPECT_EQ(InstalledSimulatedPlatform(), nullptr);
  EXPECT_EQ(platform::OpenProxyControlDevice(), nullptr);
  EXPECT_TRUE(fs::exists(dir / "stats.ini"));
}

TEST_F(Directory, ShowDumpAndLoad) {
  ASSERT_EQ(Tool({"init", dir.string(), "flash-old", "otp"}), 0);
  std::vector<char> image(0x10000, static_cast<char>(0xFF));
  const unsigned char version[8] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0};
  std::memcpy(&image[0x100C], version, 8);
  image[0] = 0x02;  // code, the configuration area's header and the tag
  image[0xAE00] = 0x55;
  image[0xAE01] = static_cast<char>(0xA5);
  image[0xEFFE] = 0x55;
  image[0xEFFF] = static_cast<char>(0xAA);
  WriteFile(dir / "image.bin", std::string(image.begin(), image.end()));
  std::string out;
  ASSERT_EQ(Tool({"load", dir.string(), "flash-old", "spi", (dir / "image.bin").string()}, &out),
            0);
  EXPECT_NE(out.find("running firmware, version 1.234.5678-9ABC.DEF0"), std::string::npos) << out;
  ASSERT_EQ(Tool({"show", dir.string()}, &out), 0);
  EXPECT_NE(out.find("flash-old: VID_3A4B&PID_0310&REV_0100"), std::string::npos) << out;
  EXPECT_NE(out.find("version 1.234.5678-9ABC.DEF0"), std::string::npos);
  EXPECT_NE(out.find("otp: VID_3A4B&PID_0340"), std::string::npos);
  ASSERT_EQ(Tool({"dump", dir.string(), "flash-old", "spi", (dir / "out.bin").string()}), 0);
  std::string dumped = ReadFile(dir / "out.bin");
  ASSERT_EQ(dumped.size(), 0x40000u);
  EXPECT_EQ(dumped.substr(0, 0x10000), std::string(image.begin(), image.end()));
  EXPECT_EQ(dumped.substr(0x10000), std::string(0x30000, static_cast<char>(0xFF)));
  // Errors: one line each, non-zero exit.
  std::string err;
  EXPECT_EQ(Tool({"dump", dir.string(), "flash-old", "otp", "x"}, nullptr, &err), 1);
  EXPECT_NE(err.find("has no memory \"otp\""), std::string::npos);
  EXPECT_EQ(Tool({"dump", dir.string(), "nobody", "spi", "x"}, nullptr, &err), 1);
  EXPECT_EQ(Tool({"load", dir.string(), "otp", "otp", (dir / "out.bin").string()}, nullptr, &err),
            1);
  EXPECT_NE(err.find("do not fit"), std::string::npos);
  EXPECT_EQ(Tool({"init", (dir / "x").string(), "toaster"}, nullptr, &err), 1);
  EXPECT_EQ(Tool({"frobnicate"}, nullptr, &err), 2);
  EXPECT_EQ(Tool({}, nullptr, &err), 2);
}

}  // namespace
}  // namespace vantor::sim

namespace vantor::sim {
namespace {

TEST(DevicesIni, KeysOverrideTheProfile) {
  CIniFile ini;
  ASSERT_TRUE(ini.LoadText(
      std::string_view("[cam]\nprofile = camera\npid = 0x0511\nfault_stall = C0 07 3*2, cmd 02 82\n"
                       "otp_weak = 0x10:0x0F, 0x20\nhub = usb2\nvia_hub = 4\ntime_reenum_ms = 900\n"
                       "fault_busy = 1\nvendor_requests = legacy\n")));
  DeviceConfig c;
  std::string error;
  ASSERT_TRUE(LoadDeviceConfig(ini, 0, c, error)) << error;
  EXPECT_EQ(c.name, "cam");
  EXPECT_EQ(c.function, FunctionKind::kCamera);
  EXPECT_EQ(c.pid, 0x0511);
  EXPECT_EQ(c.unitId, 3);  // from the profile
  ASSERT_EQ(c.faults.stall.size(), 2u);
  EXPECT_FALSE(c.faults.stall[0].command);
  EXPECT_EQ(c.faults.stall[0].type, 0xC0);
  EXPECT_EQ(c.faults.stall[0].request, 0x07);
  EXPECT_EQ(c.faults.stall[0].value.value_or(0), 3);
  EXPECT_EQ(c.faults.stall[0].count, 2u);
  EXPECT_TRUE(c.faults.stall[1].command);
  EXPECT_EQ(c.faults.stall[1].request, 0x82);
  ASSERT_EQ(c.otpWeak.size(), 2u);
  EXPECT_EQ(c.otpWeak[0].mask, 0x0F);
  EXPECT_EQ(c.otpWeak[1].mask, 0xFF);
  EXPECT_EQ(c.hub, RootHubKind::kUsb2);
  EXPECT_EQ(c.viaHub, 4u);
  EXPECT_EQ(c.timing.reenumMs, 900u);
  EXPECT_TRUE(c.faults.stayBusy);
  EXPECT_EQ(c.vendorRequests, VendorRequestMode::kLegacy);
  CIniFile bad;
  bad.LoadText(std::string_view("[x]\nfault_stall = C0\n"));
  EXPECT_FALSE(LoadDeviceConfig(bad, 0, c, error));
}

TEST(DevicesIni, FlashFaultKeys) {
  CIniFile ini;
  ASSERT_TRUE(ini.LoadText(
      std::string_view("[f]\nfault_stall = 40 2F @0xEFFE, 40 31 +1 *1, cmd 02 82 @0x21000 *2\n"
                       "fault_program_stuck = 0x20:0x0F, 0x3FFFF\nfault_erase_stuck = 0x30:0x81\n"
                       "fault_status_stuck = 1\nfault_kill_after = 120\nfault_reset_lost = 2\n"
                       "fault_boot_rom = 1\n")));
  DeviceConfig c;
  std::string error;
  ASSERT_TRUE(LoadDeviceConfig(ini, 0, c, error)) << error;
  const DeviceFaults& f = c.faults;
  ASSERT_EQ(f.stall.size(), 3u);
  EXPECT_EQ(f.stall[0].address.value_or(0), 0xEFFEu);
  EXPECT_FALSE(f.stall[0].value.has_value());
  EXPECT_EQ(f.stall[0].skip, 0u);
  EXPECT_EQ(f.stall[1].request, 0x31);
  EXPECT_FALSE(f.stall[1].address.has_value());
  EXPECT_EQ(f.stall[1].skip, 1u);
  EXPECT_EQ(f.stall[1].count, 1u);
  EXPECT_TRUE(f.stall[2].command);
  EXPECT_EQ(f.stall[2].address.value_or(0), 0x21000u);
  EXPECT_EQ(f.stall[2].count, 2u);
  ASSERT_EQ(f.programStuck.size(), 2u);
  EXPECT_EQ(f.programStuck[0].address, 0x20u);
  EXPECT_EQ(f.programStuck[0].mask, 0x0F);
  EXPECT_EQ(f.programStuck[1].address, 0x3FFFFu);
  EXPECT_EQ(f.programStuck[1].mask, 0xFF);
  ASSERT_EQ(f.eraseStuck.size(), 1u);
  EXPECT_EQ(f.eraseStuck[0].mask, 0x81);
  EXPECT_TRUE(f.statusStuck);
  EXPECT_EQ(f.killAfter, 120u);
  EXPECT_EQ(f.resetLost, 2u);
  EXPECT_TRUE(f.bootRom);
  for (const char* text : {"[x]\nfault_stall = 40 2F @\n", "[x]\nfault_stall = 40 2F +x\n",
                           "[x]\nfault_program_stuck = 0x100000\n",
                           "[x]\nfault_erase_stuck = 0x10:0\n", "[x]\nfault_kill_after = -1\n"}) {
    SCOPED_TRACE(text);
    CIniFile bad;
    bad.LoadText(std::string_view(text));
    EXPECT_FALSE(LoadDeviceConfig(bad, 0, c, error));
  }
}

}  // namespace
}  // namespace vantor::sim
