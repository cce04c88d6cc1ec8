// Listing the attached devices for the main window and the worker: which ones the ID
// lists accept, which one is selected, and the device information the window shows.
#include "config/device_id_list.h"
#include "config/settings.h"
#include "flows/dev_flow.h"
#include "flows/last_result.h"
#include "platform/messages.h"
#include "platform/trace.h"
#include "selection/selection_common.h"

namespace vantor {

namespace {

void ResetAutoRun(bool autoRun) {
  CFlowWindow* window = RegisteredFlowWindow();
  if (autoRun && window != nullptr) window->autoRunEvent.Reset();
}

void SignalAutoRun(bool autoRun) {
  CFlowWindow* window = RegisteredFlowWindow();
  if (autoRun && window != nullptr) window->autoRunEvent.Set();
}

void ClearList() {
  if (CFlowWindow* window = RegisteredFlowWindow()) window->ClearDeviceList();
}

int AppendEntry(const std::wstring& text) {
  CFlowWindow* window = RegisteredFlowWindow();
  return window != nullptr ? window->AppendDeviceEntry(text) : -1;
}

// Selects the list entry and returns its text; empty when there is no such entry.
std::wstring SelectEntry(int position) {
  CFlowWindow* window = RegisteredFlowWindow();
  if (window == nullptr || position < 0 || !window->SelectDeviceEntry(position)) return {};
  return window->DeviceEntryText(position);
}

// The identity of the selected device: a listing reads every device, and what the window
// shows (and the run writes) must be the selected one's, not the last one's.
struct SelectedIdentity {
  bool taken = false;
  std::uint16_t vid = 0, pid = 0, rev = 0;
  std::wstring manufacturerText, devIdText, shortIdText;

