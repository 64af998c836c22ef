// Runs the built tool as a separate process, the way a user would, and
// collects what it reports. Also gives each test a scratch folder.
#ifndef TROVCONV_RUN_TOOL_H_
#define TROVCONV_RUN_TOOL_H_

#include <string>
#include <vector>

struct ToolRun {
  int status = -1;  // the exit status, or -1 when the tool did not exit
  int signal = 0;   // the signal that ended it, if one did
  std::string out;  // standard output
  std::string err;  // standard error
};

struct RunOptions {
  std::string directory;           // working folder; empty for the current one
  long file_size_limit = -1;       // bytes, or -1 for none; not on Windows
  bool ignore_size_signal = true;  // with the limit: as a shell might leave it
  long memory_limit = -1;  // bytes of address space, or -1; not on Windows
  // The tool is sent this signal once it has written more than 1 MiB of
  // the file `watched` and still has it open (kWriting), or once it has
  // run 200 ms (kWaiting: on an open or a write that waits). Stopped first,
  // it takes the signal exactly there. One that ends before kWriting comes
  // is run again, up to ten times. On Windows any signal is a Ctrl-C, sent
  // once, only where there is a console; the status of an interrupted
  // console program counts as that signal.
  enum class When { kWriting, kWaiting };
  int interruption = 0;
  std::string watched{};
  When when = When::kWriting;
  bool interruption_ignored = false;  // as the tool starts: it must stay so
  // A tool still running after this long has hung: it is ended (on POSIX
  // systems by SIGALRM) and the test fails saying so. A tool that dies by
  // an exception on Windows fails the test too, with its exception code.
  int time_limit_s = 20;
  // POSIX systems: a signal that the tool starts with blocked and pending,
  // as some supervisors start their jobs; and more settings for its
  // environment, each "NAME=value".
  int pending_signal = 0;
  std::vector<std::string> environment{};
  // Windows: the tool's test build with a seam in its file calls, told
  // this (see call_seam.h); the Ctrl-C it brings counts as SIGINT.
  std::string seam{};
};

// args excludes the program name. On Windows they are bytes in the ANSI code
// page, as the tool receives them.
ToolRun RunTool(const std::vector<std::string>& args,
                const RunOptions& options = RunOptions());
#ifdef _WIN32
// The command line as typed, for names the ANSI code page cannot spell.
ToolRun RunToolWide(const std::vector<std::wstring>& args,
                    const RunOptions& options = RunOptions());
#endif

// A new empty folder, removed again with everything in it when the object
// goes away. Its path is absolute when the parent's is.
class ScratchDir {
 public:
  ScratchDir();  // in the system's folder for temporary files
  explicit ScratchDir(const std::string& parent);
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const {
    return path_ + "/" + name;
  }

 private:
  std::string path_;
};

// The whole content of a file; false when it cannot be read.
bool ReadFile(const std::string& path, std::string* content);
bool FileExists(const std::string& path);

#endif  // TROVCONV_RUN_TOOL_H_
