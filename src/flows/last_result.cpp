#include "flows/last_result.h"

#include <atomic>

namespace vantor {

namespace {
std::atomic<std::int32_t> gLastResultCode{0};
std::atomic<bool> gCommandLineMode{false};
}  // namespace

std::int32_t GetLastResultCode() { return gLastResultCode.load(); }
void SetLastResultCode(std::int32_t code) { gLastResultCode.store(code); }

bool IsCommandLineMode() { return gCommandLineMode.load(); }
void SetCommandLineMode(bool on) { gCommandLineMode.store(on); }

}  // namespace vantor
