// The console of the process that started the tool: the command-line front end prints its
// progress lines there.
#pragma once

#include <string_view>

namespace vantor::platform {

// Connects the standard streams to the parent process's console. True when they are
// usable (on POSIX the process already has them).
bool AttachParentConsole();
// Writes the text to standard output as it stands (no line break is added) and flushes.
void ConsoleWrite(std::string_view text);

}  // namespace vantor::platform
