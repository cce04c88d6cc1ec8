#include "device/device_info.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "device/cam_dev_info.h"
#include "device/cmd_block.h"
#include "device/config_descriptor.h"
#include "device/ext_unit_functions.h"
#include "device/proxy_protocol.h"
#include "device/vendor_functions.h"
#include "device/vendor_ids.h"
#include "platform/last_error.h"
#include "platform/trace.h"

namespace vantor {

namespace P = platform;

namespace {

// The platform error of a failed request; a failure never reads as success.
std::uint32_t FailureError() {
  const std::uint32_t error = P::GetLastError();
  return error != 0 ? error : P::kErrorGenFailure;
}

bool HasSignature(const std::uint8_t* bytes) {
  return std::equal(kVendorSignature.begin(), kVendorSignature.end(), bytes);
}

bool ContainsIgnoringCase(std::wstring text, std::wstring_view part) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](wchar_t c) { return (c >= L'a' && c <= L'z') ? c - L'a' + L'A' : c; });
  return text.find(part) != std::wstring::npos;
}

// Whether the device answers vendor requests: the status bytes read from page
// `statusFirst` carry the signature at `signatureAt`, and the whole status can be read;
// else whether it answers the legacy ping.
void ProbeVendorRequests(const CamDevRecord& r, CamDevInfo& info, std::uint32_t statusFirst,
                         std::uint32_t statusCount, std::uint32_t signatureAt) {
  std::array<std::uint8_t, kDeviceStatusBytes> status{};
  bool vendor = VendorGetDevStatus(r.hKvProxyDevLow, r.hKvProxyDevHigh, statusFirst, statusCount,
                                   status.data()) == 0 &&
                HasSignature(status.data() + signatureAt);
  if (vendor && statusCount < kDeviceStatusBytes) {
    // Only the signature page was read: now the whole status.
    vendor = VendorGetDevStatus(r.hKvProxyDevLow, r.hKvProxyDevHigh, 0, kDeviceStatusBytes,
                                status.data()) == 0;
  }
  if (vendor) {
    info.deviceStatus = status;
    info.vendorDevice = 1;
    info.vendorRequests = 1;
    info.legacyVendor = 0;
  } else {
    info.vendorRequests = 0;
    info.legacyVendor = VendorPing(r.hKvProxyDevLow, r.hKvProxyDevHigh, 0) == 0 ? 1 : 0;
  }
}

std::uint32_t ReadDescriptors(const CamDevRecord& record, CamDevInfo& info) {
  std::uint32_t rc = ReadDeviceDescriptor(record, info.deviceDescriptor);
  if (rc == 0) rc = ReadConfigDescriptor(record, info.configDescriptor);
  return rc;
}

std::uint32_t BuildCameraInfo(const CamDevRecord& r, CamDevInfo& info) {
  if (!ParseVideoFunction(info.deviceDescriptor, info.configDescriptor, r.interfaceNumber,
                          info.videoFunction)) {
    DebugPrint("BuildDeviceInfo: no video function at interface %u\n", r.interfaceNumber);
    return P::kErrorInvalidData;
  }
  info.vendorDevice = info.extensionUnit = info.vendorRequests = info.legacyVendor = 0;
  info.specialCamera = info.secondUnit = 0;

  bool secondUnit = false;
  const auto unit = FindCommandUnit(r, info.configDescriptor, &secondUnit);
  if (!unit) {
    std::wstring id;
    P::GetDeviceInventory()->GetDeviceInstanceId(r.devInst, id);
    if (ContainsIgnoringCase(id, kSpecialCameraId)) {
      info.vendorDevice = 1;
      info.specialCamera = 1;
      info.setChipId(kSpecialCameraChipId);
    }
    return 0;
  }

  ProbeVendorRequests(r, info, kSignaturePage, 8, 0);
  const auto itf = static_cast<std::uint8_t>(r.interfaceNumber);
  if (ExtUnit_DevQualify(r.hKvProxyDevLow, r.hKvProxyDevHigh, *unit, itf)) {
    info.unitId = *unit;
    info.vendorDevice = 1;
    info.extensionUnit = 1;
    if (info.vendorRequests == 0) {
      ExtUnit_GetDevStatus(r.hKvProxyDevLow, r.hKvProxyDevHigh, *unit, itf, 0, kDeviceStatusBytes,
                           info.deviceStatus.data());
    }
  }
  info.secondUnit = secondUnit ? 1 : 0;

  // Chips that report 0x20 or 0x21 are told apart by their id registers.
  if (info.chipId() == 0x21) {
    std::uint8_t id[2] = {};
    if (ExtUnit_ReadMem(r.hKvProxyDevLow, r.hKvProxyDevHigh, *unit, itf, kChipIdRegister, 2, id) &&
        (id[0] == 0x20 || id[0] == 0x21) && id[1] == 0) {
      info.setChipId(0x71);
    }
  }
  if (info.chipId() == 0x20) info.setChipId(0x71);
  return 0;
}

