// The worker without a window: jobs run one at a time in the order posted, a quit lets
// the queued jobs finish and then reports 1042, the loop test repeats successful
// downloads with a pause and a countdown. The window is a recording stand-in; the flow is
// the flash flow with a scripted download, against the simulated devices.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "app/worker/kvx_thread.h"
#include "config/ic_type_ini.h"
#include "config/settings.h"
#include "flows/flash_info.h"
#include "flows/flow_window.h"
#include "flows/last_result.h"
#include "platform/clock.h"
#include "platform/messages.h"
#include "support/debug_capture.h"
#include "support/device_rig.h"

namespace vantor::test {
namespace {

// What reached the window, in order: flow messages as "1048:41906:0", the worker's own
// posts as words.
class RecordingOwner : public CFlowWindow, public CWorkerOwner {
 public:
  RecordingOwner() { RegisterFlowWindow(this); }
  ~RecordingOwner() override { RegisterFlowWindow(nullptr); }

  void PostFlowWindowMessage(std::uint32_t message, std::uintptr_t wParam,
                             std::intptr_t lParam) override {
    Record(std::to_string(message) + ":" + std::to_string(wParam) + ":" + std::to_string(lParam));
  }
  void ClearDeviceList() override {
    std::lock_guard lock(mutex_);
    entries_.clear();
  }
  int AppendDeviceEntry(const std::wstring& text) override {
    std::lock_guard lock(mutex_);
    entries_.push_back(text);
    return static_cast<int>(entries_.size()) - 1;
  }
  bool SelectDeviceEntry(int position) override {
    std::lock_guard lock(mutex_);
    return position >= 0 && position < static_cast<int>(entries_.size());
  }
  std::wstring DeviceEntryText(int position) const override {
    std::lock_guard lock(mutex_);
    if (position < 0 || position >= static_cast<int>(entries_.size())) return {};
    return entries_[position];
  }

  bool LoopTestOn() const override { return loopTest; }
  std::int32_t LoopLeft() const override { return loopLeft; }
  void SetLoopLabel(const std::wstring& text) override {
    Record("label " + std::string(text.begin(), text.end()));
  }
  void DisableStart() override { Record("disable start"); }
  void PostStartClick() override {
    Record("start click");
    if (onStartClick) onStartClick();
  }
  void PostWorkerExited() override { Record("exited"); }

  std::vector<std::string> Events() const {
    std::lock_guard lock(mutex_);
    return events_;
  }
  // Waits (real time, bounded) until `event` has been recorded.
  bool WaitFor(const std::string& event) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(20), [&] {
      return std::find(events_.begin(), events_.end(), event) != events_.end();
    });
  }
  void Record(std::string event) {
    {
      std::lock_guard lock(mutex_);
      events_.push_back(std::move(event));
    }
    changed_.notify_all();
  }

  std::atomic<bool> loopTest{false};
  std::atomic<std::int32_t> loopLeft{1};
  std::function<void()> onStartClick;

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> events_;
  std::vector<std::wstring> entries_;
};

// The flash flow with its download scripted: each call takes the next outcome (true:
// progress 100 and "Firmware Update Succeed.", false: "Update Flash Fail!"), records
// itself and the virtual time, and may wait for the test.
class ScriptedFlow : public CSPIFlashInfo_USB {
 public:
  int Download() override {
    owner->Record("download");
    starts.push_back(platform::GetClock().NowMs());
    handleDuringDownload = handle;
    if (silent) return 0;
    const bool pass = outcomes.empty() || outcomes.front();
    if (!outcomes.empty()) outcomes.pop_front();
    if (!pass) {
      PostFlowMessage(WM_FLOW_ERROR, msg::kUpdateFlashFail);
      return 0;
    }
    PostFlowMessage(WM_FLOW_PROGRESS, 100);
    PostFlowMessage(WM_FLOW_SUCCESS, msg::kFirmwareUpdateSucceed);
    return 1;
  }

  RecordingOwner* owner = nullptr;
  std::deque<bool> outcomes;
  bool silent = false;  // returns 0 and reports nothing
  std::vector<std::uint64_t> starts;
  std::uint32_t handleDuringDownload = 0;
};

class WorkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    definition.BuildList();
    ASSERT_TRUE(definition.LoadFromResource(2030));
    SetActiveICTypeIni(&definition);
    ASSERT_TRUE(LoadSettingsText("[Vantor Config]\nCheckVIDPID_INI=1\n"));
    flow.owner = &owner;
    device = &rig.Add("flash-old", "dev");
  }
  void TearDown() override {
    flow.DEV_CloseDevice();
    SetActiveICTypeIni(nullptr);
    DeleteSettings();
    SetLastResultCode(0);
  }

  // Runs the jobs to the end: quit, wait, join. The events up to the exit.
  std::vector<std::string> Finish(CKvxThread& worker) {
    worker.PostQuit();
    EXPECT_TRUE(owner.WaitFor("exited"));
    worker.Join();
    return owner.Events();
  }

  CICTypeIni definition;
  DeviceRig rig;
  sim::SimDevice* device = nullptr;
  RecordingOwner owner;
  ScriptedFlow flow;
};

