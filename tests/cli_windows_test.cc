// What only Windows has: UTF-16 names, the ANSI code page, drive letters and
// a file system that ignores case. Under Wine the suite runs with code page
// 932 (Shift-JIS), and these tests once more with 1252 (Western).
#include <windows.h>
// After windows.h.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <io.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "capture_builder.h"
#include "platform.h"
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

// Each run under Wine says which ANSI code page it is meant to have.
TEST(CliWindows, RunsInTheCodePageAsked) {
  const char* asked = std::getenv("TROVCONV_CODE_PAGE");
  if (asked == nullptr)
    GTEST_SKIP() << "no code page asked for";
  EXPECT_EQ(std::to_string(GetACP()), asked);
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
  const std::string drive = temp.path().substr(0, 2);
  ASSERT_EQ(drive[1], ':');
  ScratchDir top(drive + "\\");
  ASSERT_FALSE(top.path().empty());
  const CaptureBuilder builder = SmallCapture();
  // The drive's current folder at several lengths: how far a full path
  // made into too small a buffer overran depended on it.
  for (size_t length : {30u, 41u, 52u, 63u, 70u}) {
    ScratchDir here(fs::current_path().string());
    const std::string full = fs::absolute(here.path()).string() + "\\x.dat";
    ASSERT_EQ(full.substr(1, 2), ":\\");
    const std::string folder =
        top.path() + "\\" + std::string(length - top.path().size() - 1, 'd');
    fs::create_directories(folder);
    ASSERT_TRUE(SetEnvironmentVariableA(("=" + drive).c_str(), folder.c_str()));
    struct {
      std::string dir;  // where the capture is
      std::string from;
      std::string capture;
      std::string name;
    } const rows[] = {{folder, here.path(), drive + "run.dat", "run"},
                      {here.path(), folder, full, "x"}};
    for (const auto& row : rows) {
      SCOPED_TRACE(row.capture + " with " + folder);
      ASSERT_TRUE(builder.WriteFile(row.dir + "\\" + row.name + ".dat"));
      RunOptions options;
      options.directory = row.from;
      ToolRun run = RunTool({row.capture}, options);
      EXPECT_EQ(run.status, 0);
      EXPECT_EQ(run.err, "");
      EXPECT_EQ(Names(row.dir),
                (std::set<std::string>{row.name + ".dat", row.name + ".tim"}));
      EXPECT_EQ(Names(row.from).count(row.name + ".tim"), 0u);
    }
  }
}

