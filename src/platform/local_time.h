// The local wall-clock time, for the time stamps of result files. Not the process clock:
// run times and time-outs use platform/clock.h.
#pragma once

#include <ctime>

namespace vantor::platform {

std::tm LocalTimeNow();

}  // namespace vantor::platform
