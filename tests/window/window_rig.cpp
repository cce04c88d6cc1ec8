#include "window_rig.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QTest>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "app/vantor_app.h"
#include "config/ic_type_ini.h"
#include "config/settings.h"
#include "flows/flash_info.h"
#include "flows/last_result.h"
#include "image/memory_type.h"
#include "platform/clock.h"
#include "platform/text.h"

namespace vantor::test {

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs) {
  return QTest::qWaitFor(condition, timeoutMs);
}

// ---- ProxyGate ----

namespace {
int CodeIndex(std::uint32_t code) {
  switch (code) {
    case platform::kIoctlProxyAttach:
      return 0;
    case platform::kIoctlProxySubmit:
      return 1;
    default:
      return 2;
  }
}
}  // namespace

class GatedProxy : public platform::ProxyDriver {
 public:
  GatedProxy(std::unique_ptr<platform::ProxyDriver> inner, ProxyGate& gate)
      : inner_(std::move(inner)), gate_(gate) {}
  bool IoControl(std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                 std::uint32_t outSize, std::uint32_t* bytesReturned) override {
    gate_.Pass(code);
    return inner_->IoControl(code, in, inSize, out, outSize, bytesReturned);
  }

 private:
  std::unique_ptr<platform::ProxyDriver> inner_;
  ProxyGate& gate_;
};

void ProxyGate::Install(sim::SimBus& bus) {
  platform::SetProxyDriverOpener([this, &bus]() -> std::unique_ptr<platform::ProxyDriver> {
    return std::make_unique<GatedProxy>(bus.OpenControlDevice(), *this);
  });
}

void ProxyGate::Arm(Match match) {
  std::lock_guard lock(mutex_);
  match_ = std::move(match);
  held_ = false;
  released_ = false;
  for (auto& c : counts_) c = 0;
}

void ProxyGate::Pass(std::uint32_t code) {
  std::unique_lock lock(mutex_);
  const std::uint64_t count = ++counts_[CodeIndex(code)];
  if (!match_ || !match_(code, count)) return;
  match_ = nullptr;  // once
  held_ = true;
  changed_.notify_all();
  changed_.wait_for(lock, std::chrono::seconds(60), [this] { return released_; });
}

bool ProxyGate::WaitHeld(int timeoutMs) {
  return WaitUntil(
      [this] {
        std::lock_guard lock(mutex_);
        return held_;
      },
      timeoutMs);
}

void ProxyGate::Release() {
  {
    std::lock_guard lock(mutex_);
    released_ = true;
  }
  changed_.notify_all();
}

// ---- Controls ----

namespace {
template <class T>
T* Find(CQuillon_KvproxyDlg& dialog, int id) {
  T* control = dialog.findChild<T*>(window::ControlName(id));
  EXPECT_NE(control, nullptr) << "control " << id;
  return control;
}
}  // namespace

Controls::Controls(CQuillon_KvproxyDlg& dialog)
    : imageText(Find<QLineEdit>(dialog, window::kIdcImageText)),
      start(Find<QPushButton>(dialog, window::kIdcStart)),
      loopCount(Find<QLineEdit>(dialog, window::kIdcLoopCount)),
      loopLeft(Find<QLabel>(dialog, window::kIdcLoopLeft)),
      result(Find<QLabel>(dialog, window::kIdcResult)),
      serial(Find<QLabel>(dialog, window::kIdcSerial)),
      version(Find<QLabel>(dialog, window::kIdcVersion)),
      progress(Find<QProgressBar>(dialog, window::kIdcProgress)),
      status(Find<QLabel>(dialog, window::kIdcStatus)),
      deviceList(Find<QComboBox>(dialog, window::kIdcDeviceList)) {}

// ---- WindowRig ----

WindowRig::WindowRig() {
  char cwd[4096];
  if (::getcwd(cwd, sizeof cwd) != nullptr) previousDir_ = cwd;
  // burn_result.txt is written to the current directory.
  EXPECT_EQ(::chdir(dir.path().c_str()), 0);
  gate.Install(sim.bus());
  SetLastResultCode(0);
  Settings("AutoRun=0\n");
}

