// Preloaded into the tool by the test runner (RunOptions::failing_call):
// the call that TROVCONV_FAILING_CALL names fails with EIO on any file whose
// name ends in ".tim", as calls do on a network file system that reports a
// failed write late. A close still closes: it is only its report that fails.
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool FailsOnTimingFile(const char* call, int fd) {
  const char* failing = std::getenv("TROVCONV_FAILING_CALL");
  if (failing == nullptr || std::strcmp(failing, call) != 0)
    return false;
  char link[32];
  char name[4096];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t size = readlink(link, name, sizeof name);
  return size > 4 && std::memcmp(name + size - 4, ".tim", 4) == 0;
}

template <typename Function>
Function Next(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

// NOLINTNEXTLINE(readability-inconsistent-declaration-parameter-name)
extern "C" int close(int fd) {
  const bool fail = FailsOnTimingFile("close", fd);
  const int result = Next<int (*)(int)>("close")(fd);
  if (!fail)
    return result;
  errno = EIO;
  return -1;
}

// NOLINTNEXTLINE(readability-inconsistent-declaration-parameter-name)
extern "C" int fstat(int fd, struct stat* st) {
  if (FailsOnTimingFile("fstat", fd)) {
    errno = EIO;
    return -1;
  }
  return Next<int (*)(int, struct stat*)>("fstat")(fd, st);
}
