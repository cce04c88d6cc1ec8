// Class requests to the controls of a vendor extension unit: SET_CUR, GET_CUR and GET_LEN
// on the default pipe, wValue = control selector << 8, wIndex = unit id << 8 | interface
// number, 5000 ms. Each returns true on success, else false with the platform's last
// error (proxy_protocol.h). A request whose data stage moved fewer bytes than asked fails
// with error 13 (invalid data).
#pragma once

#include <cstdint>

namespace vantor {

// Controls of the unit.
inline constexpr std::uint8_t kXuCommandControl = 0x0A;  // command block / status block
inline constexpr std::uint8_t kXuDataControl = 0x0B;     // one data transfer
// Requests.
inline constexpr std::uint8_t kXuSetCur = 0x01;
inline constexpr std::uint8_t kXuGetCur = 0x81;
inline constexpr std::uint8_t kXuGetLen = 0x85;
inline constexpr std::uint32_t kXuTimeoutMs = 5000;

// Where the requests go: the attached device and the unit on one of its interfaces.
struct XuTarget {
  std::uint32_t devLow = 0;
  std::uint32_t devHigh = 0;
  std::uint8_t unitId = 0;
  std::uint8_t interfaceNumber = 0;
};

bool XuSetCur(const XuTarget& target, std::uint8_t selector, const void* data,
              std::uint32_t length);
bool XuGetCur(const XuTarget& target, std::uint8_t selector, void* data, std::uint32_t length);
// The control's length (2 bytes, little-endian; fewer bytes fail with error 13).
bool XuGetLen(const XuTarget& target, std::uint8_t selector, std::uint16_t& length);

}  // namespace vantor
