#include "support/flag_holder.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/instance_flag.h"
#include "support/holder_process.h"

namespace vantor::test {

namespace {

// In the child: hold the file, report, wait for the word, let go and end.
[[noreturn]] void RunHolder(const std::filesystem::path& file, int readyFd, int goFd) {
  auto hold = platform::HoldInstanceFlag(file);
  const char answer = hold ? 'H' : 'F';
  if (::write(readyFd, &answer, 1) != 1 || !hold) std::_Exit(2);
  char go = 0;
  while (::read(goFd, &go, 1) < 0 && errno == EINTR) {
  }
  hold.reset();
  std::_Exit(0);
}

}  // namespace

FlagHolderProcess::FlagHolderProcess(const std::filesystem::path& flagFile) {
  int ready[2];
  int go[2];
  if (::pipe2(ready, O_CLOEXEC) != 0) return;
  if (::pipe2(go, O_CLOEXEC) != 0) {
    ::close(ready[0]);
    ::close(ready[1]);
    return;
  }
  pid_ = ::fork();
  if (pid_ == 0) {
    ::close(ready[0]);
    ::close(go[1]);
    RunHolder(flagFile, ready[1], go[0]);
  }
  ::close(ready[1]);
  ::close(go[0]);
  readyFd_ = ready[0];
  goFd_ = go[1];
  if (pid_ < 0) return;
  holding_ = AwaitHolding(readyFd_);
}

FlagHolderProcess::~FlagHolderProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ReapChild(pid_);
  }
  if (goFd_ >= 0) ::close(goFd_);
  if (readyFd_ >= 0) ::close(readyFd_);
}

bool FlagHolderProcess::ReleaseAndWait() { return ReleaseAndReap(pid_, goFd_); }

bool FlagHolderProcess::KillAndWait() {
  if (pid_ <= 0) return false;
  ::kill(pid_, SIGKILL);
  return ReapKilled(pid_);
}

}  // namespace vantor::test
