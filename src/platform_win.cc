// Windows: files are the C runtime's descriptors, and failures carry its
// error numbers and texts; names are UTF-16 throughout, and writes and
// identities go to the system itself.
#include <windows.h>
// After windows.h, which the others rely on.
#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "call_seam.h"
#include "platform.h"

namespace platform {

namespace {

// The runtime moves at most INT_MAX bytes a call.
unsigned Limited(size_t size) {
  return static_cast<unsigned>(size < INT_MAX ? size : INT_MAX);
}

HANDLE SystemHandle(int fd) {
  // The runtime hands the handle out as an integer; there is no other way.
  return reinterpret_cast<HANDLE>(  // NOLINT(performance-no-int-to-ptr)
      _get_osfhandle(fd));
}

// For the calls made outside the C runtime: its numbers for the errors
// they meet, so that the texts are its own.
int ErrorFromSystem(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
      return EACCES;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_FILE_TOO_LARGE:
      return EFBIG;
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
      return EPIPE;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    default:
      return EIO;
  }
}

// The numbers the runtime's own open gives for the system's errors (an
// invalid name is EINVAL, a name too long ENOENT), so that an open made
// outside it fails with the texts an open through it has.
int RuntimeError(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_NO_MORE_FILES:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
      return ENOENT;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_TOO_MANY_OPEN_FILES:
      return EMFILE;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_NOT_ENOUGH_QUOTA:
      return ENOMEM;
    case ERROR_DISK_FULL:
      return ENOSPC;
    case ERROR_BROKEN_PIPE:
      return EPIPE;
    case ERROR_ACCESS_DENIED:
    case ERROR_NETWORK_ACCESS_DENIED:
    case ERROR_CANNOT_MAKE:
    case ERROR_CURRENT_DIRECTORY:
    case ERROR_DRIVE_LOCKED:
    case ERROR_FAIL_I24:
    case ERROR_LOCK_FAILED:
      return EACCES;
    default:  // the write-protect to sharing-buffer range too
      return code >= ERROR_WRITE_PROTECT &&
                     code <= ERROR_SHARING_BUFFER_EXCEEDED
                 ? EACCES
                 : EINVAL;
  }
}

// Only files on disk have an identity worth comparing; devices, pipes and
// the console are never taken for the capture.
int Describe(HANDLE handle, FileIdentity* id) {
  *id = FileIdentity{0, 0, false, false, 0};
  if (GetFileType(handle) != FILE_TYPE_DISK)
    return 0;
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info))
    return ErrorFromSystem(GetLastError());
  // A reparse point opened through is the file itself (deduplicated and
  // cloud files carry the mark too); a link opened as such has an identity
  // of its own.
  const DWORD not_plain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE;
  *id = FileIdentity{
      info.dwVolumeSerialNumber,
      (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow,
      (info.dwFileAttributes & not_plain) == 0, false,
      (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow};
  return 0;
}

}  // namespace

// The name to hand the system: the full path in its extended-length form,
// which the system takes as it stands, past 260 characters too, with no
// setting of the user's. The full path is made as the system itself would
// make it (current folder, a drive's own current folder, "." and "..",
// trailing dots and spaces), so the file named is the one a plain call
// would reach. A path already in that form is meant literally and is kept,
// and so are device names.
//
// The full path is made in one call, into room for the longest path the
// system has (32767 units), never into a buffer sized by asking first: for
// a name relative to another drive's current folder ("C:run.dat"), Wine's
// call copies that folder into a heap block of the size it was given and
// writes past it, and a size query gives it none. One unit more would not
// do either: Wine keeps the size as a 16-bit byte count.
std::wstring SystemName(const Path& path) {
  if (path.compare(0, 4, L"\\\\?\\") == 0)
    return path;
  const DWORD kLongestPath = 32767;
  std::wstring full(kLongestPath, L'\0');
  DWORD length =
      GetFullPathNameW(path.c_str(), kLongestPath, &full[0], nullptr);
  if (length == 0 || length >= kLongestPath)
    return path;  // the call that takes it will say what is wrong
  full.resize(length);
  return ExtendedLength(full);
}

