// What only Windows has: the ANSI code page, drive letters and a file system
// that ignores case. Under Wine the tests run with code page 932 (Shift-JIS).
#include <windows.h>
// After windows.h.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "capture_builder.h"
#include "run_tool.h"
#include "string_sink.h"

namespace {

namespace fs = std::filesystem;

CaptureBuilder SmallCapture() {
  CaptureBuilder builder;
  builder.SignalCount(2).Name(0, "A").Level(0, 3, 0).Level(0, 9, 0);
  return builder;
}

// The names in a folder, as UTF-8 whatever the code page.
std::set<std::string> Names(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.insert(entry.path().filename().u8string());
  return names;
}

RunOptions In(const ScratchDir& dir) {
  RunOptions options;
  options.directory = dir.path();
  return options;
}

// In Shift-JIS the second byte of both characters is that of a backslash,
// which must not be taken for a separator. A split that did would go wrong
// where a dot comes before such a byte (the second and third rows); the
// others show everyday names coming through untouched.
TEST(CliWindows, DoubleByteNamesKeepTheirSecondByte) {
  ASSERT_EQ(GetACP(), 932u) << "run with LANG and LC_ALL set to ja_JP.UTF-8 "
                               "under Wine, or on a Japanese system";
  const std::string so = "\x83\x5C", hyo = "\x95\x5C";
  const std::string so8 = "\xE3\x82\xBD", hyo8 = "\xE8\xA1\xA8";  // UTF-8
  struct {
    std::string folder;   // UTF-8; made first unless empty; the names are in it
    std::string capture;  // code page 932, from the scratch folder
    std::string timing;
    std::set<std::string> names;  // UTF-8, what the folder holds afterwards
  } const rows[] = {
      {"",
       so + hyo + ".dat",
       so + hyo + ".tim",
       {so8 + hyo8 + ".dat", so8 + hyo8 + ".tim"}},
      {"",
       so + hyo + "." + so + hyo,
       so + hyo + ".tim",
       {so8 + hyo8 + "." + so8 + hyo8, so8 + hyo8 + ".tim"}},
      {"", "run." + so, "run.tim", {"run." + so8, "run.tim"}},
      {so8 + hyo8,
       so + hyo + "\\" + so,
       so + hyo + "\\" + so + ".tim",
       {so8, so8 + ".tim"}},
  };
  const CaptureBuilder builder = SmallCapture();
  const std::string expected = ExpectedTiming(builder);
  for (const auto& row : rows) {
    SCOPED_TRACE(*row.names.rbegin());
    ScratchDir dir;
    const fs::path folder = fs::u8path(dir.path()) / fs::u8path(row.folder);
    fs::create_directories(folder);
    ASSERT_TRUE(builder.WriteFile(dir / row.capture));
    ToolRun run = RunTool({row.capture}, In(dir));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(Names(folder), row.names);
    std::string timing;
    EXPECT_TRUE(ReadFile(dir / row.timing, &timing));
    EXPECT_EQ(timing, expected);
  }
}

// "D:name" is relative to that drive's own current folder, which a command
// prompt keeps in the variable "=D:"; a full path names its drive outright.
// Each runs from a folder on the other drive (under Wine: C: and Z:), so a
// lost drive would put the timing file in the wrong folder.
TEST(CliWindows, KeepsTheDrive) {
  ScratchDir temp;
  ScratchDir here(fs::current_path().string());
  const std::string drive = temp.path().substr(0, 2);
  ASSERT_EQ(drive[1], ':');
  ASSERT_TRUE(
      SetEnvironmentVariableA(("=" + drive).c_str(), temp.path().c_str()));
  const std::string full = fs::absolute(here.path()).string() + "\\x.dat";
  ASSERT_EQ(full.substr(1, 2), ":\\");
  struct {
    const ScratchDir& dir;  // where the capture is
    const ScratchDir& from;
    std::string capture;
    std::string name;
  } const rows[] = {{temp, here, drive + "run.dat", "run"},
                    {here, temp, full, "x"}};
  const CaptureBuilder builder = SmallCapture();
  for (const auto& row : rows) {
    SCOPED_TRACE(row.capture);
    ASSERT_TRUE(builder.WriteFile(row.dir / (row.name + ".dat")));
    ToolRun run = RunTool({row.capture}, In(row.from));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(Names(row.dir.path()),
              (std::set<std::string>{row.name + ".dat", row.name + ".tim"}));
    EXPECT_EQ(Names(row.from.path()).count(row.name + ".tim"), 0u);
  }
}

// Names that differ only in case are one file here, so x.TIM is its own
// timing file.
TEST(CliWindows, RefusesCaptureWhoseNameDiffersOnlyInCase) {
  ScratchDir dir;
  const CaptureBuilder builder = SmallCapture();
  for (const char* capture : {"x.TIM", "X.Tim"}) {
    SCOPED_TRACE(capture);
    ASSERT_TRUE(builder.WriteFile(dir / capture));
    ToolRun run = RunTool({capture}, In(dir));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err,
              "trovconv: timing file would overwrite the capture file\r\n");
    std::string left;
    EXPECT_TRUE(ReadFile(dir / capture, &left));
    EXPECT_EQ(left, builder.bytes());
    EXPECT_EQ(Names(dir.path()), std::set<std::string>{capture});
    fs::remove(dir / capture);
  }
}

// Another program may hold either file open for reading and writing while
// the tool runs: the tool must neither be shut out nor shut it out.
TEST(CliWindows, SharesBothFilesWithOtherPrograms) {
  ScratchDir dir;
  const CaptureBuilder builder = SmallCapture();
  ASSERT_TRUE(builder.WriteFile(dir / "x.dat"));
  ASSERT_TRUE(builder.WriteFile(dir / "x.tim"));
  std::vector<HANDLE> held;
  for (const char* name : {"x.dat", "x.tim"}) {
    held.push_back(CreateFileA((dir / name).c_str(),
                               GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr));
    ASSERT_NE(held.back(), INVALID_HANDLE_VALUE) << name;
  }
  ToolRun run = RunTool({dir / "x.dat"});
  for (HANDLE handle : held)
    CloseHandle(handle);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  std::string timing;
  EXPECT_TRUE(ReadFile(dir / "x.tim", &timing));
  EXPECT_EQ(timing, ExpectedTiming(builder));
}

// The C runtime would hand over "\u00e0.dat" as "a.dat" in code page 932: the
// tool would convert another capture and overwrite its timing file.
TEST(CliWindows, RefusesNamesTheCodePageCannotSpell) {
  ScratchDir dir;
  const CaptureBuilder other = SmallCapture();
  ASSERT_TRUE(other.WriteFile(dir / "a.dat"));
  ASSERT_TRUE(CaptureBuilder().WriteFile(dir / "a.tim"));
  std::ofstream(fs::u8path(dir.path()) / fs::u8path("\xC3\xA0.dat"),
                std::ios::binary)
      << CaptureBuilder().bytes();
  ToolRun run = RunToolWide({L"\u00e0.dat"}, In(dir));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "trovconv: " + std::string(std::strerror(EILSEQ)) + "\r\n");
  EXPECT_EQ(Names(dir.path()),
            (std::set<std::string>{"a.dat", "a.tim", "\xC3\xA0.dat"}));
  std::string timing;
  EXPECT_TRUE(ReadFile(dir / "a.tim", &timing));
  EXPECT_EQ(timing, CaptureBuilder().bytes());
}

}  // namespace
