#include "convert.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "capture.h"
#include "platform.h"
#include "timing_writer.h"

namespace {

const char kToolName[] = "trovconv";
const char kVersion[] = TROVCONV_VERSION;  // the project version

template <typename Char>
bool IsSeparator(Char c) {
  return c == Char('/') || c == Char('\\');
}

}  // namespace

template <typename Char>
PathParts<Char> SplitPath(const std::basic_string<Char>& path) {
  PathParts<Char> parts;
  size_t start = 0;
  if (path.size() >= 2 && path[1] == Char(':')) {
    parts.drive = path.substr(0, 2);
    start = 2;
  }
  size_t file_start = start;
  size_t last_dot = std::basic_string<Char>::npos;
  for (size_t at = start; at < path.size(); ++at) {
    if (IsSeparator(path[at]))
      file_start = at + 1;
    else if (path[at] == Char('.'))
      last_dot = at;
  }
  size_t file_end = path.size();
  if (last_dot != std::basic_string<Char>::npos && last_dot >= file_start)
    file_end = last_dot;
  parts.directory = path.substr(start, file_start - start);
  parts.base = path.substr(file_start, file_end - file_start);
  parts.extension = path.substr(file_end);
  return parts;
}

template <typename Char>
std::basic_string<Char> JoinTimingPath(const PathParts<Char>& parts) {
  std::basic_string<Char> path = parts.drive + parts.directory;
  if (!parts.directory.empty() && !IsSeparator(parts.directory.back()))
    path += Char('\\');
  path += parts.base;
  for (char c : {'.', 't', 'i', 'm'})
    path += Char(c);
  return path;
}

template <typename Char>
std::basic_string<Char> TimingPathFor(const std::basic_string<Char>& path) {
  return JoinTimingPath(SplitPath(path));
}

template PathParts<char> SplitPath(const std::string&);
template PathParts<wchar_t> SplitPath(const std::wstring&);
template std::string JoinTimingPath(const PathParts<char>&);
template std::wstring JoinTimingPath(const PathParts<wchar_t>&);
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

// Passes the writer's chunks straight to the file and remembers the first
// error, after which every write is refused.
class FileSink : public Sink {
 public:
  explicit FileSink(int fd) : fd_(fd) {}

  bool Write(const char* data, size_t size) override {
    if (error_ == 0)
      error_ = platform::WriteAll(fd_, data, size);
    return error_ == 0;
  }

  int error() const { return error_; }

 private:
  int fd_;
  int error_ = 0;
};

int ReportSystemError(int error) {
  std::fprintf(stderr, "%s: %s\n", kToolName,
               platform::ErrorText(error).c_str());
  return 1;
}

int Reject(const char* message) {
  std::fputs(message, stderr);
  return 1;
}

int RefuseOverwrite() {
  return Reject("trovconv: timing file would overwrite the capture file\n");
}

int PrintUsage() {
  std::fputs("trovik QV-7 *.dat file to Carvendel tim file converter\n",
             stderr);
  std::fprintf(stderr, "Version %s\n", kVersion);
  std::fputs("usage: trovconv {trovik_dat_file}\n", stderr);
  return 1;
}

// What OpenTimingFile returns when the file it opened is the capture itself.
const int kIsTheCapture = -1;

// Nothing has been written to the file: a name this run made goes again.
void TakeBack(const platform::Path& path, bool existed, int fd) {
  platform::Close(fd);
  if (!existed)
    platform::RemoveFile(path);
}

// A timing file that is the capture itself, under another name or through a
// link, would destroy the capture as it is written: the caller refuses it by
// name before (so a read-only capture still gets the plain reason), and this
// by what it opened (so a file swapped in between is caught too). Called
// with interruptions held; returns 0, a system error or kIsTheCapture.
int OpenTimingFile(const platform::Path& path, bool existed,
                   const platform::FileIdentity& capture_id, int* fd,
                   platform::FileIdentity* opened) {
  int interruption;
  int error = platform::OpenForWriting(path, fd, &interruption);
  if (interruption != 0) {
    if (error == 0)
      TakeBack(path, existed, *fd);
    platform::EndByInterruption(interruption);
  }
  if (error != 0)
    return error;
  error = platform::Identify(*fd, opened);
  if (error == 0 && platform::SameFile(*opened, capture_id)) {
    TakeBack(path, existed, *fd);
    return kIsTheCapture;
  }
  // Devices such as /dev/null cannot be truncated and need not be.
  if (error == 0 && opened->regular)
    error = platform::TruncateToEmpty(*fd);
  if (error != 0)
    platform::Close(*fd);
  return error;
}

// An incomplete timing file would pass for a whole one: its own name goes.
// A link to it stays (the caller emptied the file while it was open), and a
// device is left alone.
void RemoveTimingFile(const platform::Path& path,
                      const platform::FileIdentity& opened) {
  platform::FileIdentity named;
  if (opened.regular && platform::IdentifyEntry(path, &named) == 0 &&
      platform::SameFile(named, opened))
    platform::RemoveFile(path);
}

int WriteTimingFileAt(const platform::Path& path,
                      const platform::FileIdentity& capture_id,
                      Capture* capture, int64_t interval) {
  platform::FileIdentity existing;
  const bool existed = platform::IdentifyPath(path, &existing) == 0;
  if (existed && platform::SameFile(existing, capture_id))
    return RefuseOverwrite();
  int fd;
  platform::FileIdentity opened;
  int error;
  {
    // Once it is open an interruption finds the clean-up armed, but not
    // before the checks: the capture itself is never emptied.
    platform::InterruptionsHeld held;
    error = OpenTimingFile(path, existed, capture_id, &fd, &opened);
    if (error == 0)
      platform::CleanUpOnInterruption(fd, path, opened);
  }
  // Messages go out with nothing held: a stalled standard error must not
  // keep an interruption waiting.
  if (error != 0)
    return error == kIsTheCapture ? RefuseOverwrite()
                                  : ReportSystemError(error);
  FileSink sink(fd);
  WriteTimingFile(capture, interval, &sink);
  {
    // Closed whole and disarmed in one step, so that a complete file is
    // never taken for an incomplete one, nor the other way round.
    platform::InterruptionsHeld held;
    error = sink.error();
    if (error != 0 && opened.regular)
      platform::TruncateToEmpty(fd);  // so that no link keeps the bytes
    int close_error = platform::Close(fd);
    if (error == 0)
      error = close_error;
    if (error != 0)
      RemoveTimingFile(path, opened);
    platform::NoCleanUpOnInterruption();
  }
  return error == 0 ? 0 : ReportSystemError(error);
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
  return WriteTimingFileAt(TimingPathFor(capture_path), capture_id, capture,
                           interval);
}

}  // namespace

int RunConverter(int argc, platform::PathChar** argv) {
  platform::StartUp();
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
