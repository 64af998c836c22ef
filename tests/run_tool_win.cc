#include <windows.h>

#include <string>

#include "run_tool.h"

namespace {

// The tool is built beside the tests.
std::string ToolPath() {
  char self[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
  std::string path(self, length);
  return path.substr(0, path.find_last_of("\\/") + 1) + "trovconv.exe";
}

// Quotes an argument, where it needs it, so that the C runtime's parser gives
// it back unchanged: backslashes are literal except before a quote, where
// they are doubled. A name is passed bare, as typed at a prompt: a second
// byte 0x5C of a double-byte character must not meet a quote.
std::string Quoted(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos)
    return arg;
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(2 * backslashes, '\\');
  return quoted + "\"";
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

}  // namespace

ToolRun RunTool(const std::vector<std::string>& args,
                const RunOptions& options) {
  ToolRun run;
  if (options.file_size_limit >= 0)
    return run;  // Windows has no such limit
  HANDLE out = TempFile();
  HANDLE err = TempFile();
  if (out == INVALID_HANDLE_VALUE || err == INVALID_HANDLE_VALUE)
    return run;
  std::string command = Quoted(ToolPath());
  for (const std::string& arg : args)
    command += " " + Quoted(arg);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION process;
  const char* directory =
      options.directory.empty() ? nullptr : options.directory.c_str();
  if (CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr,
                     directory, &startup, &process)) {
    DWORD code;
    WaitForSingleObject(process.hProcess, INFINITE);
    if (GetExitCodeProcess(process.hProcess, &code))
      run.status = static_cast<int>(code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  run.out = ReadBack(out);
  run.err = ReadBack(err);
  return run;
}
