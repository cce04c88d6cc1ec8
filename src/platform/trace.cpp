#include "platform/trace.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string_view>

#include "platform/clock.h"
#include "platform/debug_output.h"

namespace vantor {

namespace {

std::atomic<std::uint32_t> gCategoryMask{7};
std::atomic<bool> gToDebugOutput{true};

std::mutex& TraceLock() {
  static std::mutex lock;
  return lock;
}

std::string FormatV(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  int needed = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (needed <= 0) return {};
  std::string text(static_cast<std::size_t>(needed) + 1, '\0');
  std::vsnprintf(text.data(), text.size(), format, args);
  text.resize(static_cast<std::size_t>(needed));
  return text;
}

// Bytes of the UTF-8 sequence that starts with b (a stray byte counts as one).
std::size_t SequenceLength(unsigned char b) {
  if ((b & 0xE0) == 0xC0) return 2;
  if ((b & 0xF0) == 0xE0) return 3;
  if ((b & 0xF8) == 0xF0) return 4;
  return 1;
}

// The buffers hold wide characters: a character takes one, a character beyond U+FFFF
// two. Cuts a UTF-8 text to at most max such characters without splitting one.
void CutTo(std::string& text, std::size_t max) {
  if (text.size() <= max) return;  // never more characters than bytes
  std::size_t chars = 0;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t length = SequenceLength(static_cast<unsigned char>(text[i]));
    std::size_t width = length == 4 ? 2 : 1;
    if (chars + width > max) {
      text.resize(i);
      return;
    }
    chars += width;
    i += length;
  }
}

// Wide characters the UTF-8 text takes (as CutTo counts them).
std::size_t CharCount(std::string_view text) {
  std::size_t chars = 0;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t length = SequenceLength(static_cast<unsigned char>(text[i]));
    chars += length == 4 ? 2 : 1;
    i += length;
  }
  return chars;
}

bool IsTrailingSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

void SendLine(std::string text) {
  CutTo(text, kDebugPrintMaxChars);
  while (!text.empty() && IsTrailingSpace(text.back())) text.pop_back();
  text += "\r\n";
  platform::DebugOutput(text);
}

void WriteTraceLine(const TraceScope& scope, bool prefixed, const char* format, va_list args) {
  if ((scope.category() & gCategoryMask.load()) == 0) return;
  std::lock_guard lock(TraceLock());
  std::string line;
  if (prefixed) {
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "(%X-%d):", platform::CurrentThreadId(),
                  static_cast<int>(platform::TickCount()));
    line = prefix;
    line += scope.name();
    line += ":> ";
  }
  line += FormatV(format, args);
  CutTo(line, kTraceLineChars - 1);
  if (!line.empty() && line.back() == '\n' && CharCount(line) < kTraceLineChars - 1) {
    line.back() = '\r';
    line += '\n';
  }
  if (gToDebugOutput.load()) SendLine(std::move(line));
}

}  // namespace

void DebugPrint(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatV(format, args);
  va_end(args);
  SendLine(std::move(text));
}

TraceScope::TraceScope(const char* name, bool withMarks, std::uint32_t category)
    : name_(name), withMarks_(withMarks), category_(category) {
  if (withMarks_) TraceWrite(*this, "START --->>>\n");
}

TraceScope::~TraceScope() {
  if (withMarks_) TraceWrite(*this, "EXIT <<<---\n");
}

void TraceWrite(const TraceScope& scope, const char* format, ...) {
  va_list args;
  va_start(args, format);
  WriteTraceLine(scope, true, format, args);
  va_end(args);
}

void TracePlain(const TraceScope& scope, const char* format, ...) {
  va_list args;
  va_start(args, format);
  WriteTraceLine(scope, false, format, args);
  va_end(args);
}

void SetTraceCategoryMask(std::uint32_t mask) { gCategoryMask.store(mask); }
std::uint32_t TraceCategoryMask() { return gCategoryMask.load(); }
void SetTraceToDebugOutput(bool on) { gToDebugOutput.store(on); }

}  // namespace vantor
