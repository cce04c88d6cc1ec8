// Object-free vendor requests to a device named by its proxy device handle pair, used
// while a device is reset and reopened, before a device object exists. Each waits up to
// 5000 ms and returns 0 on success or the platform's last error of the failed request
// (1167 device not connected, 21 not ready, ...; not an HRESULT), except where noted.
#pragma once

#include <cstdint>

namespace vantor {

// C0 06: one byte in (0 ROM code, 1 update code, 2 firmware); the request type byte of
// the URB is 0x40, the direction comes from the transfer flags. Also answered by
// devices that know only the legacy requests. `answer` may be null.
std::uint32_t VendorPing(std::uint32_t devLow, std::uint32_t devHigh, std::uint16_t value,
                         std::uint8_t* answer = nullptr);
// 40 01: wValue = reset argument, wIndex = reset kind, no data.
std::uint32_t VendorLegacyReset(std::uint32_t devLow, std::uint32_t devHigh, std::uint16_t argument,
                                std::uint16_t kind);
// 40 20, 40 21, 40 22 for reset kinds 7, 8, 9 (into update code, new code, ROM); wValue =
// argument, no data. Any other kind returns E_INVALIDARG (0x80070057) without a request.
std::uint32_t VendorReset(std::uint32_t devLow, std::uint32_t devHigh, std::uint16_t argument,
                          std::uint16_t kind);
// C0 07: the status pages first, first + 1, ... (wValue = page, low byte), 8 bytes each,
// `count` bytes into `buffer`; a last partial page goes through a local buffer. Stops at
// the first failed page with its error; a page shorter than needed gives E_FAIL
// (0x80004005).
std::uint32_t VendorGetDevStatus(std::uint32_t devLow, std::uint32_t devHigh, std::uint32_t first,
                                 std::uint32_t count, std::uint8_t* buffer);
// C0 25 / 40 24: registers and memory at a 16-bit address, wValue 0, wIndex = address,
// one request of `length` (at most 0xFFFF) bytes. An address or length beyond 16 bits
// returns 87 (invalid parameter) without a request.
std::uint32_t VendorReadMem(std::uint32_t devLow, std::uint32_t devHigh, std::uint32_t address,
                            std::uint32_t length, std::uint8_t* buffer);
std::uint32_t VendorWriteMem(std::uint32_t devLow, std::uint32_t devHigh, std::uint32_t address,
                             std::uint32_t length, const std::uint8_t* buffer);

}  // namespace vantor
