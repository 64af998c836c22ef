#include <gtest/gtest.h>
#include <windows.h>

#include <csignal>
#include <string>

#include "run_tool.h"

namespace {

// The tool, and its test build, are built beside the tests.
std::wstring ToolPath(const wchar_t* name) {
  wchar_t self[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path(self, length);
  return path.substr(0, path.find_last_of(L"\\/") + 1) + name;
}

std::wstring Widened(const std::string& ansi) {
  std::wstring wide(ansi.size(), L'\0');
  int length =
      MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()),
                          &wide[0], static_cast<int>(wide.size()));
  wide.resize(static_cast<size_t>(length));
  return wide;
}

// Quotes an argument, where it needs it, so that the C runtime's parser gives
// it back unchanged: backslashes are literal except before a quote, where
// they are doubled. A plain name goes bare, as typed at a prompt.
std::wstring Quoted(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos)
    return arg;
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(2 * backslashes, L'\\');
  return quoted + L"\"";
}

// An unnamed-in-effect file the child can write to: it goes when closed.
HANDLE TempFile() {
  char folder[MAX_PATH];
  char name[MAX_PATH];
  if (!GetTempPathA(sizeof folder, folder) ||
      !GetTempFileNameA(folder, "trv", 0, name))
    return INVALID_HANDLE_VALUE;
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  return CreateFileA(name, GENERIC_READ | GENERIC_WRITE,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     &inherit, CREATE_ALWAYS,
                     FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                     nullptr);
}

std::string ReadBack(HANDLE file) {
  std::string text;
  char buffer[4096];
  DWORD got;
  SetFilePointer(file, 0, nullptr, FILE_BEGIN);
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
    text.append(buffer, got);
  CloseHandle(file);
  return text;
}

// The runner itself takes the event too, and lives on.
BOOL WINAPI Survive(DWORD) { return TRUE; }

// With the tool suspended, the Ctrl-C finds it where it was seen to be:
// its handler waits for the write under way, and none comes after. Wine
// delivers the event only to the whole console, and only where there is
// one; false when it could not be sent, or the tool ended first.
bool Interrupt(const PROCESS_INFORMATION& process, const RunOptions& options,
               ULONGLONG deadline) {
  const std::wstring watched = Widened(options.watched);
  const ULONGLONG waited = GetTickCount64() + 200;
  WIN32_FILE_ATTRIBUTE_DATA data;
  while (WaitForSingleObject(process.hProcess, 1) == WAIT_TIMEOUT &&
         GetTickCount64() < deadline) {
    if (options.when == RunOptions::When::kWaiting
            ? GetTickCount64() >= waited
            : GetFileAttributesExW(watched.c_str(), GetFileExInfoStandard,
                                   &data) &&
                  (data.nFileSizeHigh > 0 || data.nFileSizeLow > (1u << 20))) {
      SuspendThread(process.hThread);
      SetConsoleCtrlHandler(Survive, TRUE);
      bool sent = GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
      Sleep(200);  // for the handler to start and wait
      ResumeThread(process.hThread);
      return sent;
    }
  }
  return false;
}

}  // namespace

ToolRun RunTool(const std::vector<std::string>& args,
                const RunOptions& options) {
  std::vector<std::wstring> wide;
  wide.reserve(args.size());
  for (const std::string& arg : args)
    wide.push_back(Widened(arg));
  return RunToolWide(wide, options);
}

ToolRun RunToolWide(const std::vector<std::wstring>& args,
                    const RunOptions& options) {
  ToolRun run;
  if (options.file_size_limit >= 0 || options.memory_limit >= 0)
    return run;  // Windows has no such limits
  HANDLE out = TempFile();
  HANDLE err = TempFile();
  if (out == INVALID_HANDLE_VALUE || err == INVALID_HANDLE_VALUE)
    return run;
  const bool seamed = !options.seam.empty();
  std::wstring command =
      Quoted(ToolPath(seamed ? L"trovconv_seamed.exe" : L"trovconv.exe"));
  for (const std::wstring& arg : args)
    command += L" " + Quoted(arg);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION process;
  const std::wstring directory = Widened(options.directory);
  SetEnvironmentVariableA("TROVCONV_SEAM",
                          seamed ? options.seam.c_str() : nullptr);
  if (CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr,
                     directory.empty() ? nullptr : directory.c_str(), &startup,
                     &process)) {
    const DWORD limit_ms = static_cast<DWORD>(options.time_limit_s) * 1000;
    const ULONGLONG deadline = GetTickCount64() + limit_ms;
    const bool interrupted = seamed || (options.interruption != 0 &&
                                        Interrupt(process, options, deadline));
    const ULONGLONG now = GetTickCount64();
    DWORD code = 0;
    if (WaitForSingleObject(process.hProcess,
                            now < deadline ? static_cast<DWORD>(deadline - now)
                                           : 0) == WAIT_TIMEOUT) {
      TerminateProcess(process.hProcess, STATUS_TIMEOUT);
      WaitForSingleObject(process.hProcess, limit_ms);
      ADD_FAILURE() << "the tool hung: ended after " << options.time_limit_s
                    << " s";
    } else if (GetExitCodeProcess(process.hProcess, &code)) {
      run.status = static_cast<int>(code);
    }
    // Ended as an interrupted console program is, as if by the signal.
    if (interrupted && code == STATUS_CONTROL_C_EXIT) {
      run.status = -1;
      run.signal = seamed ? SIGINT : options.interruption;
    } else if ((code & 0xC0000000u) == 0xC0000000u) {
      // An access violation, a stack overrun and the like: the status
      // alone would read as a large negative number.
      ADD_FAILURE() << "the tool died by exception 0x" << std::hex
                    << std::uppercase << code;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  run.out = ReadBack(out);
  run.err = ReadBack(err);
  return run;
}
