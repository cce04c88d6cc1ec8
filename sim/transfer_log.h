// The transfer log: every control transfer the simulated devices see, one line each,
// "<bmRequestType> <bRequest> <wValue> <wIndex> <wLength> <result> <data>" (hex with 2, 2,
// 4 and 4 digits, wLength in decimal, result ok/stall/gone/notready/timeout, the data
// stage as one run of hex pairs or "-"). Lines are appended and flushed one by one.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "sim/usb_wire.h"

namespace vantor::sim {

enum class TransferOutcome { kOk, kStall, kGone, kNotReady, kTimeout };
const char* TransferOutcomeName(TransferOutcome outcome);

// The line for one transfer; `data`/`length` is the data stage as it went on the wire.
std::string TransferLogLine(const ControlSetup& setup, TransferOutcome outcome,
                            const std::uint8_t* data, std::uint32_t length);

class TransferLog {
 public:
  TransferLog() = default;
  ~TransferLog();
  TransferLog(const TransferLog&) = delete;
  TransferLog& operator=(const TransferLog&) = delete;

  // Opens the file for appending; false with a reason when it cannot be opened.
  bool Open(const std::filesystem::path& path, std::string& error);
  void Close();
  bool open() const { return file_ != nullptr; }
  void Write(const std::string& line);

 private:
  std::FILE* file_ = nullptr;
};

}  // namespace vantor::sim
