#include "flows/mp_flow_customize.h"

#include <cstring>

namespace vantor {

namespace {

bool IsUsed(std::uint8_t flag) {
  return flag == kOtpFlagCode || flag == kOtpFlagConfig || flag == kOtpFlagInvalid;
}
bool IsValidBlock(std::uint8_t flag) { return flag == kOtpFlagCode || flag == kOtpFlagConfig; }
std::uint32_t StartOf(const std::uint8_t* e) { return e[0] * 256u + e[1]; }
std::uint32_t LengthOf(const std::uint8_t* e) { return e[2] * 256u + e[3]; }

}  // namespace

bool CMpFlow_Customize::ReadVdEntry(std::uint32_t n, std::uint8_t entry[kOtpVdEntrySize]) {
  std::memset(entry, 0, kOtpVdEntrySize);
  if (KF_OTP_Read(kOtpVdTableAddress + kOtpVdEntrySize * n, kOtpVdEntrySize, entry) != 0) {
    return true;
  }
  std::memset(entry, 0, kOtpVdEntrySize);
  return false;
}

std::uint32_t CMpFlow_Customize::MP_OTPLastBlockLen() {
  std::uint8_t e[kOtpVdEntrySize];
  for (int n = kOtpVdEntries - 1; n >= 0; --n) {
    if (ReadVdEntry(n, e) && IsUsed(e[4])) return LengthOf(e);
  }
  return 0;
}

std::uint32_t CMpFlow_Customize::MP_OTPBlockStart(std::uint32_t length) {
  std::uint8_t e[kOtpVdEntrySize];
  for (int n = kOtpVdEntries - 1; n >= 0; --n) {
    if (ReadVdEntry(n, e) && IsUsed(e[4]) && LengthOf(e) == length) return StartOf(e);
  }
  return 0;
}

std::uint32_t CMpFlow_Customize::MP_OTPFreeEntries() {
  std::uint8_t e[kOtpVdEntrySize];
  for (int n = kOtpVdEntries - 1; n >= 0; --n) {
    if (ReadVdEntry(n, e) && IsUsed(e[4])) return kOtpVdEntries - 1 - n;
  }
  return kOtpVdEntries;
}

bool CMpFlow_Customize::MP_OTPTableReadable() {
  std::uint8_t e[kOtpVdEntrySize];
  for (std::uint32_t n = 0; n < kOtpVdEntries; ++n) {
    if (!ReadVdEntry(n, e)) return false;
  }
  return true;
}

std::uint32_t CMpFlow_Customize::MP_OTPLastBlockOfKind(bool code) {
  const std::uint8_t flag = code ? kOtpFlagCode : kOtpFlagConfig;
  std::uint8_t e[kOtpVdEntrySize];
  for (int n = kOtpVdEntries - 1; n >= 0; --n) {
    if (ReadVdEntry(n, e) && e[4] == flag) return LengthOf(e);
  }
  return 0;
}

std::uint32_t CMpFlow_Customize::MP_OTPBlockStartOfKind(std::uint32_t length) {
  std::uint8_t e[kOtpVdEntrySize];
  for (int n = kOtpVdEntries - 1; n >= 0; --n) {
    if (ReadVdEntry(n, e) && IsValidBlock(e[4]) && LengthOf(e) == length) return StartOf(e);
  }
  return 0;
}

}  // namespace vantor
