#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "run_tool.h"

namespace {

// In the child, between fork and exec: only async-signal-safe calls.
[[noreturn]] void ExecTool(char* const* argv, const RunOptions& options,
                           int out_fd, int err_fd) {
  if (dup2(out_fd, 1) < 0 || dup2(err_fd, 2) < 0)
    _exit(126);
  if (!options.directory.empty() && chdir(options.directory.c_str()) != 0)
    _exit(126);
  // A job started in the background from a script inherits SIGINT ignored,
  // which the tool would keep.
  if (options.interruption != 0)
    signal(options.interruption, SIG_DFL);
  if (options.file_size_limit >= 0) {
    signal(SIGXFSZ, options.ignore_size_signal ? SIG_IGN : SIG_DFL);
    struct rlimit limit;
    limit.rlim_cur = limit.rlim_max =
        static_cast<rlim_t>(options.file_size_limit);
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
      _exit(126);
  }
  execv(TROVCONV_PATH, argv);
  _exit(127);
}

std::string ReadBack(int fd) {
  std::string text;
  char buffer[4096];
  lseek(fd, 0, SEEK_SET);
  ssize_t got;
  while ((got = read(fd, buffer, sizeof buffer)) > 0)
    text.append(buffer, static_cast<size_t>(got));
  close(fd);
  return text;
}

int TempFile() {
  char name[] = "/tmp/trovconv-run-XXXXXX";
  int fd = mkstemp(name);
  if (fd >= 0)
    unlink(name);
  return fd;
}

bool Ended(pid_t pid) {
  siginfo_t info = {};
  return waitid(P_PID, static_cast<id_t>(pid), &info,
                WEXITED | WNOHANG | WNOWAIT) != 0 ||
         info.si_pid != 0;
}

bool HasOpen(pid_t pid, const std::string& path) {
  char wanted[PATH_MAX];
  if (realpath(path.c_str(), wanted) == nullptr)
    return false;
  const std::string fds = "/proc/" + std::to_string(pid) + "/fd/";
  DIR* dir = opendir(fds.c_str());
  bool found = false;
  while (dir != nullptr && !found) {
    const dirent* entry = readdir(dir);
    if (entry == nullptr)
      break;
    char target[PATH_MAX];
    ssize_t length =
        readlink((fds + entry->d_name).c_str(), target, sizeof target - 1);
    found = length > 0 &&
            std::string(target, static_cast<size_t>(length)) == wanted;
  }
  if (dir != nullptr)
    closedir(dir);
  return found;
}

// Stopped first, the tool takes the signal exactly where it was seen to be,
// however long this process took to see it. False when it ended first.
bool Interrupt(pid_t pid, const RunOptions& options) {
  while (!Ended(pid)) {
    struct stat st;
    if (stat(options.watched.c_str(), &st) == 0 && st.st_size > (1 << 20) &&
        (!options.after_close || !HasOpen(pid, options.watched))) {
      kill(pid, SIGSTOP);
      kill(pid, options.interruption);
      kill(pid, SIGCONT);
      return true;
    }
  }
  return false;
}

ToolRun RunOnce(const std::vector<std::string>& args, const RunOptions& options,
                bool* interrupted) {
  ToolRun run;
  int out_fd = TempFile();
  int err_fd = TempFile();
  if (out_fd < 0 || err_fd < 0)
    return run;
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(TROVCONV_PATH));
  for (const std::string& arg : args)
    argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0)
    ExecTool(argv.data(), options, out_fd, err_fd);
  *interrupted =
      pid > 0 && options.interruption != 0 && Interrupt(pid, options);
  int wait_status = 0;
  if (pid > 0 && waitpid(pid, &wait_status, 0) == pid) {
    if (WIFEXITED(wait_status))
      run.status = WEXITSTATUS(wait_status);
    if (WIFSIGNALED(wait_status))
      run.signal = WTERMSIG(wait_status);
  }
  run.out = ReadBack(out_fd);
  run.err = ReadBack(err_fd);
  return run;
}

}  // namespace

ToolRun RunTool(const std::vector<std::string>& args,
                const RunOptions& options) {
  bool interrupted = false;
  ToolRun run = RunOnce(args, options, &interrupted);
  for (int again = 0; again < 10 && options.interruption != 0 &&
                      !options.after_close && !interrupted;
       ++again)
    run = RunOnce(args, options, &interrupted);
  return run;
}
