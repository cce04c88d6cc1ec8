#include "platform/service_manager.h"

#include <mutex>
#include <utility>

namespace vantor::platform {

namespace {
std::mutex gManagerMutex;
std::shared_ptr<ServiceManager> gManager;
}  // namespace

const char* AdminFileResultText(AdminFileResult result) {
  switch (result) {
    case AdminFileResult::kRead:
      return "owned by an administrator";
    case AdminFileResult::kAbsent:
      return "not present";
    case AdminFileResult::kNotAdminOwned:
      return "not owned by an administrator account";
    case AdminFileResult::kWritableByOthers:
      return "writable by others than administrators";
    case AdminFileResult::kNotRegularFile:
      return "not a regular file";
    case AdminFileResult::kReadError:
      return "cannot be read";
  }
  return "unknown";
}

std::shared_ptr<ServiceManager> GetServiceManager() {
  {
    std::lock_guard lock(gManagerMutex);
    if (gManager) return gManager;
  }
  return NativeServiceManager();
}

void SetServiceManager(std::shared_ptr<ServiceManager> manager) {
  std::lock_guard lock(gManagerMutex);
  gManager = std::move(manager);
}

}  // namespace vantor::platform
