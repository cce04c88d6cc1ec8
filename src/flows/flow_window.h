// The channel from the flows to the front end: window messages posted (never awaited) to
// the registered front-end window, and LastResultCode, which follows every post.
//
// The window registers itself while it lives; the command-line mode registers none, and
// then nothing is posted but LastResultCode still follows. The window carries a lock and
// a stop-request flag the flows read under that lock before each device step, and the
// device-list state the device flow reads and writes while it lists devices.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "platform/clock.h"

namespace vantor {

// Window messages of the flows, the device flow and the worker.
inline constexpr std::uint32_t WM_FLOW_FINISHED = 1042;       // operation finished (worker)
inline constexpr std::uint32_t WM_FLOW_PROGRESS = 1043;       // wParam: percentage 0 to 100
inline constexpr std::uint32_t WM_FLOW_ERROR = 1044;          // wParam: message-table id
inline constexpr std::uint32_t WM_FLOW_SUCCESS = 1046;        // wParam: message-table id
inline constexpr std::uint32_t WM_FLOW_STATUS = 1047;         // wParam: step text id, 0 clears
inline constexpr std::uint32_t WM_FLOW_DEVICE_INFO = 1048;    // device information (device flow)
inline constexpr std::uint32_t WM_FLOW_DEVICE_OPENED = 1055;  // device opened (device flow)

// Where a device sits: its port address on its hub and the hub's device instance.
struct DeviceLocation {
  std::uint32_t port = 0;
  std::uint32_t hub = 0;
  bool operator==(const DeviceLocation&) const = default;
};

// The front-end window as the flows see it. The window implements the posting and the
// device-list operations; the lock, the stop request and the selection values live here.
class CFlowWindow {
 public:
  virtual ~CFlowWindow() = default;

  // Queues a message for the window's thread and returns at once.
  virtual void PostFlowWindowMessage(std::uint32_t message, std::uintptr_t wParam,
                                     std::intptr_t lParam) = 0;

  // The device list the device flow fills during a listing.
  virtual void ClearDeviceList() = 0;
  // Appends an entry; returns its position.
  virtual int AppendDeviceEntry(const std::wstring& text) = 0;
  // Selects the entry at that position; false when there is none.
  virtual bool SelectDeviceEntry(int position) = 0;
  // The text of the entry at that position; empty when there is none.
  virtual std::wstring DeviceEntryText(int position) const = 0;

  // Sets (1) or clears (0) the stop request, under the window's lock.
  void SetStopRequest(int value) {
    std::lock_guard<std::mutex> guard(stopLock);
    stopRequested = value;
  }
  // Reads the stop request under the window's lock.
  int StopRequest() const {
    std::lock_guard<std::mutex> guard(stopLock);
    return stopRequested;
  }

  mutable std::mutex stopLock;
  int stopRequested = 0;  // guarded by stopLock

  // The location of the device last selected, the selected entry's text, and the event
  // that starts a run by itself when "AutoRun" is set (manual reset).
  DeviceLocation lastLocation;
  std::wstring currentDevText;
  platform::Event autoRunEvent{true, false};
};

// Registers the window (null unregisters). The window must stay alive while registered.
void RegisterFlowWindow(CFlowWindow* window);
CFlowWindow* RegisteredFlowWindow();

// True when a registered window asks the run to stop (read under its lock).
bool FlowStopRequested();

// Posts the message to the registered window, if any. Afterwards LastResultCode becomes
// wParam (for every message but WM_FLOW_FINISHED, which leaves it), and 0 when that is
// one of the success ids.
void PostFlowMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam = 0);

// The number of results (WM_FLOW_ERROR, WM_FLOW_SUCCESS) posted so far in this process,
// window or not: a caller tells by it whether an operation reported how it ended.
std::uint64_t FlowResultsPosted();

// The ids whose posting clears LastResultCode: 41751, 41755, 41851, 41854, 41910, 41913,
// 41931.
bool IsResultClearingId(std::int64_t id);

}  // namespace vantor
