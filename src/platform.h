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

// Opens with the runtime's flags (_O_RDWR, _O_CREAT, _O_EXCL), leaving the
// file open to every other reader and writer, and to its removal.
int OpenFile(const Path& path, int flags, int* fd);
#endif

// The name as the system is handed it: on Windows the full path in its
// extended-length form, made from the current folder as it is now;
// elsewhere path itself.
Path SystemName(const Path& path);

// Called once before anything else.
void StartUp();

// What makes two names the same file: links, and differently spelled paths,
// all resolve to one identity.
// And what the file is, as it was when described.
struct FileIdentity {
  uint64_t volume;
  uint64_t index;
  bool regular;  // a plain file, as opposed to a device, pipe or folder
  bool fifo;
  uint64_t size;  // of a plain file
};

// On Windows only files on disk have an identity: a device is never the
// same file as anything.
bool SameFile(const FileIdentity& a, const FileIdentity& b);

int OpenForReading(const Path& path, int* fd);
// Opens what is there for writing, never waiting and never making
// anything. Async-signal-safe.
int OpenToEmpty(const Path& path, int* fd);
// Reads until size bytes have arrived or the file ends.
int ReadUpTo(int fd, void* buffer, size_t size, size_t* delivered);
// The same from a plain file's start, leaving its position there.
int ReadStart(int fd, void* buffer, size_t size, size_t* delivered);
int Identify(int fd, FileIdentity* id);
// ENOENT when nothing is there. IdentifyPath follows symbolic links;
// IdentifyEntry describes the name itself, so a link is never the file it
// leads to.
int IdentifyPath(const Path& path, FileIdentity* id);
int IdentifyEntry(const Path& path, FileIdentity* id);
int TruncateToEmpty(int fd);

// The single system calls beneath ReadUpTo and the writes: each moves what
// it can at once and says how much. A read of 0 bytes is the end of the
// file.
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

// Takes the lock that one run writing a timing file holds, without
// waiting: true while another run holds it. A file system that has no
// locks gives none, and false: the run goes on as it would have.
bool LockedElsewhere(int fd);

}  // namespace platform

#endif  // TROVCONV_PLATFORM_H_
