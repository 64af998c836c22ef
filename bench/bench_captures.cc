#include "bench_captures.h"

#include <string>

CaptureBuilder TypicalCapture() {
  CaptureBuilder builder;
  builder.SignalCount(16).Timebase(3);
  for (int i = 0; i < 16; ++i)
    builder.Name(i, "LINE " + std::to_string(i));
  // Every channel starts at level 1 and changes every 256 + 64 * i samples:
  // 32 edge lines for channel 0, 226 in all.
  for (int j = 0; j < kSampleCount; ++j) {
    uint32_t word = 0;
    for (int i = 0; i < 16; ++i) {
      if (j / (256 + 64 * i) % 2 == 1)
        word |= uint32_t{1} << i;
    }
    builder.SampleWord(j, word);
  }
  return builder;
}
