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
const size_t kComponentLimit = 255;

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

size_t CharWidth(const std::string& s, size_t at, LeadByteTest is_lead_byte) {
  return is_lead_byte(static_cast<unsigned char>(s[at])) ? 2 : 1;
}

// Keeps whole characters only: a double-byte character that would straddle
// the limit, or a lead byte left without its second byte, is dropped.
std::string CutComponent(const std::string& s, LeadByteTest is_lead_byte) {
  size_t keep = 0;
  while (keep < s.size()) {
    size_t next = keep + CharWidth(s, keep, is_lead_byte);
    if (next > s.size() || next > kComponentLimit)
      break;
    keep = next;
  }
  return s.substr(0, keep);
}

bool EndsWithSeparator(const std::string& s, LeadByteTest is_lead_byte) {
  size_t last = 0;
  for (size_t at = 0; at < s.size(); at += CharWidth(s, at, is_lead_byte))
    last = at;
  return !s.empty() && last == s.size() - 1 && IsSeparator(s[last]);
}

}  // namespace

PathParts SplitPath(const std::string& path, LeadByteTest is_lead_byte) {
  PathParts parts;
  size_t start = 0;
  if (path.size() >= 2 && path[1] == ':') {
    parts.drive = path.substr(0, 2);
    start = 2;
  }
  size_t file_start = start;
  size_t last_dot = std::string::npos;
  for (size_t at = start; at < path.size();) {
    if (is_lead_byte(static_cast<unsigned char>(path[at]))) {
      at += 2;  // past the end when the lead byte is the last byte
      continue;
    }
    if (IsSeparator(path[at]))
      file_start = at + 1;
    else if (path[at] == '.')
      last_dot = at;
    ++at;
  }
  size_t file_end = path.size();
  if (last_dot != std::string::npos && last_dot >= file_start)
    file_end = last_dot;
  parts.shortened = file_start - start > kComponentLimit ||
                    file_end - file_start > kComponentLimit;
  parts.directory =
      CutComponent(path.substr(start, file_start - start), is_lead_byte);
  parts.base = CutComponent(path.substr(file_start, file_end - file_start),
                            is_lead_byte);
  parts.extension = CutComponent(path.substr(file_end), is_lead_byte);
  return parts;
}

std::string JoinTimingPath(const PathParts& parts, LeadByteTest is_lead_byte) {
  std::string path;
  if (!parts.drive.empty()) {
    path += parts.drive[0];
    path += ':';
  }
  if (!parts.directory.empty()) {
    path += parts.directory;
    if (!EndsWithSeparator(parts.directory, is_lead_byte))
      path += '\\';
  }
  path += parts.base;
  path += ".tim";
  return path;
}

std::string TimingPathFor(const std::string& capture_path,
                          LeadByteTest is_lead_byte) {
  return JoinTimingPath(SplitPath(capture_path, is_lead_byte), is_lead_byte);
}

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

// A timing file that is the capture itself, under another name or through a
// link, would destroy the capture as it is written: it is refused both before
// opening (so a read-only capture still gets the plain reason) and after
// (so a file swapped in between is caught too). Returns an exit status.
int OpenTimingFile(const std::string& path,
                   const platform::FileIdentity& capture_id, int* fd,
                   platform::FileIdentity* opened) {
  platform::FileIdentity existing;
  bool existed = platform::IdentifyPath(path.c_str(), &existing) == 0;
  if (existed && platform::SameFile(existing, capture_id))
    return RefuseOverwrite();
  if (int error = platform::OpenForWriting(path.c_str(), fd))
    return ReportSystemError(error);
  int error = platform::Identify(*fd, opened);
  if (error == 0 && platform::SameFile(*opened, capture_id)) {
    platform::Close(*fd);
    if (!existed)  // the name is new: take it back
      platform::RemoveFile(path.c_str());
    return RefuseOverwrite();
  }
  // Devices such as /dev/null cannot be truncated and need not be.
  if (error == 0 && opened->regular)
    error = platform::TruncateToEmpty(*fd);
  if (error != 0) {
    platform::Close(*fd);
    return ReportSystemError(error);
  }
  return 0;
}

// An incomplete timing file would pass for a whole one: its own name goes.
// A link to it stays (the caller emptied the file while it was open), and a
// device is left alone.
void RemoveTimingFile(const std::string& path,
                      const platform::FileIdentity& opened) {
  platform::FileIdentity named;
  if (opened.regular && platform::IdentifyEntry(path.c_str(), &named) == 0 &&
      platform::SameFile(named, opened))
    platform::RemoveFile(path.c_str());
}

int WriteTimingFileAt(const std::string& path,
                      const platform::FileIdentity& capture_id,
                      Capture* capture, int64_t interval) {
  int fd;
  platform::FileIdentity opened;
  if (int status = OpenTimingFile(path, capture_id, &fd, &opened))
    return status;
  FileSink sink(fd);
  WriteTimingFile(capture, interval, &sink);
  int error = sink.error();
  if (error != 0 && opened.regular)
    platform::TruncateToEmpty(fd);  // so that no link keeps the bytes
  int close_error = platform::Close(fd);
  if (error == 0)
    error = close_error;
  if (error == 0)
    return 0;
  RemoveTimingFile(path, opened);
  return ReportSystemError(error);
}

int ConvertCapture(const char* capture_path, int capture_fd, Capture* capture) {
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
  PathParts parts = SplitPath(capture_path, platform::IsLeadByte);
  // A cut folder or name would put the timing file somewhere else, over
  // whatever is there.
  if (parts.shortened)
    return ReportSystemError(ENAMETOOLONG);
  return WriteTimingFileAt(JoinTimingPath(parts, platform::IsLeadByte),
                           capture_id, capture, interval);
}

}  // namespace

int RunConverter(int argc, char** argv) {
  platform::StartUp();
  if (argc != 2)
    return PrintUsage();
  if (int error = platform::CheckArgument(1))
    return ReportSystemError(error);
  int capture_fd;
  if (int error = platform::OpenForReading(argv[1], &capture_fd))
    return ReportSystemError(error);
  Capture capture{};  // a short read leaves zeros, never stale bytes
  int status = ConvertCapture(argv[1], capture_fd, &capture);
  int close_error = platform::Close(capture_fd);
  if (status != 0)
    return status;
  // The exit status reports the capture's close: -1 on an 8-bit status.
  return close_error != 0 ? 255 : 0;
}
