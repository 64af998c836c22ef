// Preloaded into the tool by the sweep (sweep_test.cc): numbers the
// file-system calls the tool makes itself, each logged by name to
// TROVCONV_SWEEP_LOG as it comes, and at the one TROVCONV_SWEEP_CALL numbers
// does what TROVCONV_SWEEP_MODE says: "fail" it with an error it can give
// (a close still closes; a lock fails as where there are none), raise
// TROVCONV_SWEEP_SIGNAL just "before" or "after" it, or first "move" what
// is at TROVCONV_SWEEP_NAME to that name and ".moved", and link
// TROVCONV_SWEEP_SPARE there, or "write" TROVCONV_SWEEP_THEIRS at the end
// of what is there, as another program might.
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
#include <string>

namespace {

std::string Setting(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

long Number(const char* name) {
  return std::strtol(Setting(name).c_str(), nullptr, 10);
}

// Straight to the kernel: the calls defined here would count themselves.
void Log(const char* call) {
  const std::string path = Setting("TROVCONV_SWEEP_LOG");
  const std::string line = call + std::string("\n");
  if (path.empty())
    return;
  const long fd = syscall(SYS_openat, AT_FDCWD, path.c_str(),
                          O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  syscall(SYS_write, fd, line.data(), line.size());
  syscall(SYS_close, fd);
}

long calls = 0;

// An error of 0 is for a call that cannot fail so: it is made as asked.
template <typename Call>
auto Swept(const char* name, int error, Call call) -> decltype(call()) {
  Log(name);
  const bool chosen = ++calls == Number("TROVCONV_SWEEP_CALL");
  const std::string mode = chosen ? Setting("TROVCONV_SWEEP_MODE") : "";
  const int signal_number = static_cast<int>(Number("TROVCONV_SWEEP_SIGNAL"));
  if (mode == "before")
    raise(signal_number);
  if (mode == "move") {
    const std::string timing = Setting("TROVCONV_SWEEP_NAME");
    std::rename(timing.c_str(), (timing + ".moved").c_str());
    link(Setting("TROVCONV_SWEEP_SPARE").c_str(), timing.c_str());
  }
  if (mode == "write") {
    const std::string theirs = Setting("TROVCONV_SWEEP_THEIRS");
    const long fd =
        syscall(SYS_openat, AT_FDCWD, Setting("TROVCONV_SWEEP_NAME").c_str(),
                O_WRONLY | O_APPEND | O_CLOEXEC);
    syscall(SYS_write, fd, theirs.data(), theirs.size());
    syscall(SYS_close, fd);
  }
  if (mode == "fail" && error != 0) {
    errno = error;
    return -1;
  }
  const auto result = call();
  const int saved = errno;
  if (mode == "after")
    raise(signal_number);
  errno = saved;
  return result;
}

template <typename Function>
Function Next(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

// The call passed on, unless it is to fail. The arguments are lists of
// parameters and of arguments, which brackets would break.
// NOLINTBEGIN(bugprone-macro-parentheses)
#define SWEPT(type, name, parameters, arguments, error)                      \
  extern "C" type name parameters {                                          \
    return Swept(#name, error,                                               \
                 [&] { return Next<type(*) parameters>(#name) arguments; }); \
  }
// NOLINTEND(bugprone-macro-parentheses)

// NOLINTBEGIN(readability-inconsistent-declaration-parameter-name)
SWEPT(ssize_t, read, (int fd, void* data, size_t size), (fd, data, size), EIO)
SWEPT(ssize_t, pread, (int fd, void* data, size_t size, off_t at),
      (fd, data, size, at), EIO)
SWEPT(ssize_t, write, (int fd, const void* data, size_t size), (fd, data, size),
      ENOSPC)
SWEPT(int, fstat, (int fd, struct stat* st), (fd, st), EIO)
SWEPT(int, stat, (const char* path, struct stat* st), (path, st), EACCES)
SWEPT(int, lstat, (const char* path, struct stat* st), (path, st), EIO)
SWEPT(int, flock, (int fd, int operation), (fd, operation), ENOLCK)
SWEPT(int, ftruncate, (int fd, off_t size), (fd, size), EIO)
SWEPT(int, unlink, (const char* path), (path), EBUSY)
SWEPT(ssize_t, readlink, (const char* path, char* text, size_t size),
      (path, text, size), EACCES)
// What a fortified build calls where it knows the buffer's size but not
// that the length fits.
// NOLINTBEGIN(bugprone-reserved-identifier)
SWEPT(ssize_t, __read_chk, (int fd, void* data, size_t size, size_t room),
      (fd, data, size, room), EIO)
SWEPT(ssize_t, __pread_chk,
      (int fd, void* data, size_t size, off_t at, size_t room),
      (fd, data, size, at, room), EIO)
SWEPT(ssize_t, __readlink_chk,
      (const char* path, char* text, size_t size, size_t room),
      (path, text, size, room), EACCES)
// NOLINTEND(bugprone-reserved-identifier)

extern "C" int open(const char* path, int flags, ...) {
  mode_t mode = 0;
  if ((flags & O_CREAT) != 0) {
    va_list rest;
    va_start(rest, flags);
    mode = va_arg(rest, mode_t);
    va_end(rest);
  }
  // As without permission, or at the descriptor limit, by turns.
  return Swept("open", calls % 2 == 0 ? EACCES : EMFILE, [&] {
    return Next<int (*)(const char*, int, ...)>("open")(path, flags, mode);
  });
}

// A copy fails as at the descriptor limit, a lock as where there are none.
extern "C" int fcntl(int fd, int command, ...) {
  va_list rest;
  va_start(rest, command);
  void* argument = va_arg(rest, void*);
  va_end(rest);
  const bool copy = command == F_DUPFD || command == F_DUPFD_CLOEXEC;
  const bool lock = command == F_SETLK || command == F_OFD_SETLK;
  const int error = copy ? EMFILE : lock ? ENOLCK : 0;
  using Fcntl = int (*)(int, int, ...);
  return Swept("fcntl", error,
               [&] { return Next<Fcntl>("fcntl")(fd, command, argument); });
}

extern "C" int close(int fd) {
  bool closed = false;
  const int result = Swept("close", EIO, [&] {
    closed = true;
    return Next<int (*)(int)>("close")(fd);
  });
  const int error = errno;
  if (!closed)
    Next<int (*)(int)>("close")(fd);
  errno = error;
  return result;
}
// NOLINTEND(readability-inconsistent-declaration-parameter-name)
