// A scripted stand-in for the proxy driver's control device. It decodes every record it
// receives and, for a submit, the URB the record points at (both kernel layouts, told
// apart by the record's size), keeps them for the test to examine, and answers from a
// script: data, short transfers, stalls (URB status non-zero while the I/O control
// succeeds), I/O control errors and time-outs. The offsets here are written out from the
// wire tables on their own, not shared with the code under test.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/proxy_driver.h"

namespace vantor::test {

enum class WireLayout { k64, k32 };

// How tests name and print a layout parameter.
inline const char* LayoutName(WireLayout layout) {
  return layout == WireLayout::k64 ? "Kernel64" : "Kernel32";
}
inline void PrintTo(WireLayout layout, std::ostream* os) { *os << LayoutName(layout); }
struct WireLayoutTestName {
  template <class Info>
  std::string operator()(const Info& info) const {
    return LayoutName(info.param);
  }
};

struct DecodedRecord {
  std::uint32_t code = 0;
  std::vector<std::uint8_t> bytes;  // as received
  WireLayout layout = WireLayout::k64;
  std::uint64_t reserved = 0;
  std::uint64_t fileHandle = 0;
  std::uint32_t deviceLow = 0;
  std::uint32_t deviceHigh = 0;
  std::uint64_t urbAddress = 0;
  std::uint32_t timeoutMs = 0;
  std::uint32_t padding = 0;  // 64-bit submit record only
  std::uint32_t outSize = 0;  // room offered for an output record
};

struct DecodedUrb {
  std::vector<std::uint8_t> bytes;  // as received, before the answer was written
  std::uint16_t headerLength = 0;
  std::uint16_t function = 0;
  std::uint32_t status = 0;
  std::uint32_t transferFlags = 0;
  std::uint32_t transferBufferLength = 0;
  std::uint64_t transferBuffer = 0;
  std::uint64_t mdl = 0;
  std::uint64_t link = 0;
  std::uint8_t request[8] = {};
  std::vector<std::uint8_t> outData;  // host-to-device data as sent

  bool in() const { return function == 0x000B || (transferFlags & 1) != 0; }
  // Vendor and class requests.
  std::uint8_t requestType() const { return request[0]; }
  std::uint8_t bRequest() const { return request[1]; }
  std::uint16_t wValue() const { return static_cast<std::uint16_t>(request[2] | request[3] << 8); }
  std::uint16_t wIndex() const { return static_cast<std::uint16_t>(request[4] | request[5] << 8); }
  // Descriptor requests.
  std::uint8_t descriptorIndex() const { return request[2]; }
  std::uint8_t descriptorType() const { return request[3]; }
  std::uint16_t language() const { return wIndex(); }
  // "C0 25 v=0000 i=1000 n=4096" (vendor/class) or "desc 02 i=00 lang=0000 n=9".
  std::string Text() const;
};

struct ProxyCall {
  DecodedRecord record;
  std::optional<DecodedUrb> urb;  // submits
};

// How the control device answers one submit.
struct ProxyAnswer {
  enum class Kind { kOk, kError, kTimeout };
  Kind kind = Kind::kOk;
  std::vector<std::uint8_t> data;      // device-to-host data
  std::optional<std::uint32_t> moved;  // bytes reported moved (default: all asked for)
  std::uint32_t urbStatus = 0;
  std::uint32_t error = 0;

  // All bytes asked for: `data` first, zeros after it.
  static ProxyAnswer Data(std::vector<std::uint8_t> data);
  // Only `moved` bytes move.
  static ProxyAnswer Short(std::uint32_t moved, std::vector<std::uint8_t> data = {});
  static ProxyAnswer Stall();
  static ProxyAnswer Error(std::uint32_t error);
  // The request is left unanswered: the record's time-out passes on the clock, then the
  // call fails with error 121.
  static ProxyAnswer Timeout();
};

class ScriptedProxy final : public platform::ProxyDriver {
 public:
  ScriptedProxy();

  bool IoControl(std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                 std::uint32_t outSize, std::uint32_t* bytesReturned) override;

  // Attach hands out this pair, or fails with `error` when it is non-zero.
  void SetAttach(std::uint32_t low, std::uint32_t high, std::uint32_t error = 0);
  // Attach reports only this many bytes returned (default: the whole record).
  void SetAttachReturned(std::uint32_t bytes) { attachReturned_ = bytes; }
  void SetDetachError(std::uint32_t error);
  // Answers to the next submits, in order.
  void Queue(ProxyAnswer answer);
  void Queue(std::uint32_t times, const ProxyAnswer& answer);
  // Answers submits once the queue is empty (default: all bytes asked for, zero-filled).
  void SetResponder(std::function<ProxyAnswer(const DecodedUrb&)> responder);

  std::vector<ProxyCall> calls() const;
  // The URBs of the submits so far, in order.
  std::vector<DecodedUrb> urbs() const;
  // DecodedUrb::Text of each submit.
  std::vector<std::string> Texts() const;
  void Clear();

 private:
  mutable std::mutex mutex_;
  std::vector<ProxyCall> calls_;
  std::deque<ProxyAnswer> queue_;
  std::function<ProxyAnswer(const DecodedUrb&)> responder_;
  std::uint32_t attachLow_ = 0x8A000010;
  std::uint32_t attachHigh_ = 0xFFFFC601;
  std::uint32_t attachError_ = 0;
  std::uint32_t detachError_ = 0;
  std::optional<std::uint32_t> attachReturned_;
};

// Memory below 4 GiB for the 32-bit layout, installed as the proxy's staging area for the
// life of the object (also used with the simulated bus).
class ScopedLowStaging {
 public:
  ScopedLowStaging();
  ~ScopedLowStaging();
  ScopedLowStaging(const ScopedLowStaging&) = delete;
  ScopedLowStaging& operator=(const ScopedLowStaging&) = delete;
  bool ok() const { return area_ != nullptr; }

 private:
  void* area_ = nullptr;
};

// Makes a ScriptedProxy the process's opened control device, in the given kernel layout,
// for the life of the object (for the 32-bit layout with a staging area below 4 GiB).
class ScopedScriptedProxy {
 public:
  explicit ScopedScriptedProxy(WireLayout layout = WireLayout::k64);
  ~ScopedScriptedProxy();
  ScopedScriptedProxy(const ScopedScriptedProxy&) = delete;
  ScopedScriptedProxy& operator=(const ScopedScriptedProxy&) = delete;

  ScriptedProxy& proxy() { return *proxy_; }
  ScriptedProxy* operator->() { return proxy_.get(); }

 private:
  std::shared_ptr<ScriptedProxy> proxy_;
  std::unique_ptr<ScopedLowStaging> staging_;
};

// Bytes from a hex text: "00 C2 34 12".
std::vector<std::uint8_t> Hex(const std::string& text);

}  // namespace vantor::test
