#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "run_tool.h"

namespace {

// In the child, between fork and exec: only async-signal-safe calls.
[[noreturn]] void ExecTool(char* const* argv, const RunOptions& options,
                           int out_fd, int err_fd) {
  if (dup2(out_fd, 1) < 0 || dup2(err_fd, 2) < 0)
    _exit(126);
  if (!options.directory.empty() && chdir(options.directory.c_str()) != 0)
    _exit(126);
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

}  // namespace

ToolRun RunTool(const std::vector<std::string>& args,
                const RunOptions& options) {
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
  int wait_status = 0;
  if (pid > 0 && waitpid(pid, &wait_status, 0) == pid && WIFEXITED(wait_status))
    run.status = WEXITSTATUS(wait_status);
  run.out = ReadBack(out_fd);
  run.err = ReadBack(err_fd);
  return run;
}
