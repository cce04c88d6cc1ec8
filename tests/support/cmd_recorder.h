// A command-block transport whose primitives talk to nothing but a recording: every
// command block, command status read and data transfer is kept, read transfers deliver
// scripted bytes, and any primitive call can be made to fail. Tests see the exact bytes
// CExtUnitBase would put on the wire.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "device/cmd_block.h"
#include "device/ext_unit_base.h"

namespace vantor::test {

enum class CmdKind { SetCmd, GetCmdStatus, GetData, SetData };

struct CmdEvent {
  CmdKind kind = CmdKind::SetCmd;
  // SetCmd: the 8 bytes sent, and how many fields the overload filled (0 to 3).
  CmdBlock::Bytes block{};
  int fields = 0;
  // GetData: the bytes delivered; SetData: the bytes sent; GetCmdStatus: the status.
  std::vector<std::uint8_t> data;
  HResult result = kSOk;
  // With CheckLockHeld: whether the command lock was held (by this thread) at the call.
  bool lockHeld = false;
};

// A lock name no other test, test process or running tool uses.
std::wstring UniqueLockName(const char* tag);

class CmdRecorder : public CExtUnitBase {
 public:
  // Uses a lock name of its own (removed again by the destructor) unless one is given.
  explicit CmdRecorder(std::wstring lockName = {}, std::uint32_t lockWaitMs = 2000);
  ~CmdRecorder() override;

  using CExtUnitBase::GetData;
  using CExtUnitBase::SetCmd;
  using CExtUnitBase::SetData;

  // ---- The primitives ----
  HResult SetCmd(const CmdBlock& tmpl, std::uint16_t p1, std::uint16_t p2,
                 std::uint16_t p3) override;
  HResult SetCmd(const CmdBlock& tmpl, std::uint16_t p1, std::uint16_t p2) override;
  HResult SetCmd(const CmdBlock& tmpl, std::uint16_t p1) override;
  HResult SetCmd(const CmdBlock& tmpl) override;
  HResult GetCmdStatus(std::uint8_t* status8) override;
  HResult GetData(std::uint8_t* buf) override;
  HResult SetData(const std::uint8_t* buf) override;
  // Takes the size as the device's answer without any traffic.
  bool ChangeDataControlSize(std::uint16_t* size) override;

  // ---- The device side ----
  // Bytes the next data reads deliver, in order; once they are used up every read byte
  // comes from a running counter (0, 1, 2, ...).
  void QueueRead(const std::vector<std::uint8_t>& bytes);
  // The command status the device reports (byte 0 is the status code).
  void SetStatus(std::uint8_t code);
  // The call `skip` calls from now (0: the next one) of that kind fails with code.
  void FailAt(CmdKind kind, int skip, HResult code);
  // Records for every event whether the command lock is held (costs a thread per call).
  void CheckLockHeld(bool on) { checkLock_ = on; }

  // ---- The recording ----
  const std::vector<CmdEvent>& Events() const { return events_; }
  std::vector<CmdEvent> EventsOf(CmdKind kind) const;
  // The command blocks sent, in order.
  std::vector<CmdBlock::Bytes> Blocks() const;
  // All bytes sent by SetData, in order.
  std::vector<std::uint8_t> SentData() const;
  void ClearEvents() { events_.clear(); }
  const std::wstring& LockName() const { return lockName_; }

 private:
  CmdRecorder(const std::wstring& lockName, bool ownsName, std::uint32_t lockWaitMs);
  HResult Record(CmdEvent event);
  bool LockHeldHere();

  struct Failure {
    CmdKind kind;
    int skip;
    HResult code;
  };

  std::wstring lockName_;
  bool ownsName_;
  std::vector<CmdEvent> events_;
  std::deque<std::uint8_t> readQueue_;
  std::uint8_t counter_ = 0;
  std::array<std::uint8_t, 8> status_{};
  std::vector<Failure> failures_;
  bool checkLock_ = false;
};

// Blocks as bytes, for comparisons.
constexpr CmdBlock::Bytes BlockBytes(std::uint8_t group, std::uint8_t opcode, std::uint16_t p1,
                                     std::uint16_t p2, std::uint16_t p3) {
  return CmdBlock{group, opcode, p1, p2, p3}.ToBytes();
}

}  // namespace vantor::test
