#include "device/ext_unit_base.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "device/ext_unit_base_detail.h"
#include "platform/last_error.h"
#include "platform/named_mutex.h"
#include "platform/text.h"
#include "platform/trace.h"

namespace vantor {

namespace {

// Lengths on the wire are 16 bits: a longer transfer goes out in pieces of 0x8000 while
// at least 0x10000 bytes remain, then the rest as one command.
constexpr std::uint32_t kMaxWireLength = 0xFFFF;
constexpr std::uint32_t kSplitThreshold = 0x10000;
constexpr std::uint32_t kSplitPiece = 0x8000;

std::uint32_t SplitPieceLength(std::uint32_t remaining) {
  return remaining >= kSplitThreshold ? kSplitPiece : remaining;
}

using ext_unit_detail::AddressLabel;
using ext_unit_detail::CmdLabel;
using ext_unit_detail::DataLabel;
using ext_unit_detail::FixedLabel;
using ext_unit_detail::Hi;
using ext_unit_detail::kNoCmdStatus;
using ext_unit_detail::Lo;

}  // namespace

CExtUnitBase::CExtUnitBase(CamDevRecord* device, std::uint32_t unitId, const std::wstring& lockName,
                           std::uint32_t lockWaitMs)
    : m_pSyncMutex(platform::CreateNamedMutex(lockName)),
      m_dwLockWaitMs(lockWaitMs),
      m_dwUnitId(unitId),
      m_pDevice(device) {
  if (m_pSyncMutex == nullptr) {
    DebugPrint("CExtUnitBase: cannot open the command lock %s (%u)\n",
               platform::ToUtf8(lockName).c_str(), platform::GetLastError());
  }
}

CExtUnitBase::~CExtUnitBase() = default;

bool CExtUnitBase::SetDataControlSize(std::uint32_t size) {
  if (size == 0 || size > kDataBufferSize) return false;
  m_dwDataCtrlSize = size;
  return true;
}

// ---- Building blocks -------------------------------------------------------------------

HResult CExtUnitBase::SendCmd(const CmdBlock& filled, int fields, const std::string& label) {
  HResult result;
  switch (fields) {
    case 0:
      result = SetCmd(filled);
      break;
    case 1:
      result = SetCmd(filled, filled.p1);
      break;
    case 2:
      result = SetCmd(filled, filled.p1, filled.p2);
      break;
    default:
      result = SetCmd(filled, filled.p1, filled.p2, filled.p3);
      break;
  }
  if (result != kSOk) ReportCmdError(platform::FromUtf8(label), result);
  return result;
}

HResult CExtUnitBase::ReadSingle(std::uint8_t* out, std::uint32_t count, const DataLabel& label) {
  std::memset(m_DataBuf.data(), 0, std::max(m_dwDataCtrlSize, count));
  HResult result = GetData(m_DataBuf.data());
  if (result != kSOk) {
    ReportCmdError(label.Make(0), result);
    return result;
  }
  std::memcpy(out, m_DataBuf.data(), count);
  return kSOk;
}

HResult CExtUnitBase::WriteSingle(const std::uint8_t* in, std::uint32_t count,
                                  const DataLabel& label) {
  std::memset(m_DataBuf.data(), 0, m_dwDataCtrlSize);
  std::memcpy(m_DataBuf.data(), in, count);
  HResult result = SetData(m_DataBuf.data());
  if (result != kSOk) ReportCmdError(label.Make(0), result);
  return result;
}

HResult CExtUnitBase::CommandWithBlock(const CmdBlock& filled, int fields,
                                       const std::string& cmdLabel, std::uint8_t* in,
                                       const std::uint8_t* out, std::uint32_t len, ProgressFn fn,
                                       void* ctx, const DataLabel& label) {
  HResult result = SendCmd(filled, fields, cmdLabel);
  if (result != kSOk) return result;
  std::uint32_t done = 0;
  const auto length = static_cast<std::uint16_t>(len);
  result =
      in != nullptr ? GetData(in, length, &done, fn, ctx) : SetData(out, length, &done, fn, ctx);
  if (result != kSOk) ReportCmdError(label.Make(done), result);
  return result;
}

HResult CExtUnitBase::SimpleCommand(const char* scope, const CmdBlock& filled, int fields,
                                    const std::string& label) {
  bool failed = false;
  CSyncOperate guard(m_pSyncMutex.get(), &failed, scope, m_dwLockWaitMs);
  if (failed) return kLockNotObtained;
  return SendCmd(filled, fields, label);
}

HResult CExtUnitBase::SplitTransfer(const char* scope, const CmdBlock& tmpl, bool withHigh,
                                    const std::string& cmdLabel, const char* name,
                                    std::uint32_t addr, std::uint32_t len, std::uint8_t* in,
                                    const std::uint8_t* out, ProgressFn fn, void* ctx) {
  if (len == 0) return kSOk;
  bool failed = false;
  CSyncOperate guard(m_pSyncMutex.get(), &failed, scope, m_dwLockWaitMs);
  if (failed) return kLockNotObtained;
  for (;;) {
    const std::uint32_t piece = SplitPieceLength(len);
    const CmdBlock filled = tmpl.With(Lo(addr), Lo(piece), withHigh ? Hi(addr) : 0);
    HResult result = CommandWithBlock(filled, withHigh ? 3 : 2, cmdLabel, in, out, piece, fn, ctx,
                                      AddressLabel(name, in == nullptr, addr));
    if (result != kSOk) return result;
    len -= piece;
    if (len == 0) return kSOk;
    addr += piece;
    if (in != nullptr) in += piece;
    if (out != nullptr) out += piece;
  }
}

HResult CExtUnitBase::BlockCommand(const char* scope, const CmdBlock& filled, int fields,
                                   const std::string& cmdLabel, std::uint8_t* in,
                                   const std::uint8_t* out, std::uint32_t len,
                                   const DataLabel& label) {
  if (len > kMaxWireLength) return kEInvalidArg;
  bool failed = false;
  CSyncOperate guard(m_pSyncMutex.get(), &failed, scope, m_dwLockWaitMs);
  if (failed) return kLockNotObtained;
  return CommandWithBlock(filled, fields, cmdLabel, in, out, len, nullptr, nullptr, label);
}

HResult CExtUnitBase::SingleCommand(const char* scope, const CmdBlock& filled, int fields,
                                    const std::string& cmdLabel, std::uint8_t* in,
                                    const std::uint8_t* out, std::uint32_t count,
                                    const DataLabel& label) {
  bool failed = false;
  CSyncOperate guard(m_pSyncMutex.get(), &failed, scope, m_dwLockWaitMs);
  if (failed) return kLockNotObtained;
  HResult result = SendCmd(filled, fields, cmdLabel);
  if (result != kSOk) return result;
  return in != nullptr ? ReadSingle(in, count, label) : WriteSingle(out, count, label);
}

HResult CExtUnitBase::EraseEeprom(const char* scope, const CmdBlock& writeTmpl,
                                  const char* writeName, std::uint32_t size) {
  if (size == 0) return kSOk;
  bool failed = false;
  CSyncOperate guard(m_pSyncMutex.get(), &failed, scope, m_dwLockWaitMs);
  if (failed) return kLockNotObtained;
  // Every piece carries only 0xFF: one piece-sized buffer serves them all.
  const std::vector<std::uint8_t> erased(std::min(size, kMaxWireLength), 0xFF);
  const std::string cmdLabel = CmdLabel(writeName);
  for (std::uint32_t offset = 0; offset < size;) {
    const std::uint32_t piece = SplitPieceLength(size - offset);
    HResult result =
        CommandWithBlock(writeTmpl.With(Lo(offset), Lo(piece)), 2, cmdLabel, nullptr, erased.data(),
                         piece, nullptr, nullptr, AddressLabel(writeName, true, offset));
    if (result != kSOk) return result;
    offset += piece;
  }
  return kSOk;
}

// ---- Block transfers (slots 74, 75, 77, 78) ----------------------------------------------

HResult CExtUnitBase::BlockTransfer(std::uint8_t* in, const std::uint8_t* out, std::uint16_t len,
                                    std::uint32_t* done, ProgressFn fn, void* ctx) {
  const std::uint32_t size = m_dwDataCtrlSize;
  const std::uint32_t full = len / size;
  const std::uint32_t rest = len % size;
  // Full transfers go straight to or from the caller's buffer.
  for (std::uint32_t k = 0; k < full; ++k) {
    HResult result = in != nullptr ? GetData(in + k * size) : SetData(out + k * size);
    if (result != kSOk) {
      if (done != nullptr) *done = k * size;
      return result;
    }
    if (fn != nullptr) fn(ctx, size);
  }
  // The remainder through the cleared data buffer.
  if (rest != 0) {
    std::memset(m_DataBuf.data(), 0, size);
    if (in == nullptr) std::memcpy(m_DataBuf.data(), out + full * size, rest);
    HResult result = in != nullptr ? GetData(m_DataBuf.data()) : SetData(m_DataBuf.data());
    if (result != kSOk) {
      if (done != nullptr) *done = full * size;
      return result;
    }
    if (in != nullptr) std::memcpy(in + full * size, m_DataBuf.data(), rest);
    if (fn != nullptr) fn(ctx, rest);
  }
  return kSOk;
}

HResult CExtUnitBase::GetData(std::uint8_t* buf, std::uint16_t len, std::uint32_t* done,
                              ProgressFn fn, void* ctx) {
  return BlockTransfer(buf, nullptr, len, done, fn, ctx);
}

HResult CExtUnitBase::GetData(std::uint8_t* buf, std::uint16_t len, std::uint32_t* done) {
  return GetData(buf, len, done, nullptr, nullptr);
}

HResult CExtUnitBase::SetData(const std::uint8_t* buf, std::uint16_t len, std::uint32_t* done,
                              ProgressFn fn, void* ctx) {
  return BlockTransfer(nullptr, buf, len, done, fn, ctx);
}

HResult CExtUnitBase::SetData(const std::uint8_t* buf, std::uint16_t len, std::uint32_t* done) {
  return SetData(buf, len, done, nullptr, nullptr);
}

// ---- Failure report and identification (slots 62, 63) ------------------------------------

void CExtUnitBase::ReportCmdError(const std::wstring& label, HResult code) {
  std::string message = platform::ToUtf8(label);
  m_byLastCmdStatus = kNoCmdStatus;
  char text[128];
  if (code == kEDeviceNotConnected) {
    message += "Device not connected";
  } else {
    std::memset(m_DataBuf.data(), 0, CmdBlock::kSize);
    HResult statusResult = GetCmdStatus(m_DataBuf.data());
    if (statusResult == kSOk) {
      std::snprintf(text, sizeof text, " error %x, %s", static_cast<unsigned>(code),
                    CmdStatusName(m_DataBuf[0]));
      m_byLastCmdStatus = m_DataBuf[0];
    } else {
      std::snprintf(text, sizeof text, " error %x, and fail to get err_code %x",
                    static_cast<unsigned>(code), static_cast<unsigned>(statusResult));
    }
    message += text;
    SetCmd(cmd::kAfterError);
  }
  DebugPrint("%s\n", message.c_str());
}

bool CExtUnitBase::DevQualify() {
  bool failed = false;
  CSyncOperate guard(m_pSyncMutex.get(), &failed, "CExtUnitBase::DevQualify", m_dwLockWaitMs);
  if (failed) return false;
  if (SendCmd(cmd::kDevQualify, 0, CmdLabel("DevQualify")) != kSOk) return false;
  std::uint8_t answer[8];
  if (ReadSingle(answer, sizeof answer, FixedLabel("DevQualify GetData")) != kSOk) return false;
  if (std::memcmp(answer, kVendorSignature.data(), kVendorSignature.size()) != 0) {
    DebugPrint("Not kestral device\n");
    return false;
  }
  return true;
}

}  // namespace vantor
