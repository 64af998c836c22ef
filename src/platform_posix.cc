#include <fcntl.h>
#include <setjmp.h>
#include <signal.h>
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

bool SameFile(const FileIdentity& a, const FileIdentity& b) {
  return a.volume == b.volume && a.index == b.index;
}

int OpenForReading(const Path& path, int* fd) {
  *fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  return *fd < 0 ? errno : 0;
}

int ReadOnce(int fd, void* buffer, size_t size, size_t* count) {
  ssize_t got;
  do
    got = read(fd, buffer, size);
  while (got < 0 && errno == EINTR);
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

// An empty file is left alone, as an open that truncates leaves a file it
// has just created: on ext4 a truncation to zero marks the file as replaced,
// and its close then starts writing it all out to disk, at a cost.
int TruncateToEmpty(int fd) {
  struct stat st;
  if (fstat(fd, &st) == 0 && st.st_size == 0)
    return 0;
  return ftruncate(fd, 0) != 0 ? errno : 0;
}

int WriteOnce(int fd, const void* data, size_t size, size_t* count) {
  ssize_t put;
  do
    put = write(fd, data, size);
  while (put < 0 && errno == EINTR);
  *count = put < 0 ? 0 : static_cast<size_t>(put);
  return put < 0 ? errno : 0;
}

int Close(int fd) { return close(fd) != 0 ? errno : 0; }

int RemoveFile(const Path& path) {
  return unlink(path.c_str()) != 0 ? errno : 0;
}

std::string ErrorText(int error) { return std::strerror(error); }

int Duplicate(int fd) { return fcntl(fd, F_DUPFD_CLOEXEC, 0); }

namespace {

const int kInterruptions[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

sigset_t InterruptionSet() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal_number : kInterruptions)
    sigaddset(&set, signal_number);
  return set;
}

// The mask the tool started with. A signal blocked then stays blocked, as
// a parent may hold one pending that is not for the tool to take.
sigset_t start_mask;

// What an interruption does: end the process as it would by default
// (idle), jump out of an open that waits (opening), or abandon the timing
// file first (armed). The handler runs on this thread, so fences that keep
// the compiler from moving the writes before a change of phase past it are
// all it takes for the handler to see them.
enum Phase { kIdle, kOpening, kArmed };
volatile sig_atomic_t phase = kIdle;
TimingFile* armed = nullptr;
sigjmp_buf waiting_open;
volatile sig_atomic_t jumped_by = 0;

void SetPhase(Phase next) {
  std::atomic_signal_fence(std::memory_order_seq_cst);
  phase = next;
  std::atomic_signal_fence(std::memory_order_seq_cst);
}

// The signal, raised again with its default action, ends the process as
// soon as it is let through, so that a shell, make or xargs sees it.
[[noreturn]] void EndBy(int signal_number) {
  signal(signal_number, SIG_DFL);
  raise(signal_number);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal_number);
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
  // Not reached: the signal's default action has ended the process.
  // cppcheck-suppress unreachableCode
  _exit(128 + signal_number);
}

// Only async-signal-safe calls here.
void OnInterruption(int signal_number) {
  const sig_atomic_t now = phase;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  if (now == kOpening) {
    jumped_by = signal_number;
    siglongjmp(waiting_open, 1);
  }
  if (now == kArmed)
    armed->Abandon();
  EndBy(signal_number);
}

// Called held. An interruption that comes while the open waits (a FIFO
// with no reader), or that came while held, jumps out of it and ends the
// process. This open never creates, so one cut short has made nothing.
int OpenWaiting(const Path& path) {
  if (sigsetjmp(waiting_open, 1) != 0)
    EndBy(jumped_by);
  SetPhase(kOpening);
  sigprocmask(SIG_SETMASK, &start_mask, nullptr);
  const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
  const int error = errno;
  const sigset_t set = InterruptionSet();
  sigprocmask(SIG_BLOCK, &set, nullptr);
  SetPhase(kIdle);
  errno = error;
  return fd;
}

}  // namespace

// By default a write past a file size limit, or into a pipe nobody reads any
// more, kills the process without a word and may leave a cut-off timing file.
// Ignored, the write fails (EFBIG, EPIPE) and is reported like any other.
// The interruptions get the one handler, but those ignored when the tool
// started (nohup, or a job started in the background), which stay ignored.
// Without SA_RESTART, a handled signal makes a waiting open fail.
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
// whether it made the name. Otherwise what is there is opened as it is; a
// dangling link, or a name gone meanwhile, gets its file made after all.
int TimingFile::Open(const Path& path) {
  Hold hold;
  path_ = &path;
  bool made = true;
  fd_ = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd_ < 0 && errno == EEXIST) {
    made = false;
    fd_ = OpenWaiting(path);
    if (fd_ < 0 && errno == ENOENT)
      fd_ = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  }
  return fd_ < 0 ? errno : Adopt(made);
}

void TimingFile::Arm() {
  armed = this;
  SetPhase(kArmed);
}

void TimingFile::Disarm() { SetPhase(kIdle); }

TimingFile::Hold::Hold() {
  const sigset_t set = InterruptionSet();
  sigprocmask(SIG_BLOCK, &set, &saved_);
}

TimingFile::Hold::~Hold() { sigprocmask(SIG_SETMASK, &saved_, nullptr); }

}  // namespace platform
