#include "flows/fw_version.h"

#include <cwchar>

namespace vantor {

namespace {

bool SecondBlockActive(std::span<const std::uint8_t, kDevStatusSize> s) {
  const std::uint8_t low72 = s[72] & 0x0F;
  return (s[64] & 0x0F) == 0 && low72 != 0 && low72 != 0x0B;
}

std::wstring Format(const wchar_t* format, const std::array<std::uint32_t, 8>& a) {
  wchar_t buffer[128];
  std::swprintf(buffer, 128, format, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7]);
  return buffer;
}

}  // namespace

std::uint32_t ActiveVersionBlock(std::span<const std::uint8_t, kDevStatusSize> status) {
  return SecondBlockActive(status) ? 72 : 64;
}

std::uint8_t VersionFormatOf(std::span<const std::uint8_t, kDevStatusSize> status) {
  switch (status[ActiveVersionBlock(status)] >> 4) {
    case 2:
      return 1;
    case 3:
      return 2;
    default:
      return 0;
  }
}

FwVersion BuildFwVersion(std::span<const std::uint8_t, kDevStatusSize> s,
                         std::span<const std::uint8_t, kStatusPagesSize> x, std::uint8_t modeEx,
                         std::uint16_t vid, std::uint16_t pid, bool withIds) {
  FwVersion out;
  std::array<std::uint32_t, 8> a{};
  int count = 0;
  const wchar_t* format = nullptr;
  if (modeEx == 16 || modeEx == 24 || modeEx == 32) {
    a = {static_cast<std::uint32_t>(x[12] >> 4),
         static_cast<std::uint32_t>(x[12] & 0x0F),
         x[13],
         x[14] * 256u + x[15],
         x[16] * 256u + x[17],
         x[18] * 256u + x[19]};
    count = 6;
    format = withIds ? L"%01X.%01X%02X.%04X-%04X.%04X-VID%04X&&PID%04X"
                     : L"%01X.%01X%02X.%04X-%04X.%04X";
  } else {
    switch (VersionFormatOf(s)) {
      case 1:
        a = {s[77], s[76], s[79], s[78]};
        count = 4;
        format = withIds ? L"0x%02X%02X-%02X%02X-VID%04X&&PID%04X" : L"0x%02X%02X-%02X%02X";
        break;
      case 2:
        a = {static_cast<std::uint32_t>(s[79] >> 4),
             static_cast<std::uint32_t>(s[79] & 0x0F),
             s[78],
             s[77] * 256u + s[76],
             s[83] * 256u + s[82],
             s[81] * 256u + s[80]};
        count = 6;
        format = withIds ? L"%01X.%01X%02X.%04X-%04X.%04X-VID%04X&&PID%04X"
                         : L"%01X.%01X%02X.%04X-%04X.%04X";
        break;
      default: {
        const std::uint32_t b = ActiveVersionBlock(s);
        a = {s[b + 3], s[b + 6], s[b + 7], s[5], s[4]};
        count = 5;
        format =
            withIds ? L"0x%02X-%02X%02X-%02X%02X-VID%04X&&PID%04X" : L"0x%02X-%02X%02X-%02X%02X";
        break;
      }
    }
  }
  for (int i = 0; i < count; ++i) out.ver[i] = static_cast<std::uint16_t>(a[i]);
  if (withIds) {
    a[count] = vid;
    a[count + 1] = pid;
  }
  out.text = Format(format, a);
  return out;
}

std::array<std::uint8_t, 8> FwRecordFromStatus(std::span<const std::uint8_t, kDevStatusSize> s) {
  std::array<std::uint8_t, 8> r{};
  if (SecondBlockActive(s)) {
    for (int i = 0; i < 8; ++i) r[i] = s[72 + i];
    return r;
  }
  switch (s[64] >> 4) {
    case 2:
      r = {s[77], s[76], s[79], s[78], 0, 0, 0, 0};
      break;
    case 3:
      for (int i = 0; i < 8; ++i) r[i] = s[76 + i];
      break;
    default:
      for (int i = 0; i < 8; ++i) r[i] = s[64 + i];
      break;
  }
  return r;
}

}  // namespace vantor
