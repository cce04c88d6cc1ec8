// The device object: an opened device with its own record (proxy attach, interface,
// place on the bus) and a copy of its information block. CCamDev has no command
// transport; the maker's devices get a CKvxCam (device/kvx_cam.h), which adds them.
// CreateCamDev chooses the class from the information block.
#pragma once

#include <cstdint>
#include <memory>

#include "device/cam_dev_info.h"
#include "device/cam_dev_record.h"

namespace vantor {

namespace platform {
class Event;
}
class CVendorCmdCommon;
class CExtUnit;
class CVendorRequestV2;

class CCamDev {
 public:
  // Takes the device of `source`: a record holding its handles is taken over as it
  // stands (the source is left empty); a record that only names a device instance
  // (magic set, device instance present, nothing open) is opened again. Then the record's
  // information block is kept (read first when the record has none) and copied.
  // OpenResult tells whether all that worked.
  explicit CCamDev(CamDevRecord&& source);
  // Closes the record: detaches the proxy handle, closes the interface, frees the block.
  virtual ~CCamDev();
  CCamDev(const CCamDev&) = delete;
  CCamDev& operator=(const CCamDev&) = delete;

  // 0 when the device is open with its information block; else the platform error of
  // the open or the information read (87 for a source record that names no device).
  std::uint32_t OpenResult() const { return m_uOpenResult; }

  // The copy of the information block, read again first when there is none or `refresh`
  // is set (a failed read keeps the old one). Null when none could be read.
  const CamDevInfo* GetInfo(bool refresh = false);
  // A string descriptor through the proxy: 0, or the platform error (traced). `moved`
  // (may be null) receives the descriptor's bytes.
  std::uint32_t GetStringDescriptor(void* buffer, std::uint32_t length, std::uint8_t index,
                                    std::uint16_t language, std::uint32_t* moved = nullptr);

  // The device's record; a reset with reopen replaces it in place.
  CamDevRecord& Record() { return m_Record; }
  const CamDevRecord& Record() const { return m_Record; }

  // Command transports. A plain device object has none.
  // The preferred command interface: vendor requests when the device answers them, else
  // the extension unit, else null.
  virtual CVendorCmdCommon* GetCmd() { return nullptr; }
  // The extension-unit transport whenever the device has one, else null.
  virtual CExtUnit* GetExtUnit() { return nullptr; }
  // The vendor-request transport; with `force` created when the device has none yet.
  virtual CVendorRequestV2* GetVendorRequest(bool /*force*/) { return nullptr; }
  // Deletes the transports and creates them again from the information block's flags
  // (after a reopen: they then work on the new record).
  virtual void RebuildTransports() {}
  // The arrival event a reset's settle wait waits on; null when the object has none.
  virtual platform::Event* ArrivalEvent() { return nullptr; }
  // Sets the arrival event.
  virtual void SignalDeviceArrival() {}

 protected:
  CamDevRecord m_Record;
  std::unique_ptr<CamDevInfo> m_pInfo;  // the copy
  std::uint32_t m_uOpenResult = 0;
};

// Opens the device a record names (unless it is open already) and reads its information
// block (unless it has one): 0, or the error of the failed step (87 when the record
// names no device). A record that fails is left closed.
std::uint32_t PrepareDeviceRecord(CamDevRecord& record);

// The object factory: prepares the record, then makes a CKvxCam of a device the maker's
// vendor device flag marks, a plain CCamDev of any other. Null (with the error in
// `*error` when given) when the record cannot be prepared; nothing stays open then.
std::unique_ptr<CCamDev> CreateCamDev(CamDevRecord&& record, std::uint32_t* error = nullptr);

}  // namespace vantor
