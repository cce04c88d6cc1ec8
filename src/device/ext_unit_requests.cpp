#include "device/ext_unit_requests.h"

#include "device/proxy_protocol.h"
#include "platform/device_inventory.h"
#include "platform/last_error.h"

namespace vantor {

namespace {

constexpr std::uint8_t kTypeClassOut = 0x21;
constexpr std::uint8_t kTypeClassIn = 0xA1;

std::uint16_t ValueOf(std::uint8_t selector) { return static_cast<std::uint16_t>(selector << 8); }

std::uint16_t IndexOf(const XuTarget& t) {
  return static_cast<std::uint16_t>(t.unitId << 8 | t.interfaceNumber);
}

// A data stage that moved fewer bytes than asked is a failed request: a short read would
// leave stale bytes in the caller's buffer, a short write a partial command or data.
bool Whole(bool ok, std::uint32_t moved, std::uint32_t length) {
  if (ok && moved != length) {
    platform::SetLastError(platform::kErrorInvalidData);
    return false;
  }
  return ok;
}

}  // namespace

bool XuSetCur(const XuTarget& target, std::uint8_t selector, const void* data,
              std::uint32_t length) {
  std::uint32_t moved = 0;
  const bool ok = SendClassRequest(target.devLow, target.devHigh, kTypeClassOut, kXuSetCur,
                                   ValueOf(selector), IndexOf(target), const_cast<void*>(data),
                                   length, false, &moved, kXuTimeoutMs);
  return Whole(ok, moved, length);
}

bool XuGetCur(const XuTarget& target, std::uint8_t selector, void* data, std::uint32_t length) {
  std::uint32_t moved = 0;
  const bool ok =
      SendClassRequest(target.devLow, target.devHigh, kTypeClassIn, kXuGetCur, ValueOf(selector),
                       IndexOf(target), data, length, true, &moved, kXuTimeoutMs);
  return Whole(ok, moved, length);
}

bool XuGetLen(const XuTarget& target, std::uint8_t selector, std::uint16_t& length) {
  std::uint8_t answer[2] = {};
  std::uint32_t moved = 0;
  if (!SendClassRequest(target.devLow, target.devHigh, kTypeClassIn, kXuGetLen, ValueOf(selector),
                        IndexOf(target), answer, 2, true, &moved, kXuTimeoutMs)) {
    return false;
  }
  // Half a length is no length.
  if (!Whole(true, moved, 2)) return false;
  length = static_cast<std::uint16_t>(answer[0] | answer[1] << 8);
  return true;
}

}  // namespace vantor
