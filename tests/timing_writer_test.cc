#include "timing_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "capture.h"
#include "capture_builder.h"
#include "string_sink.h"

namespace {

const std::string kHeader = "Timing Diagram Editor v5\r\n";

bool StartsWith(const std::string& text, const std::string& head) {
  return text.compare(0, head.size(), head) == 0;
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::string Convert(Capture* capture) {
  StringSink sink;
  WriteTimingFile(capture, capture->SampleInterval(), &sink);
  EXPECT_EQ(sink.refused, 0);
  return sink.text;
}

std::string Convert(const CaptureBuilder& builder) {
  Capture capture = builder.ToCapture();
  return Convert(&capture);
}

std::string Edge(int sample, int level, const std::string& time) {
  return "E" + std::to_string(sample) + "\t" + std::to_string(level) + "\t" +
         time + "000\t" + time + "000\t\t\r\n";
}

std::string Block(const std::string& name, const std::string& edges) {
  return "SIGNAL\t" + name + "\r\nPROPS!\r\n" + edges + "!\r\n\r\n";
}

// Channel 0 on bit 0: level 0 everywhere except where asked.
CaptureBuilder OneChannel() {
  CaptureBuilder builder;
  builder.SignalCount(1).Name(0, "CLK");
  for (int j = 0; j < kSampleCount; ++j)
    builder.SampleWord(j, 0xFFFFFFFF);
  return builder;
}

TEST(TimingWriter, NoExportedSignalGivesTheHeaderAlone) {
  for (uint8_t count : {uint8_t{0x00}, uint8_t{0x80}, uint8_t{0xFF}}) {
    std::string text = Convert(CaptureBuilder().SignalCount(count));
    EXPECT_EQ(text, kHeader) << int{count};
    EXPECT_EQ(text.size(), 26u);
  }
}

TEST(TimingWriter, WritesOneEdgeLinePerLevelChange) {
  CaptureBuilder builder = OneChannel();
  for (int j : {0, 1, 2})
    builder.Level(0, j, 1);
  for (int j = 6; j < kSampleCount; ++j)
    builder.Level(0, j, 1);
  EXPECT_EQ(Convert(builder),
            kHeader + Block("CLK", Edge(0, 1, "0") + Edge(3, 0, "60") +
                                       Edge(6, 1, "120")));
}

TEST(TimingWriter, StartsEachBlockAtLevelZero) {
  CaptureBuilder builder = OneChannel();
  builder.SignalCount(3).Name(1, "B").Name(2, "C").MapByte(2, 2);
  builder.Level(0, kSampleCount - 1, 1);  // a change at the very last sample
  builder.Level(1, 4, 1);
  builder.SampleWord(0, 0);  // every channel at level 1 in sample 0
  EXPECT_EQ(Convert(builder),
            kHeader +
                Block("CLK", Edge(0, 1, "0") + Edge(1, 0, "20") +
                                 Edge(8191, 1, "163820")) +
                Block("B", Edge(0, 1, "0") + Edge(1, 0, "20") +
                               Edge(4, 1, "80") + Edge(5, 0, "100")) +
                Block("C", Edge(0, 1, "0") + Edge(1, 0, "20")));
}

TEST(TimingWriter, KeepsTimesBeyond32BitsExact) {
  struct Case {
    uint8_t code;
    int sample;
    std::string time, next_time;
  } const cases[] = {{13, 8190, "1341849600", "1342013440"},
                     {14, 8190, "2683699200", "2684026880"},
                     {27, 3, "8053063680", "10737418240"},
                     {31, 1, "42949672960", "85899345920"},
                     {31, 8190, "351757821542400", "351800771215360"}};
  for (const Case& c : cases) {
    CaptureBuilder builder = OneChannel();
    builder.Timebase(c.code).Level(0, c.sample, 1);
    EXPECT_EQ(Convert(builder),
              kHeader + Block("CLK", Edge(c.sample, 1, c.time) +
                                         Edge(c.sample + 1, 0, c.next_time)))
        << "code " << int{c.code};
  }
}

TEST(TimingWriter, EditsSpacesInTheFirstSixBytesOfNames) {
  struct Case {
    std::string stored, written;
  } const cases[] = {
      {"D 0", "D_0"},
      {"CLOCK IN", "CLOCK_IN"},
      {"ADDR HI LOW", "ADDR_HI LOW"},
      {"      X ", "______X "},
      {"", ""},
      {"A\nB", "A\r\nB"},
      {"A\rB", "A\rB"},
      {"\n\n", "\r\n\r\n"},
      {std::string(51, 'w'), std::string(51, 'w')},
      // No NUL in the record: the name runs on into the next one.
      {std::string(60, 'w'), std::string(60, 'w')}};
  for (const Case& c : cases) {
    CaptureBuilder builder = OneChannel();
    builder.Name(0, c.stored);
    Capture capture = builder.ToCapture();
    EXPECT_EQ(Convert(&capture), kHeader + Block(c.written, "")) << c.stored;
  }
}

TEST(TimingWriter, EditsSixBytesWhateverTheyHold) {
  CaptureBuilder builder = OneChannel();
  builder.Name(0, "A");
  for (size_t k = 2; k < 8; ++k)
    builder.Byte(kNameRecordOffset + k, ' ');
  Capture capture = builder.ToCapture();
  EXPECT_EQ(Convert(&capture), kHeader + Block("A", ""));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(capture.NameRecord(0)), 8),
            std::string("A\0____  ", 8));
}

