// Runs the built tool on files in a scratch folder and checks everything a
// user can observe: exit status, both streams, and what is left on disk.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "capture.h"
#include "capture_builder.h"
#include "platform.h"
#include "run_tool.h"
#include "string_sink.h"
#include "timing_writer.h"
#include "tool_test.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

const char kUsage[] =
    "trovik QV-7 *.dat file to Carvendel tim file converter\n"
    "Version " TROVCONV_VERSION
    "\n"
    "usage: trovconv {trovik_dat_file}\n";
const char kOldTiming[] = "an earlier timing file\r\n";

class CliTest : public ToolTest {};

TEST_F(CliTest, WritesTimingFileWithCrLfLineEnds) {
  CaptureBuilder builder;
  builder.SignalCount(1).Name(0, "CLK A").Timebase(1);
  builder.Level(0, 2, 0).Level(0, 3, 0).Level(1, 5, 0);  // not exported
  ASSERT_TRUE(builder.WriteFile(Path("run.dat")));
  ExpectRun(RunTool({Path("run.dat")}), 0, "");
  EXPECT_EQ(Content("run.tim"),
            "Timing Diagram Editor v5\r\n"
            "SIGNAL\tCLK_A\r\nPROPS!\r\n"
            "E0\t1\t0000\t0000\t\t\r\n"
            "E2\t0\t80000\t80000\t\t\r\n"
            "E4\t1\t160000\t160000\t\t\r\n"
            "!\r\n\r\n");
  EXPECT_EQ(Content("run.dat"), builder.bytes());
}

TEST_F(CliTest, WritesWhatTheWriterMakes) {
  CaptureBuilder builder;
  builder.SignalCount(3).Timebase(7).Name(0, "DATA 0").Name(1, "strobe");
  builder.MapByte(1, 9).MapByte(2, 31).Level(9, 100, 0).Level(31, 8191, 0);
  for (int j = 0; j < kSampleCount; j += 3)
    builder.Level(0, j, 0);
  const std::string expected = ExpectedTiming(builder);
  struct {
    const char* what;
    std::string trailing;  // bytes after the record
    std::string previous;  // a timing file already there, if not empty
  } const rows[] = {
      {"exact size", "", ""},
      {"longer file reads as its record", std::string(4096, '\xFF'), ""},
      {"longer timing file replaced whole", "", std::string(300000, 'Z')},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    fs::remove(Path("x.tim"));
    Put("x.dat", builder.bytes() + row.trailing);
    if (!row.previous.empty())
      Put("x.tim", row.previous);
    ExpectRun(RunTool({Path("x.dat")}), 0, "");
    EXPECT_EQ(Content("x.tim"), expected);
    EXPECT_EQ(Content("x.dat"), builder.bytes() + row.trailing);
  }
}

TEST_F(CliTest, NamesTimingFileAfterCapture) {
  struct {
    const char* capture;
    const char* timing;
  } const rows[] = {
      {"run.dat", "run.tim"},
      {"run.v2.dat", "run.v2.tim"},
      {"run", "run.tim"},
#ifndef _WIN32
      {"C:run.dat", "C:run.tim"},  // only a name with a colon in it
#endif
      {"sub/run.dat", "sub/run.tim"},
      {"sub.d/run", "sub.d/run.tim"},
  };
  fs::create_directory(Path("sub"));
  fs::create_directory(Path("sub.d"));
  CaptureBuilder builder = Toggling(10);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.capture);
    ASSERT_TRUE(builder.WriteFile(Path(row.capture)));
    ExpectRun(RunTool({row.capture}, RunOptions{dir_.path()}), 0, "");
    EXPECT_EQ(Content(row.timing), ExpectedTiming(builder));
  }
}

