#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/last_error.h"
#include "platform/resources.h"
#include "platform/text.h"

namespace vantor::platform {
namespace {

TEST(Resources, BuiltInSettingsTextIsEmbedded) {
  std::string text = ResourceText("ICINI", 3032);
  EXPECT_EQ(text.rfind("[Vantor Config]\r\n", 0), 0u) << text;
  EXPECT_NE(text.find("CheckVIDPID_INI=1"), std::string::npos);
  EXPECT_NE(text.find("AutoRun=1"), std::string::npos);
  EXPECT_TRUE(FindResource("ICINI", 9999).empty());
  EXPECT_TRUE(FindResource("BINARY", 3032).empty());
}

TEST(LastError, IsPerThread) {
  SetLastError(kErrorNotReady);
  std::uint32_t other = 1;
  std::thread([&] { other = GetLastError(); }).join();
  EXPECT_EQ(other, 0u);
  EXPECT_EQ(GetLastError(), kErrorNotReady);
}

TEST(Text, AnsiRoundTripKeepsEveryByte) {
  std::string all;
  for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(ToAnsi(FromAnsi(all)), all);
  EXPECT_EQ(ToAnsi(L"a\u20ACb"), "a?b");
}

TEST(Text, Utf8RoundTrip) {
  std::wstring text = L"Gr\u00FC\u00DFe \u20AC \U0001F600";
  EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
  EXPECT_EQ(ToUtf8(L"\u00E9"), "\xC3\xA9");
  EXPECT_EQ(FromUtf8("ab\xC3"), L"ab\uFFFD");
}

TEST(Files, ClearReadOnlyKeepsOtherPermissions) {
  namespace fs = std::filesystem;
  fs::path file = TempDirectory() / ("vantor_ro_" + std::to_string(::getpid()));
  std::ofstream(file) << "x";
  fs::permissions(file, fs::perms::owner_read | fs::perms::group_read, fs::perm_options::replace);
  EXPECT_TRUE(IsReadOnly(file));
  EXPECT_TRUE(ClearReadOnly(file));
  EXPECT_FALSE(IsReadOnly(file));
  EXPECT_EQ(fs::status(file).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  fs::remove(file);
  EXPECT_FALSE(ClearReadOnly(file));
}

TEST(Files, ProgramDirectoryCanBeReplaced) {
  auto real = ProgramDirectory();
  EXPECT_TRUE(std::filesystem::exists(real / "test_platform"));
  SetProgramDirectory("/some/where");
  EXPECT_EQ(ProgramDirectory(), std::filesystem::path("/some/where"));
  SetProgramDirectory({});
  EXPECT_EQ(ProgramDirectory(), real);
}

TEST(Clock, AutoResetEventIsTakenOnce) {
  Event event(false, true);
  EXPECT_TRUE(GetClock().Wait(event, 0));
  EXPECT_FALSE(GetClock().Wait(event, 0));
  Event manual(true, true);
  EXPECT_TRUE(GetClock().Wait(manual, 0));
  EXPECT_TRUE(GetClock().Wait(manual, 0));
}

TEST(Clock, WaitEndsWhenAnotherThreadSignals) {
  Event event;
  std::thread signaller([&] { event.Set(); });
  EXPECT_TRUE(GetClock().Wait(event, kInfinite));
  signaller.join();
}

}  // namespace
}  // namespace vantor::platform
