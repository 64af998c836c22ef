#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

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

// By default a write past a file size limit, or into a pipe nobody reads any
// more, kills the process without a word and may leave a cut-off timing file.
// Ignored, the write fails (EFBIG, EPIPE) and is reported like any other.
void StartUp() {
  signal(SIGXFSZ, SIG_IGN);
  signal(SIGPIPE, SIG_IGN);
}

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

namespace {

const int kInterruptions[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

sigset_t InterruptionSet() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal_number : kInterruptions)
    sigaddset(&set, signal_number);
  return set;
}

// What an interruption cleans up. Written only while interruptions are held,
// so the handler never sees half of it.
struct {
  int fd;
  const char* path;
  FileIdentity opened;
} timing;

// Only async-signal-safe calls here; the process ends in it, so nothing
// after it can write to the file again.
void OnInterruption(int signal_number) {
  if (timing.opened.regular) {
    // Emptied or not, a name that is the file itself goes.
    const int emptied = ftruncate(timing.fd, 0);
    static_cast<void>(emptied);
    struct stat st;
    if (lstat(timing.path, &st) == 0 &&
        static_cast<uint64_t>(st.st_dev) == timing.opened.volume &&
        static_cast<uint64_t>(st.st_ino) == timing.opened.index)
      unlink(timing.path);
  }
  // Blocked while this runs, the signal raised again ends the process the
  // moment the handler returns, so that a shell, make or xargs sees it.
  signal(signal_number, SIG_DFL);
  raise(signal_number);
}

// The interruption that came while the timing file was being opened.
volatile sig_atomic_t noted = 0;

void Note(int signal_number) { noted = signal_number; }

// Gives every interruption the handler, but those ignored when the tool
// started (nohup, or a job started in the background), which stay ignored.
// Without SA_RESTART, a handled signal makes a waiting open fail with EINTR.
void HandleInterruptions(void (*handler)(int)) {
  struct sigaction action = {};
  action.sa_handler = handler;
  action.sa_mask = InterruptionSet();  // one at a time
  for (int signal_number : kInterruptions) {
    struct sigaction previous;
    if (sigaction(signal_number, nullptr, &previous) == 0 &&
        previous.sa_handler != SIG_IGN)
      sigaction(signal_number, &action, nullptr);
  }
}

}  // namespace

void CleanUpOnInterruption(int fd, const Path& path,
                           const FileIdentity& opened) {
  timing = {fd, path.c_str(), opened};
  HandleInterruptions(OnInterruption);
}

void NoCleanUpOnInterruption() { HandleInterruptions(SIG_DFL); }

// One that was held before comes in as soon as the mask opens, and is seen
// before the open; one in the few instructions between that look and the
// open waits for the next.
int OpenForWriting(const Path& path, int* fd, int* interruption) {
  noted = 0;
  HandleInterruptions(Note);
  const sigset_t set = InterruptionSet();
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
  *fd = -1;
  int error = EINTR;  // when the interruption came first
  if (noted == 0) {
    *fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    error = *fd < 0 ? errno : 0;
  }
  sigprocmask(SIG_BLOCK, &set, nullptr);
  HandleInterruptions(SIG_DFL);
  *interruption = noted;
  return error;
}

void EndByInterruption(int interruption) {
  signal(interruption, SIG_DFL);
  const sigset_t set = InterruptionSet();
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
  raise(interruption);
  // Not reached: the signal's default action has ended the process.
  // cppcheck-suppress unreachableCode
  _exit(128 + interruption);
}

InterruptionsHeld::InterruptionsHeld() {
  const sigset_t set = InterruptionSet();
  sigprocmask(SIG_BLOCK, &set, &saved_);
}

InterruptionsHeld::~InterruptionsHeld() {
  sigprocmask(SIG_SETMASK, &saved_, nullptr);
}

}  // namespace platform
