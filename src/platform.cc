#include "platform.h"

#include <cerrno>

namespace platform {

int ReadUpTo(int fd, void* buffer, size_t size, size_t* delivered) {
  char* at = static_cast<char*>(buffer);
  *delivered = 0;
  while (*delivered < size) {
    size_t got;
    if (int error = ReadOnce(fd, at + *delivered, size - *delivered, &got))
      return error;
    if (got == 0)
      break;
    *delivered += got;
  }
  return 0;
}

int WriteAll(int fd, const void* data, size_t size) {
  const char* at = static_cast<const char*>(data);
  while (size > 0) {
    size_t put;
    if (int error = WriteOnce(fd, at, size, &put))
      return error;
    if (put == 0)  // no progress and no error: never spin on it
      return EIO;
    at += put;
    size -= put;
  }
  return 0;
}

int TimingFile::Adopt(bool made) {
  if (int error = Lock(made)) {
    Close(fd_);
    fd_ = -1;
    // Made a moment ago, and still empty, unless another run has it now.
    if (made && error != kWrittenByAnotherRun)
      RemoveFile(name_);
    return error;
  }
  FileIdentity named;
  name_is_file_ =
      IdentifyEntry(name_, &named) == 0 && SameFile(named, identity_);
  owned_ = made;
  Arm();
  return 0;
}

// A file this run made is a plain one, locked before it is even
// identified: until then another run may open it and take it over. A run
// that gives a file up removes its name before it lets go of the lock, so
// a name that no longer leads to the file means that another run had it.
int TimingFile::Lock(bool made) {
  int error = made ? LockForWriting(fd_) : 0;
  if (error == 0)
    error = Identify(fd_, &identity_);
  if (error == 0 && !made && identity_.regular)
    error = LockForWriting(fd_);
  FileIdentity named;
  if (error == 0 && identity_.regular) {
    const int looked = IdentifyPath(name_, &named);
    if (looked == ENOENT || (looked == 0 && !SameFile(named, identity_)))
      error = kWrittenByAnotherRun;
  }
  return error;
}

// A file this run made is empty, and is left alone, as an open that
// truncates leaves a file it has just created: on ext4 a truncation to zero
// marks the file as replaced, and its close then starts writing it all out
// to disk, at a cost. A failed truncation has changed nothing: the file
// stays the user's. Devices such as /dev/null cannot be truncated and need
// not be.
int TimingFile::Empty() {
  Hold hold;
  if (!identity_.regular || owned_)
    return 0;
  const int error = TruncateToEmpty(fd_);
  owned_ = error == 0;
  return error;
}

// A write that failed late is reported by the flush of a file on a share
// (Windows) or by the close (a network file system on Linux): the copy
// keeps the file to empty.
int TimingFile::Commit() {
  Hold hold;
  int error = FlushIfRemote(fd_);
  if (error == 0) {
    const int spare = Duplicate(fd_);
    error = Close(fd_);
    fd_ = spare;
  }
  if (error == 0 && fd_ >= 0) {
    error = Close(fd_);
    fd_ = -1;
  }
  if (error != 0)
    Abandon();
  else
    Disarm();
  return error;
}

// The name goes while the file is still open, and so still locked, where
// the system allows it: no other run can take the file over before that.
// Windows removes no open file: there the name goes after the close, and
// stays if another run has the file open by then, for that run to write.
void TimingFile::Abandon() {
  Hold hold;
  if (fd_ >= 0 && owned_)
    TruncateToEmpty(fd_);  // so that no other link keeps the bytes
  const bool removed = RemoveIfStillNamed();
  if (fd_ >= 0) {
    Close(fd_);
    fd_ = -1;
  }
  if (!removed)
    RemoveIfStillNamed();
  Disarm();
}

bool TimingFile::RemoveIfStillNamed() {
  FileIdentity named;
  return owned_ && name_is_file_ && IdentifyEntry(name_, &named) == 0 &&
         SameFile(named, identity_) && RemoveFile(name_) == 0;
}

}  // namespace platform
