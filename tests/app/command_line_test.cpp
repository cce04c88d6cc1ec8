// The command-line mode run as a production line runs it: the built tool, copied into a
// program directory of its own (Result.txt is written beside the program), against a
// directory of simulated devices (VANTOR_SIM), with its settings from VANTOR_SETTINGS and
// its current directory (burn_result.txt) a third scratch directory. Every run has a
// time-out, so a hang fails instead of blocking.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "app/usage.h"
#include "child_process.h"
#include "config/builtin_images.h"
#include "device/device_api.h"
#include "platform/resources.h"
#include "platform/text.h"
#include "sim/sim_tool.h"

namespace vantor {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::ScratchDir;
using test::WriteFileBytes;

constexpr int kRunTimeoutMs = 20000;

struct ToolRun {
  int exitCode = -1;
  std::string out;
  std::string err;
  std::string resultTxt;  // Result.txt beside the program; "<none>" when there is none
  std::string burnLog;    // burn_result.txt in the current directory; "<none>" likewise
};

std::string ReadOrNone(const fs::path& file) {
  if (fs::is_directory(file)) return "<directory>";
  if (fs::exists(file) && !fs::is_regular_file(file)) return "<not a file>";
  return fs::exists(file) ? ReadFileBytes(file) : std::string("<none>");
}

std::vector<std::uint8_t> BuiltInImage(std::string_view name) {
  auto bytes = platform::FindResource(kBuiltInImageType, FindBuiltInImageId(name));
  return {bytes.begin(), bytes.end()};
}

// The version text the device shows once it runs an image: its version record, formatted
// as the device prints it.
std::string VersionTextOf(const std::vector<std::uint8_t>& image) {
  std::wstring text;
  if (Lib_FormatVersion(image.data(), static_cast<std::uint32_t>(image.size()), &text, nullptr) ==
      0) {
    return "<no version>";
  }
  return platform::ToUtf8(text);
}

class CommandLineTest : public ::testing::Test {
 protected:
  void SetUp() override { fs::copy_file(VANTORFW_EXE, exe_); }

  // A bus with these profiles (none: nothing attached).
  void InitSim(const std::vector<std::string>& profiles) {
    std::vector<std::string> args = {"init", simDir_.string()};
    args.insert(args.end(), profiles.begin(), profiles.end());
    SimTool(args);
    if (profiles.empty()) WriteFileBytes(simDir_ / "devices.ini", "; nothing attached\n");
  }
  // The bus described by this devices.ini text.
  void WriteSim(const std::string& devicesIni) {
    fs::create_directories(simDir_);
    WriteFileBytes(simDir_ / "devices.ini", devicesIni);
  }
  void SimTool(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    ASSERT_EQ(sim::RunSimTool(args, out, err), 0) << err.str();
  }
  // Fills a device's memory from the start with the bytes (power-cycling it).
  void LoadMemory(const std::string& device, const std::string& memory,
                  const std::vector<std::uint8_t>& bytes) {
    const fs::path file = io_ / ("load_" + device + ".bin");
    WriteFileBytes(file, std::string(bytes.begin(), bytes.end()));
    SimTool({"load", simDir_.string(), device, memory, file.string()});
  }
  void UseSettings(const std::string& text) {
    settingsText_ = text;
    WriteFileBytes(settings_, text);
  }

  ToolRun RunTool(const std::vector<std::string>& args, bool removeResultFiles = true) {
    // Result.txt and burn_result.txt of an earlier run must not be mistaken for this one's.
    if (removeResultFiles) {
      fs::remove(dir_ / "Result.txt");
      fs::remove(io_ / "burn_result.txt");
    }
    test::ChildOptions options;
    options.args = args;
    options.env = {"VANTOR_SIM=" + simDir_.string()};
    if (!settingsPath_.empty()) {
      options.env.push_back("VANTOR_SETTINGS=" + settingsPath_.string());
    } else if (!settingsText_.empty()) {
      options.env.push_back("VANTOR_SETTINGS=" + settings_.string());
    }
    if (traceOn_) options.env.push_back("VANTOR_TRACE=1");
    options.workingDir = io_.path();
    options.stdoutFile = io_ / "out.txt";
    options.stderrFile = io_ / "err.txt";
    ToolRun run;
    run.exitCode = test::WaitChildFor(test::StartChild(exe_, options), kRunTimeoutMs);
    EXPECT_NE(run.exitCode, test::kChildTimedOut) << "the tool hung";
    run.out = ReadFileBytes(io_ / "out.txt");
    run.err = ReadFileBytes(io_ / "err.txt");
    run.resultTxt = ReadOrNone(dir_ / "Result.txt");
    run.burnLog = ReadOrNone(io_ / "burn_result.txt");
    return run;
  }

