#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform.h"

namespace platform {

namespace {

// Takes the result of one of the stat calls.
int Described(int result, const struct stat& st, FileIdentity* id) {
  if (result != 0)
    return errno;
  *id = FileIdentity{static_cast<uint64_t>(st.st_dev),
                     static_cast<uint64_t>(st.st_ino), S_ISREG(st.st_mode)};
  return 0;
}

}  // namespace

Path SystemName(const Path& path) { return path; }

bool SameFile(const FileIdentity& a, const FileIdentity& b) {
  return a.volume == b.volume && a.index == b.index;
}

int OpenForReading(const Path& path, int* fd) {
  *fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  return *fd < 0 ? errno : 0;
}

int OpenWithoutWaiting(const Path& path, int* fd) {
  *fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  return *fd < 0 ? errno : 0;
}

int ReadOnce(int fd, void* buffer, size_t size, size_t* count) {
  const ssize_t got = read(fd, buffer, size);
  *count = got < 0 ? 0 : static_cast<size_t>(got);
  return got < 0 ? errno : 0;
}

int Identify(int fd, FileIdentity* id) {
  struct stat st;
  return Described(fstat(fd, &st), st, id);
}

int IdentifyPath(const Path& path, FileIdentity* id) {
  struct stat st;
  return Described(stat(path.c_str(), &st), st, id);
}

int IdentifyEntry(const Path& path, FileIdentity* id) {
  struct stat st;
  return Described(lstat(path.c_str(), &st), st, id);
}

int TruncateToEmpty(int fd) { return ftruncate(fd, 0) != 0 ? errno : 0; }

int WriteOnce(int fd, const void* data, size_t size, size_t* count) {
  const ssize_t put = write(fd, data, size);
  *count = put < 0 ? 0 : static_cast<size_t>(put);
  return put < 0 ? errno : 0;
}

int Close(int fd) { return close(fd) != 0 ? errno : 0; }

int FlushIfRemote(int) { return 0; }

int RemoveFile(const Path& path) {
  return unlink(path.c_str()) != 0 ? errno : 0;
}

const char* ErrorText(int error) { return std::strerror(error); }

int EntryName(const Path& path, const FileIdentity&, Path* entry) {
  *entry = path;
  return 0;
}

// flock, not fcntl: an fcntl lock belongs to the process and goes with the
// first close of any of its descriptors of the file (Commit closes a copy
// first), while flock's goes with the open file, which its copies share.
// Over NFS it is made of byte-range locks, which other clients see.
int LockForWriting(int fd) {
  if (flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK)
    return 0;
  return kWrittenByAnotherRun;
}

int Duplicate(int fd) { return fcntl(fd, F_DUPFD_CLOEXEC, 0); }

namespace {

// Every signal that ends a process by default and comes from outside it:
// what a terminal, a shell, a scheduler (SIGXCPU, SIGALRM) or another
// program sends to stop a run. SIGPIPE and SIGXFSZ are ignored instead
// (StartUp). The tool's own faults (SIGSEGV, SIGBUS, SIGILL, SIGFPE, and
// SIGABRT, from a stack protector or a fortified call that caught an
// overrun) end it as they do: memory past such a fault cannot be trusted,
// and a clean-up that took the descriptor or the name from it could empty
// or remove the capture or some other file. The process still ends by that
// signal, which no caller takes for a finished conversion.
const int kInterruptions[] = {SIGHUP,  SIGINT,  SIGQUIT,   SIGTERM,
                              SIGALRM, SIGXCPU, SIGVTALRM, SIGPROF,
#ifdef SIGPOLL
                              SIGPOLL,
#endif
                              SIGUSR1, SIGUSR2};

sigset_t InterruptionSet() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal_number : kInterruptions)
    sigaddset(&set, signal_number);
  return set;
}

// A signal blocked when the tool started stays blocked: a parent may hold
// one pending that is not for the tool to take.
sigset_t start_mask;

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

}  // namespace

// By default a write past a file size limit, or into a pipe nobody reads any
// more, kills the process without a word and may leave a cut-off timing file.
// Ignored, the write fails (EFBIG, EPIPE) and is reported like any other.
// The interruptions get the one handler, but those ignored when the tool
// started (nohup, or a job started in the background), which stay ignored.
void StartUp() {
  signal(SIGXFSZ, SIG_IGN);
  signal(SIGPIPE, SIG_IGN);
  sigprocmask(SIG_SETMASK, nullptr, &start_mask);
  struct sigaction action = {};
  action.sa_handler = OnInterruption;
  action.sa_mask = InterruptionSet();  // one at a time
  for (int signal_number : kInterruptions) {
    struct sigaction previous;
    if (sigaction(signal_number, nullptr, &previous) == 0 &&
        previous.sa_handler != SIG_IGN)
      sigaction(signal_number, &action, nullptr);
  }
}

// Created new when nothing is there, so that this run knows for certain
// whether it made the name. What is there may be a FIFO with no reader,
// whose open waits: interruptions are let through meanwhile, and end the
// process as they do before anything is opened, since that open never
// creates anything. A dangling link, or a name gone meanwhile, gets its
// file made.
int TimingFile::Open(const Path& path) {
  Hold hold;
  name_ = path;
  fd_ = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd_ >= 0 || errno != EEXIST)
    return fd_ < 0 ? errno : Adopt(true);
  sigprocmask(SIG_SETMASK, &start_mask, nullptr);
  fd_ = open(path.c_str(), O_WRONLY | O_CLOEXEC);
  const int error = fd_ < 0 ? errno : 0;
  const sigset_t set = InterruptionSet();
  sigprocmask(SIG_BLOCK, &set, nullptr);
  if (error == ENOENT)
    fd_ = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  else if (error != 0)
    return error;
  return fd_ < 0 ? errno : Adopt(false);
}

void TimingFile::Arm() {
  armed = this;
  SetPhase(kArmed);
}

void TimingFile::Disarm() { SetPhase(kIdle); }

TimingFile::Hold::Hold() {
  const sigset_t set = InterruptionSet();
  sigprocmask(SIG_BLOCK, &set, &saved);
}

TimingFile::Hold::~Hold() { sigprocmask(SIG_SETMASK, &saved, nullptr); }

}  // namespace platform
