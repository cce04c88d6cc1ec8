// Another running instance of the tool, as far as the instance flag file is concerned: a
// child process, forked from the test, that holds the flag file until it is told to let
// go (and then ends), or until it is killed holding it.
#pragma once

#include <sys/types.h>

#include <filesystem>

namespace vantor::test {

class FlagHolderProcess {
 public:
  // Starts the child and waits (up to 20 s) until it holds the file.
  explicit FlagHolderProcess(const std::filesystem::path& flagFile);
  ~FlagHolderProcess();  // kills the child if it still runs
  FlagHolderProcess(const FlagHolderProcess&) = delete;
  FlagHolderProcess& operator=(const FlagHolderProcess&) = delete;

  bool Holding() const { return holding_; }
  // Tells the child to let go and waits for it; true when it ended normally.
  bool ReleaseAndWait();
  // Kills the child while it holds the file and waits for it; true when it was killed.
  bool KillAndWait();

 private:
  pid_t pid_ = -1;
  int readyFd_ = -1;
  int goFd_ = -1;
  bool holding_ = false;
};

}  // namespace vantor::test
