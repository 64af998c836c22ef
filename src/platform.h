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
// Reads until size bytes have arrived or the file ends.
int ReadUpTo(int fd, void* buffer, size_t size, size_t* delivered);
// Creates the file, or opens it as it is: nothing is truncated here, so that
// the caller can check what it opened before changing it. Called, and
// returning, with interruptions held (InterruptionsHeld), it lets them
// through while the open waits (a FIFO with no reader, a stalled share), so
// that one still ends the wait; it is then returned in *interruption, not
// acted on (0 when none came), and the caller ends with EndByInterruption
// once it has taken back what it opened.
int OpenForWriting(const Path& path, int* fd, int* interruption);
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
int RemoveFile(const Path& path);

std::string ErrorText(int error);

// An interruption (Ctrl-C, a closed terminal or console window, a request to
// terminate) while the timing file is open would leave it cut off, looking
// whole. From CleanUpOnInterruption until NoCleanUpOnInterruption, one
// empties the file open as fd and removes path if that name is still the
// file itself, as after a failed write, and then ends the process as
// interrupted (by the same signal; on Windows with the status of Ctrl-C).
// Outside that span an interruption does what it does by default.
void CleanUpOnInterruption(int fd, const Path& path,
                           const FileIdentity& opened);
void NoCleanUpOnInterruption();
[[noreturn]] void EndByInterruption(int interruption);

// Holds interruptions back, for as long as it lives, so that steps which
// must not be split (opening and checking the timing file and arming the
// clean-up; closing it and disarming) are not. An interruption that comes
// meanwhile is not lost: it is handled when the hold ends.
class InterruptionsHeld {
 public:
  InterruptionsHeld();
  ~InterruptionsHeld();
  InterruptionsHeld(const InterruptionsHeld&) = delete;
  InterruptionsHeld& operator=(const InterruptionsHeld&) = delete;

 private:
#ifndef _WIN32
  sigset_t saved_;  // the signal mask it restores
#endif
};

}  // namespace platform

#endif  // TROVCONV_PLATFORM_H_
