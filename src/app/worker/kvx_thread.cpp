#include "app/worker/kvx_thread.h"

#include <utility>

#include "device/device_api.h"
#include "flows/dev_flow.h"
#include "flows/flow_factory.h"
#include "flows/flow_window.h"
#include "flows/last_result.h"
#include "platform/clock.h"
#include "platform/device_inventory.h"
#include "platform/messages.h"
#include "platform/trace.h"

namespace vantor {

namespace {

// The flags word every device command of a download carries.
constexpr std::uint32_t kDownloadCmdFlags = 0x40;
// Pause before the next loop-test iteration.
constexpr std::uint32_t kLoopPauseMs = 1000;

// The open device's instance ID and those of the nodes below it (its functions).
std::vector<std::wstring> CurrentDeviceInstanceIds() {
  std::vector<std::wstring> ids;
  const LibHandle handle = Lib_GetHandle();
  if (handle == 0) return ids;
  const auto inventory = platform::GetDeviceInventory();
  std::vector<platform::DevInst> pending = {handle};
  while (!pending.empty() && ids.size() < 64) {
    const platform::DevInst node = pending.back();
    pending.pop_back();
    std::wstring id;
    if (inventory->GetDeviceInstanceId(node, id) == 0) ids.push_back(id);
    platform::DevInst child = 0;
    for (std::uint32_t rc = inventory->GetFirstChild(node, child); rc == 0 && child != 0;
         rc = inventory->GetNextSibling(child, child)) {
      pending.push_back(child);
    }
  }
  return ids;
}

}  // namespace

CKvxThread::CKvxThread(CWorkerOwner& owner, std::function<CDevFlow*()> flow)
    : owner_(owner), flow_(flow ? std::move(flow) : std::function<CDevFlow*()>(CurrentFlow)) {}

CKvxThread::~CKvxThread() {
  if (thread_.joinable()) {
    PostQuit();
    Join();
  }
}

void CKvxThread::Start() {
  if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
}

bool CKvxThread::PostThreadMessage(std::uint32_t message, std::uintptr_t wParam) {
  {
    std::lock_guard lock(mutex_);
    if (quitPosted_) return false;
    jobs_.push_back({message, wParam});
  }
  wake_.notify_one();
  return true;
}

void CKvxThread::PostQuit() {
  {
    std::lock_guard lock(mutex_);
    quitPosted_ = true;
  }
  wake_.notify_one();
}

void CKvxThread::Join() {
  if (thread_.joinable()) thread_.join();
}

bool CKvxThread::IsIdle() const {
  std::lock_guard lock(mutex_);
  return jobs_.empty() && !busy_;
}

std::vector<std::wstring> CKvxThread::OpenDeviceInstanceIds() const {
  std::lock_guard lock(mutex_);
  return openDevice_;
}

void CKvxThread::SetOpenDevice(std::vector<std::wstring> instanceIds) {
  std::lock_guard lock(mutex_);
  openDevice_ = std::move(instanceIds);
}

void CKvxThread::Run() {
  for (;;) {
    Job job;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return !jobs_.empty() || quitPosted_; });
      if (jobs_.empty()) break;  // quit, after every job queued before it
      job = jobs_.front();
      jobs_.pop_front();
      busy_ = true;
    }
    RunJob(job);
    std::lock_guard lock(mutex_);
    busy_ = false;
  }
  owner_.PostWorkerExited();
  // A session that ended well (the last notice a success, device information included)
  // leaves the exit code 0.
  const std::int32_t code = GetLastResultCode();
  if (IsResultClearingId(code) ||
      (code > 0 && IsSuccessMessage(static_cast<std::uint32_t>(code)))) {
    SetLastResultCode(0);
  }
}

void CKvxThread::RunJob(const Job& job) {
  CDevFlow* flow = flow_();
  switch (job.message) {
    case WM_THREAD_DOWNLOAD:
      if (flow != nullptr) {
        Download(*flow);
      } else {
        // No flow for the image's memory type: the run cannot start; say so rather than
        // leave the window waiting.
        PostFlowMessage(WM_FLOW_ERROR, msg::kNotSupport);
      }
      break;
    case WM_THREAD_LIST_DEVICES:
      if (flow != nullptr)
        flow->DEV_GetDeviceListForAllInOne(static_cast<std::uint32_t>(job.wParam));
      break;
    case WM_THREAD_RELIST_DEVICES:
      if (flow != nullptr) flow->DEV_GetDeviceListAfterReset();
      break;
    case WM_THREAD_CLOSE_DEVICE:
      if (flow != nullptr) flow->DEV_CloseDevice();
      SetOpenDevice({});
      break;
    default:
      break;  // not a job of the worker
  }
}

void CKvxThread::Download(CDevFlow& flow) {
  flow.DEV_SetResetOptions();
  flow.DEV_CloseDevice();
  SetOpenDevice({});
  if (flow.Dev_OpenDeviceForMultiCamera() == 0) {
    // Without a selection the device flow has said so (device information 41511). A
    // selected device that is no longer where it was would leave the window waiting for
    // a result forever: the run fails with "Detect Device Fail!".
    if (flow.selOrdinal != -1) PostFlowMessage(WM_FLOW_ERROR, msg::kDetectDeviceFail);
    return;
  }
  SetOpenDevice(CurrentDeviceInstanceIds());
  owner_.DisableStart();

  DebugPrint("Start Download");
  flow.cmdFlags = kDownloadCmdFlags;
  const std::uint64_t resultsBefore = FlowResultsPosted();
  lastResult = flow.Download();
  DebugPrint("End Download");
  if (lastResult == 0 && FlowResultsPosted() == resultsBefore) {
    // A flow that failed without reporting (a memory without a download) still ends the
    // run: with its last error, else "Not Support!".
    const std::int32_t code = GetLastResultCode();
    const bool failureId =
        code > 0 && MessageKindOf(static_cast<std::uint32_t>(code)) == MessageKind::Failure;
    PostFlowMessage(WM_FLOW_ERROR, failureId ? static_cast<std::uint32_t>(code) : msg::kNotSupport);
  }

  if (!owner_.LoopTestOn()) return;
  if (lastResult != 0 && owner_.LoopLeft() > 0) {
    DebugPrint("Auto next loop text");
    platform::Sleep(kLoopPauseMs);
    owner_.PostStartClick();
  }
  if (owner_.LoopLeft() == 0) {
    owner_.SetLoopLabel(L"Left : 0");
    PostFlowMessage(WM_FLOW_STATUS, 0);
  }
}

}  // namespace vantor
