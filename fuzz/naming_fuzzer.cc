// Names the timing file for arbitrary paths, as bytes (POSIX systems) and as
// UTF-16 code units (Windows, two input bytes a unit), and checks the name
// against the naming rules worked out here another way: the path's own
// drive, folder and base name, whole however long, then ".tim" in place of
// the extension.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "convert.h"

namespace {

template <typename Char>
void Check(bool ok, const char* what, const std::basic_string<Char>& path,
           const std::basic_string<Char>& got) {
  if (ok)
    return;
  std::fprintf(stderr, "naming is wrong (%zu-byte units): %s\n", sizeof(Char),
               what);
  for (const std::basic_string<Char>* s : {&path, &got}) {
    for (Char c : *s)
      std::fprintf(stderr, "%x ", static_cast<unsigned>(c));
    std::fprintf(stderr, "\n");
  }
  std::abort();
}

template <typename Char>
bool IsSeparator(Char c) {
  return c == '/' || c == '\\';
}

// Walks back from the end: the extension is what follows the last dot of
// the file part, and the file part what follows the last separator after
// the drive.
template <typename Char>
std::basic_string<Char> ExpectedName(const std::basic_string<Char>& path) {
  const size_t drive = path.size() >= 2 && path[1] == ':' ? 2 : 0;
  size_t end = path.size();
  for (size_t k = path.size(); k > drive && !IsSeparator(path[k - 1]); --k) {
    if (path[k - 1] == '.') {
      end = k - 1;
      break;
    }
  }
  std::basic_string<Char> name = path.substr(0, end);
  for (char c : {'.', 't', 'i', 'm'})
    name += static_cast<Char>(c);
  return name;
}

template <typename Char>
void CheckNaming(const std::basic_string<Char>& path) {
  const std::basic_string<Char> got = TimingPathFor(path);
  Check(got == ExpectedName(path), "name differs from the rules", path, got);
  const PathParts<Char> parts = SplitPath(path);
  Check(parts.drive + parts.directory + parts.base + parts.extension == path,
        "parts do not make up the path", path, got);
  Check(parts.extension.empty() || parts.extension[0] == '.',
        "extension does not start at a dot", path, got);
  Check(parts.directory.empty() || IsSeparator(parts.directory.back()),
        "folder does not end in a separator", path, got);
  for (Char c : parts.base + parts.extension)
    Check(!IsSeparator(c), "separator after the folder", path, got);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CheckNaming(std::string(reinterpret_cast<const char*>(data), size));
  std::wstring units;
  for (size_t at = 0; at + 1 < size; at += 2)
    units += static_cast<wchar_t>(data[at] | data[at + 1] << 8);
  CheckNaming(units);
  return 0;
}
