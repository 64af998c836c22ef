// The capture record: the fixed-size image of one capture file of the
// 16-slot logic analyser, and the few quantities the writer derives from it.
#ifndef TROVCONV_CAPTURE_H_
#define TROVCONV_CAPTURE_H_

#include <cstddef>
#include <cstdint>

constexpr size_t kCaptureSize = 33908;
constexpr size_t kHeaderSize = 1140;
constexpr int kSampleCount = 8192;
constexpr size_t kNameRecordOffset = 4;
constexpr size_t kNameRecordStride = 52;
constexpr size_t kMapOffset = 836;
constexpr size_t kMapStride = 8;
constexpr size_t kTimebaseOffset = 998;
constexpr size_t kSignalCountOffset = 1054;

constexpr size_t kMagicSize = 4;

// Whether bytes, kMagicSize of them, open a capture file.
bool StartsWithMagic(const uint8_t* bytes);

// The record is held whole and is writable: the writer edits channel names in
// place, and later reads of the same bytes (maps, samples) must see the edit.
struct Capture {
  uint8_t bytes[kCaptureSize];

  bool HasMagic() const;

  // Signed: 0 and every byte from 0x80 up export nothing.
  int SignalCount() const;

  // Name record i sits at a fixed stride; for i of 16 and more it overlays the
  // bytes after the name table, which is how the instrument's files are read.
  uint8_t* NameRecord(int i);
  const uint8_t* NameRecord(int i) const;
  // Bytes of name i up to its NUL, or up to the end of the record when a
  // record has none.
  size_t NameLength(int i) const;

  int ChannelBit(int i) const;
  // Inline: the writer reads every word once per exported channel.
  uint32_t SampleWord(int j) const {
    const uint8_t* p = bytes + kHeaderSize + 4 * static_cast<size_t>(j);
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
  }
  // A set bit is level 0: the instrument stores the inverted line.
  int Level(int i, int j) const;

  // Wide enough for every code: 20 << 31 does not fit in 32 bits.
  int64_t SampleInterval() const;
};

#endif  // TROVCONV_CAPTURE_H_
