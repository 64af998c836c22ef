#include "capture_builder.h"

#include <cstdio>
#include <cstring>
#include <string>

CaptureBuilder::CaptureBuilder() : bytes_(kCaptureSize, '\0') {
  const char magic[] = {'\xFF', '\xAA', '\x03', '\x70'};
  bytes_.replace(0, 4, magic, 4);
  for (int i = 0; i < 16; ++i)
    MapByte(i, static_cast<uint8_t>(i));
}

CaptureBuilder& CaptureBuilder::Name(int channel, const std::string& name) {
  size_t at =
      kNameRecordOffset + kNameRecordStride * static_cast<size_t>(channel);
  bytes_.replace(at, name.size() + 1, name.c_str(), name.size() + 1);
  return *this;
}

CaptureBuilder& CaptureBuilder::MapByte(int channel, uint8_t value) {
  return Byte(kMapOffset + kMapStride * static_cast<size_t>(channel), value);
}

CaptureBuilder& CaptureBuilder::Timebase(uint8_t code) {
  return Byte(kTimebaseOffset, code);
}

CaptureBuilder& CaptureBuilder::SignalCount(uint8_t count) {
  return Byte(kSignalCountOffset, count);
}

CaptureBuilder& CaptureBuilder::SampleWord(int sample, uint32_t word) {
  size_t at = kHeaderSize + 4 * static_cast<size_t>(sample);
  for (size_t k = 0; k < 4; ++k)
    bytes_[at + k] = static_cast<char>(word >> (8 * k));
  return *this;
}

CaptureBuilder& CaptureBuilder::Level(int bit, int sample, int level) {
  size_t at = kHeaderSize + 4 * static_cast<size_t>(sample);
  uint32_t word = 0;
  for (size_t k = 0; k < 4; ++k)
    word |= uint32_t{static_cast<uint8_t>(bytes_[at + k])} << (8 * k);
  uint32_t mask = uint32_t{1} << bit;
  return SampleWord(sample, level == 0 ? word | mask : word & ~mask);
}

CaptureBuilder& CaptureBuilder::Byte(size_t offset, uint8_t value) {
  bytes_[offset] = static_cast<char>(value);
  return *this;
}

Capture CaptureBuilder::ToCapture() const {
  Capture capture;
  std::memcpy(capture.bytes, bytes_.data(), kCaptureSize);
  return capture;
}

bool CaptureBuilder::WriteFile(const std::string& path, size_t size) const {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file)
    return false;
  bool written = std::fwrite(bytes_.data(), 1, size, file) == size;
  return std::fclose(file) == 0 && written;
}

CaptureBuilder WorstCaseCapture() {
  CaptureBuilder builder;
  builder.SignalCount(127).Timebase(13);
  for (int i = 0; i < 16; ++i)
    builder.Name(i, "CH" + std::to_string(i));
  // Names and maps of channels 16 and up lie over the header and the
  // samples; bytes of 0x00 and 0xFF hold no space and select bit 0 or 31,
  // so every channel still toggles at every sample.
  for (int j = 0; j < kSampleCount; ++j)
    builder.SampleWord(j, j % 2 == 0 ? 0xFFFFFFFF : 0);
  return builder;
}
