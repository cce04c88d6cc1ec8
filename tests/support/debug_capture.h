// Collects what the program sends to the debug output while the object lives.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/debug_output.h"

namespace vantor::test {

class DebugCapture {
 public:
  DebugCapture();
  ~DebugCapture();
  DebugCapture(const DebugCapture&) = delete;
  DebugCapture& operator=(const DebugCapture&) = delete;

  std::vector<std::string> Lines() const;
  // Every text sent, joined.
  std::string All() const;
  // True when some text sent contains `part`.
  bool Contains(const std::string& part) const;
  void Clear();

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
  int id_;
};

}  // namespace vantor::test
