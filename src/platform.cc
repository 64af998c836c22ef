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

}  // namespace platform
