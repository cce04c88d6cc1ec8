#include "app/tool_version.h"

namespace vantor {

std::string ToolVersionText(std::string_view fileVersion) {
  std::size_t second = std::string_view::npos;
  std::size_t third = std::string_view::npos;
  std::size_t dots = 0;
  for (std::size_t i = 0; i < fileVersion.size() && dots < 3; ++i) {
    if (fileVersion[i] != '.') continue;
    ++dots;
    if (dots == 2) second = i;
    if (dots == 3) third = i;
  }
  if (third == std::string_view::npos) return std::string(fileVersion);
  std::string text(fileVersion.substr(0, second + 1));
  text += fileVersion.substr(third + 1);
  return text;
}

std::string BuildToolVersionText() {
#ifdef VANTOR_VERSION_TEXT
  return ToolVersionText(VANTOR_VERSION_TEXT);
#else
  return {};
#endif
}

}  // namespace vantor
