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

}  // namespace platform
