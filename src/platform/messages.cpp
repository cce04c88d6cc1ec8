#include "platform/messages.h"

namespace vantor {

namespace {

struct MessageRow {
  std::uint32_t id;
  MessageKind kind;
  std::string_view text;
};

constexpr MessageRow kMessages[] = {
    {msg::kNotSupport, MessageKind::Failure, "Not Support!"},
    {msg::kDetectDeviceFail, MessageKind::Failure, "Detect Device Fail!"},
    {msg::kResetDeviceFail, MessageKind::Failure, "Reset Device Fail!"},
    {msg::kLoadFileDataFail, MessageKind::Failure, "Load File Data Fail!"},
    {msg::kParseFwFileFail, MessageKind::Failure, "Parse FW File Fail!"},
    {msg::kGetCodeSizeFail, MessageKind::Failure, "Get Code Size Fail!"},
    {msg::kReadFlashFail, MessageKind::Failure, "Read Flash Fail!"},
    {msg::kEraseFlashFail, MessageKind::Failure, "Erase Flash Fail!"},
    {msg::kUpdateFlashFail, MessageKind::Failure, "Update Flash Fail!"},
    {msg::kMallocDataFail, MessageKind::Failure, "Malloc Data Fail!"},
    {msg::kCompareDataFail, MessageKind::Failure, "Compare Data Fail!"},
    {msg::kDisableWriteProtectFail, MessageKind::Failure, "Disable Write Protect Fail!"},
    {msg::kEnableWriteProtectFail, MessageKind::Failure, "Enable Write Protect Fail!"},
    {msg::kWriteTagFail, MessageKind::Failure, "Write Tag Fail!"},
    {msg::kSaveSnFail, MessageKind::Failure, "Save SN Fail!"},
    {msg::kVidPidMismatch, MessageKind::Failure, "The Vid/Pid does not Match!"},
    {msg::kFirmwareNotForDevice, MessageKind::Failure, "Firmware is not for the device!"},
    {msg::kCheckEmptyFail, MessageKind::Failure, "Check Empty Fail!"},
    {msg::kStepWaitReset, MessageKind::Step, "Wait device to reset"},
    {msg::kStepErasing, MessageKind::Step, "Erasing"},
    {msg::kStepCheckEmpty, MessageKind::Step, "Check empty"},
    {msg::kStepDownload, MessageKind::Step, "Download"},
    {msg::kStepVerify, MessageKind::Step, "Verify"},
    {msg::kStepWriteTag, MessageKind::Step, "Write Tag"},
    {msg::kStepResetToNewCode, MessageKind::Step, "Reset to new code"},
    {msg::kStepRead, MessageKind::Step, "Read"},
    {msg::kReadFlashSucceed, MessageKind::Success, "Read Flash Code Succeed."},
    {msg::kEraseFlashSucceed, MessageKind::Success, "Erase Flash Code Succeed."},
    {msg::kUpdateFlashSucceed, MessageKind::Success, "Update Flash Code Succeed."},
    {msg::kFirmwareUpdateSucceed, MessageKind::Success, "Firmware Update Succeed."},
    {msg::kReadEepromFail, MessageKind::Failure, "Read EERPOM Fail!"},
    {msg::kEraseEepromFail, MessageKind::Failure, "Erase EEPROM Fail!"},
    {msg::kUpdateEepromFail, MessageKind::Failure, "Update EEPROM Data Fail!"},
    {msg::kReadEepromSucceed, MessageKind::Success, "Read EEPROM Code Succeed."},
    {msg::kEraseEepromSucceed, MessageKind::Success, "Erase EEPROM Code Succeed."},
    {msg::kUpdateEepromSucceed, MessageKind::Success, "Update EEPROM Code Succeed."},
    {msg::kDownloadEepromSucceed, MessageKind::Success, "Download EEPROM Code Succeed."},
    {msg::kCheckDeviceInfoSucceed, MessageKind::Success, "Check Device Info Succeed."},
    {msg::kReadMtpSucceed, MessageKind::Success, "Read MTP Code Succeed."},
    {msg::kDownloadMtpSucceed, MessageKind::Success, "Download MTP Code Succeed."},
    {msg::kWriteOtpFail, MessageKind::Failure, "Write OTP Fail!"},
    {msg::kNotEnoughVdBlock, MessageKind::Failure, "Not Enough VD Block"},
    {msg::kCodeExceedMaxLength, MessageKind::Failure, "Code Exceed Max Length!"},
    {msg::kOtpLocked, MessageKind::Failure, "OTP Locked,Can't Program!"},
    {msg::kErrorNumExceed8, MessageKind::Failure, "Error Num Exceed 8!"},
    {msg::kRedundantFail, MessageKind::Failure, "Reduant Fail!"},
    {msg::kEccNumLowerThanErrorNum, MessageKind::Failure, "ECC Num lower than Error Num!"},
    {msg::kNotFindVdBlock, MessageKind::Failure, "Not Find VDBlock!"},
    {msg::kGetVdCodeFail, MessageKind::Failure, "Get VD Code Fail!"},
    {msg::kFailAddress, MessageKind::Failure, "Fail Address!"},
    {msg::kWriteBlockFail, MessageKind::Failure, "Write Block Fail!"},
    {msg::kReadOtpFail, MessageKind::Failure, "Read OTP Fail!"},
    {msg::kReadOtpSucceed, MessageKind::Success, "ReadOTP Succeed."},
    {msg::kUpdateOtpSucceed, MessageKind::Success, "UpdateOTP Succeed."},
    {msg::kDownloadOtpSucceed, MessageKind::Success, "DownloadOTP Succeed."},
    {msg::kOtpCodeNotExist, MessageKind::Failure, "OTP Code Not Exist!"},
    {msg::kNotInCacheMode, MessageKind::Failure, "Device is not in cache mode."},
    {msg::kLastOtpWriteAbnormal, MessageKind::Failure, "Last OTP Write Abnormal!"},
};

const MessageRow* FindRow(std::uint32_t id) {
  for (const MessageRow& row : kMessages) {
    if (row.id == id) return &row;
  }
  return nullptr;
}

}  // namespace

std::string_view MessageText(std::uint32_t id) {
  const MessageRow* row = FindRow(id);
  return row != nullptr ? row->text : std::string_view{};
}

MessageKind MessageKindOf(std::uint32_t id) {
  const MessageRow* row = FindRow(id);
  return row != nullptr ? row->kind : MessageKind::Unknown;
}

}  // namespace vantor
