#include "convert.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string kSo = "\x83\x5C";    // Shift-JIS bytes, the second one '\'
const std::string kHyou = "\x95\x5C";  // the same, for another character

template <typename Char>
struct NamingCase {
  std::basic_string<Char> capture;
  std::basic_string<Char> timing;
};

template <typename Char>
void ExpectNaming(const std::vector<NamingCase<Char>>& cases) {
  for (const NamingCase<Char>& c : cases)
    EXPECT_EQ(TimingPathFor(c.capture), c.timing) << c.capture;
}

// Windows names in UTF-16 follow the same rules as bytes elsewhere.
std::wstring Wide(const std::string& ascii) {
  return std::wstring(ascii.begin(), ascii.end());
}

TEST(OutputNaming, ReplacesTheExtension) {
  const std::vector<NamingCase<char>> cases = {
      {"capture.dat", "capture.tim"},
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
      {"./run.dat", "./run.tim"},
      {"\\\\server\\share\\run.dat", "\\\\server\\share\\run.tim"},
      {"C:/logs.old\\run.v2.dat", "C:/logs.old\\run.v2.tim"},
      {".:x", ".:x.tim"}};  // a drive's colon, never a name's
  ExpectNaming(cases);
  std::vector<NamingCase<wchar_t>> wide;
  wide.reserve(cases.size());
  for (const NamingCase<char>& c : cases)
    wide.push_back({Wide(c.capture), Wide(c.timing)});
  ExpectNaming(wide);
}

// Paths are bytes on POSIX systems: a 0x5C byte is a backslash there, and so
// a separator, whatever character it might be part of in some code page.
TEST(OutputNaming, BytesAreTakenAsGiven) {
  ExpectNaming<char>({{kSo + kHyou + ".dat", kSo + kHyou + ".tim"},
                      {kSo + kHyou + "." + kSo + kHyou,
                       kSo + kHyou + "." + kSo + kHyou + ".tim"},
                      {"run.\x83\x5C", "run.\x83\x5C.tim"}});
}

// A UTF-16 unit is one character (or half of a surrogate pair) and only
// '/', '\\' and '.' themselves separate or start an extension: not a unit
// whose low or high byte looks like one.
TEST(OutputNaming, OtherUnitsAreNeverSeparatorsOrDots) {
  ExpectNaming<wchar_t>(
      {{L"\u30BD\u8868.dat", L"\u30BD\u8868.tim"},
       {L"\u30BD\u8868.\u30BD\u8868", L"\u30BD\u8868.tim"},
       {L"run.\u30BD", L"run.tim"},
       {L"C:\\\u30BD\\\u8868.dat", L"C:\\\u30BD\\\u8868.tim"},
       {L"v\u00F6gel.dat", L"v\u00F6gel.tim"},
       {L"\u5C5C\u2E2F.\u5C2E", L"\u5C5C\u2E2F.tim"},
       {L"a\uFF3Cb\uFF0Ec", L"a\uFF3Cb\uFF0Ec.tim"},
       {L"\xD83D\xDCC8 run.dat", L"\xD83D\xDCC8 run.tim"},  // a pair
       {L"\xD800.dat", L"\xD800.tim"},                      // unpaired
       {L"x.\xDC00", L"x.tim"}});
}

// Nothing is cut, however long: a shortened folder or name would put the
// timing file somewhere else, over whatever is there.
TEST(OutputNaming, KeepsLongComponentsWhole) {
  const std::string d(600, 'd'), b(300, 'b');
  ExpectNaming<char>(
      {{"C:" + d + "/" + b + ".dat", "C:" + d + "/" + b + ".tim"},
       {d + "/" + b, d + "/" + b + ".tim"}});
  const std::wstring so(300, L'\u30BD');
  ExpectNaming<wchar_t>(
      {{so + L"\\" + so + L".dat", so + L"\\" + so + L".tim"}});
}

}  // namespace
