// The captures the benchmarks convert.
#ifndef TROVCONV_BENCH_CAPTURES_H_
#define TROVCONV_BENCH_CAPTURES_H_

#include "capture_builder.h"

// The largest timing file a capture can make: 127 exported channels, and
// every sample word the inverse of the one before, so each channel changes
// level at every sample. Timebase code 13, the widest exact times.
CaptureBuilder WorstCaseCapture();

// What the instrument usually records: 16 channels and a few hundred level
// changes among them.
CaptureBuilder TypicalCapture();

#endif  // TROVCONV_BENCH_CAPTURES_H_
