#include "device/vendor_functions.h"

#include <cstring>

#include "device/proxy_protocol.h"
#include "platform/last_error.h"

namespace vantor {

namespace {

constexpr std::uint32_t kEInvalidArg = 0x80070057;
constexpr std::uint32_t kEFail = 0x80004005;
constexpr std::uint8_t kTypeOut = 0x40;
constexpr std::uint8_t kTypeIn = 0xC0;
constexpr std::uint32_t kStatusPage = 8;

std::uint32_t Send(std::uint32_t devLow, std::uint32_t devHigh, std::uint8_t requestType,
                   std::uint8_t request, std::uint16_t value, std::uint16_t index, void* buffer,
                   std::uint32_t length, bool in, std::uint32_t* moved = nullptr) {
  if (SendVendorRequest(devLow, devHigh, requestType, request, value, index, buffer, length, in,
                        moved, kProxyRequestTimeoutMs)) {
    return 0;
  }
  return platform::GetLastError();
}

}  // namespace

std::uint32_t VendorPing(std::uint32_t devLow, std::uint32_t devHigh, std::uint16_t value,
                         std::uint8_t* answer) {
  std::uint8_t byte = 0;
  std::uint32_t error = Send(devLow, devHigh, kTypeOut, 0x06, value, 0, &byte, 1, true);
  if (error == 0 && answer != nullptr) *answer = byte;
  return error;
}

std::uint32_t VendorLegacyReset(std::uint32_t devLow, std::uint32_t devHigh, std::uint16_t argument,
                                std::uint16_t kind) {
  return Send(devLow, devHigh, kTypeOut, 0x01, argument, kind, nullptr, 0, false);
}

std::uint32_t VendorReset(std::uint32_t devLow, std::uint32_t devHigh, std::uint16_t argument,
                          std::uint16_t kind) {
  std::uint8_t request = 0;
  switch (kind) {
    case 7:
      request = 0x20;
      break;
    case 8:
      request = 0x21;
      break;
    case 9:
      request = 0x22;
      break;
    default:
      return kEInvalidArg;
  }
  return Send(devLow, devHigh, kTypeOut, request, argument, 0, nullptr, 0, false);
}

std::uint32_t VendorGetDevStatus(std::uint32_t devLow, std::uint32_t devHigh, std::uint32_t first,
                                 std::uint32_t count, std::uint8_t* buffer) {
  if (count != 0 && buffer == nullptr) return platform::kErrorInvalidParameter;
  auto page = [&](std::uint32_t i, std::uint8_t* into, std::uint32_t needed) -> std::uint32_t {
    std::uint32_t moved = 0;
    std::uint32_t error =
        Send(devLow, devHigh, kTypeIn, 0x07, static_cast<std::uint16_t>((first + i) & 0xFF), 0,
             into, kStatusPage, true, &moved);
    if (error != 0) return error;
    return moved < needed ? kEFail : 0;
  };
  std::uint32_t full = count / kStatusPage;
  for (std::uint32_t i = 0; i < full; ++i) {
    if (std::uint32_t error = page(i, buffer + kStatusPage * i, kStatusPage); error != 0) {
      return error;
    }
  }
  std::uint32_t rest = count % kStatusPage;
  if (rest != 0) {
    std::uint8_t last[kStatusPage] = {};
    if (std::uint32_t error = page(full, last, rest); error != 0) return error;
    std::memcpy(buffer + kStatusPage * full, last, rest);
  }
  return 0;
}

std::uint32_t VendorReadMem(std::uint32_t devLow, std::uint32_t devHigh, std::uint32_t address,
                            std::uint32_t length, std::uint8_t* buffer) {
  if (address > 0xFFFF || length > 0xFFFF || (length != 0 && buffer == nullptr)) {
    return platform::kErrorInvalidParameter;
  }
  return Send(devLow, devHigh, kTypeIn, 0x25, 0, static_cast<std::uint16_t>(address), buffer,
              length, true);
}

std::uint32_t VendorWriteMem(std::uint32_t devLow, std::uint32_t devHigh, std::uint32_t address,
                             std::uint32_t length, const std::uint8_t* buffer) {
  if (address > 0xFFFF || length > 0xFFFF || (length != 0 && buffer == nullptr)) {
    return platform::kErrorInvalidParameter;
  }
  return Send(devLow, devHigh, kTypeOut, 0x24, 0, static_cast<std::uint16_t>(address),
              const_cast<std::uint8_t*>(buffer), length, false);
}

}  // namespace vantor
