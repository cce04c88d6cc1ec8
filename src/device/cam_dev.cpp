#include "device/cam_dev.h"

#include <functional>
#include <utility>

#include "device/device_enum.h"
#include "device/device_info.h"
#include "device/kvx_cam.h"
#include "device/proxy_protocol.h"
#include "platform/last_error.h"
#include "platform/trace.h"

namespace vantor {

namespace P = platform;

std::uint32_t PrepareDeviceRecord(CamDevRecord& record) {
  if (record.magic != kCamDevRecordMagic || record.devInst == 0) {
    record.Close();
    return P::kErrorInvalidParameter;
  }
  std::uint32_t rc = 0;
  if (record.interfaceHandle == 0) {
    // Only named: open the same device instance again.
    CamDevRecord opened;
    rc = OpenDeviceInstance(&opened, record.devInst);
    if (rc != 0) return rc;
    opened.info = std::move(record.info);
    record = std::move(opened);
  }
  if (!record.info) rc = BuildDeviceInfo(record);
  if (rc != 0) record.Close();
  return rc;
}

CCamDev::CCamDev(CamDevRecord&& source) : m_Record(std::move(source)) {
  m_uOpenResult = PrepareDeviceRecord(m_Record);
  if (m_uOpenResult == 0) m_pInfo = std::make_unique<CamDevInfo>(*m_Record.info);
}

CCamDev::~CCamDev() { m_Record.Close(); }

const CamDevInfo* CCamDev::GetInfo(bool refresh) {
  if (!m_pInfo || refresh) {
    if (BuildDeviceInfo(m_Record) == 0) m_pInfo = std::make_unique<CamDevInfo>(*m_Record.info);
  }
  return m_pInfo.get();
}

std::uint32_t CCamDev::GetStringDescriptor(void* buffer, std::uint32_t length, std::uint8_t index,
                                           std::uint16_t language, std::uint32_t* moved) {
  if (vantor::GetStringDescriptor(m_Record.hKvProxyDevLow, m_Record.hKvProxyDevHigh, buffer, length,
                                  index, language, moved)) {
    return 0;
  }
  std::uint32_t error = P::GetLastError();
  if (error == 0) error = P::kErrorGenFailure;
  DebugPrint("GetStringDescriptor failed %u\n", error);
  return error;
}

namespace {

// The factory's table: which records make which object.
struct FactoryEntry {
  bool (*matches)(const CamDevInfo& info);
  std::unique_ptr<CCamDev> (*create)(CamDevRecord&& record);
};

const FactoryEntry kFactory[] = {
    {[](const CamDevInfo& info) { return info.vendorDevice != 0; },
     [](CamDevRecord&& record) -> std::unique_ptr<CCamDev> {
       return std::make_unique<CKvxCam>(std::move(record));
     }},
};

}  // namespace

std::unique_ptr<CCamDev> CreateCamDev(CamDevRecord&& source, std::uint32_t* error) {
  CamDevRecord record(std::move(source));
  const std::uint32_t rc = PrepareDeviceRecord(record);
  if (error != nullptr) *error = rc;
  if (rc != 0) return nullptr;
  for (const FactoryEntry& entry : kFactory) {
    if (entry.matches(*record.info)) return entry.create(std::move(record));
  }
  return std::make_unique<CCamDev>(std::move(record));
}

}  // namespace vantor
