// CDevFlow: the layer of the flow chain the front ends talk to. It introduces the eleven
// virtual operations (the memory flows below it fill them; the defaults here report
// "Not Support!") and the device-selection operations DEV_*, which decide which attached
// device a run works on, open it and read what the front ends show about it. The
// selection operations are implemented with the device-selection layer.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "flows/flow_window.h"
#include "flows/mp_flow_customize.h"

namespace vantor {

class CDevFlow : public CDevTypeInfo {
 public:
  CDevFlow() = default;
  virtual ~CDevFlow();

  // --- the eleven virtual operations (1 success, 0 failure) ---
  // Slot 0: locates the configuration area of imageA or imageB (no other pointer).
  virtual int PrepareImage(const std::uint8_t* image, std::uint32_t length);
  virtual int ReadMemory();                               // slot 1
  virtual int EraseMemory();                              // slot 2
  virtual int UpdateMemory();                             // slot 3
  virtual int Download();                                 // slot 4
  virtual int SilenceWriteBin(const std::wstring& path);  // slot 5
  virtual int SilenceWriteSNBin(const std::wstring& path,
                                const std::wstring& serialNumber);  // slot 6
  virtual int SilenceReadToFile(const std::wstring& path);          // slot 7
  virtual int SilenceVerifyBin(const std::wstring& path);           // slot 8
  virtual int SilenceReadHexFile(const std::wstring& path);         // slot 9
  virtual int SilenceErase(std::uint32_t resetAfter);               // slot 10

  // --- device-selection state ---
  std::wstring devIdText;    // "VID_%04X&PID_%04X&REV_%04X"
  std::wstring shortIdText;  // "VID_%04X&PID_%04X"
  DeviceLocation location;   // of the device last read
  std::int32_t selOrdinal = -1;
  std::int32_t selListIndex = -1;
  std::uint32_t idCheckOk = 0;
  std::uint32_t romDevicePresent = 0;
  std::uint32_t dev1010Present = 0;
  std::array<std::uint16_t, 6> imageVer{};
  std::wstring imageVerText;
  std::wstring otpStatusText;
  std::uint32_t otpUsedBytes = 0;
  // The location of the device last opened when no window is registered (the
  // command-line mode reads it from here).
  DeviceLocation ownLastLocation;
  std::wstring ownCurrentDevText;

  // The registered window's lastLocation and currentDevText, or the flow's own values
  // without a window.
  DeviceLocation& LastLocation();
  std::wstring& CurrentDevText();

  // --- device selection (1 success, 0 failure) ---
  int DEV_OpenDevice();
  int DEV_OpenDeviceByICIni();
  int DEV_OpenDeviceByICIni(std::uint32_t index);
  int DEV_OpenDeviceByVIDPID();
  int DEV_GetDeviceInfo();
  int DEV_GetDeviceInfoForInternalTool();
  int DEV_CloseDevice();
  void DEV_GetDefaultDeviceForAllInOne();
  void DEV_GetDeviceListForAllInOne(std::uint32_t argument);
  int DEV_GetDeviceListAfterReset();
  int DEV_GetDeviceListExist();
  int Dev_OpenDeviceForMultiCamera();
  int DEV_ReadDeviceState();
  // Letters "W", "Y", "Z", "V", "E", "C"; any other reports "Not Support!".
  int DEV_RunCommand(char letter, const std::wstring& file);
  void DEV_SetResetOptions();

 protected:
  // Slots 7 and 9: after a successful read (readResult non-zero) write `data` to the
  // path, raw or as hex text. The result is readResult whatever happens to the file.
  static int SaveAfterRead(int readResult, const std::wstring& path,
                           const std::vector<std::uint8_t>& data, bool hexText);

 private:
  // Shared by the selection operations: identity, location and ID texts of the open
  // device; the acceptance rule of the window listings.
  void ReadIdentity();
  void ReadLocation();
  // Computes idCheckOk from "CheckVIDPID_INI" / "CheckVIDPID_BIN"; false when both are
  // 0 (no check configured).
  bool ComputeIdCheck();
  // Accepts without a check when none is configured, else when idCheckOk; an accepted
  // device's state is read (DEV_ReadDeviceState).
  bool AcceptByRule(bool& noCheck);
  void ApplyIcTypeSettings();
  // The end of a successful open: chip id, IC type settings, the "opened" notice, result
  // code 0. Returns 1. AdoptOpenedDevice first reads identity and location.
  int FinishOpen();
  int AdoptOpenedDevice();
  void CloseOpenDevice();
};

}  // namespace vantor
