#include "convert.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "capture.h"
#include "platform.h"
#include "timing_file.h"
#include "timing_writer.h"

namespace {

const char kToolName[] = "trovconv";
const char kVersion[] = TROVCONV_VERSION;  // the project version

template <typename Char>
bool IsSeparator(Char c) {
  return c == Char('/') || c == Char('\\');
}

}  // namespace

// The file name starts after the drive ("C:") and the last separator, its
// extension at its last dot. Nothing is ever shortened.
template <typename Char>
std::basic_string<Char> TimingPathFor(const std::basic_string<Char>& path) {
  const size_t drive = path.size() >= 2 && path[1] == Char(':') ? 2 : 0;
  size_t end = path.size();
  for (size_t at = end; at > drive && !IsSeparator(path[at - 1]); --at) {
    if (path[at - 1] == Char('.')) {
      end = at - 1;
      break;
    }
  }
  std::basic_string<Char> timing = path.substr(0, end);
  for (char c : {'.', 't', 'i', 'm'})
    timing += Char(c);
  return timing;
}

template std::string TimingPathFor(const std::string&);
template std::wstring TimingPathFor(const std::wstring&);

const char* RecordRejection(const Capture& capture, size_t delivered) {
  if (delivered < 4 || !capture.HasMagic())
    return "not trovik data file\n";
  // The samples of a cut-off copy would be made up: refuse it.
  if (delivered < kCaptureSize)
    return "truncated trovik data file\n";
  return nullptr;
}

namespace {

// Passes the writer's chunks straight to the file and remembers the error
// that stopped it.
class FileSink : public Sink {
 public:
  explicit FileSink(TimingFile* file) : file_(file) {}

  bool Write(const char* data, size_t size) override {
    error_ = file_->Write(data, size);
    return error_ == 0;
  }

  int error() const { return error_; }

 private:
  TimingFile* file_;
  int error_ = 0;
};

int ReportSystemError(int error) {
  std::fprintf(stderr, "%s: %s\n", kToolName, platform::ErrorText(error));
  return 1;
}

// Under a tight memory limit the exception that reports a failed
// allocation may find no memory either, and end the process with an abort.
// Nothing allocates while the timing file is open, so there is nothing to
// take back here.
[[noreturn]] void OnOutOfMemory() {
  ReportSystemError(ENOMEM);
  std::fflush(stderr);
  std::_Exit(1);
}

int Reject(const char* message) {
  std::fputs(message, stderr);
  return 1;
}

int RefuseOverwrite() {
  return Reject("trovconv: timing file would overwrite the capture file\n");
}

// Letter case compared the way the file systems that ignore it compare it,
// at least for ASCII. Left out: the case rules of other scripts (exFAT's and
// NTFS's tables have them, FAT's follow its code page), where only the
// check by identity after the open can tell.
template <typename Char>
bool EqualIgnoringCase(const std::basic_string<Char>& a,
                       const std::basic_string<Char>& b) {
  auto lower = [](Char c) {
    return c >= Char('A') && c <= Char('Z') ? Char(c - 'A' + 'a') : c;
  };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [&](Char x, Char y) { return lower(x) == lower(y); });
}

int PrintUsage() {
  std::fputs("trovik QV-7 *.dat file to Carvendel tim file converter\n",
             stderr);
  std::fprintf(stderr, "Version %s\n", kVersion);
  std::fputs("usage: trovconv {trovik_dat_file}\n", stderr);
  return 1;
}

// What a refusal of the timing file says; errors in the system's words.
int ReportTimingError(int error) {
  switch (error) {
    case kWrittenByAnotherRun:
      return Reject("trovconv: timing file is being written by another run\n");
    case kWouldOverwriteCapture:
      return RefuseOverwrite();
    case kHoldsCapture:
      return Reject("trovconv: timing file holds a capture\n");
    case kWrittenByAnotherProgram:
      return Reject(
          "trovconv: timing file is being written by another program\n");
    default:
      return ReportSystemError(error);
  }
}

// A name stays mostly because another program (a virus scanner, an
// indexer, a sync client) still has the file open, which is to be closed
// before the file can be deleted; the system's text would not say so.
const char* WhyKept(int error) {
  return error == EBUSY ? "another program has it open"
                        : platform::ErrorText(error);
}

// A timing file that is the capture itself, under another name or through a
// link, would destroy the capture as it is written: TimingFile refuses it.
// A name that differs from the capture's only in letter case is the capture
// on a file system that ignores case, some of which give each spelling an
// identity of its own; nothing in the name tells such a file system from
// another, so the name is refused everywhere.
int WriteTimingFileAt(const platform::Path& capture_path,
                      const platform::FileIdentity& capture_id,
                      Capture* capture, int64_t interval) {
  const platform::Path path = TimingPathFor(capture_path);
  if (EqualIgnoringCase(path, capture_path))
    return RefuseOverwrite();
  TimingFile timing;
  int error = timing.Open(path, capture_id);
  if (error == 0) {
    FileSink sink(&timing);
    WriteTimingFile(capture, interval, &sink);
    error = sink.error();
    if (error == 0)
      error = timing.Commit();
    else
      timing.Abandon();
  }
  if (error == 0)
    return 0;
  ReportTimingError(error);
  if (int left = timing.emptying_error())
    std::fprintf(stderr, "%s: an incomplete timing file was left behind: %s\n",
                 kToolName, platform::ErrorText(left));
  if (int kept = timing.kept_name_error())
    std::fprintf(stderr, "%s: an empty timing file was left behind: %s\n",
                 kToolName, WhyKept(kept));
  return 1;
}

int ConvertCapture(const platform::Path& capture_path, int capture_fd,
                   Capture* capture) {
  size_t delivered;
  if (int error = platform::ReadUpTo(capture_fd, capture->bytes,
                                     sizeof capture->bytes, &delivered))
    return ReportSystemError(error);
  if (const char* rejection = RecordRejection(*capture, delivered))
    return Reject(rejection);
  int64_t interval = capture->SampleInterval();
  platform::FileIdentity capture_id;
  if (int error = platform::Identify(capture_fd, &capture_id))
    return ReportSystemError(error);
  platform::Path entry;
  if (int error = platform::EntryName(capture_path, capture_id, &entry))
    return ReportSystemError(error);
  return WriteTimingFileAt(entry, capture_id, capture, interval);
}

}  // namespace

int RunConverter(int argc, platform::PathChar** argv) {
  platform::StartUp();
  HandleInterruptions();
  std::set_new_handler(OnOutOfMemory);
  if (argc != 2)
    return PrintUsage();
  const platform::Path capture_path = argv[1];
  int capture_fd;
  if (int error = platform::OpenForReading(capture_path, &capture_fd))
    return ReportSystemError(error);
  Capture capture{};  // a short read leaves zeros, never stale bytes
  int status = ConvertCapture(capture_path, capture_fd, &capture);
  int close_error = platform::Close(capture_fd);
  if (status != 0)
    return status;
  // The exit status reports the capture's close: -1 on an 8-bit status.
  return close_error != 0 ? 255 : 0;
}
