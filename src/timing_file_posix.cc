// POSIX systems: the steps are held by blocking the interruptions, which a
// handler turns into an abandon of the file and an end by the same signal.
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "timing_file.h"

namespace {

// Every signal that ends a process by default and that another program can
// send: what a terminal, a shell, a scheduler (SIGXCPU, SIGALRM), a power
// monitor (SIGPWR) or any other program sends to stop a run, the real-time
// signals among them. SIGPIPE and SIGXFSZ are ignored instead
// (platform::StartUp). The tool's own faults (SIGSEGV, SIGBUS, SIGILL,
// SIGFPE, SIGSYS, SIGTRAP, and SIGABRT, from a stack protector or a
// fortified call that caught an overrun) end it as they do, also when
// another program sends them: memory past such a fault cannot be
// trusted, and a clean-up that took the descriptor or the name from it
// could empty or remove the capture or some other file. The process still
// ends by that signal, which no caller takes for a finished conversion.
const int kInterruptions[] = {
    SIGHUP,    SIGINT,    SIGQUIT, SIGTERM, SIGALRM,
    SIGXCPU,   SIGVTALRM, SIGPROF, SIGUSR1, SIGUSR2,
#ifdef SIGPOLL
    SIGPOLL,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
#ifdef SIGEMT
    SIGEMT,
#endif
#ifdef SIGLOST
    SIGLOST,
#endif
};

// The real-time signals' numbers are known only when the program runs.
template <typename Call>
void ForEachInterruption(Call call) {
  for (int signal_number : kInterruptions)
    call(signal_number);
#ifdef SIGRTMIN
  for (int signal_number = SIGRTMIN; signal_number <= SIGRTMAX; ++signal_number)
    call(signal_number);
#endif
}

sigset_t interruptions;  // made once, by HandleInterruptions
// A signal blocked when the tool started stays blocked: a parent may hold
// one pending that is not for the tool to take.
sigset_t start_mask;
// The mask outside the outermost step.
sigset_t step_mask;
volatile sig_atomic_t steps = 0;

// What an interruption does: end the process as by default (idle), or
// abandon the timing file first (armed); it never returns to the call it
// came in, so none fails with EINTR. The handler runs on this thread:
// fences that keep the compiler from moving writes past a change of phase
// are all it takes to publish them to it.
enum Phase { kIdle, kArmed };
volatile sig_atomic_t phase = kIdle;
TimingFile* armed = nullptr;

void SetPhase(Phase next) {
  std::atomic_signal_fence(std::memory_order_seq_cst);
  phase = next;
  std::atomic_signal_fence(std::memory_order_seq_cst);
}

// The signal, let through and raised again with its default action, ends
// the process, so that a shell, make or xargs sees it.
[[noreturn]] void EndBy(int signal_number) {
  signal(signal_number, SIG_DFL);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal_number);
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
  raise(signal_number);
  // Reached only as process 1 of a container, whose signals the kernel
  // drops where their action is the default: the status a shell shows for
  // an end by that signal.
  _exit(128 + signal_number);
}

void OnInterruption(int signal_number) {
  const sig_atomic_t now = phase;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  if (now == kArmed)
    armed->Abandon();
  EndBy(signal_number);
}

// The name a chain of symbolic links ends in, where nothing is yet: the
// file to make for a dangling link. EEXIST when something is there now.
int DanglingEnd(const platform::Path& link, platform::Path* end) {
  platform::Path at = link;
  for (int hops = 0; hops < 40; ++hops) {
    char target[PATH_MAX];
    const ssize_t size = readlink(at.c_str(), target, sizeof target);
    if (size < 0 && errno == ENOENT && hops > 0) {
      *end = at;
      return 0;
    }
    if (size < 0)
      return errno == EINVAL || errno == ENOENT ? EEXIST : errno;
    if (static_cast<size_t>(size) == sizeof target)
      return ENAMETOOLONG;
    platform::Path next(target, static_cast<size_t>(size));
    const size_t folder_end = at.rfind('/');
    if (next[0] != '/' && folder_end != platform::Path::npos)
      next.insert(0, at, 0, folder_end + 1);
    at = next;
  }
  return ELOOP;
}

