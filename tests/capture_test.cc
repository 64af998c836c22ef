#include "capture.h"

#include <gtest/gtest.h>

#include "capture_builder.h"

namespace {

TEST(Capture, MagicIsTheFourBytesInOrder) {
  struct Case {
    std::string head;
    bool accepted;
  } const cases[] = {
      {"\xFF\xAA\x03\x70", true},    {"\xFF\xAA\x03\x71", false},
      {"\xAA\xFF\x03\x70", false},   {"\x70\x03\xAA\xFF", false},
      {std::string(4, '\0'), false}, {"\xFF\xAA\x70\x03", false},
  };
  for (const Case& c : cases) {
    CaptureBuilder builder;
    for (size_t k = 0; k < 4; ++k)
      builder.Byte(k, static_cast<uint8_t>(c.head[k]));
    EXPECT_EQ(builder.ToCapture().HasMagic(), c.accepted) << c.head;
  }
}

TEST(Capture, SignalCountIsASignedByte) {
  const std::pair<uint8_t, int> cases[] = {
      {0x00, 0}, {0x10, 16}, {0x7F, 127}, {0x80, -128}, {0xFF, -1}};
  for (auto [byte, count] : cases)
    EXPECT_EQ(CaptureBuilder().SignalCount(byte).ToCapture().SignalCount(),
              count)
        << int{byte};
}

TEST(Capture, ChannelBitIsTheLowFiveBitsOfTheMapByte) {
  const std::pair<uint8_t, int> cases[] = {{0x00, 0},  {0x05, 5}, {0x1F, 31},
                                           {0x20, 0},  {0xE0, 0}, {0xFF, 31},
                                           {0x7E, 30}, {0x81, 1}};
  for (auto [byte, bit] : cases) {
    Capture capture = CaptureBuilder().MapByte(3, byte).ToCapture();
    EXPECT_EQ(capture.ChannelBit(3), bit) << int{byte};
  }
}

TEST(Capture, SampleIntervalDoublesWithEachTimebaseCode) {
  const std::pair<uint8_t, int64_t> cases[] = {
      {0x00, 20},
      {0x01, 40},
      {0x02, 80},
      {0x0D, 20 * 8192},
      {0x1A, int64_t{20} << 26},
      {0x1B, int64_t{20} << 27},  // beyond 32 bits: kept whole
      {0x1F, 42949672960},
      {0x20, 20},
      {0x80, 20},
      {0xFF, 42949672960}};
  for (auto [code, interval] : cases)
    EXPECT_EQ(CaptureBuilder().Timebase(code).ToCapture().SampleInterval(),
              interval)
        << int{code};
}

TEST(Capture, LevelIsTheInverseOfTheStoredBitInLittleEndianWords) {
  // Bit 0 is the low bit of the word's first byte, bit 31 the high bit of
  // its last.
  CaptureBuilder builder;
  builder.MapByte(0, 0).MapByte(1, 31).MapByte(2, 8).MapByte(3, 9);
  builder.Byte(kHeaderSize + 4 * size_t{5}, 0x01);
  builder.Byte(kHeaderSize + 4 * size_t{6} + 3, 0x80);
  builder.Byte(kHeaderSize + 4 * size_t{7} + 1, 0x01);
  builder.SampleWord(kSampleCount - 1, 0xFFFFFFFF);
  Capture capture = builder.ToCapture();
  struct Case {
    int channel, sample, level;
  } const cases[] = {{0, 5, 0},    {1, 5, 1},   {1, 6, 0}, {0, 6, 1},
                     {2, 7, 0},    {3, 7, 1},   {0, 0, 1}, {1, 0, 1},
                     {0, 8191, 0}, {1, 8191, 0}};
  for (const Case& c : cases)
    EXPECT_EQ(capture.Level(c.channel, c.sample), c.level)
        << "channel " << c.channel << " sample " << c.sample;
}

TEST(Capture, NameRunsToItsNulOrTheEndOfTheRecord) {
  CaptureBuilder builder;
  builder.Name(0, "CLOCK IN").Name(1, "").Name(2, std::string(51, 'x'));
  Capture capture = builder.ToCapture();
  EXPECT_EQ(capture.NameLength(0), 8u);
  EXPECT_EQ(capture.NameLength(1), 0u);
  EXPECT_EQ(capture.NameLength(2), 51u);
  // A record with no NUL anywhere after name 126 stops at the record's end.
  for (size_t at = kNameRecordOffset + kNameRecordStride * 126;
       at < kCaptureSize; ++at)
    builder.Byte(at, 'n');
  capture = builder.ToCapture();
  EXPECT_EQ(capture.NameLength(126),
            kCaptureSize - (kNameRecordOffset + kNameRecordStride * 126));
  EXPECT_EQ(capture.NameRecord(126)[0], 'n');
}

}  // namespace
