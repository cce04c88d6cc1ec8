#include <sys/syscall.h>
#include <unistd.h>

#include "platform/debug_output.h"

namespace vantor::platform {

std::uint32_t CurrentThreadId() { return static_cast<std::uint32_t>(::syscall(SYS_gettid)); }
std::uint32_t CurrentProcessId() { return static_cast<std::uint32_t>(::getpid()); }

}  // namespace vantor::platform
