#include "timing_writer.h"

#include <cstring>

#include "capture.h"

namespace {

bool WriteText(Sink* out, const char* text) {
  return out->Write(text, std::strlen(text));
}

// Digits of a non-negative value, written backwards from end; returns the
// first digit. Times are never negative: the interval is always positive.
char* FormatDecimal(uint64_t value, char* end) {
  do {
    *--end = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  return end;
}

char* Append(char* at, const char* text) {
  size_t size = std::strlen(text);
  std::memcpy(at, text, size);
  return at + size;
}

char* AppendDecimal(char* at, uint64_t value) {
  char digits[20];
  char* end = digits + sizeof digits;
  char* first = FormatDecimal(value, end);
  std::memcpy(at, first, static_cast<size_t>(end - first));
  return at + (end - first);
}

bool WriteEdge(Sink* out, int sample, int level, int64_t time) {
  char line[80];
  char* at = line;
  *at++ = 'E';
  at = AppendDecimal(at, static_cast<uint64_t>(sample));
  *at++ = '\t';
  *at++ = static_cast<char>('0' + level);
  *at++ = '\t';
  at = AppendDecimal(at, static_cast<uint64_t>(time));
  at = Append(at, "000\t");
  at = AppendDecimal(at, static_cast<uint64_t>(time));
  at = Append(at, "000\t\t\r\n");
  return out->Write(line, static_cast<size_t>(at - line));
}

// Copies the name byte for byte, but a line feed in it still becomes a full
// line end, as every line feed of the file does.
bool WriteName(Sink* out, const uint8_t* name, size_t size) {
  const char* at = reinterpret_cast<const char*>(name);
  const char* end = at + size;
  while (at != end) {
    const void* lf = std::memchr(at, '\n', static_cast<size_t>(end - at));
    const char* stop = lf ? static_cast<const char*>(lf) : end;
    if (!out->Write(at, static_cast<size_t>(stop - at)))
      return false;
    if (stop == end)
      break;
    if (!out->Write("\r\n", 2))
      return false;
    at = stop + 1;
  }
  return true;
}

// Only the first six bytes are edited, whatever they hold (a NUL included),
// because that is the form existing timing files have.
void UnderscoreSpaces(uint8_t* name) {
  for (int k = 0; k < 6; ++k) {
    if (name[k] == ' ')
      name[k] = '_';
  }
}

bool WriteSignal(Sink* out, Capture* capture, int i, int64_t interval) {
  UnderscoreSpaces(capture->NameRecord(i));
  if (!WriteText(out, "SIGNAL\t") ||
      !WriteName(out, capture->NameRecord(i), capture->NameLength(i)) ||
      !WriteText(out, "\r\nPROPS!\r\n"))
    return false;
  int previous = 0;
  int64_t time = 0;
  for (int j = 0; j < kSampleCount; ++j) {
    int level = capture->Level(i, j);
    if (level != previous && !WriteEdge(out, j, level, time))
      return false;
    previous = level;
    time += interval;
  }
  return WriteText(out, "!\r\n\r\n");
}

}  // namespace

bool WriteTimingFile(Capture* capture, int64_t interval, Sink* out) {
  if (!WriteText(out, "Timing Diagram Editor v5\r\n"))
    return false;
  for (int i = 0; i < capture->SignalCount(); ++i) {
    if (!WriteSignal(out, capture, i, interval))
      return false;
  }
  return true;
}
