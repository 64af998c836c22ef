// Another program holding a file open as a virus scanner, an indexer or a
// sync client does, sharing reading and writing but not its removal, while
// it runs a command:
//   hold_open FILE MILLISECONDS PROGRAM [ARGUMENT]
// Once the file's size has changed (the command has taken the file), it
// lets go MILLISECONDS later, or with -1 only when the command has ended.
// Exits with the command's status; 2 when it could not be run, or had not
// ended after 20 seconds.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

LONGLONG SizeOf(HANDLE file) {
  LARGE_INTEGER size;
  return GetFileSizeEx(file, &size) ? size.QuadPart : -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4 || argc > 5) {
    std::fprintf(stderr, "usage: hold_open FILE MILLISECONDS PROGRAM [ARG]\n");
    return 2;
  }
  const long release_ms = std::strtol(argv[2], nullptr, 10);
  HANDLE held = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (held == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "hold_open: cannot open %s\n", argv[1]);
    return 2;
  }
  std::string command = std::string("\"") + argv[3] + "\"";
  if (argc == 5)
    command += std::string(" \"") + argv[4] + "\"";
  STARTUPINFOA start = {};
  start.cb = sizeof start;
  PROCESS_INFORMATION process;
  if (!CreateProcessA(argv[3], &command[0], nullptr, nullptr, TRUE, 0, nullptr,
                      nullptr, &start, &process)) {
    std::fprintf(stderr, "hold_open: cannot run %s\n", argv[3]);
    return 2;
  }
  const DWORD kLimitMs = 20000;
  if (release_ms >= 0) {
    const LONGLONG before = SizeOf(held);
    const ULONGLONG until = GetTickCount64() + kLimitMs;
    while (SizeOf(held) == before && GetTickCount64() < until &&
           WaitForSingleObject(process.hProcess, 1) == WAIT_TIMEOUT) {
    }
    Sleep(static_cast<DWORD>(release_ms));
    CloseHandle(held);
  }
  DWORD status = 2;
  if (WaitForSingleObject(process.hProcess, kLimitMs) != WAIT_OBJECT_0) {
    std::fprintf(stderr, "hold_open: %s still running\n", argv[3]);
    TerminateProcess(process.hProcess, 2);
  } else {
    GetExitCodeProcess(process.hProcess, &status);
  }
  return static_cast<int>(status);
}
