// CMpFlow_Customize: the OTP space figures, read from the block table (16 entries of
// five bytes at OTP 0x3F70: start and length big-endian, then the flag). An entry is in
// use when its flag is 0x55 (code), 0xAA (configuration) or 0xFF (invalidated).
// CDataInfo and CDevTypeInfo complete the chain below CDevFlow.
#pragma once

#include <cstdint>

#include "flows/mp_flow4.h"

namespace vantor {

inline constexpr std::uint32_t kOtpDataAreaSize = 16224;
inline constexpr std::uint32_t kOtpVdTableAddress = 0x3F70;
inline constexpr std::uint32_t kOtpVdEntrySize = 5;
inline constexpr std::uint32_t kOtpVdEntries = 16;
inline constexpr std::uint8_t kOtpFlagCode = 0x55;
inline constexpr std::uint8_t kOtpFlagConfig = 0xAA;
inline constexpr std::uint8_t kOtpFlagInvalid = 0xFF;

class CMpFlow_Customize : public CMpFlow4 {
 public:
  // Length of the highest used entry; 0 when none.
  std::uint32_t MP_OTPLastBlockLen();
  // Start of the highest used entry of that length; 0 when none.
  std::uint32_t MP_OTPBlockStart(std::uint32_t length);
  // Entries above the highest used one (16 when none is used).
  std::uint32_t MP_OTPFreeEntries();
  // Whether every entry of the table can be read: the figures above count an entry that
  // could not be read as unused, so without this they may be made up (a device without
  // OTP answers no read at all).
  bool MP_OTPTableReadable();
  // Length of the highest entry flagged code (true) or configuration (false); 0 when none.
  std::uint32_t MP_OTPLastBlockOfKind(bool code);
  // Start of the highest code or configuration entry of that length; 0 when none.
  std::uint32_t MP_OTPBlockStartOfKind(std::uint32_t length);

 private:
  // Reads entry n; false when the read fails (the entry then counts as unused).
  bool ReadVdEntry(std::uint32_t n, std::uint8_t entry[kOtpVdEntrySize]);
};

class CDataInfo {};

class CDevTypeInfo : public CMpFlow_Customize, public CDataInfo {};

}  // namespace vantor
