// Names the timing file for arbitrary paths, as bytes (POSIX systems) and as
// UTF-16 code units (Windows, two input bytes a unit), and checks the name
// against the naming rules: the path's own drive, folder and base name,
// whole however long, then ".tim" in place of the extension.
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

// The file name: after the drive and the last separator.
template <typename Char>
bool FileNameHasDot(const std::basic_string<Char>& path, size_t drive) {
  for (size_t k = path.size(); k > drive && !IsSeparator(path[k - 1]); --k) {
    if (path[k - 1] == '.')
      return true;
  }
  return false;
}

// The rules, checked on what came out rather than redone: the name is the
// path with ".tim" after it, less a removed extension; what was removed is
// the file name's last dot and what follows it, so it holds no other dot
// and no separator, and never reaches into a drive ("C:"); and where
// nothing was removed, the file name has no dot to remove.
template <typename Char>
void CheckNaming(const std::basic_string<Char>& path) {
  const std::basic_string<Char> got = TimingPathFor(path);
  std::basic_string<Char> tim;
  for (char c : {'.', 't', 'i', 'm'})
    tim += static_cast<Char>(c);
  Check(got.size() >= 4 && got.compare(got.size() - 4, 4, tim) == 0,
        "does not end in .tim", path, got);
  const std::basic_string<Char> kept = got.substr(0, got.size() - 4);
  Check(path.compare(0, kept.size(), kept) == 0, "not the path's own start",
        path, got);
  const std::basic_string<Char> removed = path.substr(kept.size());
  for (size_t k = 0; k < removed.size(); ++k) {
    Check(k == 0 ? removed[k] == '.'
                 : removed[k] != '.' && !IsSeparator(removed[k]),
          "removed more or less than the last extension", path, got);
  }
  const size_t drive = path.size() >= 2 && path[1] == ':' ? 2 : 0;
  Check(!removed.empty() || !FileNameHasDot(path, drive), "kept an extension",
        path, got);
  Check(removed.empty() || kept.size() >= drive, "cut into the drive", path,
        got);
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
