#include "platform/debug_log_capture.h"

#include "platform/debug_output.h"

namespace vantor::platform {

DebugLogCapture::~DebugLogCapture() { WaitStopped(); }

bool DebugLogCapture::Start(const std::filesystem::path& file) {
  WaitStopped();
  std::FILE* f = std::fopen(file.c_str(), "wb");
  if (f == nullptr) return false;
  {
    std::lock_guard lock(mutex_);
    file_ = f;
    stopRequested_ = false;
  }
  sinkId_ = AddDebugSink([this](std::string_view text) { Write(text); });
  return true;
}

bool DebugLogCapture::IsRunning() const {
  std::lock_guard lock(mutex_);
  return file_ != nullptr;
}

void DebugLogCapture::RequestStop() {
  std::lock_guard lock(mutex_);
  stopRequested_ = true;
}

void DebugLogCapture::WaitStopped() {
  if (sinkId_ != 0) RemoveDebugSink(sinkId_);
  sinkId_ = 0;
  std::lock_guard lock(mutex_);
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

void DebugLogCapture::Write(std::string_view text) {
  std::lock_guard lock(mutex_);
  if (file_ == nullptr) return;
  // Written through at once, so the file holds every line even when the process dies.
  std::fwrite(text.data(), 1, text.size(), file_);
  std::fflush(file_);
  // The text that follows a stop request is the closing line: the file ends with it.
  if (stopRequested_) {
    std::fclose(file_);
    file_ = nullptr;
  }
}

}  // namespace vantor::platform
