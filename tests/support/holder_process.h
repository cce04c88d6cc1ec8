// The parent's side of a child process that holds a resource for a test: it answers 'H'
// on its ready pipe once it holds it (or 'F'), and lets go and ends when a byte arrives
// on its go pipe.
#pragma once

#include <sys/types.h>

namespace vantor::test {

// Waits for the child to end; its wait status, or -1.
int ReapChild(pid_t pid);
// Waits (up to 20 s) for the child's answer; true when it holds the resource.
bool AwaitHolding(int readyFd);
// Tells the child to let go and waits for it; true when it ended normally with status 0.
// pid is -1 afterwards.
bool ReleaseAndReap(pid_t& pid, int goFd);
// Waits for the child to end; true when SIGKILL ended it. pid is -1 afterwards.
bool ReapKilled(pid_t& pid);

}  // namespace vantor::test
