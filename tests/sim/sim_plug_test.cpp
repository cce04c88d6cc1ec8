// Plugging and unplugging simulated devices: the plug file that vantorfw-sim edits, a
// program that starts with a device unplugged, and the arrivals and removals a running
// program hears while devices come and go.
#include "sim/sim_plug.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <sstream>

#include "platform/device_inventory.h"
#include "sim/sim_directory.h"
#include "sim/sim_tool.h"
#include "sim/simulated_platform.h"

namespace vantor::sim {
namespace {

namespace fs = std::filesystem;
namespace P = vantor::platform;

// What a subscription heard, as "+path" / "-path" / "*".
class Heard {
 public:
  void operator()(const P::DeviceChangeNotice& n) {
    std::lock_guard lock(mutex_);
    std::string line = n.change == P::DeviceChange::kArrival          ? "+"
                       : n.change == P::DeviceChange::kRemoveComplete ? "-"
                                                                      : "*";
    if (n.change != P::DeviceChange::kNodesChanged) {
      line += std::string(n.interfacePath.begin(), n.interfacePath.end());
      line += n.category == P::kGuidKsCategoryAudio ? " audio" : " video";
    }
    lines_.push_back(line);
    changed_.notify_all();
  }
  // Waits up to a second (real time) for `count` notices.
  std::vector<std::string> WaitFor(std::size_t count) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::seconds(1), [&] { return lines_.size() >= count; });
    return std::exchange(lines_, {});
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> lines_;
};

std::size_t AudioDevices() {
  std::vector<P::DeviceInterfaceEntry> entries;
  P::GetDeviceInventory()->ListDeviceInterfaces(P::kGuidKsCategoryAudio, 0, entries);
  return entries.size();
}

class SimPlug : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("vantor-plug-" + std::to_string(::getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
  }
  void TearDown() override { fs::remove_all(dir); }
  int Tool(std::vector<std::string> args, std::string* out = nullptr, std::string* err = nullptr) {
    std::ostringstream o, e;
    const int rc = RunSimTool(args, o, e);
    if (out) *out = o.str();
    if (err) *err = e.str();
    return rc;
  }
  fs::path dir;
};

TEST_F(SimPlug, ToolEditsThePlugFileByNameOrPosition) {
  ASSERT_EQ(Tool({"init", dir.string(), "flash-old", "flash-old", "camera"}), 0);
  std::string out, err;
  EXPECT_EQ(Tool({"unplug", dir.string(), "flash-old-2"}, &out), 0);
  EXPECT_EQ(out, "unplugged flash-old-2\n");
  EXPECT_EQ(Tool({"unplug", dir.string(), "3"}, &out), 0) << "the third device";
  EXPECT_EQ(out, "unplugged camera\n");
  EXPECT_EQ(ReadUnplugged(dir), (std::set<std::string>{"camera", "flash-old-2"}));
  EXPECT_EQ(Tool({"plug", dir.string(), "camera"}, &out), 0);
  EXPECT_EQ(out, "plugged in camera\n");
  EXPECT_EQ(ReadUnplugged(dir), (std::set<std::string>{"flash-old-2"}));

  // Bad input: one line and exit code 1; a usage error 2.
  EXPECT_EQ(Tool({"unplug", dir.string(), "nothing"}, nullptr, &err), 1);
  EXPECT_EQ(err, "vantorfw-sim: no device \"nothing\" in " + dir.string() + "\n");
  EXPECT_EQ(Tool({"unplug", dir.string(), "4"}, nullptr, &err), 1);
  EXPECT_EQ(Tool({"unplug", dir.string(), "0"}, nullptr, &err), 1);
  EXPECT_EQ(Tool({"unplug", dir.string(), "99999999999999999999"}, nullptr, &err), 1);
  EXPECT_EQ(Tool({"plug", (dir / "missing").string(), "1"}, nullptr, &err), 1);
  EXPECT_NE(err.find("devices.ini: missing or unreadable"), std::string::npos) << err;
  EXPECT_EQ(Tool({"plug", dir.string()}, nullptr, &err), 2);
}

TEST_F(SimPlug, AProgramStartsWithTheUnpluggedDevicesOffTheBus) {
  ASSERT_EQ(Tool({"init", dir.string(), "flash-old", "flash-old"}), 0);
  ASSERT_EQ(Tool({"unplug", dir.string(), "flash-old"}), 0);
  std::string out;
  ASSERT_EQ(Tool({"show", dir.string()}, &out), 0);
  EXPECT_NE(out.find("unplugged, last ran rom"), std::string::npos) << out;
  std::string error;
  auto platform = SimulatedPlatform::FromDirectory(dir, {}, error);
  ASSERT_NE(platform, nullptr) << error;
  EXPECT_EQ(AudioDevices(), 1u);
  EXPECT_FALSE(platform->bus().IsAttached("flash-old"));
  EXPECT_TRUE(platform->bus().IsAttached("flash-old-2"));
}

TEST_F(SimPlug, RunningProgramHearsPlugAndUnplugWithinAFractionOfASecond) {
  ASSERT_EQ(Tool({"init", dir.string(), "flash-old", "camera"}), 0);
  std::string error;
  auto platform = SimulatedPlatform::FromDirectory(dir, {}, error);
  ASSERT_NE(platform, nullptr) << error;
  Heard heard;
  auto subscription = P::SubscribeDeviceChanges([&](const P::DeviceChangeNotice& n) { heard(n); });
  ASSERT_NE(subscription, nullptr);

  const std::size_t audio = AudioDevices();  // the device and the camera's microphone
  const auto started = std::chrono::steady_clock::now();
  ASSERT_EQ(Tool({"unplug", dir.string(), "flash-old"}), 0);
  std::vector<std::string> lines = heard.WaitFor(2);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(500));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].rfind("-\\\\?\\usb#vid_3a4b&pid_0310&mi_00#", 0), 0u) << lines[0];
  EXPECT_NE(lines[0].find("#{6994ad04-93ef-11d0-a3cc-00a0c9223196}\\global audio"),
            std::string::npos)
      << lines[0];
  EXPECT_EQ(lines[1], "*");
  EXPECT_EQ(AudioDevices(), audio - 1);

  ASSERT_EQ(Tool({"plug", dir.string(), "flash-old"}), 0);
  lines = heard.WaitFor(2);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].rfind("+\\\\?\\usb#vid_3a4b&pid_0310&mi_00#", 0), 0u) << lines[0];
  EXPECT_EQ(AudioDevices(), audio);

  // The camera's video interfaces come and go in the video category (and its
  // microphone in the audio one).
  ASSERT_EQ(Tool({"unplug", dir.string(), "camera"}), 0);
  lines = heard.WaitFor(3);
  std::size_t video = 0;
  for (const std::string& l : lines) {
    if (l.size() > 6 && l.compare(l.size() - 6, 6, " video") == 0) ++video;
  }
  EXPECT_GE(video, 1u);

  // Nothing is heard once the subscription has ended.
  subscription.reset();
  ASSERT_EQ(Tool({"plug", dir.string(), "camera"}), 0);
  EXPECT_TRUE(heard.WaitFor(1).empty());
}

