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

// Called once before anything else.
void StartUp();

// 0 when argument index of the command line reached the program as it was
// typed. Where arguments pass through a code page that lacks some of their
// characters, those are replaced by look-alikes, and a name would lead to
// another file: EILSEQ then.
int CheckArgument(int index);

// Whether byte c starts a double-byte character in the system's multibyte
// code page. Where there is no such code page every byte stands alone.
bool IsLeadByte(unsigned char c);

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

int OpenForReading(const char* path, int* fd);
// Reads until size bytes have arrived or the file ends.
int ReadUpTo(int fd, void* buffer, size_t size, size_t* delivered);
// Creates the file, or opens it as it is: nothing is truncated here, so that
// the caller can check what it opened before changing it.
int OpenForWriting(const char* path, int* fd);
int Identify(int fd, FileIdentity* id);
// ENOENT when nothing is there. IdentifyPath follows symbolic links;
// IdentifyEntry describes the name itself, so a link is never the file it
// leads to.
int IdentifyPath(const char* path, FileIdentity* id);
int IdentifyEntry(const char* path, FileIdentity* id);
int TruncateToEmpty(int fd);
int WriteAll(int fd, const void* data, size_t size);

// The single system calls beneath ReadUpTo and WriteAll: each moves what it
// can at once and says how much. A read of 0 bytes is the end of the file.
int ReadOnce(int fd, void* buffer, size_t size, size_t* count);
int WriteOnce(int fd, const void* data, size_t size, size_t* count);
int Close(int fd);
int RemoveFile(const char* path);

std::string ErrorText(int error);

}  // namespace platform

#endif  // TROVCONV_PLATFORM_H_
