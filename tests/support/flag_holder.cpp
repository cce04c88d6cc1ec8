#include "support/flag_holder.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/instance_flag.h"

namespace vantor::test {

namespace {

int WaitFor(pid_t pid) {
  int status = 0;
  pid_t done;
  do {
    done = ::waitpid(pid, &status, 0);
  } while (done < 0 && errno == EINTR);
  return done > 0 ? status : -1;
}

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
  pollfd pfd{readyFd_, POLLIN, 0};
  int rc;
  do {
    rc = ::poll(&pfd, 1, 20000);
  } while (rc < 0 && errno == EINTR);
  char answer = 0;
  holding_ = rc == 1 && ::read(readyFd_, &answer, 1) == 1 && answer == 'H';
}

FlagHolderProcess::~FlagHolderProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    WaitFor(pid_);
  }
  if (goFd_ >= 0) ::close(goFd_);
  if (readyFd_ >= 0) ::close(readyFd_);
}

bool FlagHolderProcess::ReleaseAndWait() {
  if (pid_ <= 0) return false;
  const char go = 'G';
  if (::write(goFd_, &go, 1) != 1) return false;
  const int status = WaitFor(pid_);
  pid_ = -1;
  return status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool FlagHolderProcess::KillAndWait() {
  if (pid_ <= 0) return false;
  ::kill(pid_, SIGKILL);
  const int status = WaitFor(pid_);
  pid_ = -1;
  return status >= 0 && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

}  // namespace vantor::test
