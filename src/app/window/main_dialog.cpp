#include "app/window/main_dialog.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QEventLoop>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cwctype>

#include "app/fw_version_compare.h"
#include "app/window/control_ids.h"
#include "config/ic_type_ini.h"
#include "config/settings.h"
#include "device/device_api.h"
#include "flows/dev_flow.h"
#include "flows/flow_factory.h"
#include "flows/last_result.h"
#include "image/memory_type.h"
#include "image/mp_config.h"
#include "platform/clock.h"
#include "platform/device_inventory.h"
#include "platform/messages.h"
#include "platform/text.h"
#include "platform/trace.h"
#include "platform/user_notice.h"

namespace vantor::window {

namespace {

// The second-burn lock's texts.
constexpr char kPasswordCaption[] = "请輸入密碼才能進行二次燒錄";
constexpr char kPasswordWrong[] = "密碼輸入錯誤.(請注意大小字母會有差異)";
constexpr char kPasswordCancelled[] = "請輸入正確密碼才可進行二次烧录";

constexpr char kWarningCaption[] = "Warning!!";
constexpr char kSameVersion[] = "Same FW version!";
constexpr char kOlderVersion[] = "The updated FW version is older than the current one, continue?";
constexpr wchar_t kUpdateVersionMark[] = L"Update FW version:";

// The wait after the worker has ended, before the window closes.
constexpr std::uint32_t kCloseDelayMs = 128;
// How often Start looks whether the worker has finished its jobs (real time).
constexpr int kIdlePollMs = 2;

// IC type codes that show control 1069.
bool ShowsIcTypeControl(std::uint8_t code) { return code == 10 || code == 15; }

QString Q(const std::wstring& text) { return QString::fromStdWString(text); }
QString Q(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  return text;
}

// An interface belongs to a device when the device's instance ID, with every "\" as "#",
// stands in the interface's path.
bool InterfaceBelongsTo(const std::wstring& interfacePath, const std::vector<std::wstring>& ids) {
  const std::wstring path = Lower(interfacePath);
  for (std::wstring id : ids) {
    std::replace(id.begin(), id.end(), L'\\', L'#');
    if (!id.empty() && path.find(Lower(id)) != std::wstring::npos) return true;
  }
  return false;
}

bool IsWatchedCategory(const platform::Guid& category) {
  return category == platform::kGuidKsCategoryAudio || category == platform::kGuidKsCategoryVideo;
}

// What Start keeps of the old flow object when it makes a new one. The ID check's outcome
// and the USB identity belong to the selected device as well: a relisting that finds
// the device at its place does not check again (without it Start would stay disabled after every
// run), and the result file names the device even when the run never reached it.
struct KeptFlowState {
  LibHandle handle = 0;
  std::int32_t selOrdinal = -1;
  std::uint32_t otpUsedBytes = 0;
  std::uint32_t idCheckOk = 0;
  std::uint16_t vid = 0, pid = 0, rev = 0;
};

CDevFlow* RecreateFlowKeeping(const KeptFlowState& kept, const DeviceLocation& location) {
  CDevFlow* flow = RecreateFlow();
  if (flow == nullptr) {
    // No flow for the memory type: nothing can hold the device any more.
    if (kept.handle != 0) Lib_CloseDevice(kept.handle);
    return nullptr;
  }
  flow->handle = kept.handle;
  flow->selOrdinal = kept.selOrdinal;
  flow->otpUsedBytes = kept.otpUsedBytes;
  flow->idCheckOk = kept.idCheckOk;
  flow->vid = kept.vid;
  flow->pid = kept.pid;
  flow->rev = kept.rev;
  flow->location = location;
  return flow;
}

// The device's built-in image (or the default image) becomes the download image.
void LoadBuiltInImage(CDevFlow& flow, const std::wstring& deviceText) {
  flow.ChooseBuiltInImage(deviceText, [] { return DeviceVariantByte(); });
  flow.imageA = flow.imageB;
  flow.backupImage = flow.imageB;
  flow.configA = nullptr;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Construction and layout

CQuillon_KvproxyDlg::CQuillon_KvproxyDlg(const std::string& versionText, QWidget* parent)
    : QDialog(parent), versionText_(versionText) {
  CreateControls();
  RegisterFlowWindow(this);
  OnInitDialog();
}

CQuillon_KvproxyDlg::~CQuillon_KvproxyDlg() {
  deviceChanges_.reset();
  // A worker nobody asked to quit ends here; either way it has ended before the flows
  // lose their window.
  worker_.reset();
  exitingWorker_.reset();
  if (CDevFlow* flow = CurrentFlow()) flow->DEV_CloseDevice();
  imageCopy_.clear();
  resultFile_.Close();
  RegisterFlowWindow(nullptr);
}

void CQuillon_KvproxyDlg::CreateControls() {
  auto label = [this](int id, const char* text, int x, int y, int w, int h) {
    auto* l = new QLabel(QString::fromUtf8(text), this);
    l->setObjectName(ControlName(id));
    l->setGeometry(x, y, w, h);
    return l;
  };
  auto button = [this](int id, const char* text, int x, int y, int w, int h) {
    auto* b = new QPushButton(QString::fromUtf8(text), this);
    b->setObjectName(ControlName(id));
    b->setGeometry(x, y, w, h);
    b->setAutoDefault(false);
    return b;
  };
  auto edit = [this](int id, int x, int y, int w, int h) {
    auto* e = new QLineEdit(this);
    e->setObjectName(ControlName(id));
    e->setGeometry(x, y, w, h);
    return e;
  };

  // The template; initialisation moves and hides some of these (OnInitDialog).
  audioIcLabel_ = label(kIdcAudioIcLabel, "", 10, 12, 70, 20);
  deviceList_ = new QComboBox(this);
  deviceList_->setObjectName(ControlName(kIdcDeviceList));
  deviceList_->setGeometry(85, 10, 300, 24);
  icType_ = label(kIdcIcType, "", 395, 12, 115, 20);

  imageText_ = edit(kIdcImageText, 10, 42, 400, 24);
  imageText_->setReadOnly(true);
  browser_ = button(kIdcBrowser, "Browser", 420, 42, 90, 24);
  browser_->hide();

  getVersion_ = button(kIdcGetVersion, "Get Version", 10, 72, 90, 24);
  version_ = label(kIdcVersion, "Ver: ", 110, 74, 200, 20);

  fwVersionLabel_ = label(kIdcFwVersionLabel, "", 10, 104, 90, 20);
  hiddenEdit_ = edit(kIdcPassword, 110, 102, 200, 24);
  statusLabel_ = label(kIdcStatusLabel, "Status: ", 10, 139, 60, 20);
  status_ = label(kIdcStatus, "", 75, 139, 235, 20);
  currentSnLabel_ = new QLabel(QStringLiteral("Current SN:"), this);
  currentSnLabel_->setObjectName(kCurrentSnLabelName);
  currentSnLabel_->setGeometry(320, 104, 80, 20);
  serial_ = label(kIdcSerial, "", 400, 104, 110, 20);

  progress_ = new QProgressBar(this);
  progress_->setObjectName(ControlName(kIdcProgress));
  progress_->setGeometry(10, 134, 500, 18);
  progress_->setRange(0, 100);
  progress_->setValue(0);
  progress_->setTextVisible(false);

  loopTotal_ = label(kIdcLoopTotal, "Total", 10, 166, 35, 20);
  loopCount_ = edit(kIdcLoopCount, 48, 164, 50, 24);
  loopCount_->setValidator(new QIntValidator(0, 999999, loopCount_));
  loopLeftLabel_ = label(kIdcLoopLeft, "Left:", 105, 166, 80, 20);

  result_ = label(kIdcResult, "N/A", 290, 158, 120, 40);
  result_->setAlignment(Qt::AlignCenter);
  start_ = button(kIdcStart, "Start", 420, 158, 90, 40);
  start_->setDefault(true);  // Enter presses Start

  resize(520, 250);
  connect(start_, &QPushButton::clicked, this, &CQuillon_KvproxyDlg::OnStart);
  connect(deviceList_, &QComboBox::activated, this, &CQuillon_KvproxyDlg::OnDeviceSelected);
}

void CQuillon_KvproxyDlg::OnInitDialog() {
  // 1. Title with the tool version.
  setWindowTitle(QString::fromUtf8(kWindowTitle) + QStringLiteral(" ") +
                 QString::fromStdString(versionText_));

  // 2. The result font: bold, 24 pixels high.
  resultFont_ = result_->font();
  resultFont_.setWeight(QFont::Bold);
  resultFont_.setPixelSize(24);
  result_->setFont(resultFont_);
  SetResultText(QStringLiteral("N/A"));
  state_.idCheckPassed = 1;
  icType_->hide();

  // 3. The loop test's controls.
  loopTest_ = GetSetting(Setting::LoopTest) != 0;
  loopTotal_->setVisible(loopTest_);
  loopCount_->setVisible(loopTest_);
  loopLeftLabel_->setVisible(loopTest_);

  // 4. Device arrival and removal, carried onto this thread.
  deviceChanges_ = platform::SubscribeDeviceChanges([this](const platform::DeviceChangeNotice& n) {
    PostToSelf([this, n] { OnDeviceChange(n); });
  });
  if (!deviceChanges_) DebugPrint("Register device notification fail");

  // 5. The worker.
  state_.logTypeOn = GetSetting(Setting::LogType);
  if (!worker_) {
    worker_ = std::make_unique<CKvxThread>(*this);
    worker_->Start();
  }

  // 7. Idle; the automatic start's event not signalled.
  SetRunState(false);
  autoRunEvent.Reset();

  // 8. The default device, on this thread.
  if (CDevFlow* flow = CurrentFlow()) flow->DEV_GetDefaultDeviceForAllInOne();

  // 9.
  state_.autoRunArmed = GetSetting(Setting::AutoRun);
  state_.saveResultMode = GetSetting(Setting::SaveResultToFile);
  audioIcLabel_->setText(QStringLiteral("Audio IC:"));

  // 10. Layout: the version takes the place of the hidden Get Version button, the status
  // moves up into the hidden row, and the window gets shorter.
  fwVersionLabel_->hide();
  hiddenEdit_->hide();
  statusLabel_->move(statusLabel_->x(), statusLabel_->y() - 35);
  status_->move(status_->x(), status_->y() - 35);
  resize(width(), height() - 40);
  fwVersionLabel_->setText(QStringLiteral("Fw Version"));
  const QRect getVersionPlace = getVersion_->geometry();
  getVersion_->hide();
  version_->setGeometry(getVersionPlace.x() + 8, getVersionPlace.y(), version_->width() + 200,
                        version_->height());
  setFixedSize(size());
  UpdateControls();
}

// ---------------------------------------------------------------------------------------
// Messages from the flows, the device flow and the worker

void CQuillon_KvproxyDlg::PostToSelf(std::function<void()> call) {
  QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

void CQuillon_KvproxyDlg::PostFlowWindowMessage(std::uint32_t message, std::uintptr_t wParam,
                                                std::intptr_t lParam) {
  // The posting thread owns the flow now: take what the window will show.
  FlowSnapshot snapshot;
  if (const CDevFlow* flow = CurrentFlow()) {
    snapshot.haveFlow = true;
    snapshot.fwVersion = flow->fwVersion;
    snapshot.connText = flow->connText;
    snapshot.manufacturerText = flow->manufacturerText;
    snapshot.imageText = flow->imagePath.empty() ? flow->imageVerText : flow->imagePath;
    snapshot.vid = flow->vid;
    snapshot.pid = flow->pid;
    snapshot.rev = flow->rev;
    snapshot.idCheckOk = flow->idCheckOk;
    snapshot.deviceWords = {flow->ver0, flow->ver1, flow->ver2, flow->ver3, flow->ver4, flow->ver5};
    snapshot.imageWords = flow->imageVer;
  }
  if (const CICTypeIni* ic = ActiveICTypeIni()) snapshot.icTypeCode = ic->ChipInfo();
  const auto code = static_cast<std::int32_t>(wParam);
  snapshot.resultCode = IsResultClearingId(code) ? 0 : code;
  PostToSelf([this, message, wParam, lParam, snapshot] {
    OnFlowMessage(message, wParam, lParam, snapshot);
  });
}

void CQuillon_KvproxyDlg::OnFlowMessage(std::uint32_t message, std::uintptr_t wParam,
                                        std::intptr_t lParam, const FlowSnapshot& snapshot) {
  switch (message) {
    case WM_FLOW_FINISHED:
      if (finished_) return;
      platform::Sleep(kCloseDelayMs);
      if (exitingWorker_) exitingWorker_->Join();
      finished_ = true;
      QDialog::done(QDialog::Rejected);
      return;
    case WM_FLOW_PROGRESS:
      progress_->setValue(static_cast<int>(std::min<std::uintptr_t>(wParam, 100)));
      return;
    case WM_FLOW_ERROR:
      OnFlowError(static_cast<std::uint32_t>(wParam), snapshot);
      return;
    case WM_FLOW_SUCCESS:
      OnFlowSuccess(snapshot);
      return;
    case WM_FLOW_STATUS:
      if (wParam != 0) SetStatusText(Q(MessageText(static_cast<std::uint32_t>(wParam))));
      UpdateControls();
      return;
    case WM_FLOW_DEVICE_INFO:
      OnDeviceInfo(static_cast<std::uint32_t>(wParam), lParam, snapshot);
      return;
    default:
      return;  // 1055 and others: not handled
  }
}

void CQuillon_KvproxyDlg::OnDeviceInfo(std::uint32_t id, std::intptr_t lParam,
                                       const FlowSnapshot& snapshot) {
  state_.idCheckPassed = 1;
  if (id == msg::kCheckDeviceInfoSucceed) {
    if (GetSetting(Setting::BcdType) != 0) {
      version_->setText(QString::asprintf("Current FW: 0x%04x", snapshot.rev));
    } else {
      version_->setText(QStringLiteral("Current FW: ") + Q(snapshot.fwVersion));
    }
    SetStatusText(Q(snapshot.connText));
    if (state_.lastOutcome == 1) SetStatusText(QStringLiteral("Download Succeed"));
    if (state_.lastOutcome == 2) SetStatusText(Q(state_.lastErrorText));
    icType_->setVisible(ShowsIcTypeControl(snapshot.icTypeCode));
    // The second serial text of "SN Address" is filled by nothing: both show the
    // manufacturer text.
    serial_->setText(Q(snapshot.manufacturerText));
    state_.devicePresent = 1;
    imageText_->setText(Q(snapshot.imageText));
    listedDeviceWords_ = snapshot.deviceWords;
    listedImageWords_ = snapshot.imageWords;
  } else {
    version_->setText(QStringLiteral("Current FW: N/A"));
    icType_->setText(QStringLiteral("N/A"));
    icType_->hide();
    SetStatusText(QStringLiteral("No USB Audio"));
    // A run's outcome stays in sight when its device is gone from the list afterwards
    // (unplugged during the run, or running firmware with another identity).
    if (state_.lastOutcome == 0) SetResultText(QStringLiteral("N/A"));
    if (state_.lastOutcome == 1) SetStatusText(QStringLiteral("Download Succeed"));
    if (state_.lastOutcome == 2) SetStatusText(Q(state_.lastErrorText));
    serial_->clear();
    state_.devicePresent = 0;
    imageText_->setText(Q(snapshot.imageText));
  }

  if (state_.devicePresent != 0) {
    state_.idCheckPassed = static_cast<int>(snapshot.idCheckOk);
    if (state_.idCheckPassed != 0 && IdCheckConfigured() && state_.autoRunArmed != 0 &&
        lParam == 0) {
      platform::Sleep(static_cast<std::uint32_t>(std::max(0, GetSetting(Setting::AutoRunDelay))));
      PostStartClick();
      state_.autoRunArmed = 0;
    }
  }
  SetRunState(false);
  UpdateControls();
  PostToSelf([this] { progress_->setValue(0); });
}

void CQuillon_KvproxyDlg::OnFlowSuccess(const FlowSnapshot& snapshot) {
  SetResultText(QStringLiteral("PASS"));
  UpdateControls();
  progress_->setValue(0);
  state_.lastOutcome = 1;
  if (state_.logTypeOn != 0) {
    CBurnResultLog::AppendOnce(snapshot.manufacturerText, true, snapshot.resultCode);
  }
  if (worker_) {
    if (loopTest_ && loopLeft_ == 0) {
      state_.devicePresent = 0;
      PostJob(WM_THREAD_CLOSE_DEVICE);
      PostJob(WM_THREAD_LIST_DEVICES, 0);
    } else if (!loopTest_) {
      // Otherwise the worker starts the next iteration.
      state_.devicePresent = 0;
      PostJob(WM_THREAD_CLOSE_DEVICE);
      PostJob(WM_THREAD_LIST_DEVICES, 1);
      const std::string text =
          WindowResultText(state_.saveResultMode, true, snapshot.vid, snapshot.pid, snapshot.rev);
      if (!text.empty()) resultFile_.Write(text);
      resultFile_.Close();
      if (GetSetting(Setting::AutoRun) == 2) {
        // One successful run and the program ends (the worker's 1042 closes the window).
        worker_->PostQuit();
        exitingWorker_ = std::move(worker_);
        closing_ = true;
      }
    }
  }
  SetRunState(false);
  SetStopRequest(0);
}

void CQuillon_KvproxyDlg::OnFlowError(std::uint32_t id, const FlowSnapshot& snapshot) {
  SetResultText(QStringLiteral("FAIL"));
  progress_->setValue(0);
  UpdateControls();
  state_.lastOutcome = 2;
  state_.lastErrorText = platform::FromUtf8(MessageText(id));
  if (state_.logTypeOn != 0) {
    CBurnResultLog::AppendOnce(snapshot.manufacturerText, false, snapshot.resultCode);
  }
  SetStopRequest(0);
  PostJob(WM_THREAD_CLOSE_DEVICE);
  PostJob(WM_THREAD_LIST_DEVICES, 1);
  const std::string text =
      WindowResultText(state_.saveResultMode, false, snapshot.vid, snapshot.pid, snapshot.rev);
  if (!text.empty()) resultFile_.Write(text);
  resultFile_.Close();
  SetRunState(false);
}

// ---------------------------------------------------------------------------------------
// Start

void CQuillon_KvproxyDlg::OnStart() {
  if (state_.runActive != 0) {
    SetStopRequest(1);
    return;
  }
  if (preparing_ || closing_) return;
  preparing_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{preparing_};
  // The flow object is the worker's while it runs a job.
  WaitForIdleWorker();
  if (state_.runActive != 0 || closing_ || !worker_) return;

  if (!PrepareImage()) return;

  UpdateFields();
  if (loopLeft_ == 0) return;
  if (loopTest_) {
    loopLeft_ = loopLeft_ - 1;
    loopLeftLabel_->setText(QStringLiteral("Left : %1").arg(loopLeft_.load()));
  }

  SetResultText(QStringLiteral("N/A"));
  if (GetSetting(Setting::DebugLog) == 0 && Lib_GetLibType() == 1) {
    SetStatusText(QStringLiteral("Change Download Lib Type"));
    DebugPrint("----------------: ");
    DebugPrint("Change Download Lib Type");
  } else {
    SetStatusText(QStringLiteral("Begin to Download"));
  }
  SetRunState(true);
  UpdateControls();
  SetStopRequest(0);

  if (state_.saveResultMode != 0) resultFile_.Create();
  const CDevFlow* flow = CurrentFlow();
  imageCopy_ = flow != nullptr ? flow->imageA : std::vector<std::uint8_t>();
  DebugPrint("FW Path is %s", imageText_->text().toUtf8().constData());

  if (!PasswordAccepted()) {
    SetRunState(false);
    return;
  }
  PostJob(WM_THREAD_DOWNLOAD);
}

bool CQuillon_KvproxyDlg::PrepareImage() {
  KeptFlowState kept;
  if (const CDevFlow* old = CurrentFlow()) {
    kept = {old->handle, old->selOrdinal, old->otpUsedBytes, old->idCheckOk,
            old->vid,    old->pid,        old->rev};
  }
  CDevFlow* flow = RecreateFlowKeeping(kept, lastLocation);

  const std::wstring imageText = imageText_->text().toStdWString();
  const bool builtIn =
      imageText.empty() || imageText.find(kUpdateVersionMark) != std::wstring::npos;
  if (builtIn) {
    // The versions of the last device information shown: a loop test's iterations compare
    // with the device as it was listed, not with what they wrote.
    switch (CompareFirmwareVersions(listedImageWords_, listedDeviceWords_)) {
      case VersionVerdict::kSame:
        platform::ShowMessageBox(kSameVersion, kWarningCaption);
        return false;
      case VersionVerdict::kOlder:
        if (!platform::AskYesNo(kOlderVersion, kWarningCaption, true)) return false;
        break;
      case VersionVerdict::kNewer:
      case VersionVerdict::kOlderQuiet:
        break;
    }
  }
  if (flow == nullptr) return true;  // the worker reports "Not Support!"

  // Loads the image; an image of another memory type gets a flow object of its own.
  const std::wstring serialText = serial_->text().toStdWString();
  auto load = [&](CDevFlow& f) {
    if (builtIn) {
      LoadBuiltInImage(f, currentDevText);
    } else {
      f.imagePath = imageText;
      f.LoadImageFile();
      f.manufacturerText = serialText;
    }
    if (!f.imageA.empty()) f.PrepareImage(f.imageA.data(), f.imageALen());
  };
  const MemoryType before = GetMemoryType();
  load(*flow);
  if (GetMemoryType() != before) {
    flow = RecreateFlowKeeping(kept, lastLocation);
    if (flow != nullptr) load(*flow);
  }
  return true;
}

bool CQuillon_KvproxyDlg::PasswordAccepted() {
  const std::string configured = GetSettingText(Setting::OtpPassword);
  const CDevFlow* flow = CurrentFlow();
  if (configured.empty() || flow == nullptr || flow->otpUsedBytes == 0) return true;
  const std::optional<std::string> typed = platform::AskText(kPasswordCaption);
  if (!typed) {
    platform::ShowMessageBox(kPasswordCancelled);
    return false;
  }
  // Letter case counts.
  if (platform::FromUtf8(*typed) != platform::FromAnsi(configured)) {
    platform::ShowMessageBox(kPasswordWrong);
    return false;
  }
  return true;
}

void CQuillon_KvproxyDlg::WaitForIdleWorker() {
  if (!worker_ || worker_->IsIdle()) return;
  // The window's messages go on meanwhile (a job may show a box); the user's input waits.
  QEventLoop loop;
  QTimer poll;
  connect(&poll, &QTimer::timeout, &loop, [&] {
    if (!worker_ || worker_->IsIdle()) loop.quit();
  });
  poll.start(kIdlePollMs);
  loop.exec(QEventLoop::ExcludeUserInputEvents);
}

// ---------------------------------------------------------------------------------------
// Device arrival and removal, the device list

void CQuillon_KvproxyDlg::OnDeviceChange(const platform::DeviceChangeNotice& notice) {
  const std::vector<std::wstring> openDevice =
      worker_ ? worker_->OpenDeviceInstanceIds() : std::vector<std::wstring>();
  switch (notice.change) {
    case platform::DeviceChange::kArrival:
      if (!IsWatchedCategory(notice.category)) return;
      DebugPrint("DeviceChange - Device arrival");
      if (openDevice.empty() && state_.runActive == 0) {
        DebugPrint("Condition4");
        SetStatusText(QStringLiteral("Device Opened"));
        PostJob(WM_THREAD_LIST_DEVICES, 0);
      }
      return;
    case platform::DeviceChange::kRemoveComplete:
      DebugPrint("DeviceChange - Device remove complete");
      if (!IsWatchedCategory(notice.category)) return;
      DebugPrint("remove info is %s", platform::ToUtf8(notice.interfacePath).c_str());
      if (InterfaceBelongsTo(notice.interfacePath, openDevice)) {
        if (state_.runActive != 0) {
          // The device left during a reset: the settle wait may end now.
          DebugPrint("Condition1");
          Lib_SignalDeviceArrival();
          return;
        }
        DebugPrint("Condition2");
        state_.lastOutcome = 0;
        PostJob(WM_THREAD_LIST_DEVICES, 0);
      }
      if (state_.runActive == 0) {
        DebugPrint("Condition3");
        state_.lastOutcome = 0;
        PostJob(WM_THREAD_LIST_DEVICES, 0);
      }
      return;
    case platform::DeviceChange::kNodesChanged:
      DebugPrint("DeviceChange - DevNodes changed");
      return;
  }
}

void CQuillon_KvproxyDlg::OnDeviceSelected(int index) {
  if (index < 0 || state_.runActive != 0 || closing_) return;
  // currentDevText is the jobs' too.
  WaitForIdleWorker();
  if (!worker_) return;
  currentDevText = DeviceEntryText(index);
  state_.lastOutcome = 0;
  PostJob(WM_THREAD_RELIST_DEVICES);
  SetRunState(true);
}

void CQuillon_KvproxyDlg::ClearDeviceList() {
  {
    std::lock_guard lock(listMutex_);
    entries_.clear();
  }
  PostToSelf([this] { deviceList_->clear(); });
}

int CQuillon_KvproxyDlg::AppendDeviceEntry(const std::wstring& text) {
  int position;
  {
    std::lock_guard lock(listMutex_);
    entries_.push_back(text);
    position = static_cast<int>(entries_.size()) - 1;
  }
  PostToSelf([this, text] { deviceList_->addItem(Q(text)); });
  return position;
}

bool CQuillon_KvproxyDlg::SelectDeviceEntry(int position) {
  {
    std::lock_guard lock(listMutex_);
    if (position < 0 || position >= static_cast<int>(entries_.size())) return false;
  }
  PostToSelf([this, position] { deviceList_->setCurrentIndex(position); });
  return true;
}

std::wstring CQuillon_KvproxyDlg::DeviceEntryText(int position) const {
  std::lock_guard lock(listMutex_);
  if (position < 0 || position >= static_cast<int>(entries_.size())) return {};
  return entries_[position];
}

// ---------------------------------------------------------------------------------------
// The worker's requests

void CQuillon_KvproxyDlg::SetLoopLabel(const std::wstring& text) {
  PostToSelf([this, text] { loopLeftLabel_->setText(Q(text)); });
}

void CQuillon_KvproxyDlg::DisableStart() {
  PostToSelf([this] { start_->setEnabled(false); });
}

void CQuillon_KvproxyDlg::PostStartClick() {
  PostToSelf([this] { OnStart(); });
}

void CQuillon_KvproxyDlg::PostWorkerExited() {
  PostToSelf([this] { OnFlowMessage(WM_FLOW_FINISHED, 0, 0, {}); });
}

void CQuillon_KvproxyDlg::PostJob(std::uint32_t message, std::uintptr_t wParam) {
  if (worker_) worker_->PostThreadMessage(message, wParam);
}

// ---------------------------------------------------------------------------------------
// Closing

void CQuillon_KvproxyDlg::BeginClose() {
  if (finished_) {
    QDialog::done(QDialog::Rejected);
    return;
  }
  if (closing_) return;
  closing_ = true;
  if (worker_) {
    // A running download stops at its next stop check; the worker's 1042 closes us.
    SetStopRequest(1);
    worker_->PostQuit();
    exitingWorker_ = std::move(worker_);
  } else {
    PostWorkerExited();
  }
}

// ---------------------------------------------------------------------------------------
// Controls

bool CQuillon_KvproxyDlg::IdCheckConfigured() const {
  return GetSetting(Setting::CheckVidPidIni) != 0 || GetSetting(Setting::CheckVidPidBin) != 0;
}

void CQuillon_KvproxyDlg::SetRunState(bool active) {
  state_.runActive = active ? 1 : 0;
  const bool enable =
      !active && state_.devicePresent != 0 && (!IdCheckConfigured() || state_.idCheckPassed != 0);
  start_->setEnabled(enable);
  getVersion_->setEnabled(enable);
  icType_->setEnabled(enable);
  version_->setEnabled(enable);
  // A selection change relists through the flow object: not while a run holds it.
  deviceList_->setEnabled(!active);
  progress_->setValue(0);
}

void CQuillon_KvproxyDlg::UpdateControls() { loopCount_->setText(QString::number(loopLeft_)); }

void CQuillon_KvproxyDlg::UpdateFields() { loopLeft_ = loopCount_->text().toInt(); }

void CQuillon_KvproxyDlg::SetResultText(const QString& text) {
  result_->setText(text);
  // Green for PASS, red for anything else.
  result_->setStyleSheet(text == QStringLiteral("PASS") ? QStringLiteral("color: rgb(0, 255, 0);")
                                                        : QStringLiteral("color: rgb(255, 0, 0);"));
}

void CQuillon_KvproxyDlg::SetStatusText(const QString& text) { status_->setText(text); }

}  // namespace vantor::window
