// Preloaded into the tool by the test runner (RunOptions::failing_call,
// signal_in_call): the call that TROVCONV_FAILING_CALL names fails with EIO
// on a file whose name ends in ".tim", as on a network file system that
// reports a failed write late. A close still closes: only its report
// fails. A lock fails with ENOLCK, as where the file system has no locks.
// Inside the call that TROVCONV_SIGNAL_IN_CALL names, on such a file open
// for writing, the tool is sent SIGTERM, as if from outside, just then.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool IsTiming(int fd) {
  char link[32];
  char name[4096];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t size = readlink(link, name, sizeof name);
  return size > 4 && std::memcmp(name + size - 4, ".tim", 4) == 0;
}

bool Named(const char* variable, const char* call) {
  const char* named = std::getenv(variable);
  return named != nullptr && std::strcmp(named, call) == 0;
}

// Also sends the signal, where asked to.
bool Fails(const char* call, int fd) {
  if (Named("TROVCONV_SIGNAL_IN_CALL", call) && IsTiming(fd) &&
      (fcntl(fd, F_GETFL) & O_ACCMODE) != O_RDONLY)
    raise(SIGTERM);
  return Named("TROVCONV_FAILING_CALL", call) && IsTiming(fd);
}

}  // namespace

// NOLINTNEXTLINE(readability-inconsistent-declaration-parameter-name)
extern "C" int close(int fd) {
  const bool fail = Fails("close", fd);
  const int result =
      reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "close"))(fd);
  errno = fail ? EIO : errno;
  return fail ? -1 : result;
}

// NOLINTNEXTLINE(readability-inconsistent-declaration-parameter-name)
extern "C" int fstat(int fd, struct stat* st) {
  if (Fails("fstat", fd)) {
    errno = EIO;
    return -1;
  }
  using Fstat = int (*)(int, struct stat*);
  return reinterpret_cast<Fstat>(dlsym(RTLD_NEXT, "fstat"))(fd, st);
}

// NOLINTNEXTLINE(readability-inconsistent-declaration-parameter-name)
extern "C" int flock(int fd, int operation) {
  if (Fails("flock", fd)) {
    errno = ENOLCK;
    return -1;
  }
  using Flock = int (*)(int, int);
  return reinterpret_cast<Flock>(dlsym(RTLD_NEXT, "flock"))(fd, operation);
}

// NOLINTNEXTLINE(readability-inconsistent-declaration-parameter-name)
extern "C" int ftruncate(int fd, off_t length) {
  Fails("ftruncate", fd);
  using Ftruncate = int (*)(int, off_t);
  return reinterpret_cast<Ftruncate>(dlsym(RTLD_NEXT, "ftruncate"))(fd, length);
}
