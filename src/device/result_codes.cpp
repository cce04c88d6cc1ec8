#include "device/result_codes.h"

#include "platform/last_error.h"

namespace vantor {

HResult HresultFromLastError() { return HresultFromWin32(platform::GetLastError()); }

}  // namespace vantor
