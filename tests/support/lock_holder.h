// Another process holding a named mutex: this test program started again in the role of
// a lock holder. It takes the lock, says so, and then either dies on the spot (killed,
// so the lock is left abandoned) or holds it until told to let go.
#pragma once

#include <sys/types.h>

#include <string>

namespace vantor::test {

class LockHolderProcess {
 public:
  enum class Mode { kDieHolding, kHoldUntilReleased };

  // Starts the holder and waits (up to 20 s) until it owns the lock.
  LockHolderProcess(const std::wstring& lockName, Mode mode);
  ~LockHolderProcess();
  LockHolderProcess(const LockHolderProcess&) = delete;
  LockHolderProcess& operator=(const LockHolderProcess&) = delete;

  // True once the child reported that it owns the lock.
  bool Holding() const { return holding_; }
  // kDieHolding: waits until the child is gone; true when it was killed as planned.
  bool WaitDeath();
  // kHoldUntilReleased: tells the child to release and waits for it; true when it
  // released the lock and ended normally.
  bool ReleaseAndWait();

 private:
  pid_t pid_ = -1;
  int readyFd_ = -1;
  int goFd_ = -1;
  bool holding_ = false;
};

}  // namespace vantor::test