namespace {

// A name in that form already (the timing file's, made at its open) is
// used as it is: nothing to allocate.
const std::wstring& InSystemForm(const Path& path, std::wstring* made) {
  if (path.compare(0, 4, L"\\\\?\\") == 0)
    return path;
  *made = SystemName(path);
  return *made;
}

int DescribePath(const Path& path, DWORD flags, FileIdentity* id) {
  SEAM_CALL(EIO);
  // No access asked for: this works on folders and on files others hold.
  std::wstring made;
  HANDLE handle = CreateFileW(
      InSystemForm(path, &made).c_str(), 0,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE)
    return ErrorFromSystem(GetLastError());
  int error = Describe(handle, id);
  CloseHandle(handle);
  return error;
}

// Windows refuses to open a folder as a file with a plain "access denied";
// say what is really wrong, as other systems do.
int OpenError(const std::wstring& name, int error) {
  DWORD attributes = GetFileAttributesW(name.c_str());
  if (error == EACCES && attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_DIRECTORY))
    return EISDIR;
  return error;
}

}  // namespace

// Opened by the system's call, not the runtime's open, which shares no
// removal: with it, no other program could remove or rename the file while
// the tool has it open, nor could the tool remove a name it made before it
// lets go of the file. The handle is not inherited.
int OpenFile(const Path& path, int flags, int* fd) {
  SEAM_CALL(EACCES);
  std::wstring made;
  const std::wstring& name = InSystemForm(path, &made);
  const int access = flags & (_O_RDONLY | _O_WRONLY | _O_RDWR);
  const DWORD wanted = access == _O_RDWR     ? GENERIC_READ | GENERIC_WRITE
                       : access == _O_WRONLY ? GENERIC_WRITE
                                             : GENERIC_READ;
  const DWORD disposition = !(flags & _O_CREAT) ? OPEN_EXISTING
                            : (flags & _O_EXCL) ? CREATE_NEW
                                                : OPEN_ALWAYS;
  HANDLE handle =
      CreateFileW(name.c_str(), wanted,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  const DWORD code = GetLastError();
  if (handle == INVALID_HANDLE_VALUE)
    return OpenError(name, RuntimeError(code));
  *fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_NOINHERIT);
  if (*fd >= 0)
    return 0;
  // No descriptor to be had: a file made here goes again, or the run would
  // not know of it.
  const int error = errno;
  CloseHandle(handle);
  if (disposition == CREATE_NEW ||
      (disposition == OPEN_ALWAYS && code != ERROR_ALREADY_EXISTS))
    DeleteFileW(name.c_str());
  return error;
}

std::wstring ExtendedLength(const std::wstring& full) {
  const std::wstring unc = L"\\\\", extended = L"\\\\?\\", device = L"\\\\.\\";
  if (full.compare(0, 4, extended) == 0 || full.compare(0, 4, device) == 0)
    return full;
  if (full.compare(0, 2, unc) == 0)
    return extended + L"UNC\\" + full.substr(2);
  return extended + full;
}

void StartUp() {
  // A console tool must never stop to ask about a drive without a disk.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  // Every message line ends in CR LF, as the console expects.
  _setmode(_fileno(stderr), _O_TEXT);
}

bool SameFile(const FileIdentity& a, const FileIdentity& b) {
  return a.regular && b.regular && a.volume == b.volume && a.index == b.index;
}

int OpenForReading(const Path& path, int* fd) {
  return OpenFile(path, _O_RDONLY, fd);
}

int OpenToEmpty(const Path& path, int* fd) {
  return OpenFile(path, _O_WRONLY, fd);
}

int ReadOnce(int fd, void* buffer, size_t size, size_t* count) {
  SEAM_CALL(EIO);
  int got = _read(fd, buffer, Limited(size));
  *count = got < 0 ? 0 : static_cast<size_t>(got);
  return got < 0 ? errno : 0;
}

int ReadStart(int fd, void* buffer, size_t size, size_t* delivered) {
  *delivered = 0;
  if (_lseeki64(fd, 0, SEEK_SET) != 0)
    return errno;
  const int error = ReadUpTo(fd, buffer, size, delivered);
  if (_lseeki64(fd, 0, SEEK_SET) != 0 && error == 0)
    return errno;
  return error;
}

