// Capture of this process's debug output into a file ("DebugLog.txt" beside the program
// while the "Debug Log" setting is on). Here the debug output is a process sink, so the
// capture writes each text straight into the file as it is sent; a backend that reads the
// system debugger channel instead keeps the same three calls.
#pragma once

#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string_view>

namespace vantor::platform {

class DebugLogCapture {
 public:
  DebugLogCapture() = default;
  ~DebugLogCapture();
  DebugLogCapture(const DebugLogCapture&) = delete;
  DebugLogCapture& operator=(const DebugLogCapture&) = delete;

  // Creates (or truncates) the file and starts copying every debug-output text into it,
  // bytes as sent, no line break added. False when the file cannot be created; nothing
  // is captured then and the caller goes on without.
  bool Start(const std::filesystem::path& file);
  bool IsRunning() const;

  // Ending: RequestStop, then send the closing line through the debug output, then
  // WaitStopped. The first text sent after RequestStop is the last the file receives.
  void RequestStop();
  void WaitStopped();

 private:
  void Write(std::string_view text);

  mutable std::mutex mutex_;
  std::FILE* file_ = nullptr;
  int sinkId_ = 0;
  bool stopRequested_ = false;
};

}  // namespace vantor::platform
