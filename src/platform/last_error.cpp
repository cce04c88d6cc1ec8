#include "platform/last_error.h"

namespace vantor::platform {

namespace {
thread_local std::uint32_t tLastError = 0;
}

std::uint32_t GetLastError() { return tLastError; }
void SetLastError(std::uint32_t error) { tLastError = error; }

}  // namespace vantor::platform
