#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
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
                     static_cast<uint64_t>(st.st_ino), S_ISREG(st.st_mode),
                     S_ISFIFO(st.st_mode), static_cast<uint64_t>(st.st_size)};
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

int OpenToEmpty(const Path& path, int* fd) {
  *fd = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  return *fd < 0 ? errno : 0;
}

int ReadOnce(int fd, void* buffer, size_t size, size_t* count) {
  const ssize_t got = read(fd, buffer, size);
  *count = got < 0 ? 0 : static_cast<size_t>(got);
  return got < 0 ? errno : 0;
}

int ReadStart(int fd, void* buffer, size_t size, size_t* delivered) {
  char* at = static_cast<char*>(buffer);
  *delivered = 0;
  while (*delivered < size) {
    const ssize_t got = pread(fd, at + *delivered, size - *delivered,
                              static_cast<off_t>(*delivered));
    if (got < 0)
      return errno;
    if (got == 0)
      break;
    *delivered += static_cast<size_t>(got);
  }
  return 0;
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
bool LockedElsewhere(int fd) {
  return flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}

int Duplicate(int fd) { return fcntl(fd, F_DUPFD_CLOEXEC, 0); }

// By default a write past a file size limit, or into a pipe nobody reads
// any more, kills the process without a word and may leave a cut-off
// timing file. Ignored, the write fails (EFBIG, EPIPE) and is reported
// like any other.
void StartUp() {
  signal(SIGXFSZ, SIG_IGN);
  signal(SIGPIPE, SIG_IGN);
}

}  // namespace platform
