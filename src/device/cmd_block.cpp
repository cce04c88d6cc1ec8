#include "device/cmd_block.h"

namespace vantor {

const char* CmdStatusName(std::uint8_t code) {
  switch (code) {
    case VCMD_STS_CMD:
      return "VCMD_STS_CMD";
    case VCMD_STS_DATA_IN:
      return "VCMD_STS_DATA_IN";
    case VCMD_STS_DATA_OUT:
      return "VCMD_STS_DATA_OUT";
    case VCMD_STS_ERR_DIR:
      return "VCMD_STS_ERR_DIR";
    case VCMD_STS_NOT_FINISH:
      return "VCMD_STS_NOT_FINISH";
    case VCMD_STS_ERR_LEN:
      return "VCMD_STS_ERR_LEN";
    case VCMD_STS_UNKNOWN_SCMD:
      return "VCMD_STS_UNKNOWN_SCMD";
    case VCMD_STS_ERR_OUTRANGE:
      return "VCMD_STS_ERR_OUTRANGE";
    case VCMD_STS_UNKNOWN_CMD:
      return "VCMD_STS_UNKNOWN_CMD";
    case VCMD_STS_HW_ERR:
      return "VCMD_STS_HW_ERR";
    case VCMD_STS_RET_NO_ERR:
      return "VCMD_STS_RET_NO_ERR";
    default:
      return "Undefined ExtUnit error code\n";
  }
}

}  // namespace vantor
