#include "config/device_id_list.h"

#include <memory>
#include <mutex>
#include <sstream>
#include <string>

#include "config/ic_type_ini.h"
#include "platform/files.h"
#include "platform/text.h"

namespace vantor {

namespace {

std::string_view TrimBlanks(std::string_view text) {
  constexpr std::string_view kBlanks = " \t\r\n";
  const std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Whether `part` occurs in `text`, letter case ignored.
bool ContainsNoCase(std::string_view text, std::string_view part) {
  if (part.size() > text.size()) return false;
  for (std::size_t start = 0; start + part.size() <= text.size(); ++start) {
    std::size_t i = 0;
    while (i < part.size() && FoldAscii(text[start + i]) == FoldAscii(part[i])) ++i;
    if (i == part.size()) return true;
  }
  return false;
}

// The built-in list holder: a definition object whose text is the list, loaded once.
const CICTypeIni& BuiltInListHolder() {
  static const std::unique_ptr<CICTypeIni> holder = [] {
    auto list = std::make_unique<CICTypeIni>();
    list->LoadFromResource(kBuiltInIdListResource);
    return list;
  }();
  return *holder;
}

}  // namespace

bool MatchIdListText(std::string_view listText, std::string_view deviceIdText) {
  std::size_t pos = 0;
  while (pos < listText.size()) {
    std::size_t end = listText.find('\n', pos);
    if (end == std::string_view::npos) end = listText.size();
    std::string_view entry = TrimBlanks(listText.substr(pos, end - pos));
    pos = end + 1;
    const std::size_t rev = entry.find("REV");
    // "&REV_0000" and everything after it go; an entry that would be left empty is
    // no entry (an empty one would match every device).
    if (rev != std::string_view::npos) entry = entry.substr(0, rev == 0 ? 0 : rev - 1);
    if (entry.empty()) continue;
    if (ContainsNoCase(deviceIdText, entry)) return true;
  }
  return false;
}

bool MatchBuiltInList(std::string_view deviceIdText) {
  return MatchIdListText(platform::ToAnsi(BuiltInListHolder().DefinitionText()), deviceIdText);
}

bool MatchBuiltInList(std::wstring_view deviceIdText) {
  return MatchBuiltInList(std::string_view(platform::ToAnsi(deviceIdText)));
}

bool MatchListFile(std::wstring_view deviceIdText) {
  return MatchListFile(std::string_view(platform::ToAnsi(deviceIdText)));
}

bool MatchListFile(std::string_view deviceIdText) {
  std::string text;
  if (platform::ReadRegularFile(platform::ProgramDirectory() / kIdListFileName,
                                platform::kMaxTextFileBytes,
                                text) != platform::FileReadResult::kOk) {
    return false;
  }
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    const std::string_view entry = TrimBlanks(line);
    if (entry.empty()) continue;
    if (ContainsNoCase(entry, "REV") && ContainsNoCase(deviceIdText, entry)) return true;
  }
  return false;
}

}  // namespace vantor
