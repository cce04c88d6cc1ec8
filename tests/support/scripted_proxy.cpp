#include "support/scripted_proxy.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "device/proxy_state.h"
#include "platform/clock.h"
#include "platform/last_error.h"

namespace vantor::test {

namespace {

std::uint16_t Get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t Get32(const std::uint8_t* p) {
  return std::uint32_t{Get16(p)} | std::uint32_t{Get16(p + 2)} << 16;
}
std::uint64_t Get64(const std::uint8_t* p) {
  return std::uint64_t{Get32(p)} | std::uint64_t{Get32(p + 4)} << 32;
}
void Put32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

constexpr std::uint32_t kIoctlAttach = 0x0022004C;
constexpr std::uint32_t kIoctlSubmit = 0x00220048;
constexpr std::uint32_t kIoctlDetach = 0x00220044;
constexpr std::uint32_t kErrorInvalidParameter = 87;
constexpr std::uint32_t kErrorSemTimeout = 121;

// 64-bit kernel: reserved 0 (8), file handle 8 (8), device 16/20, URB 24 (8), time-out 32,
// padding 36. 32-bit kernel: reserved 0, file handle 4, device 8/12, URB 16, time-out 20.
DecodedRecord DecodeRecord(std::uint32_t code, const std::uint8_t* p, std::uint32_t size) {
  DecodedRecord r;
  r.code = code;
  r.bytes.assign(p, p + size);
  if (size == 24) {
    r.layout = WireLayout::k32;
    r.reserved = Get32(p);
    r.fileHandle = Get32(p + 4);
    r.deviceLow = Get32(p + 8);
    r.deviceHigh = Get32(p + 12);
    r.urbAddress = Get32(p + 16);
    r.timeoutMs = Get32(p + 20);
  } else if (size >= 32) {
    r.layout = WireLayout::k64;
    r.reserved = Get64(p);
    r.fileHandle = Get64(p + 8);
    r.deviceLow = Get32(p + 16);
    r.deviceHigh = Get32(p + 20);
    r.urbAddress = Get64(p + 24);
    if (size >= 40) {
      r.timeoutMs = Get32(p + 32);
      r.padding = Get32(p + 36);
    }
  }
  return r;
}

// Field offsets: 64-bit URB: flags 32, length 36, buffer 40 (8), MDL 48, link 56,
// request 128; 32-bit URB: flags 20, length 24, buffer 28 (4), MDL 32, link 36, request 72.
struct Offsets {
  std::size_t size, flags, length, buffer, mdl, link, request;
  bool wide;
};
constexpr Offsets kUrb64{136, 32, 36, 40, 48, 56, 128, true};
constexpr Offsets kUrb32{80, 20, 24, 28, 32, 36, 72, false};

std::uint8_t* Pointer(std::uint64_t address) {
  return reinterpret_cast<std::uint8_t*>(static_cast<std::uintptr_t>(address));
}

}  // namespace

std::string DecodedUrb::Text() const {
  char text[96];
  if (function == 0x000B) {
    std::snprintf(text, sizeof text, "desc %02X i=%02X lang=%04X n=%u", descriptorType(),
                  descriptorIndex(), language(), transferBufferLength);
  } else {
    std::snprintf(text, sizeof text, "%02X %02X v=%04X i=%04X n=%u", requestType(), bRequest(),
                  wValue(), wIndex(), transferBufferLength);
  }
  return text;
}

ProxyAnswer ProxyAnswer::Data(std::vector<std::uint8_t> data) {
  ProxyAnswer a;
  a.data = std::move(data);
  return a;
}

ProxyAnswer ProxyAnswer::Short(std::uint32_t moved, std::vector<std::uint8_t> data) {
  ProxyAnswer a;
  a.data = std::move(data);
  a.moved = moved;
  return a;
}

ProxyAnswer ProxyAnswer::Stall() {
  ProxyAnswer a;
  a.urbStatus = 0xC0000004;
  a.moved = 0;
  return a;
}

ProxyAnswer ProxyAnswer::Error(std::uint32_t error) {
  ProxyAnswer a;
  a.kind = Kind::kError;
  a.error = error;
  return a;
}

ProxyAnswer ProxyAnswer::Timeout() {
  ProxyAnswer a;
  a.kind = Kind::kTimeout;
  return a;
}

ScriptedProxy::ScriptedProxy() = default;

void ScriptedProxy::SetAttach(std::uint32_t low, std::uint32_t high, std::uint32_t error) {
  std::lock_guard lock(mutex_);
  attachLow_ = low;
  attachHigh_ = high;
  attachError_ = error;
}

void ScriptedProxy::SetDetachError(std::uint32_t error) {
  std::lock_guard lock(mutex_);
  detachError_ = error;
}

void ScriptedProxy::Queue(ProxyAnswer answer) {
  std::lock_guard lock(mutex_);
  queue_.push_back(std::move(answer));
}

void ScriptedProxy::Queue(std::uint32_t times, const ProxyAnswer& answer) {
  for (std::uint32_t i = 0; i < times; ++i) Queue(answer);
}

void ScriptedProxy::SetResponder(std::function<ProxyAnswer(const DecodedUrb&)> responder) {
  std::lock_guard lock(mutex_);
  responder_ = std::move(responder);
}

std::vector<ProxyCall> ScriptedProxy::calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::vector<DecodedUrb> ScriptedProxy::urbs() const {
  std::lock_guard lock(mutex_);
  std::vector<DecodedUrb> out;
  for (const ProxyCall& c : calls_)
    if (c.urb) out.push_back(*c.urb);
  return out;
}

std::vector<std::string> ScriptedProxy::Texts() const {
  std::vector<std::string> out;
  for (const DecodedUrb& u : urbs()) out.push_back(u.Text());
  return out;
}

void ScriptedProxy::Clear() {
  std::lock_guard lock(mutex_);
  calls_.clear();
  queue_.clear();
}

bool ScriptedProxy::IoControl(std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                              std::uint32_t outSize, std::uint32_t* bytesReturned) {
  std::unique_lock lock(mutex_);
  if (bytesReturned != nullptr) *bytesReturned = 0;
  const auto* p = static_cast<const std::uint8_t*>(in);
  ProxyCall call;
  call.record = DecodeRecord(code, p, p == nullptr ? 0 : inSize);
  call.record.outSize = outSize;
  const DecodedRecord& r = call.record;
  bool sizeOk = inSize == 24 || (code == kIoctlSubmit ? inSize == 40 : inSize == 32);
  if (p == nullptr || !sizeOk) {
    calls_.push_back(call);
    platform::SetLastError(kErrorInvalidParameter);
    return false;
  }
  if (code == kIoctlAttach) {
    calls_.push_back(call);
    if (attachError_ != 0) {
      platform::SetLastError(attachError_);
      return false;
    }
    if (out == nullptr || outSize < inSize) {
      platform::SetLastError(kErrorInvalidParameter);
      return false;
    }
    auto* o = static_cast<std::uint8_t*>(out);
    std::memcpy(o, p, inSize);
    std::size_t at = r.layout == WireLayout::k64 ? 16 : 8;
    Put32(o + at, attachLow_);
    Put32(o + at + 4, attachHigh_);
    if (bytesReturned != nullptr) *bytesReturned = attachReturned_.value_or(inSize);
    return true;
  }
  if (code == kIoctlDetach) {
    calls_.push_back(call);
    if (detachError_ != 0) {
      platform::SetLastError(detachError_);
      return false;
    }
    return true;
  }
  if (code != kIoctlSubmit) {
    calls_.push_back(call);
    platform::SetLastError(1);
    return false;
  }

  const Offsets& o = r.layout == WireLayout::k64 ? kUrb64 : kUrb32;
  std::uint8_t* urb = Pointer(r.urbAddress);
  DecodedUrb u;
  u.bytes.assign(urb, urb + o.size);
  u.headerLength = Get16(urb);
  u.function = Get16(urb + 2);
  u.status = Get32(urb + 4);
  u.transferFlags = Get32(urb + o.flags);
  u.transferBufferLength = Get32(urb + o.length);
  u.transferBuffer = o.wide ? Get64(urb + o.buffer) : Get32(urb + o.buffer);
  u.mdl = o.wide ? Get64(urb + o.mdl) : Get32(urb + o.mdl);
  u.link = o.wide ? Get64(urb + o.link) : Get32(urb + o.link);
  std::memcpy(u.request, urb + o.request, 8);
  std::uint8_t* buffer = Pointer(u.transferBuffer);
  if (!u.in() && buffer != nullptr) u.outData.assign(buffer, buffer + u.transferBufferLength);
  call.urb = u;
  calls_.push_back(call);

  ProxyAnswer answer;
  if (!queue_.empty()) {
    answer = std::move(queue_.front());
    queue_.pop_front();
  } else if (responder_) {
    auto responder = responder_;
    lock.unlock();
    answer = responder(u);
    lock.lock();
  }
  if (answer.kind == ProxyAnswer::Kind::kError) {
    platform::SetLastError(answer.error);
    return false;
  }
  if (answer.kind == ProxyAnswer::Kind::kTimeout) {
    lock.unlock();
    platform::GetClock().Sleep(r.timeoutMs);
    platform::SetLastError(kErrorSemTimeout);
    return false;
  }
  std::uint32_t moved =
      std::min(answer.moved.value_or(u.transferBufferLength), u.transferBufferLength);
  if (u.in() && buffer != nullptr && moved != 0) {
    std::memset(buffer, 0, moved);
    if (!answer.data.empty()) {
      std::memcpy(buffer, answer.data.data(), std::min<std::size_t>(moved, answer.data.size()));
    }
  }
  Put32(urb + 4, answer.urbStatus);
  Put32(urb + o.length, moved);
  return true;
}

ScopedLowStaging::ScopedLowStaging() {
  constexpr std::size_t kSize = 0x20000;
  void* p = ::mmap(nullptr, kSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT,
                   -1, 0);
  if (p == MAP_FAILED) return;
  area_ = p;
  SetProxyStagingArea(area_, kSize);
}

ScopedLowStaging::~ScopedLowStaging() {
  if (area_ == nullptr) return;
  SetProxyStagingArea(nullptr, 0);
  ::munmap(area_, 0x20000);
}

ScopedScriptedProxy::ScopedScriptedProxy(WireLayout layout)
    : proxy_(std::make_shared<ScriptedProxy>()) {
  if (layout == WireLayout::k32) staging_ = std::make_unique<ScopedLowStaging>();
  SetProxyDevice(proxy_, layout == WireLayout::k64);
}

ScopedScriptedProxy::~ScopedScriptedProxy() { CloseProxyDevice(); }

std::vector<std::uint8_t> Hex(const std::string& text) {
  std::vector<std::uint8_t> out;
  unsigned value = 0;
  int digits = 0;
  for (char ch : text) {
    int d = ch >= '0' && ch <= '9'   ? ch - '0'
            : ch >= 'a' && ch <= 'f' ? ch - 'a' + 10
            : ch >= 'A' && ch <= 'F' ? ch - 'A' + 10
                                     : -1;
    if (d < 0) {
      if (digits != 0) out.push_back(static_cast<std::uint8_t>(value));
      value = 0;
      digits = 0;
      continue;
    }
    value = value * 16 + static_cast<unsigned>(d);
    if (++digits == 2) {
      out.push_back(static_cast<std::uint8_t>(value));
      value = 0;
      digits = 0;
    }
  }
  if (digits != 0) out.push_back(static_cast<std::uint8_t>(value));
  return out;
}

}  // namespace vantor::test
