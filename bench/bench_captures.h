// The captures the benchmarks convert.
#ifndef TROVCONV_BENCH_CAPTURES_H_
#define TROVCONV_BENCH_CAPTURES_H_

#include "capture_builder.h"
#include "timing_writer.h"

// The case the speed targets are set for: 127 exported channels, and every
// sample word the inverse of the one before, so each channel changes level
// at every sample (1.04 million edge lines), at timebase code 13. Longer
// files exist: at code 31 each time has four digits more.
CaptureBuilder WorstCaseCapture();

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