WindowRig::~WindowRig() {
  SetMainWindowRunner(nullptr);
  ::unsetenv(kSettingsOverrideVariable);
  gate.Release();
  if (!previousDir_.empty()) {
    EXPECT_EQ(::chdir(previousDir_.c_str()), 0);
  }
  SetMemoryType(MemoryType::kFlash);
  SetLastResultCode(0);
}

void WindowRig::Settings(const std::string& body) {
  const auto file = dir.Write("settings.ini", "[Vantor Config]\n" + body);
  ::setenv(kSettingsOverrideVariable, file.c_str(), 1);
}

int WindowRig::Run(const std::function<void(CQuillon_KvproxyDlg&)>& body) {
  SetMainWindowRunner([&](const std::string& version) {
    CQuillon_KvproxyDlg dialog(version);
    dialog.show();
    body(dialog);
    if (dialog.isVisible()) {
      static_cast<QDialog&>(dialog).reject();
      EXPECT_TRUE(WaitUntil([&] { return !dialog.isVisible(); })) << "the window did not close";
    }
  });
  CVantorApp app;
  return app.Run({L"vantorfw"});
}

sim::SimDevice& WindowRig::AddListedDevice(const char* name, int number, std::uint16_t release,
                                           const char* profile) {
  sim::DeviceConfig config;
  EXPECT_TRUE(sim::MakeProfile(profile, name, config));
  config.pid = 0x0310;
  char text[32];
  std::snprintf(text, sizeof text, "KV0310-%06d", number);
  config.manufacturer = text;
  std::snprintf(text, sizeof text, "0310%06d", number);
  config.serial = text;
  config.port = static_cast<std::uint32_t>(number);
  config.release = release;
  return sim.AddDevice(std::move(config));
}

void WindowRig::LoadBuiltInImageInto(sim::SimDevice& device, bool newer) {
  // The image the window chooses for the device: the IC type definitions' default image
  // when the device has none of its own.
  LoadSettingsText("[Vantor Config]\n");
  CICTypeIni definitions;
  definitions.BuildList();
  definitions.SelectByName();
  definitions.ApplyDefinition();
  SetActiveICTypeIni(&definitions);
  CSPIFlashInfo_USB flow;
  const sim::DeviceConfig& c = device.config();
  char id[64];
  std::snprintf(id, sizeof id, "VID_%04X&PID_%04X&REV_%04X", c.vid, c.pid, c.release);
  flow.ChooseBuiltInImage(platform::FromAnsi(id), [] { return std::uint8_t{0}; });
  SetActiveICTypeIni(nullptr);
  DeleteSettings();
  std::vector<std::uint8_t> image = flow.imageB;
  ASSERT_GE(image.size(), 0x10000u);
  ASSERT_LE(image.size(), device.memorySize());
  if (newer) image[0x100C] = static_cast<std::uint8_t>(image[0x100C] + 0x10);
  std::copy(image.begin(), image.end(), device.memory());
  std::fill(device.memory() + image.size(), device.memory() + device.memorySize(), 0xFF);
  device.PowerCycle(platform::GetClock().NowUs());
  ASSERT_EQ(device.state().run, sim::RunState::kFirmware) << "the image does not run";
}

std::string WindowRig::File(const char* name) const {
  std::ifstream in(dir.path() / name, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::size_t WindowRig::CountTraced(const std::string& text) const {
  const std::vector<std::string> lines = trace.Lines();
  return static_cast<std::size_t>(
      std::count_if(lines.begin(), lines.end(),
                    [&](const std::string& l) { return l.find(text) != std::string::npos; }));
}

}  // namespace vantor::test

namespace vantor::test {

std::size_t WindowRig::CountLines(const std::string& line) const {
  std::size_t n = 0;
  for (std::string l : trace.Lines()) {
    while (!l.empty() && (l.back() == '\n' || l.back() == '\r')) l.pop_back();
    if (l == line) ++n;
  }
  return n;
}

}  // namespace vantor::test
