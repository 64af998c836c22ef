// Names the timing file for arbitrary path bytes, under a single-byte code
// page and under the Japanese double-byte one, and checks the name against
// the naming rules worked out here character by character: drive, folder and
// base name kept (each cut to 255 bytes of whole characters), a backslash
// where a cut took the folder's last separator, and ".tim" in place of the
// extension, with no double-byte character ever split.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "convert.h"

namespace {

bool NoLeadBytes(unsigned char) { return false; }

// The lead bytes of the Japanese Shift-JIS code page (932).
bool ShiftJisLeadByte(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

void Check(bool ok, const char* what, const std::string& path,
           const std::string& got, const std::string& expected) {
  if (ok)
    return;
  std::fprintf(stderr, "naming is wrong: %s\n", what);
  for (const std::string* s : {&path, &got, &expected}) {
    for (unsigned char c : *s)
      std::fprintf(stderr, "%02x", c);
    std::fprintf(stderr, "\n");
  }
  std::abort();
}

// A path as a list of characters: one byte, or a lead byte and the byte
// after it. A lead byte with nothing after it is no character and is left
// out.
std::vector<std::string> Characters(const std::string& bytes,
                                    LeadByteTest is_lead_byte) {
  std::vector<std::string> chars;
  size_t at = 0;
  while (at < bytes.size()) {
    size_t width = is_lead_byte(static_cast<unsigned char>(bytes[at])) ? 2 : 1;
    if (at + width > bytes.size())
      break;
    chars.push_back(bytes.substr(at, width));
    at += width;
  }
  return chars;
}

struct Component {
  std::string text;
  std::string last;  // its last character
  bool cut = false;
};

// Characters [from, to) as long as they fit in 255 bytes.
Component Take(const std::vector<std::string>& chars, size_t from, size_t to) {
  Component c;
  for (size_t k = from; k < to; ++k) {
    if (c.text.size() + chars[k].size() > 255) {
      c.cut = true;
      break;
    }
    c.text += chars[k];
    c.last = chars[k];
  }
  return c;
}

// too_long: the folder or the base name, as bytes of the path (a lone lead
// byte at its end included), is over 255 bytes, so the name cannot keep it.
std::string ExpectedName(const std::string& path, LeadByteTest is_lead_byte,
                         bool* too_long) {
  std::string drive;
  std::string rest = path;
  if (path.size() >= 2 && path[1] == ':') {
    drive = path.substr(0, 2);
    rest = path.substr(2);
  }
  const std::vector<std::string> chars = Characters(rest, is_lead_byte);
  size_t file_start = 0;  // first character after the last separator
  for (size_t k = 0; k < chars.size(); ++k) {
    if (chars[k] == "/" || chars[k] == "\\")
      file_start = k + 1;
  }
  size_t base_end = chars.size();
  for (size_t k = chars.size(); k > file_start; --k) {
    if (chars[k - 1] == ".") {
      base_end = k - 1;
      break;
    }
  }
  const Component folder = Take(chars, 0, file_start);
  const Component base = Take(chars, file_start, base_end);
  size_t folder_bytes = 0, base_bytes = 0;
  for (size_t k = 0; k < file_start; ++k)
    folder_bytes += chars[k].size();
  for (size_t k = file_start; k < base_end; ++k)
    base_bytes += chars[k].size();
  size_t whole_chars_bytes = 0;
  for (const std::string& c : chars)
    whole_chars_bytes += c.size();
  if (base_end == chars.size())  // the base takes a lone lead byte too
    base_bytes += rest.size() - whole_chars_bytes;
  *too_long = folder_bytes > 255 || base_bytes > 255;
  std::string name = drive;
  name += folder.text;
  if (!folder.text.empty() && folder.last != "/" && folder.last != "\\")
    name += '\\';  // the cut took the separator
  return name + base.text + ".tim";
}

void CheckNaming(const std::string& path, LeadByteTest is_lead_byte) {
  bool too_long;
  const std::string expected = ExpectedName(path, is_lead_byte, &too_long);
  const std::string got = TimingPathFor(path, is_lead_byte);
  Check(got == expected, "name differs from the rules", path, got, expected);
  // Ends in ".tim" as characters, not as the tail of a double-byte one.
  const std::vector<std::string> chars = Characters(got, is_lead_byte);
  const size_t n = chars.size();
  Check(n >= 4 &&
            chars[n - 4] + chars[n - 3] + chars[n - 2] + chars[n - 1] == ".tim",
        "does not end in the characters .tim", path, got, expected);
  const PathParts parts = SplitPath(path, is_lead_byte);
  Check(parts.shortened == too_long, "a cut not reported, or reported wrongly",
        path, got, expected);
  // Uncut, drive, folder and base are the path's own bytes, and what follows
  // them is the extension, or the lone lead byte the name drops.
  if (!parts.shortened) {
    const std::string kept = parts.drive + parts.directory + parts.base;
    const std::string rest = path.substr(std::min(kept.size(), path.size()));
    Check(path.compare(0, kept.size(), kept) == 0 &&
              (rest.empty() || rest[0] == '.' ||
               (rest.size() == 1 && is_lead_byte(rest[0]))),
          "parts do not make up the path", path, kept, expected);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path(reinterpret_cast<const char*>(data), size);
  CheckNaming(path, NoLeadBytes);
  CheckNaming(path, ShiftJisLeadByte);
  return 0;
}
