// The instance flag file across processes (the last instance to exit removes the driver
// service, an instance that died counts no more), and the administrator's override
// driver file, used only when an administrator owns it and nobody else may write it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "device/driver_setup.h"
#include "device/proxy_state.h"
#include "platform/instance_flag.h"
#include "platform/service_manager.h"
#include "support/debug_capture.h"
#include "support/driver_setup_rig.h"
#include "support/flag_holder.h"

namespace vantor {
namespace {

namespace P = platform;
namespace fs = std::filesystem;
using Calls = std::vector<std::string>;
using test::DriverSetUpRig;
using test::FlagHolderProcess;
using test::ReadBytes;
using test::WriteBytes;

TEST(InstanceFlag, HeldByEveryInstanceRemovedByTheLast) {
  DriverSetUpRig rig;
  const fs::path flag = rig.flagFile();
  EXPECT_FALSE(P::IsInstanceFlagHeld(flag));
  auto mine = P::HoldInstanceFlag(flag);
  ASSERT_NE(mine, nullptr);
  {
    FlagHolderProcess other(flag);
    ASSERT_TRUE(other.Holding());
    EXPECT_TRUE(P::IsInstanceFlagHeld(flag));
    mine.reset();
    // The other process still holds it.
    EXPECT_TRUE(fs::exists(flag));
    EXPECT_TRUE(P::IsInstanceFlagHeld(flag));
    mine = P::HoldInstanceFlag(flag);
    ASSERT_NE(mine, nullptr);
    ASSERT_TRUE(other.ReleaseAndWait());
    EXPECT_TRUE(fs::exists(flag));
  }
  mine.reset();
  EXPECT_FALSE(fs::exists(flag));
  EXPECT_FALSE(P::IsInstanceFlagHeld(flag));
}

TEST(InstanceFlag, AnInstanceThatDiedHoldsNothing) {
  DriverSetUpRig rig;
  const fs::path flag = rig.flagFile();
  FlagHolderProcess other(flag);
  ASSERT_TRUE(other.Holding());
  ASSERT_TRUE(other.KillAndWait());
  EXPECT_TRUE(fs::exists(flag));  // left behind, but no one holds it
  EXPECT_FALSE(P::IsInstanceFlagHeld(flag));
  EXPECT_FALSE(fs::exists(flag));
  // A new holder after the file was removed under an old path works as before.
  auto mine = P::HoldInstanceFlag(flag);
  ASSERT_NE(mine, nullptr);
  EXPECT_TRUE(fs::exists(flag));
}

TEST(InstanceFlag, AnotherRunningInstanceKeepsTheService) {
  DriverSetUpRig rig;
  // The service runs an older driver that another instance started.
  rig.svc->present = true;
  rig.svc->running = true;
  WriteBytes(rig.svc->installedFile(), test::DriverImageBytes({1, 1, 0, 0}));
  FlagHolderProcess other(rig.flagFile());
  ASSERT_TRUE(other.Holding());

  // The file is replaced, but the service the other instance uses is left running.
  ASSERT_TRUE(ProxyDriverSetUp());
  EXPECT_EQ(rig.svc->calls, Calls{"query"});
  EXPECT_EQ(ReadBytes(rig.svc->installedFile()), rig.image);
  rig.svc->calls.clear();
  // Not the last instance: the service stays.
  EXPECT_EQ(ProxyDriverTearDown(), 1u);
  EXPECT_TRUE(rig.svc->calls.empty());
  EXPECT_TRUE(rig.svc->running);
  EXPECT_TRUE(fs::exists(rig.flagFile()));

  ASSERT_TRUE(other.ReleaseAndWait());
  EXPECT_FALSE(fs::exists(rig.flagFile()));  // the other instance was the last holder
  // Alone now, the set-up replaces the service and the tear-down removes it.
  WriteBytes(rig.svc->installedFile(), test::DriverImageBytes({1, 1, 0, 0}));
  ASSERT_TRUE(ProxyDriverSetUp());
  EXPECT_EQ(rig.svc->calls, (Calls{"query", "stop", "delete", "create", "start"}));
  rig.svc->calls.clear();
  EXPECT_EQ(ProxyDriverTearDown(), 1u);
  EXPECT_EQ(rig.svc->calls, (Calls{"stop", "delete"}));
}

TEST(InstanceFlag, AnInstanceStartedLaterIsCounted) {
  DriverSetUpRig rig;
  ASSERT_TRUE(ProxyDriverSetUp());
  EXPECT_EQ(rig.svc->calls, (Calls{"query", "create", "start"}));
  FlagHolderProcess later(rig.flagFile());
  ASSERT_TRUE(later.Holding());
  rig.svc->calls.clear();
  EXPECT_EQ(ProxyDriverTearDown(), 1u);
  EXPECT_TRUE(rig.svc->calls.empty());
  EXPECT_TRUE(rig.svc->present);
  // The later instance dies: the next one to set up and take down is alone.
  ASSERT_TRUE(later.KillAndWait());
  ASSERT_TRUE(ProxyDriverSetUp());
  rig.svc->calls.clear();
  EXPECT_EQ(ProxyDriverTearDown(), 1u);
  EXPECT_EQ(rig.svc->calls, (Calls{"stop", "delete"}));
}

// Files owned by root, or handed to another account, need root to arrange.
bool IsRoot() { return ::geteuid() == 0; }
constexpr uid_t kNobody = 65534;

TEST(AdminOwnedFile, OwnerAndWriteAccessDecide) {
  if (!IsRoot()) GTEST_SKIP() << "needs root to give files to other accounts";
  DriverSetUpRig rig;
  const fs::path file = rig.svc->root() / "candidate.sys";
  const std::vector<std::uint8_t> content = test::DriverImageBytes({7, 0, 0, 0}, 100);
  struct Case {
    const char* label;
    mode_t mode;
    uid_t owner;
    gid_t group;
    P::AdminFileResult expected;
  };
  const Case cases[] = {
      {"root, 0644", 0644, 0, 0, P::AdminFileResult::kRead},
      {"root, 0600", 0600, 0, 0, P::AdminFileResult::kRead},
      {"root, group root writes", 0664, 0, 0, P::AdminFileResult::kRead},
      {"root, another group writes", 0664, 0, kNobody, P::AdminFileResult::kWritableByOthers},
      {"root, everyone writes", 0646, 0, 0, P::AdminFileResult::kWritableByOthers},
      {"another owner", 0644, kNobody, 0, P::AdminFileResult::kNotAdminOwned},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    WriteBytes(file, content);
    ASSERT_EQ(::chown(file.c_str(), c.owner, c.group), 0);
    ASSERT_EQ(::chmod(file.c_str(), c.mode), 0);
    std::vector<std::uint8_t> bytes = {1};
    EXPECT_EQ(P::ReadAdminOwnedFile(file, bytes, 1 << 20), c.expected);
    EXPECT_EQ(bytes,
              c.expected == P::AdminFileResult::kRead ? content : std::vector<std::uint8_t>{});
    fs::remove(file);
  }
  std::vector<std::uint8_t> bytes;
  EXPECT_EQ(P::ReadAdminOwnedFile(file, bytes, 1 << 20), P::AdminFileResult::kAbsent);
  EXPECT_EQ(P::ReadAdminOwnedFile({}, bytes, 1 << 20), P::AdminFileResult::kAbsent);
  EXPECT_EQ(P::ReadAdminOwnedFile(rig.svc->root(), bytes, 1 << 20),
            P::AdminFileResult::kNotRegularFile);
  WriteBytes(file, content);
  ::chmod(file.c_str(), 0644);
  EXPECT_EQ(P::ReadAdminOwnedFile(file, bytes, content.size() - 1), P::AdminFileResult::kReadError);
  EXPECT_TRUE(bytes.empty());
  // A link is followed to the file it names, whose own owner counts.
  const fs::path link = rig.svc->root() / "link.sys";
  fs::create_symlink(file, link);
  EXPECT_EQ(P::ReadAdminOwnedFile(link, bytes, 1 << 20), P::AdminFileResult::kRead);
  ASSERT_EQ(::chown(file.c_str(), kNobody, kNobody), 0);
  EXPECT_EQ(P::ReadAdminOwnedFile(link, bytes, 1 << 20), P::AdminFileResult::kNotAdminOwned);
}

TEST(AdminOwnedFile, TheOverrideDriverIsUsedOnlyWhenTrusted) {
  const std::vector<std::uint8_t> planted = test::DriverImageBytes({9, 9, 9, 9}, 300);
  struct Case {
    const char* label;
    mode_t mode;
    uid_t owner;
    const char* reason;  // null: used
  };
  const Case cases[] = {
      {"owned by root", 0644, 0, nullptr},
      {"writable by everyone", 0666, 0, "writable by others than administrators"},
      {"owned by another account", 0644, kNobody, "not owned by an administrator account"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    if (!IsRoot() && c.owner == 0) continue;  // cannot be arranged
    DriverSetUpRig rig;
    const fs::path override = rig.svc->OverrideDriverFile();
    WriteBytes(override, planted);
    if (IsRoot()) {
      ASSERT_EQ(::chown(override.c_str(), c.owner, 0), 0);
    }
    ASSERT_EQ(::chmod(override.c_str(), c.mode), 0);
    rig.svc->present = true;
    rig.svc->running = true;
    test::DebugCapture capture;
    ASSERT_TRUE(ProxyDriverSetUp());
    if (c.reason == nullptr) {
      EXPECT_EQ(ReadBytes(rig.svc->installedFile()), planted);
      EXPECT_TRUE(rig.imageAsks.empty());
    } else {
      EXPECT_EQ(ReadBytes(rig.svc->installedFile()), rig.image);
      EXPECT_EQ(rig.imageAsks.size(), 1u);
      const std::string reason = IsRoot() ? c.reason : "not owned by an administrator account";
      EXPECT_TRUE(capture.Contains("ignoring the driver file " + override.string() + ": " + reason))
          << capture.All();
    }
    // Either way the installed file was replaced, so the service is reinstalled.
    EXPECT_EQ(rig.svc->calls, (Calls{"query", "stop", "delete", "create", "start"}));
  }
}

}  // namespace
}  // namespace vantor