TEST(TimingWriter, NameWithoutNulStopsAtTheEndOfTheRecord) {
  CaptureBuilder builder;
  builder.SignalCount(127);
  const size_t at = kNameRecordOffset + kNameRecordStride * 126;
  for (size_t k = at; k < kCaptureSize; ++k)
    builder.Byte(k, 'n');
  EXPECT_TRUE(
      EndsWith(Convert(builder),
               Block(std::string(kCaptureSize - at, 'n'), Edge(0, 1, "0"))));
}

// Names of channels 16 and up overlay the map, the header and the samples;
// each edit happens just before its channel is scanned and every later read
// sees it. Existing files were made this way, so the output must match.
TEST(TimingWriter, NameEditsOfHighChannelsReachLaterChannels) {
  CaptureBuilder builder;
  for (int j = 0; j < kSampleCount; ++j)
    builder.SampleWord(j, 0x7FFFFFFE);      // bit 0 and bit 31 at level 1
  builder.SignalCount(17).MapByte(0, ' ');  // ' ' & 31 is bit 0
  std::string text = Convert(builder);
  // Channel 16's name starts at channel 0's map byte, edited after channel 0
  // was scanned: its name is "_", and channel 0 still read bit 0.
  EXPECT_TRUE(StartsWith(text, kHeader + Block("", Edge(0, 1, "0"))));
  EXPECT_TRUE(EndsWith(text, Block("_", Edge(0, 1, "0"))));

  // The edit for channel 19 covers channel 20's map byte (offset 996): a
  // space there (bit 0) becomes '_' (bit 31), which is at level 0 throughout.
  builder.SignalCount(21).MapByte(0, 0).MapByte(20, ' ');
  for (int j = 0; j < kSampleCount; ++j)
    builder.SampleWord(j, 0x80000000);
  EXPECT_TRUE(EndsWith(Convert(builder), Block("", "")));

  // The edit for channel 22 covers bytes 1148 to 1153, the first bytes of
  // sample words 2 and 3: its own name, stored as "Z " and NUL, turns the
  // space (bit 13 of word 2) into '_' (bits 8 to 12 and 14), and channel 22
  // reads bit 8.
  builder.SignalCount(23).MapByte(20, 0).MapByte(22, 8);
  builder.Byte(1148, 'Z').Byte(1149, ' ').Byte(1150, 0);
  Capture capture = builder.ToCapture();
  EXPECT_TRUE(EndsWith(
      Convert(&capture),
      Block("Z_", Edge(0, 1, "0") + Edge(2, 0, "40") + Edge(3, 1, "60"))));
  EXPECT_EQ(capture.SampleWord(2), 0x80005F5Au);
}

