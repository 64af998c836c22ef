// Converts arbitrary bytes, as the tool would read them from a capture file,
// into memory, and checks every byte of the timing file against the record as
// it streams out: the header, then per exported channel its SIGNAL line, its
// PROPS! line, one edge line per change of level with the right time, and
// the closing lines. Anything else aborts, which the fuzzer reports.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "capture.h"
#include "convert.h"
#include "timing_writer.h"

namespace {

[[noreturn]] void Fail(const std::string& what, std::string_view near) {
  std::fprintf(stderr, "timing file is wrong: %s, at \"%s\"\n", what.c_str(),
               std::string(near.substr(0, 80)).c_str());
  std::abort();
}

void Check(bool ok, const char* what, std::string_view near) {
  if (!ok)
    Fail(what, near);
}

// Writes value in decimal and then the text after it; printf would take
// most of the time of a run.
char* Decimal(uint64_t value, const char* after, char* at) {
  char digits[20];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (n > 0)
    *at++ = digits[--n];
  while (*after != '\0')
    *at++ = *after++;
  return at;
}

char* Append(const std::string& text, const char* after, char* at) {
  at = std::copy(text.begin(), text.end(), at);
  while (*after != '\0')
    *at++ = *after++;
  return at;
}

// Follows the record the way a reader of the format would, independently of
// the writer: the checker keeps its own copy and makes the same name edits
// in the same order, since they change what later channels read.
class Record {
 public:
  explicit Record(const Capture& capture) {
    std::memcpy(bytes_, capture.bytes, kCaptureSize);
  }

  int SignalCount() const {
    return static_cast<int8_t>(bytes_[kSignalCountOffset]);
  }
  int64_t Interval() const {
    return int64_t{20} << (bytes_[kTimebaseOffset] & 31);
  }

  // Edits the name of channel i and returns it as it must appear.
  std::string TakeName(int i) {
    const size_t at = kNameRecordOffset + kNameRecordStride * size_t(i);
    for (size_t k = at; k < at + 6; ++k) {
      if (bytes_[k] == ' ')
        bytes_[k] = '_';
    }
    std::string name;
    for (size_t k = at; k < kCaptureSize && bytes_[k] != 0; ++k)
      name += bytes_[k] == '\n' ? std::string("\r\n")
                                : std::string(1, char(bytes_[k]));
    return name;
  }

  int Level(int i, int j) const {
    const int bit = bytes_[kMapOffset + kMapStride * size_t(i)] & 31;
    const uint8_t* word = bytes_ + kHeaderSize + 4 * size_t(j);
    return (word[bit / 8] >> (bit % 8) & 1) ? 0 : 1;
  }

 private:
  uint8_t bytes_[kCaptureSize];
};

// Consumes the timing file piece by piece as the writer hands it over.
class CheckingSink : public Sink {
 public:
  explicit CheckingSink(const Capture& capture) : record_(capture) {}

  bool Write(const char* data, size_t size) override {
    pending_.append(data, size);
    size_t used = 0;
    while (Step(&used)) {
    }
    pending_.erase(0, used);
    return true;
  }

  void CheckComplete() const {
    Check(state_ == kDone && pending_.empty(), "file ends early or runs on",
          pending_);
  }

 private:
  enum State { kHeader, kSignal, kEdges, kDone };

  // Consumes one item from pending_ past used; false when more bytes are
  // needed first.
  bool Step(size_t* used) {
    const std::string_view rest = std::string_view(pending_).substr(*used);
    switch (state_) {
      case kHeader:
        return Expect(rest, "Timing Diagram Editor v5\r\n", used) &&
               NextBlock();
      case kSignal:
        if (!Expect(rest, signal_lines_, used))
          return false;
        state_ = kEdges;
        return true;
      case kEdges:
        if (!rest.empty() && rest[0] == '!') {
          if (!Expect(rest, "!\r\n\r\n", used))
            return false;
          ExpectNoChangeBefore(kSampleCount, rest);
          return NextBlock();
        }
        return EdgeLine(rest, used);
      case kDone:
        Check(rest.empty(), "bytes after the last block", rest);
        return false;
    }
    return false;
  }

