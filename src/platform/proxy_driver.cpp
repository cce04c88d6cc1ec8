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
  return OpenNativeProxyControlDevice();
}

void SetProxyDriverOpener(ProxyDriverOpener opener) {
  std::lock_guard lock(gOpenerMutex);
  gOpener = std::move(opener);
}

}  // namespace vantor::platform
