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
  if (int error = Identify(fd_, &identity_)) {
    Close(fd_);
    fd_ = -1;
    if (made)
      RemoveFile(*path_);  // made a moment ago, and still empty
    return error;
  }
  FileIdentity named;
  name_is_file_ =
      IdentifyEntry(*path_, &named) == 0 && SameFile(named, identity_);
  owned_ = made;
  Arm();
  return 0;
}

// A failed truncation has changed nothing: the file stays the user's.
// Devices such as /dev/null cannot be truncated and need not be.
int TimingFile::Empty() {
  Hold hold;
  if (!identity_.regular)
    return 0;
  const int error = TruncateToEmpty(fd_);
  owned_ = error == 0;
  return error;
}

// A close can report a write that failed late (a network file system on
// Linux; Windows tells only later): the copy keeps the file to empty.
int TimingFile::Commit() {
  Hold hold;
  const int spare = Duplicate(fd_);
  int error = Close(fd_);
  fd_ = spare;
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

void TimingFile::Abandon() {
  Hold hold;
  if (fd_ >= 0) {
    if (owned_)
      TruncateToEmpty(fd_);  // so that no other link keeps the bytes
    Close(fd_);              // on Windows an open file's name cannot go
    fd_ = -1;
  }
  FileIdentity named;
  if (owned_ && name_is_file_ && IdentifyEntry(*path_, &named) == 0 &&
      SameFile(named, identity_))
    RemoveFile(*path_);
  Disarm();
}

}  // namespace platform
