// The system's debug output: every trace line of the program goes here. Sinks attached
// by the front ends (DebugLog.txt) and by tests receive each text as it is sent.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

namespace vantor::platform {

using DebugSink = std::function<void(std::string_view text)>;

// Sends one text (UTF-8) to every attached sink, in the order the texts arrive.
void DebugOutput(std::string_view text);

// Attaches a sink; the returned number detaches it again.
int AddDebugSink(DebugSink sink);
void RemoveDebugSink(int id);

// The calling thread's id as the system numbers threads.
std::uint32_t CurrentThreadId();
// This process's id.
std::uint32_t CurrentProcessId();

}  // namespace vantor::platform
