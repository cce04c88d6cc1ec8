// The instance flag file: every running instance of the tool holds it, so that an
// instance can tell whether others are running, and the file goes away when the last
// holder lets go. On Windows it is a delete-on-close file opened shared by every
// instance; on Linux a lock file that every instance holds a shared lock on. An instance
// that dies lets go of it as well.
#pragma once

#include <filesystem>
#include <memory>

namespace vantor::platform {

class InstanceFlagHold {
 public:
  // Lets go of the file; the last holder's letting go removes it.
  virtual ~InstanceFlagHold() = default;
};

// Takes this process's hold on the flag file, creating the file when needed. Null, with
// the platform's last error set, when it can be neither opened nor created.
std::unique_ptr<InstanceFlagHold> HoldInstanceFlag(const std::filesystem::path& file);

// True when a running instance holds the flag file, or when the file is there but
// cannot be examined (it may be another user's). A file no one holds any more (left by
// an instance that died) counts as absent and is removed.
bool IsInstanceFlagHeld(const std::filesystem::path& file);

}  // namespace vantor::platform
