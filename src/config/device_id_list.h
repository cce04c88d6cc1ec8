// Lists of accepted device IDs. An entry has the form of a device ID text,
// "VID_xxxx&PID_xxxx&REV_xxxx"; one entry a line; a line that begins with "//" is a
// comment in effect (it can never occur inside an ID text). Letter case never matters.
#pragma once

#include <string_view>

namespace vantor {

inline constexpr unsigned kBuiltInIdListResource = 3034;
inline constexpr const char* kIdListFileName = "VidPidList.ini";

// Matches against the built-in list. Its entries match any release number: an entry is
// cut just before the character that precedes its "REV".
bool MatchBuiltInList(std::string_view deviceIdText);
bool MatchBuiltInList(std::wstring_view deviceIdText);

// The built-in list's rule applied to any list text (the built-in one is this text of
// resource 3034).
bool MatchIdListText(std::string_view listText, std::string_view deviceIdText);

// Matches against "VidPidList.ini" in the program's directory. Entries must name the
// release: an entry without "REV" never matches. A missing or unreadable file matches
// nothing.
bool MatchListFile(std::string_view deviceIdText);
bool MatchListFile(std::wstring_view deviceIdText);

}  // namespace vantor
