// The tool version text shown in the window's title: the build's four-part file version
// shortened to "major.minor.revision" ("2.61.9600.53" gives "2.61.53").
#pragma once

#include <string>
#include <string_view>

namespace vantor {

// Keeps the text up to and including its second "." and appends the part after the
// third "."; a text with fewer than three dots is kept whole.
std::string ToolVersionText(std::string_view fileVersion);

// The text for this build's own version.
std::string BuildToolVersionText();

}  // namespace vantor
