// The few operating-system services the tool needs. Everything that differs
// between systems stays behind these functions.
//
// Failures are returned as C runtime error numbers (0 for success), so that
// every message carries the runtime's own text for them, on every system.
#ifndef TROVCONV_PLATFORM_H_
#define TROVCONV_PLATFORM_H_

#include <cstddef>
#include <cstdint>
#include <string>

#ifndef _WIN32
#include <signal.h>
#endif

namespace platform {

// A file name as the system keeps it, and as the command line brings it:
// bytes on POSIX systems, taken as given with no encoding assumed; UTF-16
// code units on Windows, where every name a file can have, unpaired
// surrogates included, reaches the wide file calls unchanged.
#ifdef _WIN32
using PathChar = wchar_t;
#else
using PathChar = char;
#endif
using Path = std::basic_string<PathChar>;

#ifdef _WIN32
// The extended-length form of a full path ("\\?\C:\..." and
// "\\?\UNC\server\share\..."), which the system takes as it stands, of
// any length; device names and names already in that form are kept.
std::wstring ExtendedLength(const std::wstring& full);
#endif

// The name as the system is handed it: on Windows the full path in its
// extended-length form, made from the current folder as it is now;
// elsewhere path itself.
Path SystemName(const Path& path);

// Called once before anything else.
void StartUp();

// What makes two names the same file: links, and differently spelled paths,
// all resolve to one identity.
struct FileIdentity {
  uint64_t volume;
  uint64_t index;
  bool regular;  // a plain file, as opposed to a device, pipe or folder
};

// On Windows only files on disk have an identity: a device is never the
// same file as anything.
bool SameFile(const FileIdentity& a, const FileIdentity& b);

int OpenForReading(const Path& path, int* fd);
// The same, but never waiting to open: a FIFO opens at once, and anything
// but the plain file expected is for the caller to turn down unread.
int OpenWithoutWaiting(const Path& path, int* fd);
// Reads until size bytes have arrived or the file ends.
int ReadUpTo(int fd, void* buffer, size_t size, size_t* delivered);
int Identify(int fd, FileIdentity* id);
// ENOENT when nothing is there. IdentifyPath follows symbolic links;
// IdentifyEntry describes the name itself, so a link is never the file it
// leads to.
int IdentifyPath(const Path& path, FileIdentity* id);
int IdentifyEntry(const Path& path, FileIdentity* id);
int TruncateToEmpty(int fd);
int WriteAll(int fd, const void* data, size_t size);

// The single system calls beneath ReadUpTo and WriteAll: each moves what it
// can at once and says how much. A read of 0 bytes is the end of the file.
int ReadOnce(int fd, void* buffer, size_t size, size_t* count);
int WriteOnce(int fd, const void* data, size_t size, size_t* count);
int Close(int fd);
// Has a file on another machine report what its client kept back: Windows'
// clients of a share may report a failed write (a quota, a lost server)
// only when the data is flushed, or never. Nothing for a local file, whose
// flush would cost the time of writing it all out, nor elsewhere, where
// the close reports it.
int FlushIfRemote(int fd);
// Another descriptor of the same open file; -1 when none can be had.
int Duplicate(int fd);
int RemoveFile(const Path& path);

// The system's own text, as it is: an error path must not need memory.
const char* ErrorText(int error);

// The name of the file capture identifies, opened as path, for its timing
// file to be named after. On Windows it is the full path, with the folder
// as given and, for the file's own name, its entry in that folder (its long
// name, in the case it is stored in): the system reaches a file by spellings
// (a short alias, trailing dots and spaces, a stream, another case) that
// would make another file's timing name. A name whose entry cannot be found,
// or is not that file, gives an error. Elsewhere path, as given.
int EntryName(const Path& path, const FileIdentity& capture, Path* entry);

// Returned by TimingFile::Open, not a system error: another run holds the
// file, and has changed nothing of it.
constexpr int kWrittenByAnotherRun = -1;

// Takes the lock that one run writing a timing file holds, without
// waiting: kWrittenByAnotherRun while another run holds it. A file system
// that has no locks gives none, and 0: the run goes on as it would have.
int LockForWriting(int fd);

// The timing file from its open to its end: committed whole, or abandoned
// after a failed write or close, a refusal, or an interruption (Ctrl-C, a
// closed terminal or window, logoff, shutdown, a request to terminate),
// which then ends the process by the same signal (on Windows with the
// status of Ctrl-C). One at a time: an interruption finds it.
class TimingFile {
 public:
  TimingFile() = default;
  TimingFile(const TimingFile&) = delete;
  TimingFile& operator=(const TimingFile&) = delete;

  // Creates the file, or opens what is there unchanged, for the caller to
  // check first. An interruption ends an open that waits (a FIFO). A plain
  // file is locked (LockForWriting) before anything else is done with it.
  int Open(const Path& path);
  int fd() const { return fd_; }
  // Its SystemName, made once at the open: nothing later needs memory.
  const Path& name() const { return name_; }
  const FileIdentity& identity() const { return identity_; }
  // From here on the file's bytes are this run's, to write or take back.
  int Empty();
  // Closes the file, complete. One whose close fails is abandoned.
  int Commit();
  // Empties the file if its bytes are this run's, closes it, and removes
  // its name if that name was the file itself when opened and still is.
  // Async-signal-safe: interruptions end here too.
  void Abandon();

 private:
  // Held for every step of the file's life, so that an interruption finds
  // the file before or after a step, never halfway through one.
  struct Hold {
    Hold();
    ~Hold();
#ifndef _WIN32
    sigset_t saved;  // the signal mask it restores
#endif
  };

  // Held, with the file just opened: from here an interruption abandons it.
  int Adopt(bool made);
  // Locked, the file is this run's to write: no other run has it, nor took
  // its name away before the lock came.
  int Lock(bool made);
  bool RemoveIfStillNamed();
  void Arm();
  static void Disarm();

  int fd_ = -1;
  Path name_;
  FileIdentity identity_ = {0, 0, false};
  bool owned_ = false;         // made by this run, or emptied by it
  bool name_is_file_ = false;  // not a link to it, nor anything else
};

}  // namespace platform

#endif  // TROVCONV_PLATFORM_H_
