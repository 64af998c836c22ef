// Preloaded into the tool by the sweep (tests/sweep_test.cc): numbers the
// file-system calls the tool makes itself and, at the one that
// TROVCONV_SWEEP_CALL numbers, does what TROVCONV_SWEEP_MODE says:
//   fail    the call fails with an error it can give; a close still closes,
//           and a lock fails as where the file system has none;
//   before  TROVCONV_SWEEP_SIGNAL is raised just before the call,
//   after   or just after it, as if another program sent it then;
//   move    another program renames what is at TROVCONV_SWEEP_NAME to that
//           name with ".moved" added, and links TROVCONV_SWEEP_SPARE there.
// TROVCONV_SWEEP_LOG names a file that gets each call's name as it is made:
// the tool may end by a signal at any of them.
#undef _FORTIFY_SOURCE  // the calls are defined here, not inline in headers
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char* Setting(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

bool Mode(const char* mode) {
  return std::strcmp(Setting("TROVCONV_SWEEP_MODE"), mode) == 0;
}

// Through the kernel directly: the calls defined here would count it.
void Log(const char* call) {
  const char* path = std::getenv("TROVCONV_SWEEP_LOG");
  if (path == nullptr)
    return;
  const long fd = syscall(SYS_openat, AT_FDCWD, path,
                          O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  syscall(SYS_write, fd, call, std::strlen(call));
  syscall(SYS_write, fd, "\n", 1);
  syscall(SYS_close, fd);
}

void Move() {
  const char* name = Setting("TROVCONV_SWEEP_NAME");
  char moved[4096];
  std::snprintf(moved, sizeof moved, "%s.moved", name);
  std::rename(name, moved);
  link(Setting("TROVCONV_SWEEP_SPARE"), name);
}

long calls = 0;

// Makes the call, or fails it with error (with other, if there is one, on
// an even call); an error of 0 is for calls that cannot fail so.
template <typename Call>
auto Swept(const char* name, int error, int other, Call call)
    -> decltype(call()) {
  Log(name);
  const bool chosen =
      ++calls == std::strtol(Setting("TROVCONV_SWEEP_CALL"), nullptr, 10);
  const int signal_number = static_cast<int>(
      std::strtol(Setting("TROVCONV_SWEEP_SIGNAL"), nullptr, 10));
  if (chosen && Mode("before"))
    raise(signal_number);
  if (chosen && Mode("move"))
    Move();
  if (chosen && Mode("fail") && error != 0) {
    errno = calls % 2 == 0 && other != 0 ? other : error;
    return -1;
  }
  const auto result = call();
  const int saved = errno;
  if (chosen && Mode("after"))
    raise(signal_number);
  errno = saved;
  return result;
}

template <typename Function>
Function Next(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

mode_t ModeArgument(int flags, va_list args) {
  return (flags & O_CREAT) != 0 ? va_arg(args, mode_t) : 0;
}

}  // namespace

// NOLINTBEGIN(readability-inconsistent-declaration-parameter-name)
extern "C" int open(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = ModeArgument(flags, args);
  va_end(args);
  using Open = int (*)(const char*, int, ...);
  return Swept("open", EACCES, EMFILE,
               [&] { return Next<Open>("open")(path, flags, mode); });
}

extern "C" int openat(int dir, const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = ModeArgument(flags, args);
  va_end(args);
  using Openat = int (*)(int, const char*, int, ...);
  return Swept("openat", EACCES, EMFILE,
               [&] { return Next<Openat>("openat")(dir, path, flags, mode); });
}

extern "C" ssize_t read(int fd, void* buffer, size_t size) {
  using Read = ssize_t (*)(int, void*, size_t);
  return Swept("read", EIO, 0,
               [&] { return Next<Read>("read")(fd, buffer, size); });
}

extern "C" ssize_t pread(int fd, void* buffer, size_t size, off_t at) {
  using Pread = ssize_t (*)(int, void*, size_t, off_t);
  return Swept("pread", EIO, 0,
               [&] { return Next<Pread>("pread")(fd, buffer, size, at); });
}

extern "C" ssize_t write(int fd, const void* data, size_t size) {
  using Write = ssize_t (*)(int, const void*, size_t);
  return Swept("write", EIO, ENOSPC,
               [&] { return Next<Write>("write")(fd, data, size); });
}

extern "C" int fstat(int fd, struct stat* st) {
  using Fstat = int (*)(int, struct stat*);
  return Swept("fstat", EIO, 0, [&] { return Next<Fstat>("fstat")(fd, st); });
}

extern "C" int stat(const char* path, struct stat* st) {
  using Stat = int (*)(const char*, struct stat*);
  return Swept("stat", EACCES, EIO,
               [&] { return Next<Stat>("stat")(path, st); });
}

extern "C" int lstat(const char* path, struct stat* st) {
  using Stat = int (*)(const char*, struct stat*);
  return Swept("lstat", EACCES, EIO,
               [&] { return Next<Stat>("lstat")(path, st); });
}

extern "C" int flock(int fd, int operation) {
  using Flock = int (*)(int, int);
  return Swept("flock", ENOLCK, 0,
               [&] { return Next<Flock>("flock")(fd, operation); });
}

extern "C" int ftruncate(int fd, off_t length) {
  using Ftruncate = int (*)(int, off_t);
  return Swept("ftruncate", EIO, 0,
               [&] { return Next<Ftruncate>("ftruncate")(fd, length); });
}

extern "C" int close(int fd) {
  const auto next = Next<int (*)(int)>("close");
  bool closed = false;
  const int result = Swept("close", EIO, 0, [&] {
    closed = true;
    return next(fd);
  });
  const int error = errno;
  if (!closed)
    next(fd);
  errno = error;
  return result;
}

extern "C" int unlink(const char* path) {
  using Unlink = int (*)(const char*);
  return Swept("unlink", EACCES, EBUSY,
               [&] { return Next<Unlink>("unlink")(path); });
}

extern "C" ssize_t readlink(const char* path, char* buffer, size_t size) {
  using Readlink = ssize_t (*)(const char*, char*, size_t);
  return Swept("readlink", EACCES, EIO,
               [&] { return Next<Readlink>("readlink")(path, buffer, size); });
}

// A copy fails as at the descriptor limit, a lock as where there are none.
extern "C" int fcntl(int fd, int command, ...) {
  va_list args;
  va_start(args, command);
  void* argument = va_arg(args, void*);
  va_end(args);
  const bool copy = command == F_DUPFD || command == F_DUPFD_CLOEXEC;
  const bool lock = command == F_SETLK || command == F_SETLKW ||
                    command == F_OFD_SETLK || command == F_OFD_SETLKW;
  using Fcntl = int (*)(int, int, ...);
  return Swept("fcntl",
               copy   ? EMFILE
               : lock ? ENOLCK
                      : 0,
               0, [&] { return Next<Fcntl>("fcntl")(fd, command, argument); });
}

extern "C" int dup(int fd) {
  using Dup = int (*)(int);
  return Swept("dup", EMFILE, 0, [&] { return Next<Dup>("dup")(fd); });
}
// NOLINTEND(readability-inconsistent-declaration-parameter-name)