  void Take(const CDevFlow& flow) {
    taken = true;
    vid = flow.vid;
    pid = flow.pid;
    rev = flow.rev;
    manufacturerText = flow.manufacturerText;
    devIdText = flow.devIdText;
    shortIdText = flow.shortIdText;
  }
  void Restore(CDevFlow& flow) const {
    if (!taken) return;
    flow.vid = vid;
    flow.pid = pid;
    flow.rev = rev;
    flow.manufacturerText = manufacturerText;
    flow.devIdText = devIdText;
    flow.shortIdText = shortIdText;
  }
};

}  // namespace

bool CDevFlow::ComputeIdCheck() {
  const std::int32_t checkIni = GetSetting(Setting::CheckVidPidIni);
  const std::int32_t checkBin = GetSetting(Setting::CheckVidPidBin);
  if (checkIni == 0 && checkBin == 0) return false;
  if (checkIni != 0) {
    idCheckOk = (checkIni == 2 ? MatchListFile(devIdText) : MatchBuiltInList(devIdText)) ? 1 : 0;
  } else {
    // Both texts carry upper-case hexadecimal digits; letter case counts.
    idCheckOk = shortIdText == vidPidText ? 1 : 0;
  }
  return true;
}

bool CDevFlow::AcceptByRule(bool& noCheck) {
  noCheck = !ComputeIdCheck();
  if (!noCheck && idCheckOk == 0) return false;
  DEV_ReadDeviceState();
  return true;
}

void CDevFlow::DEV_GetDefaultDeviceForAllInOne() {
  selection::TraceName("CDevFlow::DEV_GetDefaultDeviceForAllInOne");
  if (handle != 0) return;
  const bool autoRun = GetSetting(Setting::AutoRun) != 0;
  if (autoRun) {
    ResetAutoRun(true);
    DebugPrint("Before SetEvent");
  }
  ClearList();
  selOrdinal = -1;
  selListIndex = -1;
  SelectedIdentity selected;
  const std::uint32_t count = Lib_GetDeviceCount();
  std::int32_t opened = 0;
  for (std::uint32_t index = 0; index < count; ++index) {
    if (MP_OpenDevice(index) == 0) continue;
    ReadIdentity();
    int appended = -1;
    if (MatchBuiltInList(devIdText)) appended = AppendEntry(devIdText);
    if (selOrdinal == -1) {
      bool noCheck = false;
      if (AcceptByRule(noCheck)) {
        ReadLocation();
        LastLocation() = location;
        selOrdinal = opened;
        if (!noCheck) selListIndex = appended;
        selected.Take(*this);
      }
    }
    CloseOpenDevice();
    ++opened;
  }
  selected.Restore(*this);
  if (selOrdinal != -1) {
    // A device accepted without its own list entry still has a selection text.
    std::wstring text = SelectEntry(selListIndex);
    CurrentDevText() = text.empty() ? selected.devIdText : text;
    PostFlowMessage(WM_FLOW_DEVICE_INFO, msg::kCheckDeviceInfoSucceed);
  } else {
    PostFlowMessage(WM_FLOW_DEVICE_INFO, msg::kDetectDeviceFail);
  }
  SignalAutoRun(autoRun);
}

void CDevFlow::DEV_GetDeviceListForAllInOne(std::uint32_t argument) {
  selection::TraceName("CDevFlow::DEV_GetDeviceListForAllInOne");
  if (handle != 0) return;
  const bool autoRun = GetSetting(Setting::AutoRun) != 0;
  ResetAutoRun(autoRun);
  ClearList();
  selOrdinal = -1;
  int entries = 0;
  const std::uint32_t count = Lib_GetDeviceCount();

  SelectedIdentity selected;
  std::int32_t opened = 0;
  for (std::uint32_t index = 0; index < count; ++index) {
    if (MP_OpenDevice(index) == 0) continue;
    ReadLocation();
    ReadIdentity();
    if (MatchBuiltInList(devIdText)) {
      const int position = AppendEntry(devIdText);
      ++entries;
      if (selOrdinal == -1 && location == LastLocation()) {
        selOrdinal = opened;
        selListIndex = position;
        DEV_ReadDeviceState();
        selected.Take(*this);
      }
    }
    CloseOpenDevice();
    DebugPrint("MP_CloseDevice");
    if (autoRun) {
      DebugPrint("SetEvent");
      SignalAutoRun(true);
    }
    ++opened;
  }

  if (selOrdinal == -1) {
    LastLocation() = {};
    opened = 0;
    for (std::uint32_t index = 0; index < count; ++index) {
      if (MP_OpenDevice(index) == 0) continue;
      ReadIdentity();
      ReadLocation();
      LastLocation() = location;
      bool noCheck = false;
      const bool accepted = AcceptByRule(noCheck);
      CloseOpenDevice();
      if (accepted) {
        selOrdinal = opened;
        selListIndex = 0;
        break;
      }
      ++opened;
    }
  }

  selected.Restore(*this);
  if (selOrdinal != -1 && entries > 0) {
    CurrentDevText() = SelectEntry(selListIndex);
    PostFlowMessage(WM_FLOW_DEVICE_INFO, msg::kCheckDeviceInfoSucceed,
                    static_cast<std::intptr_t>(argument));
  } else {
    PostFlowMessage(WM_FLOW_DEVICE_INFO, msg::kDetectDeviceFail);
  }
}

int CDevFlow::DEV_GetDeviceListAfterReset() {
  selection::TraceName("CDevFlow::DEV_GetDeviceListAfterReset");
  if (handle != 0) return 1;
  if (selOrdinal == -1) {
    PostFlowMessage(WM_FLOW_DEVICE_INFO, msg::kDetectDeviceFail);
    return 0;
  }
  const bool autoRun = GetSetting(Setting::AutoRun) != 0;
  const std::uint32_t count = Lib_GetDeviceCount();
  std::int32_t opened = 0;
  for (std::uint32_t index = 0; index < count; ++index) {
    if (MP_OpenDevice(index) == 0) continue;
    ReadIdentity();
    if (devIdText == CurrentDevText()) {
      selOrdinal = opened;
      ReadLocation();
      LastLocation() = location;
      SignalAutoRun(autoRun);
      DEV_ReadDeviceState();
      ComputeIdCheck();
      CloseOpenDevice();
      PostFlowMessage(WM_FLOW_DEVICE_INFO, msg::kCheckDeviceInfoSucceed);
      return 1;
    }
    CloseOpenDevice();
    ++opened;
  }
  PostFlowMessage(WM_FLOW_DEVICE_INFO, msg::kDetectDeviceFail);
  return 1;
}

int CDevFlow::DEV_GetDeviceListExist() {
  selection::TraceName("CDevFlow::DEV_GetDeviceListExist");
  romDevicePresent = 0;
  dev1010Present = 0;
  const std::uint32_t count = Lib_GetDeviceCount();
  for (std::uint32_t index = 0; index < count; ++index) {
    if (MP_OpenDevice(index) == 0) continue;
    MP_ReadChipID();
    const std::uint16_t family = (familyHi * 256 + familyLo) & 0xFFF0;
    if (family == 0xF000) romDevicePresent = 1;
    if (family == 0x1010) dev1010Present = 1;
    CloseOpenDevice();
  }
  PostFlowMessage(WM_FLOW_DEVICE_INFO, msg::kCheckDeviceInfoSucceed);
  return 1;
}

}  // namespace vantor