  ScratchDir dir_{"cl_prog"};  // the program directory
  ScratchDir io_{"cl_io"};     // the current directory
  fs::path exe_ = dir_ / "vantorfw";
  fs::path simDir_ = io_ / "bus";
  fs::path settings_ = io_ / "settings.ini";
  std::string settingsText_;
  fs::path settingsPath_;  // VANTOR_SETTINGS names this path instead of settings_
  bool traceOn_ = false;   // the trace lines on standard error
};

// Settings that open the device by index (no ID list), so any profile is taken.
constexpr char kByIndex[] = "[Vantor Config]\nCheckVIDPID_INI=0\nSaveResultToFile=1\n";

std::string VersionOutput(const std::string& version) {
  return "\nBegin to Get FW Ver!\r\nCurrent FW Version: " + version + "!\r\n";
}

TEST_F(CommandLineTest, DemoCommandPrintsTheVersionWithTheBuiltInSettings) {
  InitSim({"flash-old"});
  ToolRun run = RunTool({"-f", "-version"});
  EXPECT_EQ(run.out, VersionOutput("0x01-0001-0001"));
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.resultTxt, "<none>") << "SaveResultToFile is 0 by default";
  EXPECT_EQ(run.burnLog, "<none>") << "LogType is 0 by default";
}

TEST_F(CommandLineTest, VersionOfEachFamilyAndFormat) {
  std::vector<std::uint8_t> image310 = BuiltInImage("FFU_310");
  const std::vector<std::uint8_t> image330 = BuiltInImage("FFU_330");
  // An old-family chip runs its flash only with the tag the flash flow writes.
  ASSERT_GT(image310.size(), 0xEFFFu);
  image310[0xEFFE] = 0x55;
  image310[0xEFFF] = 0xAA;
  ASSERT_GE(image310.size(), 0x10000u);
  ASSERT_GE(image330.size(), 0x10000u);
  struct Case {
    const char* what;
    const char* profile;
    const std::vector<std::uint8_t>* flash;  // firmware loaded into the flash, or none
    std::string version;
  } cases[] = {
      // ROM code: the plain format of the ROM's version bytes.
      {"old family in ROM", "flash-old", nullptr, "0x01-0001-0001"},
      {"new family in ROM", "flash-new", nullptr, "0x01-0001-0001"},
      {"OTP chip in ROM", "otp", nullptr, "0x01-0001-4001"},
      // Firmware: the dotted format from the status (old family, no mode register) or
      // from the status pages (new family running ROM&&SPI).
      {"old family running firmware", "flash-old", &image310, VersionTextOf(image310)},
      {"new family running firmware", "flash-new", &image330, VersionTextOf(image330)},
  };
  UseSettings(kByIndex);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(simDir_);
    InitSim({c.profile});
    if (c.flash != nullptr) LoadMemory(c.profile, "spi", *c.flash);
    ToolRun run = RunTool({"-f", "-version", "x"});
    EXPECT_EQ(run.out, VersionOutput(c.version)) << run.err;
    // "-version" has no pass: its result is 0, so the result file says "fail", while the
    // exit code follows the last result code, which the information read cleared.
    EXPECT_EQ(run.resultTxt, "fail");
    EXPECT_EQ(run.exitCode, 0);
  }
}

TEST_F(CommandLineTest, CameraIsNotOpenedByTheAudioDeviceOpen) {
  // The command line opens entries of the audio device list that qualify through their
  // extension unit; the camera's extension unit sits on its video function, so its
  // microphone does not qualify and the open by index fails.
  InitSim({"camera"});
  UseSettings(kByIndex);
  ToolRun run = RunTool({"-f", "-version", "x"});
  EXPECT_EQ(run.out, "\nGet IC Info Fail\n") << run.err;
  EXPECT_EQ(run.resultTxt, "fail");
  EXPECT_EQ(run.exitCode, 1) << "41511 is the last result";
}

// A 16 KiB OTP memory whose block table holds these entries (start, length, flag).
struct OtpEntry {
  std::uint16_t start, length;
  std::uint8_t flag;
};
std::vector<std::uint8_t> OtpWithBlocks(const std::vector<OtpEntry>& entries) {
  std::vector<std::uint8_t> otp(0x4000, 0x00);
  for (std::size_t n = 0; n < entries.size(); ++n) {
    std::uint8_t* e = &otp[0x3F70 + 5 * n];
    e[0] = static_cast<std::uint8_t>(entries[n].start >> 8);
    e[1] = static_cast<std::uint8_t>(entries[n].start);
    e[2] = static_cast<std::uint8_t>(entries[n].length >> 8);
    e[3] = static_cast<std::uint8_t>(entries[n].length);
    e[4] = entries[n].flag;
    for (std::uint16_t i = 0; i < entries[n].length; ++i) {
      otp[entries[n].start + i] = static_cast<std::uint8_t>(0x5A ^ i);
    }
  }
  return otp;
}

// An OTP image of `length` bytes: area header type 0x60 at the start, chip type 25.
std::string OtpImageFile(std::size_t length) {
  std::string image(length, '\0');
  image[0] = 0x60;
  image[1] = static_cast<char>(0xA5);
  image[2] = static_cast<char>(25 << 3);
  image[3] = 6;
  image[4] = 0;
  image[5] = 0;
  return image;
}

