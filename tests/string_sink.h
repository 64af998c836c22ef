// Collects the timing file in memory; with room given, it fails like a full
// disk once that many bytes have arrived.
#ifndef TROVCONV_STRING_SINK_H_
#define TROVCONV_STRING_SINK_H_

#include <string>

#include "capture_builder.h"
#include "timing_writer.h"

class StringSink : public Sink {
 public:
  explicit StringSink(size_t room = std::string::npos) : room_(room) {}
  bool Write(const char* data, size_t size) override {
    if (text.size() + size > room_) {
      ++refused;
      return false;
    }
    text.append(data, size);
    return true;
  }
  std::string text;
  int refused = 0;

 private:
  size_t room_;
};

// What the writer makes of the capture; the writer's own tests pin its bytes.
inline std::string ExpectedTiming(const CaptureBuilder& builder) {
  Capture capture = builder.ToCapture();
  StringSink sink;
  WriteTimingFile(&capture, capture.SampleInterval(), &sink);
  return sink.text;
}

#endif  // TROVCONV_STRING_SINK_H_
