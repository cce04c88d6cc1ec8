#include "support/debug_capture.h"

namespace vantor::test {

DebugCapture::DebugCapture()
    : id_(platform::AddDebugSink([this](std::string_view text) {
        std::lock_guard lock(mutex_);
        lines_.emplace_back(text);
      })) {}

DebugCapture::~DebugCapture() { platform::RemoveDebugSink(id_); }

std::vector<std::string> DebugCapture::Lines() const {
  std::lock_guard lock(mutex_);
  return lines_;
}

std::string DebugCapture::All() const {
  std::lock_guard lock(mutex_);
  std::string all;
  for (const auto& line : lines_) all += line;
  return all;
}

bool DebugCapture::Contains(const std::string& part) const {
  return All().find(part) != std::string::npos;
}

void DebugCapture::Clear() {
  std::lock_guard lock(mutex_);
  lines_.clear();
}

}  // namespace vantor::test
