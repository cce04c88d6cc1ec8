#include "support/cmd_recorder.h"

#include <unistd.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "platform/named_mutex.h"
#include "platform/text.h"

namespace vantor::test {

std::wstring UniqueLockName(const char* tag) {
  static std::atomic<int> counter{0};
  return platform::FromUtf8("VantorTestLock_" + std::string(tag) + "_" +
                            std::to_string(::getpid()) + "_" + std::to_string(counter++));
}

CmdRecorder::CmdRecorder(std::wstring lockName, std::uint32_t lockWaitMs)
    : CmdRecorder(lockName.empty() ? UniqueLockName("recorder") : lockName, lockName.empty(),
                  lockWaitMs) {}

CmdRecorder::CmdRecorder(const std::wstring& lockName, bool ownsName, std::uint32_t lockWaitMs)
    : CExtUnitBase(nullptr, 4, lockName, lockWaitMs), lockName_(lockName), ownsName_(ownsName) {}

CmdRecorder::~CmdRecorder() {
  if (ownsName_) platform::RemoveNamedMutex(lockName_);
}

bool CmdRecorder::LockHeldHere() {
  // Another thread finds the lock taken exactly when some thread (here: this one) owns it.
  std::uint32_t result = platform::kWaitFailed;
  std::thread probe([&] {
    auto other = platform::CreateNamedMutex(lockName_);
    if (other == nullptr) return;
    result = other->Wait(0);
    if (result == platform::kWaitObject0 || result == platform::kWaitAbandoned) other->Release();
  });
  probe.join();
  return result == platform::kWaitTimeout;
}

HResult CmdRecorder::Record(CmdEvent event) {
  for (auto it = failures_.begin(); it != failures_.end(); ++it) {
    if (it->kind != event.kind) continue;
    if (it->skip-- == 0) {
      event.result = it->code;
      failures_.erase(it);
      break;
    }
  }
  if (checkLock_) event.lockHeld = LockHeldHere();
  events_.push_back(event);
  return event.result;
}

HResult CmdRecorder::SetCmd(const CmdBlock& tmpl, std::uint16_t p1, std::uint16_t p2,
                            std::uint16_t p3) {
  CmdEvent event;
  event.block = tmpl.With(p1, p2, p3).ToBytes();
  event.fields = 3;
  return Record(event);
}

HResult CmdRecorder::SetCmd(const CmdBlock& tmpl, std::uint16_t p1, std::uint16_t p2) {
  CmdEvent event;
  event.block = tmpl.With(p1, p2).ToBytes();
  event.fields = 2;
  return Record(event);
}

HResult CmdRecorder::SetCmd(const CmdBlock& tmpl, std::uint16_t p1) {
  CmdEvent event;
  event.block = tmpl.With(p1).ToBytes();
  event.fields = 1;
  return Record(event);
}

HResult CmdRecorder::SetCmd(const CmdBlock& tmpl) {
  CmdEvent event;
  event.block = tmpl.ToBytes();
  event.fields = 0;
  return Record(event);
}

HResult CmdRecorder::GetCmdStatus(std::uint8_t* status8) {
  CmdEvent event;
  event.kind = CmdKind::GetCmdStatus;
  event.data.assign(status_.begin(), status_.end());
  HResult result = Record(event);
  if (result == kSOk) std::memcpy(status8, status_.data(), status_.size());
  return result;
}

HResult CmdRecorder::GetData(std::uint8_t* buf) {
  CmdEvent event;
  event.kind = CmdKind::GetData;
  event.data.resize(DataControlSize());
  for (auto& byte : event.data) {
    if (!readQueue_.empty()) {
      byte = readQueue_.front();
      readQueue_.pop_front();
    } else {
      byte = counter_++;
    }
  }
  HResult result = Record(event);
  if (result == kSOk) std::memcpy(buf, event.data.data(), event.data.size());
  return result;
}

HResult CmdRecorder::SetData(const std::uint8_t* buf) {
  CmdEvent event;
  event.kind = CmdKind::SetData;
  event.data.assign(buf, buf + DataControlSize());
  return Record(event);
}

bool CmdRecorder::ChangeDataControlSize(std::uint16_t* size) {
  if (!SetDataControlSize(*size)) {
    *size = static_cast<std::uint16_t>(DataControlSize());
    return false;
  }
  return true;
}

void CmdRecorder::QueueRead(const std::vector<std::uint8_t>& bytes) {
  readQueue_.insert(readQueue_.end(), bytes.begin(), bytes.end());
}

void CmdRecorder::SetStatus(std::uint8_t code) {
  status_.fill(0);
  status_[0] = code;
}

void CmdRecorder::FailAt(CmdKind kind, int skip, HResult code) {
  failures_.push_back({kind, skip, code});
}

std::vector<CmdEvent> CmdRecorder::EventsOf(CmdKind kind) const {
  std::vector<CmdEvent> out;
  for (const auto& event : events_) {
    if (event.kind == kind) out.push_back(event);
  }
  return out;
}

std::vector<CmdBlock::Bytes> CmdRecorder::Blocks() const {
  std::vector<CmdBlock::Bytes> out;
  for (const auto& event : events_) {
    if (event.kind == CmdKind::SetCmd) out.push_back(event.block);
  }
  return out;
}

std::vector<std::uint8_t> CmdRecorder::SentData() const {
  std::vector<std::uint8_t> out;
  for (const auto& event : events_) {
    if (event.kind == CmdKind::SetData) out.insert(out.end(), event.data.begin(), event.data.end());
  }
  return out;
}

}  // namespace vantor::test