TEST_F(CommandLineTest, DetectReportsTheOtpSpaceOfZeroOneAndTwoBlocks) {
  WriteFileBytes(io_ / "otp.rfw", OtpImageFile(0x1000));
  struct Case {
    const char* what;
    std::vector<OtpEntry> entries;
    const char* status;
  } cases[] = {
      {"blank",
       {},
       "Used OTP Space: 0.00 KB\nFree OTP Space: 15.84 KB\nRemaining Programmable Times: 3."},
      // One code block of 4 KiB: 12128 bytes free, 15 entries left.
      {"one block",
       {{0x0000, 0x1000, 0x55}},
       "Used OTP Space: 4.00 KB\nFree OTP Space: 11.84 KB\nRemaining Programmable Times: 2."},
      // Code and configuration: the used space ends with the configuration block.
      {"two blocks",
       {{0x0000, 0x1000, 0x55}, {0x1000, 0x0200, 0xAA}},
       "Used OTP Space: 4.50 KB\nFree OTP Space: 11.34 KB\nRemaining Programmable Times: 2."},
  };
  UseSettings("[Vantor Config]\nCheckVIDPID_INI=0\nSaveResultToFile=1\nLogType=1\n");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(simDir_);
    InitSim({"otp"});
    if (!c.entries.empty()) LoadMemory("otp", "otp", OtpWithBlocks(c.entries));
    // The file is found beside the program when the path is relative.
    fs::copy_file(io_ / "otp.rfw", dir_ / "otp.rfw", fs::copy_options::overwrite_existing);
    ToolRun run = RunTool({"-f", "-detect", "otp.rfw"});
    EXPECT_EQ(run.out, std::string("\nBegin to Check OTP Status!\r\n") + c.status + "\r\n")
        << run.err;
    EXPECT_EQ(run.resultTxt, "pass");
    // The OTP image made the run switch to the OTP flow; the device's identity came along.
    EXPECT_NE(run.burnLog.find("KV0340-000001,             Pass,    0:\r\r\n"), std::string::npos)
        << run.burnLog;
    EXPECT_EQ(run.exitCode, 0);
  }
}

TEST_F(CommandLineTest, DetectLimitsTheTimesToTheFreeBlockEntries) {
  // Fifteen small blocks: 16224 - 15 x 16 bytes free would fit a 64-byte image 249
  // times, but only one block entry is left.
  std::vector<OtpEntry> entries;
  for (std::uint16_t n = 0; n < 15; ++n)
    entries.push_back({static_cast<std::uint16_t>(n * 16), 16, 0x55});
  InitSim({"otp"});
  LoadMemory("otp", "otp", OtpWithBlocks(entries));
  WriteFileBytes(dir_ / "small.rfw", OtpImageFile(64));
  UseSettings(kByIndex);
  ToolRun run = RunTool({"-f", "-detect", "small.rfw"});
  EXPECT_EQ(run.out,
            "\nBegin to Check OTP Status!\r\nUsed OTP Space: 0.23 KB\nFree OTP Space: 15.61 "
            "KB\nRemaining Programmable Times: 1.\r\n")
      << run.err;
  EXPECT_EQ(run.exitCode, 0);
}