#ifndef _WIN32  // no permission bits to mask
TEST_F(CliTest, CreatesTimingFileWithModeLessUmask) {
  ASSERT_TRUE(CaptureBuilder().WriteFile(Path("x.dat")));
  const mode_t saved = umask(0);
  for (mode_t mask : {mode_t{0000}, mode_t{0027}}) {
    SCOPED_TRACE(mask);
    fs::remove(Path("x.tim"));
    umask(mask);
    ExpectRun(RunTool({Path("x.dat")}), 0, "");
    struct stat st;
    ASSERT_EQ(stat(Path("x.tim").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u & ~mask);
  }
  umask(saved);
}
#endif

TEST_F(CliTest, RejectsWrongArgumentCount) {
  ASSERT_TRUE(CaptureBuilder().WriteFile(Path("a.dat")));
  ASSERT_TRUE(CaptureBuilder().WriteFile(Path("b.dat")));
  const std::vector<std::vector<std::string>> rows = {
      {}, {"a.dat", "b.dat"}, {"a.dat", "b.dat", "a.dat"}};
  for (const auto& args : rows) {
    SCOPED_TRACE(args.size());
    ExpectRun(RunTool(args, RunOptions{dir_.path()}), 1, kUsage);
    EXPECT_FALSE(FileExists(Path("a.tim")));
    EXPECT_FALSE(FileExists(Path("b.tim")));
    EXPECT_EQ(Content("a.dat"), CaptureBuilder().bytes());
  }
}

// Another run holding the timing file: this one changes nothing of it and
// says so; once the file is free, the conversion goes ahead.
TEST_F(CliTest, LeavesATimingFileAnotherRunIsWriting) {
  const CaptureBuilder builder = Toggling(30);
  ASSERT_TRUE(builder.WriteFile(Path("x.dat")));
  Put("x.tim", kOldTiming);
  int other_run;
  ASSERT_EQ(platform::OpenForReading(fs::path(Path("x.tim")), &other_run), 0);
  ASSERT_EQ(platform::LockedElsewhere(other_run), false);
  ExpectRun(RunTool({Path("x.dat")}), 1,
            "trovconv: timing file is being written by another run\n");
  EXPECT_EQ(Content("x.tim"), kOldTiming);
  platform::Close(other_run);
  ExpectRun(RunTool({Path("x.dat")}), 0, "");
  EXPECT_EQ(Content("x.tim"), ExpectedTiming(builder));
}

#ifndef _WIN32
// Symbolic links, memory limits and pipes, as the tests below arrange them,
// are not found on Windows.

// A FIFO at the timing name too: two runs writing it would interleave.
// Held open for reading here, it opens for writing at once.
TEST_F(CliTest, LeavesAFifoAnotherRunIsWriting) {
  const CaptureBuilder builder = Toggling(30);
  ASSERT_TRUE(builder.WriteFile(Path("x.dat")));
  ASSERT_EQ(mkfifo(Path("x.tim").c_str(), 0644), 0);
  const int other_run = open(Path("x.tim").c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(other_run, 0);
  ASSERT_EQ(platform::LockedElsewhere(other_run), false);
  ExpectRun(RunTool({Path("x.dat")}), 1,
            "trovconv: timing file is being written by another run\n");
  char read[8192];
  EXPECT_EQ(::read(other_run, read, sizeof read), 0);  // nothing written
  flock(other_run, LOCK_UN);
  ExpectRun(RunTool({Path("x.dat")}), 0, "");
  const ssize_t got = ::read(other_run, read, sizeof read);
  EXPECT_EQ(std::string(read, got > 0 ? static_cast<size_t>(got) : 0),
            ExpectedTiming(builder));
  close(other_run);
}

// The timing file goes beside the name given, not beside the file a link
// leads to, and the link and its file stay as they were.
TEST_F(CliTest, ConvertsCaptureReachedThroughSymbolicLink) {
  fs::create_directory(Path("store"));
  ASSERT_TRUE(Toggling(40).WriteFile(Path("store/real.dat")));
  fs::create_symlink("store/real.dat", Path("x.dat"));
  ExpectRun(RunTool({Path("x.dat")}), 0, "");
  EXPECT_EQ(Content("x.tim"), ExpectedTiming(Toggling(40)));
  EXPECT_FALSE(FileExists(Path("store/real.tim")));
  EXPECT_TRUE(fs::is_symlink(Path("x.dat")));
  EXPECT_EQ(Content("store/real.dat"), Toggling(40).bytes());
}

// Short of memory the tool still fails with its message and status 1, never
// with an abort: under each limit on its address space from the least it
// starts with, page by page, to enough to convert. The capture's path is too
// long to be held without memory of its own, the missing one's is not.
// Neither the emulator nor the sanitizers run under such a limit.
#if !defined(TROVCONV_EMULATOR) && !defined(TROVCONV_SANITIZED)
TEST_F(CliTest, FailsCleanlyShortOfMemory) {
  const std::string folder(40, 'f');
  fs::create_directory(Path(folder));
  const CaptureBuilder builder = Toggling(10);
  ASSERT_TRUE(builder.WriteFile(Path(folder + "/x.dat")));
  const std::string no_memory = SystemError(ENOMEM);
  const struct {
    std::string capture;  // from the scratch folder
    std::string err;      // once there is memory enough
  } rows[] = {{folder + "/x.dat", ""}, {"none.dat", SystemError(ENOENT)}};
  for (const auto& row : rows) {
    auto run_in = [&](long limit) {
      fs::remove(Path(folder + "/x.tim"));
      RunOptions options{dir_.path()};
      options.memory_limit = limit;
      return RunTool({row.capture}, options);
    };
    // Too little for the system to start it, or just enough.
    auto starts = [](const ToolRun& run) {
      return run.status != 127 && run.signal != SIGSEGV &&
             run.signal != SIGKILL;
    };
    long least = 1L << 20;
    while (least < (64L << 20) && !starts(run_in(least)))
      least += 64L << 10;
    std::string last;
    for (long limit = least - (64L << 10); limit <= least + (512L << 10);
         limit += 4096) {
      SCOPED_TRACE(row.capture + " in " + std::to_string(limit) + " bytes");
      const ToolRun run = run_in(limit);
      if (!starts(run))
        continue;
      ASSERT_EQ(run.status, run.err.empty() ? 0 : 1);
      ASSERT_TRUE(run.err == row.err || run.err == no_memory) << run.err;
      ASSERT_EQ(FileExists(Path(folder + "/x.tim")), run.status == 0);
      last = run.err;
    }
    EXPECT_EQ(last, row.err);
  }
}
#endif

// A reader that goes away early is a failed write, not a silent death.
TEST_F(CliTest, ReportsBrokenPipe) {
  ASSERT_TRUE(Toggling(kSampleCount).WriteFile(Path("x.dat")));
  ASSERT_EQ(mkfifo(Path("x.tim").c_str(), 0644), 0);
  std::thread reader([&] {
    std::ifstream pipe(Path("x.tim"), std::ios::binary);
    char first[10];
    pipe.read(first, sizeof first);
  });
  ToolRun run = RunTool({Path("x.dat")});
  reader.join();
  ExpectRun(run, 1, "trovconv: Broken pipe\n");
  struct stat st;
  ASSERT_EQ(lstat(Path("x.tim").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
}
#endif  // _WIN32

// A capture that never comes, from a pipe no one writes to: the runner must
// end the tool and fail the test, not wait for ever.
TEST_F(CliTest, RunnerEndsAToolThatHangs) {
#ifdef _WIN32
  const std::string name =
      "\\\\.\\pipe\\trovconv-" + std::to_string(GetCurrentProcessId()) + ".dat";
  HANDLE pipe = CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX,
                                 PIPE_TYPE_BYTE, 1, 0, 0, 0, nullptr);
  ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
#else
  const std::string name = Path("x.dat");
  ASSERT_EQ(mkfifo(name.c_str(), 0644), 0);
#endif
  RunOptions options;
  options.time_limit_s = 1;
  ToolRun run;
  EXPECT_NONFATAL_FAILURE(run = RunTool({name}, options), "the tool hung");
  EXPECT_EQ(run.status, -1);
#ifdef _WIN32
  CloseHandle(pipe);
#endif
}

// Nothing is cut from a folder or a name, however long: the timing file
// goes beside the capture, under its whole name.
TEST_F(CliTest, ConvertsInDeepFoldersAndUnderLongNames) {
  const std::string deep = std::string(210, 'a') + "/" + std::string(210, 'b') +
                           "/" + std::string(210, 'c');
  const std::string n251(251, 'n');
  struct {
    std::string capture;  // in the scratch folder
    std::string timing;
    bool relative;
  } const rows[] = {
      {deep + "/run.dat", deep + "/run.tim", false},
      {deep + "/run.dat", deep + "/run.tim", true},
      {n251 + ".dat", n251 + ".tim", false},  // the longest name ext4 holds
  };
  fs::create_directories(Path(deep));
  const CaptureBuilder builder = Toggling(10);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.capture.substr(0, 20) +
                 (row.relative ? ", relative" : ""));
    fs::remove(Path(row.timing));
    ASSERT_TRUE(builder.WriteFile(Path(row.capture)));
    ExpectRun(row.relative ? RunTool({row.capture}, RunOptions{dir_.path()})
                           : RunTool({Path(row.capture)}),
              0, "");
    EXPECT_EQ(Content(row.timing), ExpectedTiming(builder));
    EXPECT_EQ(Content(row.capture), builder.bytes());
  }
}

}  // namespace
