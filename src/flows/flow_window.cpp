#include "flows/flow_window.h"

#include <atomic>

#include "flows/last_result.h"

namespace vantor {

namespace {
std::atomic<CFlowWindow*> gWindow{nullptr};
std::atomic<std::uint64_t> gResultsPosted{0};
}  // namespace

void RegisterFlowWindow(CFlowWindow* window) { gWindow.store(window); }
CFlowWindow* RegisteredFlowWindow() { return gWindow.load(); }

bool FlowStopRequested() {
  CFlowWindow* window = gWindow.load();
  return window != nullptr && window->StopRequest() == 1;
}

bool IsResultClearingId(std::int64_t id) {
  switch (id) {
    case 41751:
    case 41755:
    case 41851:
    case 41854:
    case 41910:
    case 41913:
    case 41931:
      return true;
    default:
      return false;
  }
}

void PostFlowMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
  if (CFlowWindow* window = gWindow.load()) {
    window->PostFlowWindowMessage(message, wParam, lParam);
  }
  if (message == WM_FLOW_ERROR || message == WM_FLOW_SUCCESS) ++gResultsPosted;
  if (message == WM_FLOW_FINISHED) return;
  const auto code = static_cast<std::int32_t>(wParam);
  SetLastResultCode(code);
  if (IsResultClearingId(code)) SetLastResultCode(0);
}

std::uint64_t FlowResultsPosted() { return gResultsPosted.load(); }

}  // namespace vantor