// Figures of an OTP table that could not be read would be made up: the check fails.
TEST_F(CommandLineTest, DetectFailsWhenTheOtpCannotBeRead) {
  WriteFileBytes(dir_ / "otp.rfw", OtpImageFile(0x1000));
  UseSettings("[Vantor Config]\nCheckVIDPID_INI=0\nSaveResultToFile=1\nLogType=1\n");
  struct Case {
    const char* what;
    const char* devices;
    const char* manufacturer;
  } cases[] = {
      {"a device without OTP", "[d]\nprofile = flash-old\n", "KV0310-000001"},
      {"every OTP read fails", "[d]\nprofile = otp\nfault_stall = cmd 02 D7\n", "KV0340-000001"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(simDir_);
    WriteSim(c.devices);
    ToolRun run = RunTool({"-f", "-detect", "otp.rfw"});
    EXPECT_EQ(run.out, "\nRead OTP Fail!\n") << run.err;
    EXPECT_EQ(run.resultTxt, "fail");
    EXPECT_NE(run.burnLog.find(std::string(c.manufacturer) + ",             Fail,    41928:"),
              std::string::npos)
        << run.burnLog;
    EXPECT_EQ(run.exitCode, 1);
  }
}

TEST_F(CommandLineTest, NoDevice) {
  InitSim({});
  struct Case {
    const char* what;
    std::string settings;
    std::string out;
    int exitCode;
  } cases[] = {
      // Either way the run did not do what it was asked for: exit code 1 (by the ID list
      // the last result code stays 0; by index it is "Detect Device Fail!").
      {"by the ID list", "[Vantor Config]\nCheckVIDPID_INI=1\nSaveResultToFile=1\n",
       "\nCannot find Korvane USB Audio!\nGet IC Info Fail\n", 1},
      {"by index", kByIndex, "\nGet IC Info Fail\n", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    UseSettings(c.settings);
    for (const char* action : {"-version", "-write", "-erase", "-detect"}) {
      SCOPED_TRACE(action);
      ToolRun run = RunTool({"-f", action, "fw.rfw"});
      EXPECT_EQ(run.out, c.out) << run.err;
      EXPECT_EQ(run.resultTxt, "fail");
      EXPECT_EQ(run.exitCode, c.exitCode);
    }
  }
}

TEST_F(CommandLineTest, ResultFileWordsWhenTheOpenFails) {
  InitSim({});
  struct Case {
    int saveResult;
    const char* word;
  } cases[] = {{0, "<none>"}, {1, "fail"}, {2, "TestResult = fail"}, {3, ""}, {-1, ""}};
  for (const Case& c : cases) {
    UseSettings("[Vantor Config]\nCheckVIDPID_INI=0\nSaveResultToFile=" +
                std::to_string(c.saveResult) + "\n");
    ToolRun run = RunTool({"-f", "-erase", "x"});
    EXPECT_EQ(run.resultTxt, c.word) << c.saveResult;
    EXPECT_EQ(run.exitCode, 1);
  }
}

TEST_F(CommandLineTest, DeviceNotOnTheIdListIsRejected) {
  InitSim({"flash-new"});  // 3A4B:0330 is not on the built-in list
  UseSettings("[Vantor Config]\nCheckVIDPID_INI=1\nSaveResultToFile=2\nLogType=1\n");
  ToolRun run = RunTool({"-f", "-version"});
  EXPECT_EQ(run.out, "\nCheck VID/PID Mismatch!\nGet IC Info Fail\n") << run.err;
  EXPECT_EQ(run.resultTxt, "TestResult = fail");
  EXPECT_EQ(run.burnLog, "<none>") << "no action ran, so no result line";
  EXPECT_EQ(run.exitCode, 1) << "41714 is the last result";
}

TEST_F(CommandLineTest, PortLockChoosesTheDeviceOnThatPort) {
  WriteSim(
      "[a]\nprofile = flash-old\nmanufacturer = KV0310-00000A\nserial = 031000000A\nport = 1\n"
      "[b]\nprofile = flash-old\nmanufacturer = KV0310-00000B\nserial = 031000000B\nport = 3\n");
  struct Case {
    const char* lock;
    const char* manufacturer;  // of the device the run worked on; null: none accepted
  } cases[] = {
      {"LockPort=0\nPortNo=3\n", "KV0310-00000A"},
      {"LockPort=1\nPortNo=0\n", "KV0310-00000A"},  // the first accepted device's port is taken
      {"LockPort=1\nPortNo=1\n", "KV0310-00000A"},
      {"LockPort=1\nPortNo=3\n", "KV0310-00000B"},
      {"LockPort=1\nPortNo=2\n", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lock);
    UseSettings(std::string("[Vantor Config]\nCheckVIDPID_INI=1\nSaveResultToFile=1\nLogType=1\n") +
                c.lock);
    ToolRun run = RunTool({"-f", "-version"});
    if (c.manufacturer != nullptr) {
      EXPECT_EQ(run.out, VersionOutput("0x01-0001-0001")) << run.err;
      EXPECT_NE(run.burnLog.find(std::string(c.manufacturer) + ","), std::string::npos)
          << run.burnLog;
      EXPECT_EQ(run.exitCode, 0);
    } else {
      EXPECT_EQ(run.out, "\nCheck VID/PID Mismatch!\nGet IC Info Fail\n") << run.err;
      EXPECT_EQ(run.burnLog, "<none>");
      EXPECT_EQ(run.exitCode, 1);
    }
  }
}

TEST_F(CommandLineTest, StartIndexOpensFromThatDevice) {
  InitSim({"flash-old", "flash-new", "otp"});
  UseSettings(kByIndex);
  // The OTP chip is the third device: its ROM version tells it apart.
  ToolRun run = RunTool({"-f", "-version", "x", "-d", "2"});
  EXPECT_EQ(run.out, VersionOutput("0x01-0001-4001")) << run.err;
  EXPECT_EQ(run.exitCode, 0);
  // Indices 3 to 5 name no device.
  run = RunTool({"-f", "-version", "x", "-D", "3"});
  EXPECT_EQ(run.out, "\nGet IC Info Fail\n") << run.err;
  EXPECT_EQ(run.exitCode, 1);
  // A negative index fails for itself and goes on with the next ones.
  run = RunTool({"-f", "-version", "x", "-d", "-1"});
  EXPECT_EQ(run.out, VersionOutput("0x01-0001-0001")) << run.err;
  EXPECT_EQ(run.exitCode, 0);
}

TEST_F(CommandLineTest, TheArgumentAfterDashFChoosesTheAction) {
  // A QX330 device: the default built-in image is its chip's, so it stands in for the
  // firmware files that do not exist and the action runs.
  InitSim({"flash-new"});
  UseSettings(kByIndex);
  struct Case {
    std::vector<std::string> args;
    const char* begin;   // the action's first console line
    const char* parsed;  // the parser's trace line
  } cases[] = {
      {{"-f", "fw.rfw", "-verify"}, "Begin to Write fw!", "action W, file \"fw.rfw\""},
      {{"-F", "-WRITE", "fw.rfw"}, "Begin to Write fw!", "action W, file \"-WRITE\""},
      {{"-f", "-verify", "fw.rfw"}, "Begin to Verify fw!", "action V, file \"fw.rfw\""},
      {{"-f", "-dumpspi", "spi.bin"}, "Begin to Dump SPI!", "action Z, file \"spi.bin\""},
      {{"-f", "-dumpotp", "otp.bin"}, "Begin to Dump OTP!", "action Y, file \"otp.bin\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[1]);
    traceOn_ = true;
    ToolRun run = RunTool(c.args);
    EXPECT_EQ(run.out.rfind(std::string("\n") + c.begin + "\r\n", 0), 0u) << run.out;
    EXPECT_NE(run.err.find(c.parsed), std::string::npos) << run.err;
  }
}

TEST_F(CommandLineTest, RejectedCallsTouchNoDevice) {
  InitSim({"flash-old"});
  struct Case {
    std::vector<std::string> args;
    std::string resultTxt;
  } cases[] = {
      {{"-s"}, "fail"},                     // no "-f": "fail" even with SaveResultToFile 0
      {{"-write", "fw.rfw", "x"}, "fail"},  // likewise
      {{"-f"}, "<none>"},                   // too few arguments
      {{"-f", "-version", "x", "-d", "0", "y"}, "<none>"},  // too many
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " (" + std::to_string(c.args.size()) + " arguments)");
    ToolRun run = RunTool(c.args);
    EXPECT_EQ(run.out, "") << "nothing on the console";
    EXPECT_EQ(run.err, kUsageErrorLine) << "a hint on standard error";
    EXPECT_EQ(run.resultTxt, c.resultTxt);
    EXPECT_EQ(run.exitCode, kExitUsage) << "a usage error";
    const std::string stats = ReadFileBytes(simDir_ / "stats.ini");
    EXPECT_NE(stats.find("[run]\nvirtual_ms = 0\ndescriptor_transfers = 0\nvendor_transfers = "
                         "0\nclass_transfers = 0\n"),
              std::string::npos)
        << stats;
  }
}

TEST_F(CommandLineTest, ActionLinesAndResultFilesOfAFailedAction) {
  // A flash whose status register stays busy cannot be erased or written; what matters
  // here is the frame around the action.
  WriteSim("[flash-old]\nprofile = flash-old\nmanufacturer = KV0310-000001\nfault_busy = 1\n");
  UseSettings("[Vantor Config]\nSaveResultToFile=2\nLogType=1\n");
  const std::vector<std::uint8_t> image310 = BuiltInImage("FFU_310");
  WriteFileBytes(dir_ / "fw.rfw", std::string(image310.begin(), image310.end()));
  struct Case {
    std::vector<std::string> args;
    const char* lines;
  } cases[] = {
      {{"-f", "-erase", "x"}, "Begin to Erase!\r\nErase fail!\r\n"},
      {{"-f", "-write", "fw.rfw"}, "Begin to Write fw!\r\nWrite fw fail!\r\n"},
      {{"-f", "fw.rfw"}, "Begin to Write fw!\r\nWrite fw fail!\r\n"},
  };
  for (const Case& c : cases) {
    ToolRun run = RunTool(c.args);
    EXPECT_EQ(run.out, std::string("\n") + c.lines) << run.err;
    EXPECT_EQ(run.resultTxt, "TestResult = fail");
    ASSERT_NE(run.burnLog, "<none>");
    EXPECT_EQ(
        run.burnLog.rfind("Update date       Update Time       Serial number              Result   "
                          "ErrCode\r\r\n",
                          0),
        0u)
        << run.burnLog;
    EXPECT_NE(run.burnLog.find("KV0310-000001,             Fail,    "), std::string::npos)
        << run.burnLog;
    EXPECT_EQ(run.exitCode, 1);
  }
}

TEST_F(CommandLineTest, BadFilesNeverCrashOrHang) {
  InitSim({"flash-old"});
  UseSettings("[Vantor Config]\nSaveResultToFile=1\n");
  fs::create_directory(dir_ / "adir.rfw");
  // An image for another chip: the QX330 image on the QX310 device.
  const std::vector<std::uint8_t> image330 = BuiltInImage("FFU_330");
  WriteFileBytes(dir_ / "qx330.rfw", std::string(image330.begin(), image330.end()));
  WriteFileBytes(dir_ / "empty.rfw", "");
  struct Case {
    const char* file;
    bool loads;
  } cases[] = {
      {"missing.rfw", false}, {"adir.rfw", false}, {"qx330.rfw", true}, {"empty.rfw", false}};
  for (const Case& c : cases) {
    for (const char* action : {"-write", "-verify"}) {
      SCOPED_TRACE(std::string(action) + " " + c.file);
      ToolRun run = RunTool({"-f", action, c.file});
      EXPECT_EQ(run.err.find("Sanitizer"), std::string::npos) << run.err;
      EXPECT_EQ(run.resultTxt, "fail");
      EXPECT_EQ(run.exitCode, 1);
      if (c.loads) {
        // The file is the user's: the action runs and the flow judges the image.
        const std::string lines = std::string(action) == "-write"
                                      ? "\nBegin to Write fw!\r\nWrite fw fail!\r\n"
                                      : "\nBegin to Verify fw!\r\nVerify fw fail!\r\n";
        EXPECT_EQ(run.out, lines) << run.err;
      } else {
        // The default built-in image is the QX330's, which no IC type of this QX310 device
        // accepts: it does not stand in for the file.
        EXPECT_EQ(run.out, "\nLoad File Data Fail!\nGet IC Info Fail\n") << run.err;
      }
    }
  }
}

TEST_F(CommandLineTest, ABrokenRecordChainIsATraceLineNotAConsoleLine) {
  // A QX330 image whose area at 0xF000 has a record chain that stands still.
  InitSim({"flash-new"});
  UseSettings(kByIndex);
  std::string image(0x10000, '\0');
  const char area[] = {
      0x55, static_cast<char>(0xA5), static_cast<char>(21 << 3), 40, 0, 3, 5, 1, 'A', 0, 0, 0, 7};
  image.replace(0xF000, sizeof area, area, sizeof area);
  WriteFileBytes(dir_ / "broken.rfw", image);
  traceOn_ = true;
  ToolRun run = RunTool({"-f", "-verify", "broken.rfw"});
  EXPECT_EQ(run.out.find("Config file corrupted"), std::string::npos) << run.out;
  EXPECT_NE(run.err.find("Config file corrupted"), std::string::npos) << run.err;
  EXPECT_EQ(run.out.rfind("\nBegin to Verify fw!\r\n", 0), 0u) << run.out;
  EXPECT_EQ(run.exitCode, 1);
}

// Input that is no file (a FIFO nobody writes, a directory, a device) is refused before
// it is read, with the outcome of a file that cannot be read: the run neither blocks nor
// stops.
TEST_F(CommandLineTest, InputThatIsNoFileIsRefusedLikeAnUnreadableFile) {
  InitSim({"flash-old"});
  auto fifo = [](const fs::path& path) { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); };
  struct Case {
    const char* what;
    std::string settings;  // the settings text, or "@<name>" to name a bad file
    const char* badName;   // what is made bad, beside the program (or in io_)
    std::function<void(const fs::path&)> makeBad;
    std::function<void(const fs::path&)> makeUnreadable;  // the comparison run's file
    std::vector<std::string> args;
  };
  const auto missing = [](const fs::path&) {};
  const auto folder = [](const fs::path& path) { fs::create_directory(path); };
  const auto empty = [](const fs::path& path) { WriteFileBytes(path, ""); };
  const Case cases[] = {
      {"settings from a FIFO", "@", "settings.fifo", fifo, missing, {"-f", "-version", "x"}},
      {"settings from a directory", "@", "settings.dir", folder, missing, {"-f", "-version", "x"}},
      {"an IC type definition that is a FIFO",
       "[Vantor Config]\nIni Type=1\n",
       "QX310.ini",
       fifo,
       empty,
       {"-f", "-version", "x"}},
      {"an ID list that is a FIFO",
       "[Vantor Config]\nCheckVIDPID_INI=2\nSaveResultToFile=1\n",
       "VidPidList.ini",
       fifo,
       missing,
       {"-f", "-version", "x"}},
      {"a firmware file that is a FIFO",
       std::string(kByIndex),
       "fw.rfw",
       fifo,
       missing,
       {"-f", "-write", "fw.rfw"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ToolRun runs[2];
    for (int bad = 0; bad < 2; ++bad) {
      const bool inIo = c.settings == "@";
      const fs::path path = (inIo ? io_.path() : dir_.path()) / c.badName;
      fs::remove_all(path);
      (bad ? c.makeBad : c.makeUnreadable)(path);
      if (inIo) {
        settingsPath_ = path;
      } else {
        settingsPath_.clear();
        UseSettings(c.settings);
      }
      runs[bad] = RunTool(c.args);
      fs::remove_all(path);
    }
    EXPECT_EQ(runs[1].out, runs[0].out) << runs[1].err;
    EXPECT_EQ(runs[1].resultTxt, runs[0].resultTxt);
    EXPECT_EQ(runs[1].exitCode, runs[0].exitCode);
  }
  settingsPath_.clear();
}

// A settings "file" that never ends is not read at all.
TEST_F(CommandLineTest, SettingsFromADeviceAreRefused) {
  InitSim({"flash-old"});
  for (const char* device : {"/dev/zero", "/dev/urandom"}) {
    SCOPED_TRACE(device);
    settingsPath_ = device;
    traceOn_ = true;
    ToolRun run = RunTool({"-f", "-version", "x"});
    EXPECT_EQ(run.out, VersionOutput("0x01-0001-0001"));
    EXPECT_NE(run.err.find("not a regular file"), std::string::npos) << run.err;
    EXPECT_EQ(run.exitCode, 0);
  }
  settingsPath_.clear();
}

TEST_F(CommandLineTest, NoUsableBuiltInImageToStandInForTheFile) {
  struct Case {
    const char* what;
    const char* devices;
    const char* settings;
  } cases[] = {
      // With "Ini Type" 1 and no definition files beside the program there is no default
      // image, so nothing can take the missing file's place.
      {"no built-in image", "[d]\nprofile = flash-old\n", "Ini Type=1\n"},
      // A chip no definition knows: the default image is there, but no IC type takes it
      // for this device, so it must not be written in the file's place.
      {"no IC type for the chip", "[d]\nprofile = flash-old\nchip_id = 0x9955\n", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(simDir_);
    WriteSim(c.devices);
    UseSettings(std::string("[Vantor Config]\nCheckVIDPID_INI=0\nSaveResultToFile=2\nLogType=1\n") +
                c.settings);
    for (const char* action : {"-write", "-verify", "-detect"}) {
      SCOPED_TRACE(action);
      ToolRun run = RunTool({"-f", action, "missing.rfw"});
      EXPECT_EQ(run.out, "\nLoad File Data Fail!\nGet IC Info Fail\n") << run.err;
      EXPECT_EQ(run.resultTxt, "TestResult = fail");
      EXPECT_EQ(run.burnLog, "<none>") << "no action ran";
      EXPECT_EQ(run.exitCode, 1) << "41530 is the last result";
    }
  }
  // The same chip with a file that loads: the file is the user's, so the action runs on it
  // (and the flow judges it).
  fs::remove_all(simDir_);
  WriteSim(cases[1].devices);
  WriteFileBytes(dir_ / "fw.rfw", std::string(0x10000, '\x5A'));
  ToolRun run = RunTool({"-f", "-write", "fw.rfw"});
  EXPECT_EQ(run.out.rfind("\nBegin to Write fw!\r\n", 0), 0u) << run.out;
}

TEST_F(CommandLineTest, ImageForAMemoryWithoutFlowEndsTheRunBeforeTheAction) {
  // An image whose area header says MTP, at the QX330's "ConfigAddress": the IC type
  // takes it, but there is no programming flow for that memory.
  InitSim({"flash-new"});
  UseSettings("[Vantor Config]\nCheckVIDPID_INI=0\nSaveResultToFile=1\nLogType=1\n");
  std::string image(0x10000, '\xFF');
  const char header[] = {0x40, static_cast<char>(0xA5), static_cast<char>(21 << 3), 6, 0, 0};
  image.replace(0xF000, sizeof header, header, sizeof header);
  WriteFileBytes(dir_ / "mtp.rfw", image);
  for (const char* action : {"-write", "-verify", "-detect"}) {
    SCOPED_TRACE(action);
    ToolRun run = RunTool({"-f", action, "mtp.rfw"});
    EXPECT_EQ(run.out, "\nGet IC Info Fail\n") << run.err;
    EXPECT_EQ(run.resultTxt, "fail");
    EXPECT_EQ(run.burnLog, "<none>") << "no action ran";
    EXPECT_EQ(run.exitCode, 1) << "Not Support! is the last result";
  }
}

TEST_F(CommandLineTest, DetectWithAFileThatDoesNotLoadFails) {
  // The OTP device's built-in image stands in for the missing file when the device is
  // opened, but the check itself needs the file's length: the run fails with the load's
  // error, which the exit code and the result line carry.
  InitSim({"otp"});
  UseSettings("[Vantor Config]\nCheckVIDPID_INI=0\nSaveResultToFile=1\nLogType=1\n");
  fs::create_directory(dir_ / "adir.rfw");
  for (const char* file : {"missing.rfw", "adir.rfw"}) {
    SCOPED_TRACE(file);
    ToolRun run = RunTool({"-f", "-detect", file});
    EXPECT_EQ(run.out, "\n") << "no status lines after a failed check; " << run.err;
    EXPECT_EQ(run.resultTxt, "fail");
    EXPECT_NE(run.burnLog.find("KV0340-000001,             Fail,    41530:\r\r\n"),
              std::string::npos)
        << run.burnLog;
    EXPECT_EQ(run.exitCode, 1);
  }
}

TEST_F(CommandLineTest, ResultLineOfEveryRunAndAnUnopenableTable) {
  InitSim({"flash-old"});
  UseSettings("[Vantor Config]\nSaveResultToFile=3\nLogType=1\n");
  ToolRun run = RunTool({"-f", "-version"});
  EXPECT_EQ(run.resultTxt, "fail") << "-version never passes";
  const std::string header =
      "Update date       Update Time       Serial number              Result   ErrCode\r\r\n"
      "================  ================  =========================  =======  =======\r\r\n";
  ASSERT_EQ(run.burnLog.rfind(header, 0), 0u) << run.burnLog;
  const std::string line = run.burnLog.substr(header.size());
  ASSERT_EQ(line.size(), 36u + 27u + 9u + 2u + 3u) << line;  // "0:" and CR CR LF
  EXPECT_EQ(line.substr(36), "KV0310-000001,             Fail,    0:\r\r\n") << line;
  // A second run appends below the first.
  run = RunTool({"-f", "-version"}, false);
  EXPECT_EQ(run.burnLog.size(), header.size() + 2 * line.size());

  // The table cannot be opened: the message, and the run goes on without its line; the
  // exit code says the station's record is incomplete.
  fs::remove(io_ / "burn_result.txt");
  fs::create_directory(io_ / "burn_result.txt");
  run = RunTool({"-f", "-version"}, false);
  EXPECT_EQ(run.out,
            "\nCan't Open burn_result.txt\nBegin to Get FW Ver!\r\nCurrent FW Version: "
            "0x01-0001-0001!\r\n");
  EXPECT_EQ(run.resultTxt, "fail");
  EXPECT_EQ(run.exitCode, kExitRecordIncomplete);
}

// A full disk: the line cannot be appended. The operator is told on the console, and the
// exit code says the record is incomplete (a failed run keeps its 1).
TEST_F(CommandLineTest, AResultLineThatCannotBeWrittenIsReported) {
  InitSim({"flash-old"});
  fs::create_symlink("/dev/full", io_ / "burn_result.txt");
  struct Case {
    const char* settings;
    int exitCode;
  } cases[] = {
      {"[Vantor Config]\nSaveResultToFile=1\nLogType=1\n", kExitRecordIncomplete},
      // A device the ID list refuses does not run, so no line is due.
      {"[Vantor Config]\nCheckVIDPID_INI=1\nLogType=1\nLockPort=1\nPortNo=7\n", kExitFailed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.settings);
    UseSettings(c.settings);
    ToolRun run = RunTool({"-f", "-version"}, false);
    EXPECT_EQ(run.exitCode, c.exitCode);
    if (c.exitCode == kExitRecordIncomplete) {
      EXPECT_EQ(run.out,
                "\nBegin to Get FW Ver!\r\nCurrent FW Version: 0x01-0001-0001!\r\nCan't Write "
                "burn_result.txt\n");
      EXPECT_EQ(run.resultTxt, "fail");
    }
  }
  // A run that failed keeps exit code 1 and still says the line is missing.
  WriteSim("[d]\nprofile = flash-old\nfault_busy = 1\n");
  UseSettings("[Vantor Config]\nLogType=1\n");
  ToolRun run = RunTool({"-f", "-erase", "x"}, false);
  EXPECT_EQ(run.out, "\nBegin to Erase!\r\nErase fail!\r\nCan't Write burn_result.txt\n");
  EXPECT_EQ(run.exitCode, kExitFailed);
}

TEST_F(CommandLineTest, HelpPrintsTheUsageAndTouchesNothing) {
  InitSim({"flash-old"});
  UseSettings("[Vantor Config]\nSaveResultToFile=1\nLogType=1\n");
  for (const char* help : {"-h", "--help", "/?", "-H"}) {
    SCOPED_TRACE(help);
    ToolRun run = RunTool({help});
    EXPECT_EQ(run.out, UsageText());
    EXPECT_EQ(run.exitCode, kExitOk);
    EXPECT_EQ(run.resultTxt, "<none>");
    EXPECT_EQ(run.burnLog, "<none>");
    const std::string stats = ReadFileBytes(simDir_ / "stats.ini");
    EXPECT_NE(stats.find("vendor_transfers = 0\nclass_transfers = 0\n"), std::string::npos)
        << stats;
  }
  // What the usage names: both grammars, every action, -d, the exit codes and each
  // environment variable the tool reads.
  const std::string usage = UsageText();
  for (const char* part :
       {"vantorfw -f ACTION FILE [-d INDEX]", "vantorfw -f FILE.rfw", "-write", "-verify", "-erase",
        "-version", "-detect", "-dumpotp", "-dumpspi", "-d INDEX", "VANTOR_SETTINGS",
        "VANTOR_SIM=", "VANTOR_SIM_LOG", "VANTOR_TRACE", "  2  the command line"}) {
    EXPECT_NE(usage.find(part), std::string::npos) << part;
  }
  // Help beside other arguments is not help.
  ToolRun run = RunTool({"-h", "x"});
  EXPECT_EQ(run.exitCode, kExitUsage);
}

TEST_F(CommandLineTest, DeviceVanishingDuringTheVersionReadEndsCleanly) {
  // The device leaves the bus after N transfers, N swept across the open and the version
  // read. Every run ends with one of three outcomes, and never shows a version the
  // device did not give.
  int openFailed = 0, versionLost = 0, versionRead = 0;
  for (int after = 1; after <= 100; after += 4) {
    SCOPED_TRACE("unplugged after " + std::to_string(after) + " transfers");
    fs::remove_all(simDir_);
    WriteSim("[d]\nprofile = flash-old\nfault_disconnect_after = " + std::to_string(after) + "\n");
    UseSettings(kByIndex);
    ToolRun run = RunTool({"-f", "-version", "x"});
    EXPECT_EQ(run.resultTxt, "fail");
    if (run.out == "\nGet IC Info Fail\n") {
      ++openFailed;
      EXPECT_EQ(run.exitCode, 1) << "Detect Device Fail!";
    } else if (run.out == VersionOutput("N/A")) {
      ++versionLost;
      EXPECT_EQ(run.exitCode, 1) << "Detect Device Fail!";
    } else {
      ++versionRead;
      EXPECT_EQ(run.out, VersionOutput("0x01-0001-0001")) << run.err;
      EXPECT_EQ(run.exitCode, 0);
    }
  }
  EXPECT_GT(openFailed, 0);
  EXPECT_GT(versionLost, 0) << "the sweep must reach the version read";
  EXPECT_GT(versionRead, 0);
}

}  // namespace
}  // namespace vantor
