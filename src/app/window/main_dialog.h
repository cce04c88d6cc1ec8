// The main window: one dialog that lists the attached devices, shows the selected
// device's firmware version and serial text, downloads the device's image on Start, shows
// progress, the current step and a large PASS or FAIL, and repeats downloads for a loop
// test. It relists the devices by itself when devices arrive or leave.
//
// Every device operation runs on the worker (CKvxThread); the window posts jobs and
// reacts to the messages that come back: the flows post from the worker's thread, and
// each message is carried onto the window's thread (a queued call) together with what the
// flow then knew about its device, so the window never reads the flow while a job runs.
// The window itself touches the flow only in Start and in a selection change, after the
// worker has finished its jobs.
#pragma once

#include <QDialog>
#include <QFont>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/fw_version_compare.h"
#include "app/result_files.h"
#include "app/worker/kvx_thread.h"
#include "flows/flow_window.h"
#include "platform/device_notifications.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QWidget;

namespace vantor::window {

inline constexpr char kWindowTitle[] = "USB Audio FW Update Tool";

// What a message carries besides its numbers: the flow's device information, taken on
// the posting thread while that thread owns the flow.
struct FlowSnapshot {
  bool haveFlow = false;
  std::wstring fwVersion;
  std::wstring connText;
  std::wstring manufacturerText;
  std::wstring imageText;  // the image path, or "Update FW version:" and the version
  std::uint16_t vid = 0;
  std::uint16_t pid = 0;
  std::uint16_t rev = 0;
  std::uint32_t idCheckOk = 0;
  std::uint8_t icTypeCode = 0;
  std::int32_t resultCode = 0;  // LastResultCode once the message is posted
  VersionWords deviceWords{};   // the device's version components
  VersionWords imageWords{};    // its built-in image's
};

class CQuillon_KvproxyDlg : public QDialog, public CFlowWindow, public CWorkerOwner {
  Q_OBJECT

 public:
  // The window state fields.
  struct State {
    int runActive = 0;
    int devicePresent = 0;
    int idCheckPassed = 1;
    int autoRunArmed = 0;
    int saveResultMode = 0;
    int logTypeOn = 0;
    int lastOutcome = 0;  // 0 none, 1 the last run passed, 2 it failed
    std::wstring lastErrorText;
  };

  // Initialises as the dialog opens: controls, settings, worker, device notifications,
  // and the default device (listed on this thread). Registers as the flows' window.
  explicit CQuillon_KvproxyDlg(const std::string& versionText, QWidget* parent = nullptr);
  ~CQuillon_KvproxyDlg() override;
  CQuillon_KvproxyDlg(const CQuillon_KvproxyDlg&) = delete;
  CQuillon_KvproxyDlg& operator=(const CQuillon_KvproxyDlg&) = delete;

  const State& state() const { return state_; }
  bool loopTest() const { return loopTest_; }
  bool workerExists() const { return worker_ != nullptr; }

  // --- CFlowWindow (any thread) ---
  void PostFlowWindowMessage(std::uint32_t message, std::uintptr_t wParam,
                             std::intptr_t lParam) override;
  void ClearDeviceList() override;
  int AppendDeviceEntry(const std::wstring& text) override;
  bool SelectDeviceEntry(int position) override;
  std::wstring DeviceEntryText(int position) const override;

  // --- CWorkerOwner (worker thread) ---
  bool LoopTestOn() const override { return loopTest_; }
  std::int32_t LoopLeft() const override { return loopLeft_; }
  void SetLoopLabel(const std::wstring& text) override;
  void DisableStart() override;
  void PostStartClick() override;
  void PostWorkerExited() override;

 public Q_SLOTS:
  // The Start button (control 1003): starts a run, or asks a running one to stop. The
  // worker's loop and the automatic start post it too.
  void OnStart();

 protected:
  // OK, Cancel, Escape and the close box end the window through the worker.
  void accept() override { BeginClose(); }
  void reject() override { BeginClose(); }

 private:
  void CreateControls();
  void OnInitDialog();
  void BeginClose();

  void OnFlowMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam,
                     const FlowSnapshot& snapshot);
  void OnDeviceInfo(std::uint32_t id, std::intptr_t lParam, const FlowSnapshot& snapshot);
  void OnFlowSuccess(const FlowSnapshot& snapshot);
  void OnFlowError(std::uint32_t id, const FlowSnapshot& snapshot);
  void OnDeviceChange(const platform::DeviceChangeNotice& notice);
  void OnDeviceSelected(int index);

  // Start's steps: the image choice (false: nothing starts) and the second-burn lock.
  bool PrepareImage();
  bool PasswordAccepted();
  void WaitForIdleWorker();

  // The run state: the controls that start runs are enabled only while idle with a
  // device (and a passed ID check when one is configured); the progress bar goes to 0.
  void SetRunState(bool active);
  // Fields to controls, and the loop count from its edit.
  void UpdateControls();
  void UpdateFields();
  void SetResultText(const QString& text);
  void SetStatusText(const QString& text);
  void PostJob(std::uint32_t message, std::uintptr_t wParam = 0);
  void PostToSelf(std::function<void()> call);
  bool IdCheckConfigured() const;

  State state_;
  std::string versionText_;
  std::atomic<bool> loopTest_{false};
  std::atomic<std::int32_t> loopLeft_{1};
  bool closing_ = false;    // the quit has been asked for
  bool finished_ = false;   // 1042 arrived: the dialog really closes
  bool preparing_ = false;  // Start is preparing a run
  CResultFile resultFile_;
  // The versions of the device information shown last, which Start compares.
  VersionWords listedDeviceWords_{};
  VersionWords listedImageWords_{};
  std::vector<std::uint8_t> imageCopy_;

  std::unique_ptr<CKvxThread> worker_;
  std::unique_ptr<CKvxThread> exitingWorker_;  // asked to quit; joined when it has ended
  std::unique_ptr<platform::DeviceChangeSubscription> deviceChanges_;

  // The device list as the device flow sees it (written from the worker's thread); the
  // drop-down list follows it on the window's thread.
  mutable std::mutex listMutex_;
  std::vector<std::wstring> entries_;

  QFont resultFont_;
  QLineEdit* imageText_ = nullptr;     // 1000
  QPushButton* browser_ = nullptr;     // 1001
  QPushButton* start_ = nullptr;       // 1003
  QPushButton* getVersion_ = nullptr;  // 1004
  QLineEdit* loopCount_ = nullptr;     // 1009
  QLabel* loopLeftLabel_ = nullptr;    // 1011
  QLabel* result_ = nullptr;           // 1016
  QLabel* serial_ = nullptr;           // 1028
  QLabel* version_ = nullptr;          // 1030
  QProgressBar* progress_ = nullptr;   // 1031
  QLabel* status_ = nullptr;           // 1033
  QComboBox* deviceList_ = nullptr;    // 1050
  QLabel* icType_ = nullptr;           // 1069
  QLabel* loopTotal_ = nullptr;        // 1071
  QLineEdit* hiddenEdit_ = nullptr;    // 1137
  QLabel* audioIcLabel_ = nullptr;     // 1143
  QLabel* fwVersionLabel_ = nullptr;   // 1188
  QLabel* statusLabel_ = nullptr;      // 1189
  QLabel* currentSnLabel_ = nullptr;   // "Current SN:"
};

}  // namespace vantor::window