int Identify(int fd, FileIdentity* id) {
  SEAM_CALL(EIO);
  return Describe(SystemHandle(fd), id);
}

int IdentifyPath(const Path& path, FileIdentity* id) {
  return DescribePath(path, 0, id);
}

int IdentifyEntry(const Path& path, FileIdentity* id) {
  return DescribePath(path, FILE_FLAG_OPEN_REPARSE_POINT, id);
}

int TruncateToEmpty(int fd) {
  SEAM_CALL(EACCES);
  return _chsize_s(fd, 0);
}

// Straight to the system: the runtime's _write takes a short write for a
// failure and reports whatever error the thread saw last, often none of
// its own. A short write here is retried, and the failure that stops it is
// the real one.
int WriteOnce(int fd, const void* data, size_t size, size_t* count) {
  SEAM_CALL(ENOSPC);
  DWORD put = 0;
  const BOOL written = WriteFile(
      SystemHandle(fd), data, static_cast<DWORD>(Limited(size)), &put, nullptr);
  *count = put;
  return written ? 0 : ErrorFromSystem(GetLastError());
}

// A close that fails late has let go of the descriptor all the same.
int Close(int fd) {
  SEAM_CALL((_close(fd), EIO));
  return _close(fd) != 0 ? errno : 0;
}

// The handle says where the file is: a share's name may be mapped to a
// drive letter, or reached through a link.
int FlushIfRemote(int fd) {
  SEAM_CALL(EIO);
  HANDLE file = SystemHandle(fd);
  FILE_REMOTE_PROTOCOL_INFO remote;
  if (GetFileType(file) != FILE_TYPE_DISK ||
      !GetFileInformationByHandleEx(file, FileRemoteProtocolInfo, &remote,
                                    sizeof remote))
    return 0;
  return FlushFileBuffers(file) ? 0 : ErrorFromSystem(GetLastError());
}

int Duplicate(int fd) {
  SEAM_CALL(-1);
  return _dup(fd);
}

// A file that another program holds open without letting it be removed
// is busy, as a file in use elsewhere is; other failures have the
// runtime's numbers.
int RemoveFile(const Path& path) {
  SEAM_CALL(EBUSY);
  std::wstring made;
  if (DeleteFileW(InSystemForm(path, &made).c_str()))
    return 0;
  const DWORD code = GetLastError();
  return code == ERROR_SHARING_VIOLATION ? EBUSY : RuntimeError(code);
}

const char* ErrorText(int error) { return std::strerror(error); }

// The full path is the one the capture was opened by, its folder spelled as
// given (no link in it resolved), so the timing file goes where the name
// said. Of the file's own name, the system reads a stream from the first
// colon on, and the listing would take "*?<>\"" for a pattern. The entry it
// lists is used only if it is the capture opened: a name reached by an
// alias, or swapped in since the open, could be another file's.
int EntryName(const Path& path, const FileIdentity& capture, Path* entry) {
  const std::wstring full = SystemName(path);
  const size_t name_at = full.find_last_of(L"\\/") + 1;  // 0 if none
  const std::wstring folder = full.substr(0, name_at);
  const std::wstring name =
      full.substr(name_at, full.find(L':', name_at) - name_at);
  if (name.empty() || name.find_first_of(L"*?<>\"") != std::wstring::npos)
    return ErrorFromSystem(ERROR_INVALID_NAME);
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + name).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE)
    return ErrorFromSystem(GetLastError());
  FindClose(search);
  *entry = folder + found.cFileName;
  FileIdentity listed = {};  // no file, unless found
  if (int error = IdentifyPath(*entry, &listed))
    return error;
  return SameFile(listed, capture) ? 0 : ENOENT;
}

// Windows' locks bind every reader and writer of the bytes they cover: one
// byte far past the end of any timing file leaves the file's own bytes
// open to all, as they are on other systems.
bool LockedElsewhere(int fd) {
  SEAM_CALL(false);  // as where no locks are to be had
  OVERLAPPED at = {};
  at.Offset = 0xFFFFFFFE;
  at.OffsetHigh = 0x7FFFFFFF;
  return !LockFileEx(SystemHandle(fd),
                     LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1,
                     0, &at) &&
         GetLastError() == ERROR_LOCK_VIOLATION;
}

}  // namespace platform
