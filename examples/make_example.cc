// Makes examples/example.dat: a capture of a small synchronous bus, with a
// clock, a chip select, a read strobe and an 8-bit data bus, as the
// instrument would record it at timebase code 3.
#include <cstdio>

#include "capture_builder.h"

namespace {

const char* const kNames[16] = {"CLK", "CS N", "RD N",    "WR N", "D 0", "D 1",
                                "D 2", "D 3",  "D 4",     "D 5",  "D 6", "D 7",
                                "ALE", "IRQ",  "RESET N", "SPARE"};

// One bus cycle every 64 samples: the clock toggles every 4 samples, chip
// select and a strobe go low for 32 samples, and the data bus carries a
// counting pattern while the strobe is low.
uint32_t LevelsAt(int sample) {
  int cycle = sample / 64;
  int phase = sample % 64;
  bool clock = (sample / 4) % 2 == 0;
  bool active = phase >= 16 && phase < 48;
  bool reading = cycle % 3 != 2;
  uint32_t levels = 0;
  levels |= clock ? 1u << 0 : 0;
  levels |= active ? 0 : 1u << 1;
  levels |= active && reading ? 0 : 1u << 2;
  levels |= active && !reading ? 0 : 1u << 3;
  if (active)
    levels |= static_cast<uint32_t>((cycle * 37 + 5) & 0xFF) << 4;
  levels |= phase < 8 ? 1u << 12 : 0;
  levels |= sample >= 5000 && sample < 5040 ? 1u << 13 : 0;
  levels |= sample < 24 ? 0 : 1u << 14;
  return levels;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: make_example OUTPUT.dat\n", stderr);
    return 1;
  }
  CaptureBuilder capture;
  capture.Timebase(3).SignalCount(16);
  for (int i = 0; i < 16; ++i)
    capture.Name(i, kNames[i]);
  for (int j = 0; j < kSampleCount; ++j)
    capture.SampleWord(j, ~LevelsAt(j));  // a stored set bit is level 0
  if (!capture.WriteFile(argv[1])) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}
