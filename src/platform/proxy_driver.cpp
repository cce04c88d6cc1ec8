#include "platform/proxy_driver.h"

#include <mutex>
#include <utility>

#include "platform/last_error.h"

namespace vantor::platform {

namespace {
std::mutex gOpenerMutex;
ProxyDriverOpener gOpener;
}  // namespace

std::unique_ptr<ProxyDriver> OpenProxyControlDevice() {
  ProxyDriverOpener opener;
  {
    std::lock_guard lock(gOpenerMutex);
    opener = gOpener;
  }
  if (opener) return opener();
  // The platform's own user-space proxy comes with the USB backend; until then there is
  // no control device to open.
  SetLastError(kErrorFileNotFound);
  return nullptr;
}

void SetProxyDriverOpener(ProxyDriverOpener opener) {
  std::lock_guard lock(gOpenerMutex);
  gOpener = std::move(opener);
}

}  // namespace vantor::platform