  bool Expect(std::string_view rest, std::string_view text, size_t* used) {
    const size_t n = std::min(rest.size(), text.size());
    if (rest.substr(0, n) != text.substr(0, n))
      Fail("expected \"" + std::string(text.substr(0, 40)) + "\"", rest);
    if (rest.size() < text.size())
      return false;
    *used += text.size();
    return true;
  }

  bool NextBlock() {
    ++channel_;
    if (channel_ >= record_.SignalCount()) {
      state_ = kDone;
      return true;
    }
    signal_lines_ = "SIGNAL\t" + record_.TakeName(channel_) + "\r\nPROPS!\r\n";
    level_ = 0;
    next_sample_ = 0;
    state_ = kSignal;
    return true;
  }

  // "E<j>\t<level>\t<time>000\t<time>000\t\t\r\n", time = j * interval.
  bool EdgeLine(std::string_view rest, size_t* used) {
    Check(rest.empty() || rest[0] == 'E', "edge line expected", rest);
    size_t end = 1;
    while (end < rest.size() && rest[end] >= '0' && rest[end] <= '9')
      ++end;
    if (end >= rest.size())
      return false;  // the index may go on in the next piece
    Check(end > 1 && end <= 5 && (rest[1] != '0' || end == 2),
          "sample index malformed", rest);
    int j = 0;
    for (size_t k = 1; k < end; ++k)
      j = j * 10 + (rest[k] - '0');
    Check(j >= next_sample_ && j < kSampleCount,
          "sample index out of order or range", rest);
    ExpectNoChangeBefore(j, rest);
    const int level = 1 - level_;
    Check(record_.Level(channel_, j) == level, "no change of level here", rest);
    const std::string& time = TimeText(j);
    char line[80];
    char* at = line;
    *at++ = 'E';
    at = Decimal(static_cast<uint64_t>(j), "\t", at);
    *at++ = static_cast<char>('0' + level);
    *at++ = '\t';
    at = Append(time, "\t", at);
    at = Append(time, "\t\t\r\n", at);
    if (!Expect(rest, std::string_view(line, static_cast<size_t>(at - line)),
                used))
      return false;
    level_ = level;
    next_sample_ = j + 1;
    return true;
  }

  // "<j * interval>000"; kept, as every channel may change at sample j.
  const std::string& TimeText(int j) {
    std::string& text = time_text_[static_cast<size_t>(j)];
    if (text.empty()) {
      char digits[32];
      char* end = Decimal(
          static_cast<uint64_t>(j) * static_cast<uint64_t>(record_.Interval()),
          "000", digits);
      text.assign(digits, end);
    }
    return text;
  }

  // Every sample from the last edge up to end must keep the level.
  void ExpectNoChangeBefore(int end, std::string_view near) const {
    for (int j = next_sample_; j < end; ++j)
      Check(record_.Level(channel_, j) == level_, "change of level left out",
            near);
  }

  Record record_;
  std::string pending_;
  State state_ = kHeader;
  int channel_ = -1;
  std::string signal_lines_;
  std::vector<std::string> time_text_ =
      std::vector<std::string>(static_cast<size_t>(kSampleCount));
  int level_ = 0;
  int next_sample_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Capture capture{};
  std::memcpy(capture.bytes, data, std::min(size, kCaptureSize));
  const char* rejection = RecordRejection(capture, size);
  const bool magic = size >= 4 && std::memcmp(data, "\xFF\xAA\x03\x70", 4) == 0;
  if (rejection != nullptr) {
    const char* expected =
        !magic ? "not trovik data file\n" : "truncated trovik data file\n";
    Check(!magic || size < kCaptureSize, "a whole record refused", rejection);
    Check(std::strcmp(rejection, expected) == 0, "wrong rejection", rejection);
    return 0;
  }
  Check(magic && size >= kCaptureSize, "a bad record accepted", "");
  CheckingSink sink(capture);
  WriteTimingFile(&capture, capture.SampleInterval(), &sink);
  sink.CheckComplete();
  return 0;
}
