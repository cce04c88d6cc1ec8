// The trace log: formatted lines to the debug output. Every trace text of the system
// goes through DebugPrint, or through TraceWrite/TracePlain under a TraceScope.
#pragma once

#include <cstdint>
#include <string>

namespace vantor {

// Formats (printf rules) at most 4093 characters, removes trailing white space, appends
// CR LF and sends the line to the debug output.
void DebugPrint(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Trace categories.
inline constexpr std::uint32_t kTraceCategory1 = 1;
inline constexpr std::uint32_t kTraceCategory2 = 2;
inline constexpr std::uint32_t kTraceCategory4 = 4;

// Created on entry to a function. With withMarks it writes "START --->>>" now and
// "EXIT <<<---" when the function leaves.
class TraceScope {
 public:
  explicit TraceScope(const char* name, bool withMarks = false,
                      std::uint32_t category = kTraceCategory1);
  ~TraceScope();
  TraceScope(const TraceScope&) = delete;
  TraceScope& operator=(const TraceScope&) = delete;

  const char* name() const { return name_; }
  std::uint32_t category() const { return category_; }

 private:
  const char* name_;
  bool withMarks_;
  std::uint32_t category_;
};

// "(<thread id hex>-<tick count>):<scope name>:> <message>", cut to 511 characters.
void TraceWrite(const TraceScope& scope, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
// The message alone, with the same line rules.
void TracePlain(const TraceScope& scope, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// Process-wide trace state: the category mask (7 writes every category) and the
// debug-output switch.
void SetTraceCategoryMask(std::uint32_t mask);
std::uint32_t TraceCategoryMask();
void SetTraceToDebugOutput(bool on);

// Limits of the trace buffers, in characters.
inline constexpr std::size_t kTraceLineChars = 512;
inline constexpr std::size_t kDebugPrintMaxChars = 4093;

}  // namespace vantor
