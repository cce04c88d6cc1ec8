#include "platform/local_time.h"

namespace vantor::platform {

std::tm LocalTimeNow() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  return local;
}

}  // namespace vantor::platform
