// Builds capture files byte by byte, for the tests and the bundled example.
#ifndef TROVCONV_CAPTURE_BUILDER_H_
#define TROVCONV_CAPTURE_BUILDER_H_

#include <cstdint>
#include <string>

#include "capture.h"

class CaptureBuilder {
 public:
  // Starts with the magic, channel i mapped to bit i for the 16 slots, no
  // exported signal, timebase code 0 and every sample word 0 (all levels 1).
  CaptureBuilder();

  // Writes the name and its NUL; longer names run on into the next records.
  CaptureBuilder& Name(int channel, const std::string& name);
  CaptureBuilder& MapByte(int channel, uint8_t value);
  CaptureBuilder& Timebase(uint8_t code);
  CaptureBuilder& SignalCount(uint8_t count);
  CaptureBuilder& SampleWord(int sample, uint32_t word);
  // Level 0 is a set bit.
  CaptureBuilder& Level(int bit, int sample, int level);
  CaptureBuilder& Byte(size_t offset, uint8_t value);

  // The whole record as a string of kCaptureSize bytes.
  const std::string& bytes() const { return bytes_; }
  Capture ToCapture() const;
  // Writes the record, or its first size bytes; returns false on failure.
  bool WriteFile(const std::string& path, size_t size = kCaptureSize) const;

 private:
  std::string bytes_;
};

// The largest conversion, which the speed targets are set for: 127 exported
// channels, and every sample word the inverse of the one before, so each
// channel changes level at every sample (1.04 million edge lines, 38.7 MB),
// at timebase code 13. Longer files exist: at code 31 each time has four
// digits more.
CaptureBuilder WorstCaseCapture();

#endif  // TROVCONV_CAPTURE_BUILDER_H_