// Another program may hold either file open for reading and writing while
// the tool runs: the tool must neither be shut out nor shut it out.
TEST(CliWindows, SharesBothFilesWithOtherPrograms) {
  ScratchDir dir;
  const CaptureBuilder builder = SmallCapture();
  ASSERT_TRUE(builder.WriteFile(dir / "x.dat"));
  std::ofstream(dir / "x.tim") << "an earlier timing file\n";
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

// Shares cannot be tried under Wine: the form the system gets for them is
// checked here, with the forms that must pass unchanged.
TEST(CliWindows, ExtendedLengthForms) {
  const std::pair<std::wstring, std::wstring> rows[] = {
      {L"C:\\d\\x.dat", L"\\\\?\\C:\\d\\x.dat"},
      {L"\\\\srv\\share\\x.dat", L"\\\\?\\UNC\\srv\\share\\x.dat"},
      {L"\\\\?\\C:\\x.dat", L"\\\\?\\C:\\x.dat"},
      {L"\\\\?\\UNC\\srv\\s\\x", L"\\\\?\\UNC\\srv\\s\\x"},
      {L"\\\\.\\NUL", L"\\\\.\\NUL"}};
  for (const auto& [full, extended] : rows)
    EXPECT_EQ(platform::ExtendedLength(full), extended);
}

// Wide, extended-length names for the files the test makes and reads: the
// narrow calls cannot spell every name, nor reach past 260 characters.
std::wstring SystemName(const std::wstring& path) {
  return platform::ExtendedLength(
      fs::absolute(path).make_preferred().wstring());
}

bool PutWide(const std::wstring& path, const std::string& bytes) {
  std::ofstream out(fs::path(SystemName(path)), std::ios::binary);
  return static_cast<bool>(out << bytes);
}

std::string GetWide(const std::wstring& path) {
  std::ifstream in(fs::path(SystemName(path)), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Each level of folder under root, outermost first.
void MakeFolders(const std::wstring& root, const std::wstring& folder) {
  for (size_t at = folder.find(L'\\'); !folder.empty();
       at = folder.find(L'\\', at + 1)) {
    CreateDirectoryW(SystemName(root + folder.substr(0, at)).c_str(), nullptr);
    if (at == std::wstring::npos)
      break;
  }
}

std::set<std::wstring> WideNames(const std::wstring& folder) {
  std::set<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((SystemName(folder) + L"\\*").c_str(), &found);
  for (bool more = search != INVALID_HANDLE_VALUE; more;
       more = FindNextFileW(search, &found)) {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..")
      names.insert(name);
  }
  FindClose(search);
  return names;
}

// Names that differ only in case are one file here, so x.TIM is its own
// timing file, also in a folder past 260 characters.
TEST(CliWindows, RefusesCaptureWhoseNameDiffersOnlyInCase) {
  ScratchDir dir;
  const CaptureBuilder builder = SmallCapture();
  const std::string deep = std::string(100, 'd') + "\\" +
                           std::string(100, 'e') + "\\" + std::string(100, 'f');
  const std::pair<std::string, std::string> rows[] = {
      {"", "x.TIM"}, {"", "X.Tim"}, {deep, "x.TIM"}};
  for (const auto& [folder, name] : rows) {
    const std::string capture = (fs::path(folder) / name).string();
    SCOPED_TRACE(capture.size());
    fs::create_directories(fs::path(dir.path()) / folder);  // the last row's
    ASSERT_TRUE(builder.WriteFile(dir / capture));
    ToolRun run = RunTool({capture}, In(dir));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err,
              "trovconv: timing file would overwrite the capture file\r\n");
    std::string left;
    EXPECT_TRUE(ReadFile(dir / capture, &left));
    EXPECT_EQ(left, builder.bytes());
    const fs::path top = dir.path();
    EXPECT_EQ(WideNames((folder.empty() ? top : top / folder).wstring()),
              std::set<std::wstring>{fs::path(name).wstring()});
    fs::remove(dir / capture);
  }
}

// Another program may remove or rename a file the tool has open, and the
// tool may remove a name it made before it lets go of the file. (The
// errors of the open are the fault matrix's.)
TEST(CliWindows, OpensLettingTheFileBeRemoved) {
  ScratchDir dir;
  const std::wstring folder = fs::path(dir.path()).wstring();
  const std::wstring file = folder + L"\\x.tim";
  const std::pair<bool, int> rows[] = {// a file there first; the flags
                                       {true, _O_RDONLY},
                                       {true, _O_WRONLY},
                                       {false, _O_RDWR | _O_CREAT | _O_EXCL}};
  for (const auto& [there, flags] : rows) {
    SCOPED_TRACE(flags);
    if (there) {
      ASSERT_TRUE(PutWide(file, "an earlier timing file\n"));
    }
    int fd = -1;
    ASSERT_EQ(platform::OpenFile(file, flags, &fd), 0);
    EXPECT_TRUE(DeleteFileW(SystemName(file).c_str())) << GetLastError();
    _close(fd);
    EXPECT_EQ(WideNames(folder), std::set<std::wstring>{});
  }
}

// Every name a file can have converts, whatever the code page, and however
// deep its folder: the tool takes the command line in UTF-16 and hands the
// system full paths in their extended-length form.
TEST(CliWindows, ConvertsAnyName) {
  const std::wstring deep = std::wstring(100, L'd') + L"\\" +
                            std::wstring(100, L'\u00E9') + L"\\" +
                            std::wstring(100, L'\u8868');
  struct {
    std::wstring folder;  // in the scratch folder; made first unless empty
    std::wstring name;    // of the capture, without its extension
    bool absolute;        // or relative to the scratch folder
  } const rows[] = {
      {L"", L"v\u00F6gel", false},
      {L"", L"\u30BD\u8868", false},
      {L"", L"\u03A9meter run", true},
      {L"", L"\xD83D\xDCC8 run", false},  // an emoji: a surrogate pair
      {L"", L"\xD800 lone", false},       // an unpaired surrogate
      {deep, L"run", true},
      {deep, L"run", false},
  };
  const CaptureBuilder builder = SmallCapture();
  const std::string expected = ExpectedTiming(builder);
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message()
                 << row.name << (row.absolute ? " absolute" : "") << " in "
                 << row.folder.size() << " units");
    ScratchDir dir;
    const std::wstring top = fs::path(dir.path()).wstring() + L"\\";
    MakeFolders(top, row.folder);
    const std::wstring folder = row.folder.empty() ? L"" : row.folder + L"\\";
    const std::wstring capture = folder + row.name + L".dat";
    if (!PutWide(top + capture, builder.bytes())) {
      // Wine keeps names as UTF-8, which cannot hold a lone surrogate.
      EXPECT_EQ(row.name[0], 0xD800) << "could not make the capture";
      std::printf("no capture named with a lone surrogate here: left out\n");
      continue;
    }
    ToolRun run =
        RunToolWide({row.absolute ? top + capture : capture}, In(dir));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    // The listing's pattern needs the folder without a separator at its end.
    EXPECT_EQ(WideNames((top + folder).substr(0, (top + folder).size() - 1)),
              (std::set<std::wstring>{row.name + L".dat", row.name + L".tim"}));
    EXPECT_EQ(GetWide(top + folder + row.name + L".tim"), expected);
    EXPECT_EQ(GetWide(top + capture), builder.bytes());
  }
}

}  // namespace

