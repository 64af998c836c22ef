#include "timing_writer.h"

#include <algorithm>
#include <cstring>

#include "capture.h"

namespace {

constexpr size_t kChunkSize = size_t{128} * 1024;
// An edge line has at most 59 bytes, even with two 20-digit times (real
// captures give at most 49); a slot of this size is copied whole, whatever
// the line's length.
constexpr size_t kEdgeSlot = 64;
static_assert(19 + 2 * 20 <= kEdgeSlot,
              "an edge line with two 20-digit times must fit its slot");

// Gathers the file into chunks, so that the sink sees few, large writes.
// After a failed write nothing more reaches the sink.
class Output {
 public:
  Output(Sink* sink, char* chunk) : sink_(sink), chunk_(chunk) {}

  bool ok() const { return ok_; }

  void Append(const char* data, size_t size) {
    while (size > 0) {
      if (used_ == kChunkSize)
        Flush();
      size_t part = std::min(size, kChunkSize - used_);
      std::memcpy(chunk_ + used_, data, part);
      used_ += part;
      data += part;
      size -= part;
    }
  }

  void Append(const char* text) { Append(text, std::strlen(text)); }

  // Free space of at least size bytes (no more than a chunk), to be filled
  // and then committed.
  char* Reserve(size_t size) {
    if (kChunkSize - used_ < size)
      Flush();
    return chunk_ + used_;
  }

  void Commit(size_t size) { used_ += size; }

  void Flush() {
    if (ok_ && used_ > 0)
      ok_ = sink_->Write(chunk_, used_);
    used_ = 0;
  }

 private:
  Sink* sink_;
  char* chunk_;  // kChunkSize bytes, filled before they are read
  bool ok_ = true;
  size_t used_ = 0;
};

// Digits of a non-negative value, written backwards from end; returns the
// first digit. Times are never negative: the interval is always positive.
char* FormatDecimal(uint64_t value, char* end) {
  do {
    *--end = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  return end;
}

char* AppendDecimal(char* at, uint64_t value) {
  char digits[20];
  char* end = digits + sizeof digits;
  char* first = FormatDecimal(value, end);
  std::memcpy(at, first, static_cast<size_t>(end - first));
  return at + (end - first);
}

// The text's own NUL is not copied: the line goes on after it.
char* AppendText(char* at, const char* text) {
  return std::copy(text, text + std::strlen(text), at);
}

// The edge line of a sample is the same in every block but for its level
// digit, so each is formatted once per file, when first needed, and copied
// from then on: the largest files repeat each line for 127 channels.
class EdgeLines {
 public:
  void Reset(int64_t interval) {
    interval_ = interval;
    std::memset(length_, 0, sizeof length_);
  }

  void Write(Output* out, int sample, int level) {
    if (length_[sample] == 0)
      Format(sample);
    char* at = out->Reserve(kEdgeSlot);
    // Reserve has made the room. A fortified memcpy would check it again at
    // run time, for every line, which costs a third of the writer's time;
    // the copy of a fixed size is inlined.
    std::copy_n(text_[sample], kEdgeSlot, at);
    at[level_at_[sample]] = static_cast<char>('0' + level);
    out->Commit(length_[sample]);
  }

 private:
  // The time of a sample is the sum of the intervals before it; with 64 bits
  // that sum is exactly the product.
  void Format(int sample) {
    uint64_t time =
        static_cast<uint64_t>(sample) * static_cast<uint64_t>(interval_);
    char* line = text_[sample];
    char* at = line;
    *at++ = 'E';
    at = AppendDecimal(at, static_cast<uint64_t>(sample));
    *at++ = '\t';
    level_at_[sample] = static_cast<uint8_t>(at - line);
    *at++ = '0';
    *at++ = '\t';
    at = AppendDecimal(at, time);
    at = AppendText(at, "000\t");
    at = AppendDecimal(at, time);
    at = AppendText(at, "000\t\t\r\n");
    length_[sample] = static_cast<uint8_t>(at - line);
  }

  int64_t interval_ = 0;
  // Reset clears length_, and a slot is read only once its length says it
  // has been formatted.
  // cppcheck-suppress uninitMemberVarPrivate
  uint8_t length_[kSampleCount];  // 0: not formatted yet
  // cppcheck-suppress uninitMemberVarPrivate
  uint8_t level_at_[kSampleCount];
  // cppcheck-suppress uninitMemberVarPrivate
  char text_[kSampleCount][kEdgeSlot];
};

// What a conversion works in: 128 KiB of output on its way to the sink and
// 528 KiB of formatted edge lines. That is too much for a stack (Windows
// gives a program 1 MiB of it), and static storage costs only the pages a
// conversion touches; one conversion at a time uses it.
struct Workspace {
  char chunk[kChunkSize];
  EdgeLines lines;
};

Workspace& SharedWorkspace() {
  static Workspace workspace;  // cppcheck-suppress unassignedVariable
  return workspace;
}

// Copies the name byte for byte, but a line feed in it still becomes a full
// line end, as every line feed of the file does.
void WriteName(Output* out, const uint8_t* name, size_t size) {
  const char* at = reinterpret_cast<const char*>(name);
  const char* end = at + size;
  while (at != end) {
    const void* lf = std::memchr(at, '\n', static_cast<size_t>(end - at));
    const char* stop = lf ? static_cast<const char*>(lf) : end;
    out->Append(at, static_cast<size_t>(stop - at));
    if (stop == end)
      break;
    out->Append("\r\n", 2);
    at = stop + 1;
  }
}

// Only the first six bytes are edited, whatever they hold (a NUL included),
// because that is the form existing timing files have.
void UnderscoreSpaces(uint8_t* name) {
  for (int k = 0; k < 6; ++k) {
    if (name[k] == ' ')
      name[k] = '_';
  }
}

// The starting level is 0, so a channel at level 1 in sample 0 has an edge
// there. Level 0 is stored as a set bit.
void WriteEdges(Output* out, EdgeLines* lines, const Capture& capture,
                int channel) {
  const int bit = capture.ChannelBit(channel);
  uint32_t previous = 1;
  for (int j = 0; j < kSampleCount; ++j) {
    uint32_t stored = capture.SampleWord(j) >> bit & 1;
    if (stored != previous) {
      lines->Write(out, j, static_cast<int>(stored ^ 1));
      previous = stored;
    }
  }
}

void WriteSignal(Output* out, EdgeLines* lines, Capture* capture, int i) {
  UnderscoreSpaces(capture->NameRecord(i));
  out->Append("SIGNAL\t");
  WriteName(out, capture->NameRecord(i), capture->NameLength(i));
  out->Append("\r\nPROPS!\r\n");
  WriteEdges(out, lines, *capture, i);
  out->Append("!\r\n\r\n");
}

}  // namespace

void WriteTimingFile(Capture* capture, int64_t interval, Sink* out) {
  Workspace& workspace = SharedWorkspace();
  Output output(out, workspace.chunk);
  workspace.lines.Reset(interval);
  output.Append("Timing Diagram Editor v5\r\n");
  for (int i = 0; i < capture->SignalCount() && output.ok(); ++i)
    WriteSignal(&output, &workspace.lines, capture, i);
  output.Flush();
}
