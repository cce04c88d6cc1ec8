// Process-wide run state the flows share with the front ends: LastResultCode, the last
// message id a run reported (0 when it ended well), which decides the process exit code;
// and the command-line mode flag, set while the command-line front end runs, which tells
// the flows to echo their texts on the console.
#pragma once

#include <cstdint>

namespace vantor {

// Safe to read and write from any thread.
std::int32_t GetLastResultCode();
void SetLastResultCode(std::int32_t code);

bool IsCommandLineMode();
void SetCommandLineMode(bool on);

}  // namespace vantor