namespace {

// However the capture is spelled, the timing file is named after its own
// entry in its folder, never after the spelling: the system drops trailing
// dots and spaces, and finds short (8.3) names and names in another case,
// and a name made from them can be another file's (here the user's notes
// named like the alias; on a disk often another file's alias, as the
// numbering of aliases makes them alike).
TEST(CliWindows, NamesTheTimingFileAfterTheCapturesEntry) {
  const CaptureBuilder builder = SmallCapture();
  const std::wstring capture = L"capture run 1724.dat";
  const std::wstring timing = L"capture run 1724.tim";
  struct {
    std::wstring name;  // as typed; empty for the capture's short name
    std::wstring tail;  // typed after it
  } const rows[] = {
      {capture, L"."},
      {capture, L". . "},
      {L"CAPTURE RUN 1724.DAT", L""},
      {L"", L""},
      // As "set CAP=%~s1 " leaves it in a batch file.
      {L"", L" "},
  };
  for (const auto& row : rows) {
    ScratchDir dir;
    const std::wstring here = fs::path(dir.path()).wstring() + L"\\";
    ASSERT_TRUE(PutWide(here + capture, builder.bytes()));
    wchar_t alias[MAX_PATH];
    ASSERT_NE(
        GetShortPathNameW(SystemName(here + capture).c_str(), alias, MAX_PATH),
        0u);
    const std::wstring short_name = fs::path(alias).filename().wstring();
    ASSERT_NE(short_name, capture) << "no short names here";
    const std::wstring notes = fs::path(short_name).stem().wstring() + L".tim";
    ASSERT_TRUE(PutWide(here + notes, "a user's notes\r\n"));
    const std::wstring typed =
        (row.name.empty() ? short_name : row.name) + row.tail;
    SCOPED_TRACE("\"" + fs::path(typed).u8string() + "\"");
    ToolRun run = RunToolWide({typed}, In(dir));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(WideNames(here.substr(0, here.size() - 1)),
              (std::set<std::wstring>{capture, timing, notes}));
    EXPECT_EQ(GetWide(here + timing), ExpectedTiming(builder));
    EXPECT_EQ(GetWide(here + notes), "a user's notes\r\n");
    EXPECT_EQ(GetWide(here + capture), builder.bytes());
  }
}

// A capture whose own name looks like an alias, that of the user's notes:
// its timing name reaches the notes, which are left alone.
TEST(CliWindows, RefusesATimingNameThatIsAnotherFilesAlias) {
  ScratchDir dir;
  const std::wstring here = fs::path(dir.path()).wstring() + L"\\";
  ASSERT_TRUE(PutWide(here + L"capture notes 806.tim", "a user's notes\r\n"));
  wchar_t alias[MAX_PATH];
  ASSERT_NE(
      GetShortPathNameW(SystemName(here + L"capture notes 806.tim").c_str(),
                        alias, MAX_PATH),
      0u);
  const std::wstring capture = fs::path(alias).stem().wstring() + L".dat";
  ASSERT_NE(capture, L"capture notes 806.dat") << "no short names here";
  ASSERT_TRUE(PutWide(here + capture, SmallCapture().bytes()));
  ToolRun run = RunToolWide({capture}, In(dir));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "trovconv: File exists\r\n");
  EXPECT_EQ(GetWide(here + L"capture notes 806.tim"), "a user's notes\r\n");
  EXPECT_EQ(GetWide(here + capture), SmallCapture().bytes());
}

