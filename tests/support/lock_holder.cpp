#include "support/lock_holder.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/named_mutex.h"
#include "platform/text.h"
#include "support/holder_process.h"

extern char** environ;

namespace vantor::test {

namespace {

constexpr char kRoleVariable[] = "VANTOR_LOCK_HOLDER";
// The child's ends of the two pipes.
constexpr int kChildReadyFd = 3;
constexpr int kChildGoFd = 4;

// In the child (the variable holds "<die|hold>:<lock name>"): take the lock, report 'H'
// (or 'F' when it could not be taken) and play the role, before any test runs.
int RunLockHolderIfAsked() {
  const char* job = std::getenv(kRoleVariable);
  if (job == nullptr) return 0;
  std::string text(job);
  const std::size_t colon = text.find(':');
  const std::string mode = text.substr(0, colon);
  auto lock = platform::CreateNamedMutex(platform::FromUtf8(text.substr(colon + 1)));
  const std::uint32_t wait = lock ? lock->Wait(10000) : platform::kWaitFailed;
  const bool owns = wait == platform::kWaitObject0 || wait == platform::kWaitAbandoned;
  const char answer = owns ? 'H' : 'F';
  if (::write(kChildReadyFd, &answer, 1) != 1 || !owns) std::_Exit(2);
  if (mode == "die") {
    ::kill(::getpid(), SIGKILL);
    std::_Exit(3);  // not reached
  }
  char go = 0;
  while (::read(kChildGoFd, &go, 1) < 0 && errno == EINTR) {
  }
  std::_Exit(lock->Release() ? 0 : 4);
}

const int kHolderRan = RunLockHolderIfAsked();

// A close-on-exec copy of fd at 10 or above (clear of the child's fixed numbers).
int MoveHigh(int fd) {
  int high = ::fcntl(fd, F_DUPFD_CLOEXEC, 10);
  ::close(fd);
  return high;
}

}  // namespace

LockHolderProcess::LockHolderProcess(const std::wstring& lockName, Mode mode) {
  (void)kHolderRan;
  int ready[2];
  int go[2];
  if (::pipe2(ready, O_CLOEXEC) != 0) return;
  if (::pipe2(go, O_CLOEXEC) != 0) {
    ::close(ready[0]);
    ::close(ready[1]);
    return;
  }
  for (int* fd : {&ready[0], &ready[1], &go[0], &go[1]}) *fd = MoveHigh(*fd);
  readyFd_ = ready[0];
  goFd_ = go[1];

  std::vector<std::string> envStore;
  for (char** e = environ; *e != nullptr; ++e) envStore.emplace_back(*e);
  envStore.push_back(std::string(kRoleVariable) + "=" +
                     (mode == Mode::kDieHolding ? "die:" : "hold:") + platform::ToUtf8(lockName));
  std::vector<char*> envp;
  for (auto& e : envStore) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string program = "/proc/self/exe";
  std::string filter = "--gtest_filter=-*";
  char* argv[] = {program.data(), filter.data(), nullptr};

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, ready[1], kChildReadyFd);
  posix_spawn_file_actions_adddup2(&actions, go[0], kChildGoFd);
  if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, envp.data()) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
  ::close(ready[1]);
  ::close(go[0]);
  if (pid_ <= 0) return;
  holding_ = AwaitHolding(readyFd_);
}

LockHolderProcess::~LockHolderProcess() {
  if (goFd_ >= 0) ::close(goFd_);
  if (readyFd_ >= 0) ::close(readyFd_);
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ReapChild(pid_);
  }
}

bool LockHolderProcess::WaitDeath() { return ReapKilled(pid_); }

bool LockHolderProcess::ReleaseAndWait() { return ReleaseAndReap(pid_, goFd_); }

}  // namespace vantor::test
