#include "child_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fstream>
#include <iterator>
#include <thread>

#include "platform/files.h"

extern char** environ;

namespace vantor::test {

namespace fs = std::filesystem;

pid_t StartChild(const fs::path& program, const ChildOptions& options) {
  std::vector<std::string> argStore;
  argStore.push_back(program.string());
  argStore.insert(argStore.end(), options.args.begin(), options.args.end());
  std::vector<char*> argv;
  for (auto& a : argStore) argv.push_back(a.data());
  argv.push_back(nullptr);

  std::vector<std::string> envStore;
  for (char** e = environ; *e != nullptr; ++e) envStore.emplace_back(*e);
  envStore.insert(envStore.end(), options.env.begin(), options.env.end());
  std::vector<char*> envp;
  for (auto& e : envStore) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!options.workingDir.empty()) {
    posix_spawn_file_actions_addchdir_np(&actions, options.workingDir.c_str());
  }
  if (!options.stdoutFile.empty()) {
    posix_spawn_file_actions_addopen(&actions, 1, options.stdoutFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
  }
  if (!options.stderrFile.empty()) {
    posix_spawn_file_actions_addopen(&actions, 2, options.stderrFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
  }
  pid_t pid = -1;
  int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

int WaitChild(pid_t pid) {
  if (pid <= 0) return -1;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int WaitChildFor(pid_t pid, int timeoutMs) {
  if (pid <= 0) return -1;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  int status = 0;
  for (;;) {
    pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (done < 0 && errno != EINTR) return -1;
    if (std::chrono::steady_clock::now() >= deadline) {
      ::kill(pid, SIGKILL);
      WaitChild(pid);
      return kChildTimedOut;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

ScratchDir::ScratchDir(const std::string& tag) {
  static std::atomic<int> counter{0};
  path_ = platform::TempDirectory() /
          ("vantor_" + tag + "_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
  fs::remove_all(path_);
  fs::create_directories(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

std::string ReadFileBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const fs::path& file, const std::string& bytes) {
  std::ofstream(file, std::ios::binary) << bytes;
}

}  // namespace vantor::test