TEST_F(WorkerTest, JobsRunOneAtATimeInTheOrderPosted) {
  DebugCapture trace;
  CKvxThread worker(owner, [this] { return &flow; });
  // Posted before the thread runs: nothing is lost, the order holds.
  worker.PostThreadMessage(WM_THREAD_LIST_DEVICES, 1);
  worker.PostThreadMessage(WM_THREAD_DOWNLOAD);
  worker.PostThreadMessage(WM_THREAD_CLOSE_DEVICE);
  worker.PostThreadMessage(WM_THREAD_RELIST_DEVICES);
  worker.PostThreadMessage(4711);  // not a job: ignored
  worker.PostThreadMessage(WM_THREAD_LIST_DEVICES, 0);
  worker.Start();
  const std::vector<std::string> expected = {"1048:41906:1",  // listing, no auto start
                                             "disable start", "download",
                                             "1043:100:0",    "1046:41755:0",  // download
                                             "1048:41906:0",                   // relisting
                                             "1048:41906:0",                   // listing
                                             "exited"};
  EXPECT_EQ(Finish(worker), expected);
  std::vector<std::string> order;
  for (const std::string& line : trace.Lines()) {
    for (const char* name : {"DEV_GetDeviceListForAllInOne", "Dev_OpenDeviceForMultiCamera",
                             "Start Download", "End Download", "DEV_GetDeviceListAfterReset"}) {
      if (line.find(name) != std::string::npos) order.push_back(name);
    }
  }
  const std::vector<std::string> expectedOrder = {"DEV_GetDeviceListForAllInOne",
                                                  "Dev_OpenDeviceForMultiCamera",
                                                  "Start Download",
                                                  "End Download",
                                                  "DEV_GetDeviceListAfterReset",
                                                  "DEV_GetDeviceListForAllInOne"};
  EXPECT_EQ(order, expectedOrder);
  EXPECT_NE(flow.handleDuringDownload, 0u) << "the download ran on the opened device";
  EXPECT_EQ(flow.cmdFlags, 0x40u);
  EXPECT_EQ(worker.lastResult, 1);
}

TEST_F(WorkerTest, DownloadHoldsTheDeviceOpenUntilTheCloseJob) {
  CKvxThread worker(owner, [this] { return &flow; });
  worker.Start();
  worker.PostThreadMessage(WM_THREAD_LIST_DEVICES, 0);
  worker.PostThreadMessage(WM_THREAD_DOWNLOAD);
  ASSERT_TRUE(owner.WaitFor("1046:41755:0"));
  // The open device is known by its instance IDs, the USB device's and its audio
  // function's, for the window's removal check.
  const std::vector<std::wstring> ids = worker.OpenDeviceInstanceIds();
  auto has = [&](const std::wstring& prefix) {
    return std::any_of(ids.begin(), ids.end(),
                       [&](const std::wstring& id) { return id.rfind(prefix, 0) == 0; });
  };
  EXPECT_TRUE(has(L"USB\\VID_3A4B&PID_0310\\0310000001"));
  EXPECT_TRUE(has(L"USB\\VID_3A4B&PID_0310&MI_00\\"));
  worker.PostThreadMessage(WM_THREAD_CLOSE_DEVICE);
  Finish(worker);
  EXPECT_TRUE(worker.OpenDeviceInstanceIds().empty());
  EXPECT_EQ(flow.handle, 0u);
}

TEST_F(WorkerTest, QuitLetsQueuedJobsFinishThenReports1042AndRefusesLaterJobs) {
  CKvxThread worker(owner, [this] { return &flow; });
  worker.PostThreadMessage(WM_THREAD_LIST_DEVICES, 0);
  worker.PostThreadMessage(WM_THREAD_DOWNLOAD);
  worker.PostQuit();
  EXPECT_FALSE(worker.PostThreadMessage(WM_THREAD_LIST_DEVICES, 0));
  worker.Start();
  ASSERT_TRUE(owner.WaitFor("exited"));
  worker.Join();
  const std::vector<std::string> events = owner.Events();
  ASSERT_GE(events.size(), 2u);
  EXPECT_EQ(events.back(), "exited");
  EXPECT_EQ(events[events.size() - 2], "1046:41755:0") << "the queued download ran first";
  EXPECT_EQ(std::count(events.begin(), events.end(), "download"), 1);
}

TEST_F(WorkerTest, QuitClearsASuccessAndKeepsAFailure) {
  struct Case {
    std::int32_t code;
    std::int32_t after;
  } cases[] = {
      {static_cast<std::int32_t>(msg::kFirmwareUpdateSucceed), 0},
      {static_cast<std::int32_t>(msg::kCheckDeviceInfoSucceed), 0},  // a listing came last
      {static_cast<std::int32_t>(msg::kUpdateFlashFail), 41706},
      {static_cast<std::int32_t>(msg::kDetectDeviceFail), 41511},
      {100, 100},  // a progress value
  };
  for (const Case& c : cases) {
    RecordingOwner owner;
    CKvxThread worker(owner, [this] { return &flow; });
    SetLastResultCode(c.code);
    worker.Start();
    worker.PostQuit();
    ASSERT_TRUE(owner.WaitFor("exited"));
    worker.Join();
    EXPECT_EQ(GetLastResultCode(), c.after) << c.code;
  }
}

