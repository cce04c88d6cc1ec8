// Starting programs from the tests: the built tool (black-box tests) and this test
// program itself (several processes working on the same file).
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace vantor::test {

struct ChildOptions {
  std::vector<std::string> args;     // after the program name
  std::vector<std::string> env;      // "NAME=value" entries added to this process's
  std::filesystem::path workingDir;  // empty: this process's current directory
  std::filesystem::path stdoutFile;  // empty: inherited
  std::filesystem::path stderrFile;  // empty: inherited
};

// Starts the program; -1 when it could not be started.
pid_t StartChild(const std::filesystem::path& program, const ChildOptions& options);
// Waits for the child; its exit code, or -1 when it did not exit normally.
int WaitChild(pid_t pid);
// The same with a time-out: a child still running after `timeoutMs` is killed and the
// result is -2, so a hang fails the test instead of blocking it.
inline constexpr int kChildTimedOut = -2;
int WaitChildFor(pid_t pid, int timeoutMs);

// A fresh directory under the temporary directory, removed (made writable first) by the
// destructor.
class ScratchDir {
 public:
  explicit ScratchDir(const std::string& tag);
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

std::string ReadFileBytes(const std::filesystem::path& file);
void WriteFileBytes(const std::filesystem::path& file, const std::string& bytes);

}  // namespace vantor::test
