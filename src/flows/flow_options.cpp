#include "flows/flow_options.h"

#include <atomic>

namespace vantor {

namespace {
std::atomic<std::uint32_t> gFlowOptions{kFlowOptionsDefault};
}  // namespace

std::uint32_t GetFlowOptions() { return gFlowOptions.load(); }
void SetFlowOptions(std::uint32_t options) { gFlowOptions.store(options); }

}  // namespace vantor
