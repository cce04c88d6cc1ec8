#include "platform/debug_output.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace vantor::platform {

namespace {

struct SinkList {
  std::mutex mutex;
  std::vector<std::pair<int, DebugSink>> sinks;
  int nextId = 1;
  // VANTOR_TRACE in the environment copies the debug output to standard error, the
  // way a debugger attached to the process would show it.
  bool toStderr = std::getenv("VANTOR_TRACE") != nullptr;
};

SinkList& Sinks() {
  static SinkList list;
  return list;
}

}  // namespace

void DebugOutput(std::string_view text) {
  SinkList& list = Sinks();
  std::lock_guard lock(list.mutex);
  if (list.toStderr) {
    std::fwrite(text.data(), 1, text.size(), stderr);
  }
  for (auto& [id, sink] : list.sinks) sink(text);
}

int AddDebugSink(DebugSink sink) {
  SinkList& list = Sinks();
  std::lock_guard lock(list.mutex);
  int id = list.nextId++;
  list.sinks.emplace_back(id, std::move(sink));
  return id;
}

void RemoveDebugSink(int id) {
  SinkList& list = Sinks();
  std::lock_guard lock(list.mutex);
  std::erase_if(list.sinks, [id](const auto& entry) { return entry.first == id; });
}

}  // namespace vantor::platform