TEST_F(WorkerTest, DestructorEndsAWorkerNobodyStopped) {
  {
    CKvxThread worker(owner, [this] { return &flow; });
    worker.Start();
    worker.PostThreadMessage(WM_THREAD_LIST_DEVICES, 0);
  }
  const std::vector<std::string> events = owner.Events();
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back(), "exited");
}

// The window's part of the loop: a Start click takes one from the count and posts the
// next download, as the main window does.
void LoopLikeTheWindow(RecordingOwner& owner, CKvxThread& worker) {
  owner.onStartClick = [&] {
    owner.loopLeft = owner.loopLeft - 1;
    worker.PostThreadMessage(WM_THREAD_DOWNLOAD);
  };
}

TEST_F(WorkerTest, LoopTestRepeatsEachSuccessAfterASecondAndCountsDown) {
  CKvxThread worker(owner, [this] { return &flow; });
  LoopLikeTheWindow(owner, worker);
  owner.loopTest = true;
  owner.loopLeft = 2;  // the first Start click took one of 3
  worker.Start();
  worker.PostThreadMessage(WM_THREAD_LIST_DEVICES, 0);
  worker.PostThreadMessage(WM_THREAD_DOWNLOAD);
  ASSERT_TRUE(owner.WaitFor("label Left : 0"));
  const std::vector<std::string> events = Finish(worker);
  EXPECT_EQ(std::count(events.begin(), events.end(), "download"), 3);
  EXPECT_EQ(std::count(events.begin(), events.end(), "start click"), 2);
  ASSERT_GE(events.size(), 3u);
  EXPECT_EQ(events[events.size() - 3], "label Left : 0");
  EXPECT_EQ(events[events.size() - 2], "1047:0:0") << "a refresh without a status text";
  ASSERT_EQ(flow.starts.size(), 3u);
  for (std::size_t i = 1; i < flow.starts.size(); ++i) {
    EXPECT_GE(flow.starts[i] - flow.starts[i - 1], 1000u) << "iteration " << i;
  }
}

TEST_F(WorkerTest, LoopTestStopsAtTheFirstFailure) {
  CKvxThread worker(owner, [this] { return &flow; });
  LoopLikeTheWindow(owner, worker);
  flow.outcomes = {true, false, true};
  owner.loopTest = true;
  owner.loopLeft = 4;
  worker.Start();
  worker.PostThreadMessage(WM_THREAD_LIST_DEVICES, 0);
  worker.PostThreadMessage(WM_THREAD_DOWNLOAD);
  ASSERT_TRUE(owner.WaitFor("1044:41706:0"));
  const std::vector<std::string> events = Finish(worker);
  EXPECT_EQ(std::count(events.begin(), events.end(), "download"), 2) << "no third download";
  EXPECT_EQ(std::count(events.begin(), events.end(), "start click"), 1);
  EXPECT_EQ(std::count(events.begin(), events.end(), "label Left : 0"), 0) << "3 were left";
  EXPECT_EQ(worker.lastResult, 0);
}

TEST_F(WorkerTest, DownloadThatCannotReachItsDeviceEndsTheRun) {
  struct Case {
    const char* what;
    bool listFirst;  // a listing selected the device
    bool unplug;     // the device left before the download
    bool silent;     // the flow fails without reporting
    std::vector<std::string> expected;
  } cases[] = {
      {"no selection", false, false, false, {"1048:41511:0", "exited"}},
      {"a flow that reports nothing",
       true,
       false,
       true,
       {"1048:41906:0", "disable start", "download", "1044:41500:0", "exited"}},
      {"device gone from its place", true, true, false, {"1048:41906:0", "1044:41511:0", "exited"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RecordingOwner owner;
    ScriptedFlow flow;
    flow.owner = &owner;
    flow.silent = c.silent;
    CKvxThread worker(owner, [&] { return &flow; });
    if (c.listFirst) worker.PostThreadMessage(WM_THREAD_LIST_DEVICES, 0);
    worker.Start();
    if (c.unplug) {
      ASSERT_TRUE(owner.WaitFor("1048:41906:0"));
      device->Unplug(platform::GetClock().NowUs(), 0);
    }
    worker.PostThreadMessage(WM_THREAD_DOWNLOAD);
    worker.PostQuit();
    ASSERT_TRUE(owner.WaitFor("exited"));
    worker.Join();
    EXPECT_EQ(owner.Events(), c.expected);
    flow.DEV_CloseDevice();
  }
}

}  // namespace
}  // namespace vantor::test
