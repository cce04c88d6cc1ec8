// Reading device memory through the device API on the simulated device, over each
// command transport. Wall time measures the host side (records, URBs, the bus model);
// the counters show what the protocol costs on the wire: transfers and virtual device
// time per read.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "device/device_api.h"
#include "support/device_rig.h"

namespace vantor {
namespace {

constexpr std::uint32_t kReadBytes = 0x40000;  // a whole 256 KiB flash

void ReadFlash(benchmark::State& state, std::uint32_t flags) {
  test::DeviceRig rig;
  rig.Add("flash-old");
  test::ScopedFunctionLock lock;
  const LibHandle handle = Lib_OpenDevice(0);
  if (handle == 0) {
    state.SkipWithError("the simulated device did not open");
    return;
  }
  std::vector<std::uint8_t> buffer(kReadBytes);
  const sim::BusCounters before = rig.sim.bus().Counters();
  for (auto _ : state) {
    if (Lib_SPI_SF_Read(handle, 0, kReadBytes, buffer.data(), flags, nullptr, nullptr) == 0) {
      state.SkipWithError("read failed");
      break;
    }
    benchmark::DoNotOptimize(buffer.data());
  }
  const sim::BusCounters after = rig.sim.bus().Counters();
  const double reads = static_cast<double>(state.iterations());
  const auto transfers = (after.total.vendorTransfers + after.total.classTransfers) -
                         (before.total.vendorTransfers + before.total.classTransfers);
  state.counters["transfers/read"] = static_cast<double>(transfers) / reads;
  state.counters["virtual_ms/read"] =
      static_cast<double>(after.virtualUs - before.virtualUs) / 1000.0 / reads;
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kReadBytes);
  Lib_CloseDevice(handle);
}

void BM_FlashReadVendorRequests(benchmark::State& state) { ReadFlash(state, 0); }
void BM_FlashReadExtensionUnit(benchmark::State& state) { ReadFlash(state, kLibFlagExtUnit); }

BENCHMARK(BM_FlashReadVendorRequests)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FlashReadExtensionUnit)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vantor

BENCHMARK_MAIN();