// A write that stalls (a pipe whose reader stopped, a share that stopped
// answering) must not keep Ctrl-C from ending the run at once. Under Wine,
// a FIFO with no reader at the timing name opens at once and then takes no
// write; ctest makes one (TROVCONV_FIFO, a Unix path) and runs this under
// a pseudo-terminal, for a console that Ctrl-C can be sent in.
TEST(CliWindows, InterruptsAStalledWrite) {
  const char* fifo = std::getenv("TROVCONV_FIFO");
  if (fifo == nullptr || std::getenv("TROVCONV_CONSOLE") == nullptr)
    GTEST_SKIP() << "no FIFO, or no console to send Ctrl-C in";
  fs::path timing = std::string("Z:") + fifo;
  timing.make_preferred();
  const fs::path capture = fs::path(timing).replace_extension("dat");
  ASSERT_TRUE(WorstCaseCapture().WriteFile(capture.string()));
  RunOptions options;
  options.interruption = SIGINT;
  options.when = RunOptions::When::kWaiting;
  ToolRun run = RunTool({capture.string()}, options);
  EXPECT_EQ(run.signal, SIGINT) << "status " << run.status;
  EXPECT_EQ(run.err, "");
}

}  // namespace

namespace {

// Each file call of a run in turn fails, with an error it can give, or has
// a Ctrl-C come just before or just after it, from each state the timing
// name can be in. No capture may change; status 0 comes only with the
// whole timing file; otherwise what was there stays as it was, or, when
// it was the run's to take (nothing, or an earlier timing file), nothing
// is left, or an empty file that the last message line tells of.
TEST(CliWindows, EveryCallFailedOrInterrupted) {
  const CaptureBuilder builder = SmallCapture();
  const std::string capture = builder.bytes();
  const std::string expected = ExpectedTiming(builder);
  const std::string earlier = "an earlier timing file\r\n";
  const std::string told = "trovconv: an empty timing file was left behind: ";
  const std::string full = "trovconv: No space left on device\r\n";
  enum State { kNothing, kEarlier, kLinkToCapture, kCopyOfCapture };
  for (State state : {kNothing, kEarlier, kLinkToCapture, kCopyOfCapture}) {
    const bool takeable = state == kNothing || state == kEarlier;
    auto run = [&](const std::string& seam) {
      SCOPED_TRACE("state " + std::to_string(state) + ", " + seam);
      ScratchDir dir;
      const std::string timing = dir / "x.tim";
      EXPECT_TRUE(builder.WriteFile(dir / "x.dat"));
      if (state == kEarlier) {
        std::ofstream(timing, std::ios::binary) << earlier;
      } else if (state == kLinkToCapture) {
        EXPECT_TRUE(builder.WriteFile(dir / "other.dat") &&
                    CreateHardLinkA(timing.c_str(), (dir / "other.dat").c_str(),
                                    nullptr));
      } else if (state == kCopyOfCapture) {
        EXPECT_TRUE(builder.WriteFile(timing));
      }
      std::string before;
      const bool was = ReadFile(timing, &before);
      RunOptions options = In(dir);
      options.seam = seam;
      ToolRun done = RunTool({"x.dat"}, options);
      std::string left, other, now;
      EXPECT_TRUE(ReadFile(dir / "x.dat", &left) && left == capture);
      if (state == kLinkToCapture) {
        EXPECT_TRUE(ReadFile(dir / "other.dat", &other) && other == capture);
      }
      const bool there = ReadFile(timing, &now);
      const bool whole = there && now == expected;
      if (done.status == 0 || (whole && (done.status == 255 || done.signal))) {
        EXPECT_TRUE(takeable && whole && done.err.empty()) << done.err;
      } else {
        EXPECT_TRUE((was ? there && now == before : !there) ||
                    (takeable && !there) ||
                    (takeable && there && now.empty() &&
                     done.err.find(told) != std::string::npos))
            << "status " << done.status << ", " << done.err << ", "
            << now.size() << " bytes left";
      }
      return done;
    };
    // Then once more after a failed write, for the calls that take back
    // what the run made.
    std::string first;
    for (long from = 1; from > 0;) {
      const long calls =
          std::strtol(run(first + "count").out.c_str(), nullptr, 10);
      ASSERT_GT(calls, from);
      long write = 0;
      for (long call = from; call <= calls; ++call) {
        for (const char* what : {" fail", " before", " after"}) {
          if (run(first + std::to_string(call) + what).err == full &&
              write == 0)
            write = call;
        }
      }
      ASSERT_TRUE(write > 0 || !takeable || !first.empty());
      from = first.empty() && takeable ? write + 1 : 0;
      first = std::to_string(write) + " fail then ";
    }
  }
}

}  // namespace
