#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "run_tool.h"

namespace {

namespace fs = std::filesystem;

// In the child, between fork and exec: only async-signal-safe calls.
[[noreturn]] void ExecTool(char* const* argv, char* const* envp,
                           const RunOptions& options, int out_fd, int err_fd) {
  if (dup2(out_fd, 1) < 0 || dup2(err_fd, 2) < 0)
    _exit(126);
  if (!options.directory.empty() && chdir(options.directory.c_str()) != 0)
    _exit(126);
  // A job started in the background from a script inherits SIGINT ignored,
  // which the tool would keep; and no signal is to leave core files.
  if (options.interruption != 0)
    signal(options.interruption,
           options.interruption_ignored ? SIG_IGN : SIG_DFL);
  struct rlimit none = {0, 0};
  setrlimit(RLIMIT_CORE, &none);
  // The alarm outlives exec: a hung tool is a failure, not a hung test.
  signal(SIGALRM, SIG_DFL);
  alarm(static_cast<unsigned>(options.time_limit_s));
  if (options.file_size_limit >= 0) {
    signal(SIGXFSZ, options.ignore_size_signal ? SIG_IGN : SIG_DFL);
    struct rlimit limit;
    limit.rlim_cur = limit.rlim_max =
        static_cast<rlim_t>(options.file_size_limit);
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
      _exit(126);
  }
  if (options.memory_limit >= 0) {
    struct rlimit limit;
    limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(options.memory_limit);
    if (setrlimit(RLIMIT_AS, &limit) != 0)
      _exit(126);
  }
  if (options.pending_signal != 0) {
    signal(options.pending_signal, SIG_DFL);  // an ignored one is dropped
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, options.pending_signal);
    sigprocmask(SIG_BLOCK, &set, nullptr);
    raise(options.pending_signal);
  }
  execve(argv[0], argv, envp);
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
  std::error_code error;
  const fs::path wanted = fs::canonical(path, error);
  for (const auto& fd :
       fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
    if (!error && fs::read_symlink(fd.path(), error) == wanted)
      return true;
  }
  return false;
}

bool Moment(pid_t pid, const RunOptions& options, int waited_ms) {
  struct stat st;
  const bool written =
      stat(options.watched.c_str(), &st) == 0 && st.st_size > (1 << 20);
  switch (options.when) {
    case RunOptions::When::kWriting:
      return written && HasOpen(pid, options.watched);
    case RunOptions::When::kWaiting:
      return waited_ms >= 200;
  }
  return false;
}

// The moment is looked for with the tool running, and checked again once it
// has surely stopped: it then takes the signal exactly there, however long
// this process took. False when it ended first, or closed the file first.
bool Interrupt(pid_t pid, const RunOptions& options) {
  for (int waited_ms = 0; !Ended(pid); ++waited_ms) {
    if (options.when == RunOptions::When::kWaiting)
      usleep(1000);
    if (!Moment(pid, options, waited_ms))
      continue;
    kill(pid, SIGSTOP);
    siginfo_t info = {};
    waitid(P_PID, static_cast<id_t>(pid), &info, WSTOPPED);
    const bool now = Moment(pid, options, waited_ms);
    if (now)
      kill(pid, options.interruption);
    kill(pid, SIGCONT);
    if (now)
      return true;
    if (options.when == RunOptions::When::kWriting &&
        !HasOpen(pid, options.watched))
      return false;  // closed already: too late for this run
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
#ifdef TROVCONV_EMULATOR
  // A cross build's tool runs where its tests do: under the emulator, which
  // the system does not start by itself for foreign binaries.
  for (const char* word : {TROVCONV_EMULATOR})
    argv.push_back(const_cast<char*>(word));
#endif
  argv.push_back(const_cast<char*>(TROVCONV_PATH));
  for (const std::string& arg : args)
    argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (char** at = environ; *at != nullptr; ++at)
    envp.push_back(*at);
  for (const std::string& setting : options.environment)
    envp.push_back(const_cast<char*>(setting.c_str()));
  envp.push_back(nullptr);
  std::fflush(nullptr);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0)
    ExecTool(argv.data(), envp.data(), options, out_fd, err_fd);
  *interrupted =
      pid > 0 && options.interruption != 0 && Interrupt(pid, options);
  int wait_status = 0;
  if (pid > 0 && waitpid(pid, &wait_status, 0) == pid) {
    if (WIFEXITED(wait_status))
      run.status = WEXITSTATUS(wait_status);
    if (WIFSIGNALED(wait_status))
      run.signal = WTERMSIG(wait_status);
  }
  // A SIGALRM that came sooner was another's.
  if (run.signal == SIGALRM && std::chrono::steady_clock::now() - start >=
                                   std::chrono::seconds(options.time_limit_s))
    ADD_FAILURE() << "the tool hung: ended after " << options.time_limit_s
                  << " s";
  run.out = ReadBack(out_fd);
  run.err = ReadBack(err_fd);
#ifdef TROVCONV_EMULATOR
  // qemu-user says so itself when a signal that dumps core ends the tool;
  // the tool wrote nothing of it.
  const size_t note = run.err.find("qemu: uncaught target signal");
  if (note != std::string::npos)
    run.err.erase(note, run.err.find('\n', note) + 1 - note);
#endif
  return run;
}

}  // namespace

ToolRun RunTool(const std::vector<std::string>& args,
                const RunOptions& options) {
  bool interrupted = false;
  ToolRun run = RunOnce(args, options, &interrupted);
  for (int again = 0;
       again < 10 && options.interruption != 0 &&
       options.when == RunOptions::When::kWriting && !interrupted;
       ++again) {
    // The complete file of the run before would pass for one being written.
    if (truncate(options.watched.c_str(), 0) != 0)
      break;
    run = RunOnce(args, options, &interrupted);
  }
  return run;
}