std::uint32_t BuildAudioInfo(const CamDevRecord& r, CamDevInfo& info) {
  info.vendorDevice = 0;
  info.extensionUnit = 0;
  const auto unit = FindCommandUnit(r, info.configDescriptor);
  if (unit) {
    info.unitId = *unit;
    info.extensionUnit = 1;
    ProbeVendorRequests(r, info, 0, kDeviceStatusBytes, kSignatureOffset);
  }
  return 0;
}

}  // namespace

std::uint32_t ReadDeviceDescriptor(const CamDevRecord& record, std::array<std::uint8_t, 18>& out) {
  std::uint8_t bytes[kDeviceDescriptorLength] = {};
  if (!GetDeviceDescriptor(record.hKvProxyDevLow, record.hKvProxyDevHigh, bytes)) {
    return FailureError();
  }
  std::memcpy(out.data(), bytes, out.size());
  return 0;
}

std::uint32_t ReadConfigDescriptor(const CamDevRecord& record, std::vector<std::uint8_t>& out) {
  std::uint8_t header[kConfigHeaderLength] = {};
  if (!GetConfigDescriptor(record.hKvProxyDevLow, record.hKvProxyDevHigh, header, sizeof header)) {
    return FailureError();
  }
  const auto total = ConfigTotalLength(header);
  if (!total || *total < kConfigHeaderLength) {
    DebugPrint("BuildDeviceInfo: configuration descriptor header malformed\n");
    return P::kErrorInvalidData;
  }
  std::vector<std::uint8_t> config(*total);
  if (!GetConfigDescriptor(record.hKvProxyDevLow, record.hKvProxyDevHigh, config.data(), *total)) {
    return FailureError();
  }
  if (!IsWellFormedConfigDescriptor(config)) {
    DebugPrint("BuildDeviceInfo: configuration descriptor malformed (%u bytes)\n",
               static_cast<unsigned>(*total));
    return P::kErrorInvalidData;
  }
  out = std::move(config);
  return 0;
}

std::optional<std::uint8_t> FindCommandUnit(const CamDevRecord& record,
                                            const std::vector<std::uint8_t>& config,
                                            bool* secondUnit) {
  if (record.deviceKind == kDeviceKindCamera) {
    const CameraUnits units = FindCameraUnits(config, record.interfaceNumber);
    if (secondUnit != nullptr) *secondUnit = units.secondUnit;
    return units.commandUnit;
  }
  if (secondUnit != nullptr) *secondUnit = false;
  return FindAudioExtensionUnit(config, kMakerVendorId);
}

std::uint32_t BuildDeviceInfo(CamDevRecord& record) {
  auto info = std::make_unique<CamDevInfo>();
  std::uint32_t rc = ReadDescriptors(record, *info);
  if (rc == 0) {
    rc = record.deviceKind == kDeviceKindCamera ? BuildCameraInfo(record, *info)
                                                : BuildAudioInfo(record, *info);
  }
  if (rc != 0) return rc;
  record.info = std::move(info);
  return 0;
}

}  // namespace vantor
