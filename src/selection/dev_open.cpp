// Opening the device a command-line or worker run works on, reading its identity and
// closing it again.
#include <cwchar>

#include "config/device_id_list.h"
#include "config/ic_type_ini.h"
#include "config/settings.h"
#include "flows/dev_flow.h"
#include "flows/last_result.h"
#include "platform/console.h"
#include "platform/messages.h"
#include "platform/trace.h"
#include "selection/selection_common.h"

namespace vantor {

namespace selection {

void TraceAndEcho(const char* text) {
  DebugPrint("----------------: ");
  DebugPrint("%s", text);
  if (IsCommandLineMode()) platform::ConsoleWrite(text);
}

void TraceName(const char* name) { DebugPrint("%s()\n", name); }

}  // namespace selection

namespace {
constexpr std::uint32_t kOpenIndices = 3;
}  // namespace

void CDevFlow::ReadIdentity() {
  vid = pid = rev = 0;
  manufacturerText.clear();
  Lib_GetDevInfo(handle, &vid, &pid, &rev, &manufacturerText);
  wchar_t text[64];
  std::swprintf(text, 64, L"VID_%04X&PID_%04X&REV_%04X", vid, pid, rev);
  devIdText = text;
  std::swprintf(text, 64, L"VID_%04X&PID_%04X", vid, pid);
  shortIdText = text;
}

void CDevFlow::ReadLocation() {
  location = {};
  platform::DevInst hub = 0;
  if (Lib_GetPortInfo(Lib_GetHandle(), &location.port, &hub) != 0) location.hub = hub;
}

void CDevFlow::ApplyIcTypeSettings() {
  if (CICTypeIni* definition = ActiveICTypeIni()) definition->ApplyDefinition();
}

int CDevFlow::FinishOpen() {
  MP_ReadChipID();
  ApplyIcTypeSettings();
  PostFlowMessage(WM_FLOW_DEVICE_OPENED, 0);
  SetLastResultCode(0);
  return 1;
}

int CDevFlow::AdoptOpenedDevice() {
  ReadIdentity();
  ReadLocation();
  LastLocation() = location;
  return FinishOpen();
}

void CDevFlow::CloseOpenDevice() {
  if (handle != 0) Lib_CloseDevice(handle);
  handle = 0;
}

int CDevFlow::DEV_OpenDevice() {
  selection::TraceName("CDevFlow::DEV_OpenDevice");
  if (handle != 0) return 1;
  for (std::uint32_t index = 0; index < kOpenIndices; ++index) {
    if (MP_OpenDevice(index) != 0) return 1;
  }
  PostFlowMessage(WM_FLOW_DEVICE_INFO, msg::kDetectDeviceFail);
  return 0;
}

int CDevFlow::DEV_OpenDeviceByICIni() {
  selection::TraceName("CDevFlow::DEV_OpenDeviceByICIni");
  if (handle != 0) return 1;
  bool opened = false;
  for (std::uint32_t index = 0; index < kOpenIndices && !opened; ++index) {
    opened = MP_OpenDevice(index) != 0;
  }
  if (!opened) {
    PostFlowMessage(WM_FLOW_DEVICE_INFO, msg::kDetectDeviceFail);
    return 0;
  }
  return AdoptOpenedDevice();
}

int CDevFlow::DEV_OpenDeviceByICIni(std::uint32_t index) {
  selection::TraceName("CDevFlow::DEV_OpenDeviceByICIni");
  if (handle != 0) return 1;
  if (MP_OpenDevice(index) == 0) {
    PostFlowMessage(WM_FLOW_DEVICE_INFO, msg::kDetectDeviceFail);
    return 0;
  }
  return AdoptOpenedDevice();
}

int CDevFlow::DEV_OpenDeviceByVIDPID() {
  selection::TraceName("CDevFlow::DEV_OpenDeviceByVIDPID");
  if (handle != 0) return 1;
  const std::int32_t lockPort = GetSetting(Setting::LockPort);
  const std::int32_t portNo = GetSetting(Setting::PortNo);
  const std::uint32_t count = Lib_GetDeviceCount();
  if (count == 0) {
    PostFlowMessage(WM_FLOW_DEVICE_INFO, msg::kDetectDeviceFail);
    selection::TraceAndEcho("Cannot find Korvane USB Audio!\n");
    PostFlowMessage(WM_FLOW_DEVICE_OPENED, 0);
    SetLastResultCode(0);
    return 0;
  }
  bool accepted = false;
  for (std::uint32_t index = 0; index < count && !accepted; ++index) {
    if (MP_OpenDevice(index) == 0) continue;
    ReadLocation();
    LastLocation() = location;
    ReadIdentity();
    if (MatchBuiltInList(devIdText)) {
      if (lockPort == 0 || static_cast<std::uint32_t>(portNo) == location.port) {
        accepted = true;
      } else if (portNo == 0) {
        // The first accepted device locks the port for the rest of the process.
        SetSetting(Setting::PortNo, static_cast<std::int32_t>(location.port));
        DebugPrint("Set Value");
        accepted = true;
      }
    }
    if (!accepted) CloseOpenDevice();
  }
  if (!accepted) {
    PostFlowMessage(WM_FLOW_ERROR, msg::kVidPidMismatch);
    selection::TraceAndEcho("Check VID/PID Mismatch!\n");
    return 0;
  }
  return FinishOpen();
}

int CDevFlow::DEV_GetDeviceInfo() {
  selection::TraceName("CDevFlow::DEV_GetDeviceInfo");
  MP_GetFwVersion();
  PostFlowMessage(WM_FLOW_DEVICE_INFO, 0);
  SetLastResultCode(0);
  return 1;
}

int CDevFlow::DEV_GetDeviceInfoForInternalTool() {
  selection::TraceName("CDevFlow::DEV_GetDeviceInfoForInternalTool");
  MP_ReadDeviceInfo();
  PostFlowMessage(WM_FLOW_DEVICE_INFO, 0);
  SetLastResultCode(0);
  return 1;
}

int CDevFlow::DEV_CloseDevice() {
  selection::TraceName("CDevFlow::DEV_CloseDevice");
  CloseOpenDevice();
  return 1;
}

int CDevFlow::Dev_OpenDeviceForMultiCamera() {
  selection::TraceName("CDevFlow::Dev_OpenDeviceForMultiCamera");
  if (handle != 0) return 1;
  if (selOrdinal == -1) {
    PostFlowMessage(WM_FLOW_DEVICE_INFO, msg::kDetectDeviceFail);
    return 0;
  }
  CFlowWindow* window = RegisteredFlowWindow();
  const DeviceLocation target = window != nullptr ? window->lastLocation : DeviceLocation{};
  const std::uint32_t count = Lib_GetDeviceCount();
  for (std::uint32_t index = static_cast<std::uint32_t>(selOrdinal); index < count; ++index) {
    if (MP_OpenDevice(index) == 0) continue;
    ReadLocation();
    if (location == target) return 1;
    CloseOpenDevice();
  }
  return 0;
}

}  // namespace vantor