// An edge line as a plain formatted print makes it, the time exact in 64
// bits: the reference for the writer's copied, pre-formatted lines.
std::string PlainEdge(int sample, int level, long long interval) {
  char line[96];
  long long time = sample * interval;
  std::snprintf(line, sizeof line, "E%d\t%d\t%lld000\t%lld000\t\t\r\n", sample,
                level, time, time);
  return line;
}

// Edge lines whose samples have one to four digits, at every timebase code
// (the widest times included), with each line met twice: once at level 0 on
// channel 0, then at level 1 on channel 1, which has no edge at sample 0.
TEST(TimingWriter, EdgeLinesMatchPlainFormattingAtEveryTimebase) {
  const std::vector<int> changes = {0,   1,    9,    10,   99,  100,
                                    999, 1000, 4095, 8190, 8191};
  for (uint8_t code = 0; code < 32; ++code) {
    CaptureBuilder builder;
    builder.SignalCount(2).Name(0, "A").Name(1, "B").Timebase(code);
    int level = 0;
    size_t next = 0;
    for (int j = 0; j < kSampleCount; ++j) {
      if (next < changes.size() && changes[next] == j) {
        level ^= 1;
        ++next;
      }
      builder.Level(0, j, level).Level(1, j, j == 0 ? 0 : level ^ 1);
    }
    const long long interval = 20LL << code;
    std::string a, b;
    for (size_t k = 0; k < changes.size(); ++k) {
      a += PlainEdge(changes[k], k % 2 == 0 ? 1 : 0, interval);
      if (k > 0)
        b += PlainEdge(changes[k], k % 2 == 0 ? 0 : 1, interval);
    }
    EXPECT_EQ(Convert(builder), kHeader + Block("A", a) + Block("B", b))
        << "code " << int{code};
  }
}

// Many times the writer's internal chunk, in its longest lines: no line may
// be lost, doubled or torn where one chunk ends and the next begins.
TEST(TimingWriter, LargeFilesMatchPlainFormatting) {
  CaptureBuilder builder;
  builder.SignalCount(16).Timebase(31);
  std::string expected = kHeader;
  std::string edges;
  for (int j = 0; j < kSampleCount; ++j) {
    builder.SampleWord(j, j % 2 == 0 ? 0 : 0xFFFFFFFF);
    edges += PlainEdge(j, j % 2 == 0 ? 1 : 0, 20LL << 31);
  }
  for (int i = 0; i < 16; ++i) {
    builder.Name(i, "CH" + std::to_string(i));
    expected += Block("CH" + std::to_string(i), edges);
  }
  std::string text = Convert(builder);
  EXPECT_GT(text.size(), 5000000u);
  EXPECT_TRUE(text == expected);  // not EXPECT_EQ: no 6 MB diff on failure
}

// Many chunks long: a writer that went on after a failure would be refused
// again.
TEST(TimingWriter, StopsAtTheFirstFailedWrite) {
  CaptureBuilder builder = OneChannel();
  builder.SignalCount(16);
  for (int j = 0; j < kSampleCount; j += 2)
    builder.SampleWord(j, 0);
  const std::string whole = Convert(builder);
  const size_t chunk = size_t{128} * 1024;
  ASSERT_GT(whole.size(), 4 * chunk);
  for (size_t room : {size_t{0}, size_t{26}, chunk - 1, chunk, 3 * chunk}) {
    Capture capture = builder.ToCapture();
    StringSink sink(room);
    WriteTimingFile(&capture, 20, &sink);
    EXPECT_EQ(sink.refused, 1) << room;
    EXPECT_TRUE(StartsWith(whole, sink.text)) << room;
  }
}

}  // namespace
