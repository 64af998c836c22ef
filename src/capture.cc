#include "capture.h"

#include <cstring>

namespace {

const uint8_t kMagic[kMagicSize] = {0xFF, 0xAA, 0x03, 0x70};

size_t NameOffset(int i) {
  return kNameRecordOffset + kNameRecordStride * static_cast<size_t>(i);
}

}  // namespace

bool StartsWithMagic(const uint8_t* bytes) {
  return std::memcmp(bytes, kMagic, sizeof kMagic) == 0;
}

bool Capture::HasMagic() const { return StartsWithMagic(bytes); }

int Capture::SignalCount() const {
  return static_cast<int8_t>(bytes[kSignalCountOffset]);
}

uint8_t* Capture::NameRecord(int i) { return bytes + NameOffset(i); }

const uint8_t* Capture::NameRecord(int i) const {
  return bytes + NameOffset(i);
}

size_t Capture::NameLength(int i) const {
  const uint8_t* name = NameRecord(i);
  size_t room = kCaptureSize - NameOffset(i);
  const void* nul = std::memchr(name, 0, room);
  return nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - name)
             : room;
}

int Capture::ChannelBit(int i) const {
  return bytes[kMapOffset + kMapStride * static_cast<size_t>(i)] & 31;
}

int Capture::Level(int i, int j) const {
  return ((SampleWord(j) >> ChannelBit(i)) & 1) ? 0 : 1;
}

int64_t Capture::SampleInterval() const {
  return int64_t{20} << (bytes[kTimebaseOffset] & 31);
}
