// The extension-unit transport: the command blocks of CExtUnitBase carried as class
// requests to the device's vendor extension unit. SET_CUR on control 0x0A sends a
// command block and GET_CUR on it reads the command status; GET_CUR / SET_CUR on control
// 0x0B move one data transfer of the data control size, and GET_LEN on it tells that
// size. Every request goes to the device handle pair and interface number of the device
// record (read at each request, so a record refreshed by a reopen is followed) and to
// the unit id given at construction, and waits up to 5000 ms.
#pragma once

#include <cstdint>
#include <string>

#include "device/ext_unit_base.h"
#include "device/ext_unit_requests.h"

namespace vantor {

class CExtUnit : public CExtUnitBase {
 public:
  // The lock name and wait exist as parameters for tests, as with CExtUnitBase.
  CExtUnit(CamDevRecord* device, std::uint32_t unitId, const std::wstring& lockName = kCmdLockName,
           std::uint32_t lockWaitMs = kCmdLockWaitMs);
  ~CExtUnit() override;

  using CExtUnitBase::GetData;
  using CExtUnitBase::SetCmd;
  using CExtUnitBase::SetData;

  // Slot 66: asks the device for another data control size (at most the 1024-byte data
  // buffer). *size is in/out: it ends as the size in force. True when the device took
  // the size asked for; false when it answered another size (which is then in force),
  // when a request failed, when the size is not one the data buffer can hold, or when
  // the command lock could not be obtained (size unchanged).
  bool ChangeDataControlSize(std::uint16_t* size) override;

  // Slots 69 to 73, 76, 79: the transport primitives. 0, or the HRESULT form of the
  // platform error after tracing "SetCmd failed %d", "GetCmdStatus failed %d",
  // "GetData failed %d" or "SetData failed %d".
  HResult SetCmd(const CmdBlock& tmpl, std::uint16_t p1, std::uint16_t p2,
                 std::uint16_t p3) override;
  HResult SetCmd(const CmdBlock& tmpl, std::uint16_t p1, std::uint16_t p2) override;
  HResult SetCmd(const CmdBlock& tmpl, std::uint16_t p1) override;
  HResult SetCmd(const CmdBlock& tmpl) override;
  HResult GetCmdStatus(std::uint8_t* status8) override;
  HResult GetData(std::uint8_t* buf) override;
  HResult SetData(const std::uint8_t* buf) override;

 private:
  // The unit's address on the device, or false (last error 6) without a device record.
  bool Target(XuTarget& target) const;
  HResult Failed(const char* format);
  HResult SendBlock(const CmdBlock& block);
};

}  // namespace vantor