TEST(SimPlugBus, AResetIsARemovalAndAnArrivalAndUnplugIsForGood) {
  SimulatedPlatform sim;
  SimDevice& device = sim.AddDevice("flash-old", "dev");
  Heard heard;
  auto subscription = P::SubscribeDeviceChanges([&](const P::DeviceChangeNotice& n) { heard(n); });
  // The device goes away and comes back as a new instance (as after a reset).
  device.Unplug(sim.clock().NowUs(), 100);
  sim.clock().Advance(2'000'000);
  std::vector<std::string> lines = heard.WaitFor(3);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0][0], '-');
  EXPECT_EQ(lines[1][0], '+');
  EXPECT_EQ(lines[1].substr(1), lines[0].substr(1)) << "same interface path";
  EXPECT_EQ(lines[2], "*");
  // Unplugged it stays away however long; plugged in it boots again.
  EXPECT_TRUE(sim.bus().SetAttached("dev", false));
  EXPECT_FALSE(sim.bus().IsAttached("dev"));
  sim.clock().Advance(60'000'000);
  EXPECT_EQ(heard.WaitFor(2).size(), 2u);
  EXPECT_EQ(AudioDevices(), 0u);
  EXPECT_TRUE(sim.bus().SetAttached("dev", true));
  EXPECT_EQ(heard.WaitFor(2).size(), 2u);
  EXPECT_FALSE(sim.bus().SetAttached("nothing", true));
}

}  // namespace
}  // namespace vantor::sim
