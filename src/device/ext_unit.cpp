#include "device/ext_unit.h"

#include "device/cam_dev_record.h"
#include "platform/device_inventory.h"
#include "platform/last_error.h"
#include "platform/trace.h"

namespace vantor {

CExtUnit::CExtUnit(CamDevRecord* device, std::uint32_t unitId, const std::wstring& lockName,
                   std::uint32_t lockWaitMs)
    : CExtUnitBase(device, unitId, lockName, lockWaitMs) {}

CExtUnit::~CExtUnit() = default;

bool CExtUnit::Target(XuTarget& target) const {
  const CamDevRecord* record = Device();
  if (record == nullptr) {
    platform::SetLastError(platform::kErrorInvalidHandle);
    return false;
  }
  target.devLow = record->hKvProxyDevLow;
  target.devHigh = record->hKvProxyDevHigh;
  target.unitId = static_cast<std::uint8_t>(UnitId());
  target.interfaceNumber = static_cast<std::uint8_t>(record->interfaceNumber);
  return true;
}

HResult CExtUnit::Failed(const char* format) {
  const std::uint32_t error = platform::GetLastError();
  DebugPrint(format, static_cast<int>(error));
  platform::SetLastError(error);
  return HresultFromWin32(error);
}

HResult CExtUnit::SendBlock(const CmdBlock& block) {
  const CmdBlock::Bytes bytes = block.ToBytes();
  XuTarget target;
  if (!Target(target) || !XuSetCur(target, kXuCommandControl, bytes.data(), CmdBlock::kSize)) {
    return Failed("SetCmd failed %d\n");
  }
  return kSOk;
}

HResult CExtUnit::SetCmd(const CmdBlock& tmpl, std::uint16_t p1, std::uint16_t p2,
                         std::uint16_t p3) {
  return SendBlock(tmpl.With(p1, p2, p3));
}

HResult CExtUnit::SetCmd(const CmdBlock& tmpl, std::uint16_t p1, std::uint16_t p2) {
  return SendBlock(tmpl.With(p1, p2));
}

HResult CExtUnit::SetCmd(const CmdBlock& tmpl, std::uint16_t p1) {
  return SendBlock(tmpl.With(p1));
}

HResult CExtUnit::SetCmd(const CmdBlock& tmpl) { return SendBlock(tmpl); }

HResult CExtUnit::GetCmdStatus(std::uint8_t* status8) {
  XuTarget target;
  if (!Target(target) || !XuGetCur(target, kXuCommandControl, status8, CmdBlock::kSize)) {
    return Failed("GetCmdStatus failed %d\n");
  }
  return kSOk;
}

HResult CExtUnit::GetData(std::uint8_t* buf) {
  XuTarget target;
  if (!Target(target) || !XuGetCur(target, kXuDataControl, buf, DataControlSize())) {
    return Failed("GetData failed %d\n");
  }
  return kSOk;
}

HResult CExtUnit::SetData(const std::uint8_t* buf) {
  XuTarget target;
  if (!Target(target) || !XuSetCur(target, kXuDataControl, buf, DataControlSize())) {
    return Failed("SetData failed %d\n");
  }
  return kSOk;
}

bool CExtUnit::ChangeDataControlSize(std::uint16_t* size) {
  if (size == nullptr) return false;
  const std::uint16_t current = static_cast<std::uint16_t>(DataControlSize());
  const std::uint16_t requested = *size;
  if (requested == current) return true;
  // A size the data buffer cannot hold is never asked for: the device would then move
  // transfers the buffer has no room for.
  if (requested == 0 || requested > kDataBufferSize) {
    *size = current;
    return false;
  }
  bool failed = false;
  CSyncOperate guard(CommandLock(), &failed, "CExtUnit::ChangeDataControlSize",
                     CommandLockWaitMs());
  if (failed) {
    // Nothing was sent: the size in force is unchanged, and saying so is the truth.
    *size = current;
    return false;
  }
  HResult result = SetCmd(cmd::kChangeDataControlSize, 0, requested);
  if (result != kSOk) {
    *size = current;
    ReportCmdError(L"ChangeDataControlSize SetCmd", result);
    return false;
  }
  XuTarget target;
  std::uint16_t answer = 0;
  if (!Target(target) || !XuGetLen(target, kXuDataControl, answer)) {
    *size = current;
    ReportCmdError(L"ChangeDataControlSize SetCmd", HresultFromLastError());
    return false;
  }
  if (answer == requested) {
    SetDataControlSize(answer);
    return true;
  }
  if (!SetDataControlSize(answer)) {
    DebugPrint("ChangeDataControlSize: the device reports %u bytes, the data buffer holds %u\n",
               static_cast<unsigned>(answer), static_cast<unsigned>(kDataBufferSize));
    *size = current;
    return false;
  }
  *size = answer;
  return false;
}

}  // namespace vantor
