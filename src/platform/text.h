// Text conversions. Single-byte text (INI documents, configuration records, trace
// arguments that come from the device) is in the system code page, which this build
// takes as ISO 8859-1: each byte is the character of the same number, so a round trip
// through wide text never changes a byte. Characters beyond U+00FF become '?'.
// File names and console text are UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace vantor::platform {

std::string ToAnsi(std::wstring_view text);
std::wstring FromAnsi(std::string_view text);

std::string ToUtf8(std::wstring_view text);
std::wstring FromUtf8(std::string_view text);

}  // namespace vantor::platform
