#include "sim/transfer_log.h"

#include <cerrno>
#include <cstring>

namespace vantor::sim {

const char* TransferOutcomeName(TransferOutcome outcome) {
  switch (outcome) {
    case TransferOutcome::kStall:
      return "stall";
    case TransferOutcome::kGone:
      return "gone";
    case TransferOutcome::kNotReady:
      return "notready";
    case TransferOutcome::kTimeout:
      return "timeout";
    case TransferOutcome::kOk:
      break;
  }
  return "ok";
}

std::string TransferLogLine(const ControlSetup& setup, TransferOutcome outcome,
                            const std::uint8_t* data, std::uint32_t length) {
  char head[64];
  std::snprintf(head, sizeof head, "%02x %02x %04x %04x %u %s ", setup.bmRequestType,
                setup.bRequest, setup.wValue, setup.wIndex, setup.wLength,
                TransferOutcomeName(outcome));
  std::string line = head;
  if (length == 0 || data == nullptr) {
    line += '-';
  } else {
    static constexpr char kHex[] = "0123456789abcdef";
    line.reserve(line.size() + 2 * length + 1);
    for (std::uint32_t i = 0; i < length; ++i) {
      line += kHex[data[i] >> 4];
      line += kHex[data[i] & 0x0F];
    }
  }
  line += '\n';
  return line;
}

TransferLog::~TransferLog() { Close(); }

bool TransferLog::Open(const std::filesystem::path& path, std::string& error) {
  Close();
  file_ = std::fopen(path.c_str(), "ab");
  if (file_ == nullptr) {
    error = path.string() + ": the transfer log cannot be opened (" + std::strerror(errno) + ")";
    return false;
  }
  return true;
}

void TransferLog::Close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

void TransferLog::Write(const std::string& line) {
  if (file_ == nullptr) return;
  std::fwrite(line.data(), 1, line.size(), file_);
  std::fflush(file_);
}

}  // namespace vantor::sim
