#include "convert.h"

#include <gtest/gtest.h>

namespace {

bool SingleByte(unsigned char) { return false; }

// Shift-JIS: the second byte of a double-byte character may be '\' (0x5C).
bool ShiftJisLead(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

const std::string kSo = "\x83\x5C";    // a katakana whose second byte is '\'
const std::string kHyou = "\x95\x5C";  // a kanji whose second byte is '\'

struct NamingCase {
  std::string capture;
  std::string timing;
};

void ExpectNaming(const std::vector<NamingCase>& cases, LeadByteTest lead) {
  for (const NamingCase& c : cases)
    EXPECT_EQ(TimingPathFor(c.capture, lead), c.timing)
        << "capture path: " << c.capture;
}

TEST(OutputNaming, ReplacesTheExtension) {
  ExpectNaming({{"capture.dat", "capture.tim"},
                {"C:\\logs\\run1.dat", "C:\\logs\\run1.tim"},
                {"run.v2.dat", "run.v2.tim"},
                {"logs.old\\run", "logs.old\\run.tim"},
                {"run.", "run.tim"},
                {".dat", ".tim"},
                {"C:run.dat", "C:run.tim"},
                {"/data/run.dat", "/data/run.tim"},
                {"", ".tim"},
                {"x.tim", "x.tim"},
                {"data/", "data/.tim"},
                {"a.b/c.d\\e", "a.b/c.d\\e.tim"},
                {"C:", "C:.tim"},
                {"C", "C.tim"},
                {"./run.dat", "./run.tim"}},
               SingleByte);
}

TEST(OutputNaming, SingleByteCodePageTakesEveryBackslashAsSeparator) {
  ExpectNaming({{kSo + kHyou + ".dat", kSo + kHyou + ".tim"},
                {kSo + kHyou + "." + kSo + kHyou,
                 kSo + kHyou + "." + kSo + kHyou + ".tim"},
                {"run.\x83\x5C", "run.\x83\x5C.tim"}},
               SingleByte);
}

TEST(OutputNaming, DoubleByteCharactersAreNeverSeparatorsOrDots) {
  ExpectNaming({{kSo + kHyou + ".dat", kSo + kHyou + ".tim"},
                {kSo + kHyou + "." + kSo + kHyou, kSo + kHyou + ".tim"},
                {"run." + kSo, "run.tim"},
                {"C:\\" + kSo + "\\" + kHyou + ".dat",
                 "C:\\" + kSo + "\\" + kHyou + ".tim"},
                // A lead byte that ends the path is dropped, and stops the
                // scan before it can pair with nothing.
                {"run\x83", "run.tim"},
                {"d\\run.dat\x95", "d\\run.tim"},
                // An ASCII byte after a lead byte is its second half.
                {"\x83.dat", "\x83.dat.tim"},
                {"x\x83/y", "x\x83/y.tim"}},
               ShiftJisLead);
}

TEST(OutputNaming, CutsComponentsTo255Bytes) {
  const std::string d(300, 'd'), b(300, 'b');
  ExpectNaming(
      {// The cut drops the directory's separator; the join puts one back.
       {"C:" + d + "/" + b + ".dat",
        "C:" + d.substr(0, 255) + "\\" + b.substr(0, 255) + ".tim"},
       {b + ".dat", b.substr(0, 255) + ".tim"}},
      SingleByte);
  // The longest name the rules can make does not fit in 259 bytes, and is
  // still made whole.
  EXPECT_EQ(TimingPathFor("C:" + d + "/" + b, SingleByte).size(), 517u);
}

TEST(OutputNaming, CutNeverSplitsADoubleByteCharacter) {
  const std::string a254(254, 'a'), a253(253, 'a');
  ExpectNaming(
      {// 254 bytes and a double-byte character: the character goes.
       {a254 + kSo + ".dat", a254 + ".tim"},
       // A cut directory ending in a character whose second byte is '\'
       // still needs a separator.
       {a253 + kSo + "/x.dat", a253 + kSo + "\\x.tim"},
       {a254 + kSo + "/x.dat", a254 + "\\x.tim"}},
      ShiftJisLead);
  // Single-byte, the same trailing 0x5C is a separator already.
  EXPECT_EQ(TimingPathFor(a253 + kSo + "/x.dat", SingleByte),
            a253 + kSo + "x.tim");
}

TEST(OutputNaming, SaysWhenACutChangedTheFolderOrName) {
  const std::string n255(255, 'n'), n256(256, 'n');
  const std::pair<std::string, bool> cases[] = {
      {n255.substr(1) + "/" + n255 + ".dat", false},
      {n255 + "/x.dat", true},
      {"x/" + n256 + ".dat", true},
      {"x/run." + n256, false},  // the extension is replaced anyway
      {"C:" + n255.substr(1) + "\\" + n255, false}};
  for (const auto& [path, shortened] : cases)
    EXPECT_EQ(SplitPath(path, SingleByte).shortened, shortened) << path;
}

TEST(OutputNaming, SplitKeepsEachComponentAsWritten) {
  PathParts parts = SplitPath("C:/logs.old\\run.v2.dat", SingleByte);
  EXPECT_EQ(parts.drive, "C:");
  EXPECT_EQ(parts.directory, "/logs.old\\");
  EXPECT_EQ(parts.base, "run.v2");
  EXPECT_EQ(parts.extension, ".dat");
}

}  // namespace
