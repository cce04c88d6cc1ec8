// Reading a device's information block: its descriptors, which command transports it
// answers, its extension unit and its status pages.
//
// Results are platform error codes: 0 success, the platform error of a failed descriptor
// read, 13 (invalid data) for a configuration descriptor that is malformed or a camera
// whose video function is not what the device object drives.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "device/cam_dev_record.h"

namespace vantor {

// The special-cased camera identity and the chip id it is given.
inline constexpr wchar_t kSpecialCameraId[] = L"VID_8086&PID_0A66";
inline constexpr std::uint16_t kSpecialCameraChipId = 0x5010;
// Status page 3 holds the vendor signature; 12 pages are kept.
inline constexpr std::uint32_t kSignaturePage = 3;
inline constexpr std::uint32_t kSignatureOffset = 24;
// The chip id registers (0xFE21 low byte, 0xFE22 high byte).
inline constexpr std::uint32_t kChipIdRegister = 0xFE21;

// The device descriptor (18 bytes) and the whole configuration descriptor (its 9-byte
// header, then wTotalLength bytes), checked to be well formed: 0, the platform error of
// the failed read, or 13 when the configuration descriptor is malformed (a header that is
// not one, a wTotalLength below 9 or changed between the reads, descriptors that do not
// tile it).
std::uint32_t ReadDeviceDescriptor(const CamDevRecord& record, std::array<std::uint8_t, 18>& out);
std::uint32_t ReadConfigDescriptor(const CamDevRecord& record, std::vector<std::uint8_t>& out);

// The unit a reset or an information read would talk to: the camera's command unit
// (record kind 1) or the audio function's unit of the maker (other kinds). The second
// unit flag is filled for cameras.
std::optional<std::uint8_t> FindCommandUnit(const CamDevRecord& record,
                                            const std::vector<std::uint8_t>& config,
                                            bool* secondUnit = nullptr);

// Reads the information block of the device and, on success, makes it the record's
// (a block already there is replaced only on success).
std::uint32_t BuildDeviceInfo(CamDevRecord& record);

}  // namespace vantor
