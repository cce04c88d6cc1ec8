// Helpers the device-selection operations share: the failure trace with its console
// echo and the name line every operation writes on entry.
#pragma once

#include <string_view>

namespace vantor::selection {

// "----------------: " and the text on the trace; the text also goes to the console
// while the command-line mode runs.
void TraceAndEcho(const char* text);
// The operation's name as a line of the debug output.
void TraceName(const char* name);

}  // namespace vantor::selection
