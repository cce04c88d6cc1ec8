#include "config/device_id_list.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "device/vendor_ids.h"
#include "platform/files.h"
#include "platform/resources.h"
#include "support/scoped_program_dir.h"

namespace vantor {
namespace {

std::string IdText(unsigned vid, unsigned pid, unsigned rev) {
  char text[32];
  std::snprintf(text, sizeof text, "VID_%04X&PID_%04X&REV_%04X", vid, pid, rev);
  return text;
}

TEST(BuiltInIdList, SeventeenEntriesOneActive) {
  const std::string text = platform::ResourceText("ICINI", kBuiltInIdListResource);
  std::istringstream in(text);
  std::string line;
  int entries = 0, commented = 0;
  while (std::getline(in, line)) {
    ASSERT_FALSE(line.empty());
    ASSERT_EQ(line.back(), '\r') << "lines end in CR LF";
    line.pop_back();
    ++entries;
    EXPECT_EQ(line.substr(line.size() - 9), "&REV_0000") << line;
    if (line.rfind("//", 0) == 0) {
      ++commented;
    } else {
      EXPECT_EQ(line, IdText(kMakerVendorId, kReferenceProductId, 0));
    }
  }
  EXPECT_EQ(entries, 17);
  EXPECT_EQ(commented, 16);
}

TEST(BuiltInIdList, ReferenceDeviceMatchesAnyReleaseInAnyCase) {
  EXPECT_TRUE(MatchBuiltInList(IdText(kMakerVendorId, kReferenceProductId, kReferenceRelease)));
  EXPECT_TRUE(MatchBuiltInList(IdText(kMakerVendorId, kReferenceProductId, 0x0102)));
  EXPECT_TRUE(MatchBuiltInList("vid_3a4b&pid_0310&rev_0100"));
  EXPECT_TRUE(MatchBuiltInList(std::wstring_view(L"VID_3A4B&PID_0310&REV_FFFF")));
  EXPECT_FALSE(MatchBuiltInList(IdText(kMakerVendorId, 0x0311, 0)));
}

TEST(BuiltInIdList, CommentedEntriesNeverMatch) {
  // Every commented entry, as the device it names would report itself.
  const std::string text = platform::ResourceText("ICINI", kBuiltInIdListResource);
  std::istringstream in(text);
  std::string line;
  int checked = 0;
  while (std::getline(in, line)) {
    unsigned vid = 0, pid = 0;
    if (std::sscanf(line.c_str(), "//VID_%4x&PID_%4x", &vid, &pid) != 2) continue;
    for (unsigned rev : {0x0000u, 0x0100u, 0x0102u}) {
      EXPECT_FALSE(MatchBuiltInList(IdText(vid, pid, rev))) << line;
    }
    ++checked;
  }
  EXPECT_EQ(checked, 16);
}

TEST(IdListText, CutAtRevTrimAndCase) {
  struct Case {
    const char* list;
    const char* id;
    bool match;
  } cases[] = {
      {"  VID_1234&PID_5678&REV_0001  \r\n", "VID_1234&PID_5678&REV_0002", true},
      {"\tvid_abcd&pid_ef01&REV_0000\n", "VID_ABCD&PID_EF01&REV_0100", true},
      {"VID_1234&PID_5678\r\n", "VID_1234&PID_5678&REV_0002", true},
      {"VID_1234&PID_5679&REV_0000\r\n", "VID_1234&PID_5678&REV_0000", false},
      {"\r\n\r\n   \r\n", "VID_1234&PID_5678&REV_0000", false},
      // An entry that is nothing but its release part is no entry.
      {"REV_0000\r\n&REV_0000\r\n", "VID_1234&PID_5678&REV_0000", false},
      {"//VID_1234&PID_5678&REV_0000\r\nVID_1234\r\n", "VID_1234&PID_5678&REV_0000", true},
      {"//VID_1234&PID_5678&REV_0000", "VID_1234&PID_5678&REV_0000", false},
      // "REV" is searched in capitals; a lower-case one is not cut.
      {"VID_1234&PID_5678&rev_0001", "VID_1234&PID_5678&REV_0002", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MatchIdListText(c.list, c.id), c.match) << c.list << " / " << c.id;
  }
}

class IdListFile : public ::testing::Test {
 protected:
  test::ScopedProgramDir dir;
};

TEST_F(IdListFile, MissingFileMatchesNothing) {
  EXPECT_FALSE(MatchListFile(IdText(kMakerVendorId, kReferenceProductId, 0x0100)));
}

TEST_F(IdListFile, EntriesMustNameTheRelease) {
  dir.Write(kIdListFileName,
            "VID_1111&PID_2222\r\n"
            "   \r\n"
            "  vid_3a4b&pid_0310&rev_0100  \r\n"
            "//VID_5555&PID_6666&REV_0000\r\n");
  struct Case {
    unsigned vid, pid, rev;
    bool match;
  } cases[] = {
      {0x1111, 0x2222, 0x0000, false},  // no release part: never
      {0x3A4B, 0x0310, 0x0100, true},   // letter case ignored
      {0x3A4B, 0x0310, 0x0101, false},  // another release
      {0x5555, 0x6666, 0x0000, false},  // comment
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MatchListFile(IdText(c.vid, c.pid, c.rev)), c.match) << IdText(c.vid, c.pid, c.rev);
  }
  EXPECT_TRUE(MatchListFile(std::wstring_view(L"VID_3A4B&PID_0310&REV_0100")));
}

TEST_F(IdListFile, ADirectoryOfThatNameMatchesNothing) {
  std::filesystem::create_directory(dir.path() / kIdListFileName);
  EXPECT_FALSE(MatchListFile(IdText(0x3A4B, 0x0310, 0x0100)));
}

// A list is a small text: one beyond the limit is not read, like one that cannot be.
TEST_F(IdListFile, AListBeyondTheLimitMatchesNothing) {
  const std::string entry = "VID_3A4B&PID_0310&REV_0100\r\n";
  std::string text = entry + std::string(platform::kMaxTextFileBytes - entry.size(), ' ');
  dir.Write(kIdListFileName, text);
  EXPECT_TRUE(MatchListFile(IdText(0x3A4B, 0x0310, 0x0100)));
  dir.Write(kIdListFileName, text + " ");
  EXPECT_FALSE(MatchListFile(IdText(0x3A4B, 0x0310, 0x0100)));
}

}  // namespace
}  // namespace vantor