int MakeNew(const platform::Path& path, int* fd) {
  *fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  return *fd < 0 ? errno : 0;
}

}  // namespace

// The interruptions get the one handler, but those ignored when the tool
// started (nohup, or a job started in the background), which stay ignored.
void HandleInterruptions() {
  sigprocmask(SIG_SETMASK, nullptr, &start_mask);
  sigemptyset(&interruptions);
  ForEachInterruption(
      [](int signal_number) { sigaddset(&interruptions, signal_number); });
  struct sigaction action = {};
  action.sa_handler = OnInterruption;
  action.sa_mask = interruptions;  // one at a time
  ForEachInterruption([&action](int signal_number) {
    struct sigaction previous;
    if (sigaction(signal_number, nullptr, &previous) == 0 &&
        previous.sa_handler != SIG_IGN)
      sigaction(signal_number, &action, nullptr);
  });
}

// Created new when nothing is there, also behind a dangling link, so that
// this run knows for certain whether it made the file. A plain file that
// is there is opened to be read as well, for the check. Anything else may
// be a FIFO with no reader, whose open waits: interruptions are let through
// meanwhile, and end the process as they do before anything is opened,
// since that open never creates anything. A name that changes between the
// look and the open is looked at again, a few times.
int TimingFile::OpenFile(const platform::Path& path) {
  name_ = path;
  for (int tries = 0; tries < 8; ++tries) {
    removable_ = name_;  // before anything is made: no memory needed after
    int error = MakeNew(name_, &fd_);
    made_ = error == 0;
    if (made_)
      return 0;
    removable_.clear();
    if (error != EEXIST)
      return error;
    struct stat st;
    if (stat(name_.c_str(), &st) != 0) {
      if (errno != ENOENT)
        return errno;
      platform::Path end;
      error = DanglingEnd(name_, &end);
      if (error == 0)
        error = MakeNew(end, &fd_);
      made_ = error == 0;
      if (made_)
        removable_.swap(end);
      if (error != EEXIST)
        return error;
      continue;
    }
    opened_to_read_ = S_ISREG(st.st_mode);
    if (opened_to_read_) {
      fd_ = open(name_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    } else {
      sigprocmask(SIG_SETMASK, &start_mask, nullptr);
      fd_ = open(name_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
      const int saved = errno;
      sigprocmask(SIG_BLOCK, &interruptions, nullptr);
      errno = saved;
    }
    if (fd_ >= 0)
      return 0;
    if (errno != ENOENT)
      return errno;
  }
  return kWrittenByAnotherProgram;
}

int TimingFile::WriteSome(const char* data, size_t size, size_t* put) {
  return platform::WriteOnce(fd_, data, size, put);
}

// Removed while the file was open, and locked; a removal that failed then
// would fail now too, and unlocked.
int TimingFile::RemoveAfterClose() { return removal_error_; }

// A signal held off by the steps so far, and not blocked when the tool
// started, ends the run before the file is emptied.
void TimingFile::EndIfInterrupted() {
  sigset_t pending;
  int held = 0;
  sigpending(&pending);
  ForEachInterruption([&](int signal_number) {
    if (held == 0 && sigismember(&pending, signal_number) == 1 &&
        sigismember(&start_mask, signal_number) != 1)
      held = signal_number;
  });
  if (held == 0)
    return;
  Abandon();
  EndBy(held);
}

void TimingFile::Arm() {
  armed = this;
  SetPhase(kArmed);
}

void TimingFile::Disarm() { SetPhase(kIdle); }

TimingFile::Hold::Hold() {
  sigset_t before;
  sigprocmask(SIG_BLOCK, &interruptions, &before);
  if (steps++ == 0)
    step_mask = before;
}

TimingFile::Hold::~Hold() {
  if (--steps == 0)
    sigprocmask(SIG_SETMASK, &step_mask, nullptr);
}
