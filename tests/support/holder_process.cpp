#include "support/holder_process.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace vantor::test {

int ReapChild(pid_t pid) {
  int status = 0;
  pid_t done;
  do {
    done = ::waitpid(pid, &status, 0);
  } while (done < 0 && errno == EINTR);
  return done > 0 ? status : -1;
}

bool AwaitHolding(int readyFd) {
  pollfd pfd{readyFd, POLLIN, 0};
  int rc;
  do {
    rc = ::poll(&pfd, 1, 20000);
  } while (rc < 0 && errno == EINTR);
  char answer = 0;
  return rc == 1 && ::read(readyFd, &answer, 1) == 1 && answer == 'H';
}

bool ReleaseAndReap(pid_t& pid, int goFd) {
  if (pid <= 0) return false;
  const char go = 'G';
  if (::write(goFd, &go, 1) != 1) return false;
  const int status = ReapChild(pid);
  pid = -1;
  return status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool ReapKilled(pid_t& pid) {
  if (pid <= 0) return false;
  const int status = ReapChild(pid);
  pid = -1;
  return status >= 0 && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

}  // namespace vantor::test
