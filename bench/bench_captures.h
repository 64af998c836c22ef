// The captures the benchmarks convert.
#ifndef TROVCONV_BENCH_CAPTURES_H_
#define TROVCONV_BENCH_CAPTURES_H_

#include "capture_builder.h"
#include "timing_writer.h"

// The case the speed targets are set for is WorstCaseCapture().

// What the instrument usually records: 16 channels and a few hundred level
// changes among them.
CaptureBuilder TypicalCapture();

// Counts the timing file's bytes and drops them.
class CountingSink : public Sink {
 public:
  bool Write(const char*, size_t size) override {
    bytes += size;
    return true;
  }
  size_t bytes = 0;
};

#endif  // TROVCONV_BENCH_CAPTURES_H_
