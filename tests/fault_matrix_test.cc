// Every way a conversion can fail that a user's file system can arrange,
// run against the built tool. Each must end with status 1 and its own
// message, leave the capture exactly as it was, and leave no timing file
// behind: where the failure comes before the timing file is created, an
// earlier timing file stays untouched; where it comes after, none remains.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "capture.h"
#include "capture_builder.h"
#include "run_tool.h"
#include "string_sink.h"
#include "tool_test.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

// Longer than any conversion here, so that one written over it without
// truncation would show.
const std::string& OldTiming() {
  static const std::string old = [] {
    std::string lines;
    while (lines.size() < size_t{64} * 1024)
      lines += "an earlier timing file\r\n";
    return lines;
  }();
  return old;
}

// Which file, and with which permissions: a file removed and made again
// with the same bytes is not the same file.
std::string Identity(const std::string& path) {
#ifdef _WIN32
  return std::to_string(static_cast<int>(fs::status(path).permissions()));
#else
  struct stat st;
  if (stat(path.c_str(), &st) != 0)
    return "?";
  return "inode " + std::to_string(st.st_ino) + " mode " +
         std::to_string(st.st_mode & 07777);
#endif
}

// What a name leads to, in a form that two moments can be compared by.
std::string Describe(const std::string& path, fs::file_status status) {
  std::error_code error;
  if (!fs::exists(status))
    return "nothing";
  if (fs::is_directory(status)) {
    std::string entries = "folder:";
    for (const auto& entry : fs::directory_iterator(path, error))
      entries += " " + entry.path().filename().string();
    return entries;
  }
  if (!fs::is_regular_file(status))
    return "device";
  std::string content;
  if (!ReadFile(path, &content))
    content = "(unreadable)";
  return "file " + Identity(path) + ": " + content;
}

// A link is described with what it leads to: a device must stay one, and a
// file behind it must keep its bytes or lose them as the case says.
std::string Snapshot(const std::string& path) {
  std::error_code error;
  const fs::file_status entry = fs::symlink_status(path, error);
  if (!fs::is_symlink(entry))
    return Describe(path, entry);
  return "link to " + fs::read_symlink(path, error).string() + ", leading to " +
         Describe(path, fs::status(path, error));
}

// One case's folder. Locks (permission changes) wait until the "before"
// snapshots are taken and are undone before the "after" ones.
class Scene {
 public:
  Scene(const std::string& parent, bool old_timing)
      : dir_(parent), old_timing_(old_timing) {}

  std::string Path(const std::string& name) const { return dir_ / name; }
  bool old_timing() const { return old_timing_; }

  void Put(const std::string& name, const std::string& bytes) const {
    std::ofstream(Path(name), std::ios::binary) << bytes;
  }
  void Folder(const std::string& name) const {
    fs::create_directories(Path(name));
  }
  void Lock(const std::string& name, fs::perms perms) {
    locks_.emplace_back(Path(name), perms);
  }

  void ApplyLocks() {
    for (auto& lock : locks_) {
      const fs::perms previous = fs::status(lock.first).permissions();
      fs::permissions(lock.first, lock.second);
      lock.second = previous;
    }
  }
  void UndoLocks() {
    for (auto lock = locks_.rbegin(); lock != locks_.rend(); ++lock)
      fs::permissions(lock->first, lock->second);
  }

 private:
  ScratchDir dir_;
  bool old_timing_;
  std::vector<std::pair<std::string, fs::perms>> locks_;
};

enum class After {
  kUnchanged,  // the timing name leads to what it did before the run
  kRemoved,    // an incomplete timing file is gone, an earlier one too
  kEmptied,    // t.txt, where the timing name led, is emptied; a symbolic
               // link there stays, a hard link goes
  kConverted,  // not a failure: the timing file is the record's conversion
};

const CaptureBuilder& Record();

struct Fault {
  const char* what;
  // Builds the case; returns the tool's argument.
  std::function<std::string(Scene&)> arrange;
  std::string err;
  After after;
  // Run again with an earlier timing file in place.
  bool with_old_timing;
  std::string capture = "x.dat";
  std::string timing = "x.tim";
  RunOptions options = RunOptions();
  bool binds_root = true;  // false: permissions that root would ignore
  const CaptureBuilder& (*record)() = Record;  // what the capture holds
};

const CaptureBuilder& Record() {
  static const CaptureBuilder record = Toggling(300);
  return record;
}

// The record cut to size, or with bytes after it.
std::function<std::string(Scene&)> CaptureOfSize(size_t size) {
  return [size](const Scene& s) {
    std::string bytes = Record().bytes();
    bytes.resize(size, '\x5A');
    s.Put("x.dat", bytes);
    return s.Path("x.dat");
  };
}

// The record with other first bytes.
std::function<std::string(Scene&)> CaptureStarting(const std::string& magic) {
  return [magic](const Scene& s) {
    s.Put("x.dat", magic + Record().bytes().substr(magic.size()));
    return s.Path("x.dat");
  };
}

std::function<std::string(Scene&)> CaptureNamed(const std::string& name) {
  return [name](const Scene& s) {
    s.Put(name, Record().bytes());
    return s.Path(name);
  };
}

std::string WholeCapture(const Scene& s) {
  s.Put("x.dat", Record().bytes());
  return s.Path("x.dat");
}

// Long enough to be caught while it is written.
const CaptureBuilder& Largest() {
  static const CaptureBuilder largest = WorstCaseCapture();
  return largest;
}

// The signal comes while the timing file is partly written, or while its
// open waits, as `when` says; a case that sets the timing name up itself
// has no earlier timing file.
Fault Interrupted(const char* what, int signal_number,
                  After after = After::kRemoved,
                  RunOptions::When when = RunOptions::When::kWriting,
                  void (*set_up)(const Scene&) = nullptr) {
  Fault fault{what,
              [set_up](const Scene& s) {
                if (set_up)
                  set_up(s);
                s.Put("x.dat", Largest().bytes());
                return s.Path("x.dat");
              },
              "", after, set_up == nullptr};
  fault.options.interruption = signal_number;
  fault.options.when = when;
  fault.record = Largest;
  return fault;
}

#ifndef _WIN32
Fault NotForRoot(Fault fault) {
  fault.binds_root = false;
  return fault;
}

// A full device, where the system has one.
bool HasFullDevice() {
  std::error_code error;
  return fs::is_character_file("/dev/full", error);
}
#endif

std::vector<Fault> Faults() {
#ifdef _WIN32
  // Windows makes the full path first, which is short, and converts.
  const std::pair<std::string, After> too_long = {"", After::kConverted};
#else
  const std::pair<std::string, After> too_long = {SystemError(ENAMETOOLONG),
                                                  After::kUnchanged};
#endif
  std::vector<Fault> faults = {
      {"missing capture", [](Scene& s) { return s.Path("x.dat"); },
       SystemError(ENOENT), After::kUnchanged, true},
      {"a folder as capture",
       [](Scene& s) {
         s.Folder("x.dat");
         return s.Path("x.dat");
       },
       SystemError(EISDIR), After::kUnchanged, true},
      // Longer than any path a POSIX system takes, but naming the capture.
      {"capture path too long",
       [](Scene& s) {
         WholeCapture(s);
         s.Folder("sub");
         std::string path = s.Path("");
         while (path.size() < 5000)
           path += "sub/../";
         return path + "x.dat";
       },
       too_long.first, too_long.second, true},
      {"timing name taken by a folder",
       [](Scene& s) {
         s.Folder("x.tim");
         return WholeCapture(s);
       },
       SystemError(EISDIR), After::kUnchanged, false},
      {"capture is its own timing file by name", CaptureNamed("x.tim"),
       kSameFile, After::kUnchanged, false, "x.tim"},
      // On a file system that ignores case these are the timing name, and
      // some such give each spelling an identity of its own.
      {"capture's extension is TIM", CaptureNamed("x.TIM"), kSameFile,
       After::kUnchanged, false, "x.TIM"},
      {"capture's extension is Tim", CaptureNamed("X.Tim"), kSameFile,
       After::kUnchanged, false, "X.Tim", "X.tim"},
      {"capture is its own timing file by hard link",
       [](Scene& s) {
         WholeCapture(s);
         fs::create_hard_link(s.Path("x.dat"), s.Path("x.tim"));
         return s.Path("x.dat");
       },
       kSameFile, After::kUnchanged, false},
      {"timing name a hard link to another capture",
       [](Scene& s) {
         s.Put("a.dat", Toggling(7).bytes());
         fs::create_hard_link(s.Path("a.dat"), s.Path("x.tim"));
         return WholeCapture(s);
       },
       kHoldsCapture, After::kUnchanged, false},
      {"capture's last magic byte wrong", CaptureStarting("\xFF\xAA\x03\x71"),
       kNotTrovik, After::kUnchanged, true},
      {"capture's magic bytes swapped", CaptureStarting("\xAA\xFF\x03\x70"),
       kNotTrovik, After::kUnchanged, true},
      {"capture cut to 0 bytes", CaptureOfSize(0), kNotTrovik,
       After::kUnchanged, true},
      {"capture cut to 3 bytes", CaptureOfSize(3), kNotTrovik,
       After::kUnchanged, true},
      {"capture cut to 4 bytes", CaptureOfSize(4), kTruncated,
       After::kUnchanged, true},
      {"capture cut to 1139 bytes", CaptureOfSize(kHeaderSize - 1), kTruncated,
       After::kUnchanged, true},
      {"capture cut to 1140 bytes", CaptureOfSize(kHeaderSize), kTruncated,
       After::kUnchanged, true},
      {"capture cut to 33907 bytes", CaptureOfSize(kCaptureSize - 1),
       kTruncated, After::kUnchanged, true},
      // The one case that is no failure: bytes after the record are ignored.
      {"capture longer than the record", CaptureOfSize(kCaptureSize + 1000), "",
       After::kConverted, true},
  };
#ifdef _WIN32
  // An extended-length path is meant literally: "x.dat." is not x.dat.
  faults.push_back(
      {"extended-length path to a name with a trailing dot",
       [](const Scene& s) {
         WholeCapture(s);
         return "\\\\?\\" +
                fs::path(s.Path("x.dat.")).make_preferred().string();
       },
       SystemError(ENOENT), After::kUnchanged, false, "x.dat", "x.dat.tim"});
  // Wine sends Ctrl-C only within a console: ctest runs the matrix again
  // under a pseudo-terminal, with TROVCONV_CONSOLE set, to have one.
  if (std::getenv("TROVCONV_CONSOLE"))
    faults.push_back(Interrupted("interrupted by Ctrl-C", SIGINT));
#else
  // Permission bits, symbolic links, devices, size limits and a limit on
  // names in bytes, as arranged here, have no counterpart on Windows.
  const std::vector<Fault> posix = {
      NotForRoot({"capture without read permission",
                  [](Scene& s) {
                    s.Lock("x.dat", fs::perms::none);
                    return WholeCapture(s);
                  },
                  SystemError(EACCES), After::kUnchanged, true}),
      {"a symbolic link loop as capture",
       [](Scene& s) {
         fs::create_symlink("x.dat", s.Path("x.dat"));
         return s.Path("x.dat");
       },
       SystemError(ELOOP), After::kUnchanged, true},
      // An earlier timing file there is read-only too, or it would simply
      // be overwritten.
      NotForRoot({"timing file in a read-only folder",
                  [](Scene& s) {
                    s.Put("ro/x.dat", Record().bytes());
                    if (s.old_timing())
                      s.Lock("ro/x.tim", fs::perms::owner_read);
                    s.Lock("ro", fs::perms::owner_read | fs::perms::owner_exec);
                    return s.Path("ro/x.dat");
                  },
                  SystemError(EACCES), After::kUnchanged, true, "ro/x.dat",
                  "ro/x.tim"}),
      // The capture's name fits, the timing file's does not (255 bytes).
      {"timing name longer than the file system holds",
       [](const Scene& s) {
         s.Put(std::string(253, 'n') + ".d", Record().bytes());
         return s.Path(std::string(253, 'n') + ".d");
       },
       SystemError(ENAMETOOLONG), After::kUnchanged, false,
       std::string(253, 'n') + ".d", std::string(253, 'n') + ".tim"},
      {"file size limit, its signal left to kill", WholeCapture,
       SystemError(EFBIG), After::kRemoved, true, "x.dat", "x.tim",
       RunOptions{"", 1000, false}},
      // Past the first of many chunks.
      {"file size limit, the second chunk cut",
       [](const Scene& s) {
         s.Put("x.dat", Toggling(kSampleCount).bytes());
         return s.Path("x.dat");
       },
       SystemError(EFBIG), After::kRemoved, true, "x.dat", "x.tim",
       RunOptions{"", 200000, true}},
      // The bytes written so far must not stay behind a link either.
      {"file size limit, timing name a hard link",
       [](Scene& s) {
         s.Put("t.txt", OldTiming());
         fs::create_hard_link(s.Path("t.txt"), s.Path("x.tim"));
         return WholeCapture(s);
       },
       SystemError(EFBIG), After::kEmptied, false, "x.dat", "x.tim",
       RunOptions{"", 1000, true}},
      {"capture is its own timing file by symbolic link",
       [](Scene& s) {
         fs::create_symlink("x.dat", s.Path("x.tim"));
         return WholeCapture(s);
       },
       kSameFile, After::kUnchanged, false},
      // Refused by its name alone: opening it to check would fail first.
      NotForRoot({"read-only capture is its own timing file by hard link",
                  [](Scene& s) {
                    WholeCapture(s);
                    fs::create_hard_link(s.Path("x.dat"), s.Path("x.tim"));
                    s.Lock("x.dat", fs::perms::owner_read);
                    return s.Path("x.dat");
                  },
                  kSameFile, After::kUnchanged, false}),
      // What cannot be read cannot be told from a capture.
      NotForRoot({"copy of a capture at the timing name, write-only",
                  [](Scene& s) {
                    s.Put("x.tim", Record().bytes());
                    s.Lock("x.tim", fs::perms::owner_write);
                    return WholeCapture(s);
                  },
                  SystemError(EACCES), After::kUnchanged, false}),
  };
  faults.insert(faults.end(), posix.begin(), posix.end());
  const std::vector<Fault> interrupted = {
      Interrupted("interrupted by SIGINT", SIGINT),
      Interrupted("interrupted by SIGTERM", SIGTERM),
      // Opening a FIFO waits for a reader: a signal must still end it.
      Interrupted(
          "interrupted while the open waits", SIGTERM, After::kUnchanged,
          RunOptions::When::kWaiting,
          [](const Scene& s) { mkfifo(s.Path("x.tim").c_str(), 0644); }),
  };
  faults.insert(faults.end(), interrupted.begin(), interrupted.end());
  // Ignored when the tool starts (nohup), a signal stays ignored.
  Fault ignored =
      Interrupted("SIGTERM ignored at start", SIGTERM, After::kConverted);
  ignored.options.interruption_ignored = true;
  faults.push_back(ignored);
  // Not for the tool to take: a supervisor may start it so.
  Fault pending{"SIGINT blocked and pending at start", WholeCapture, "",
                After::kConverted, true};
  pending.options.pending_signal = SIGINT;
  faults.push_back(pending);
  if (HasFullDevice()) {
    faults.push_back({"disk full",
                      [](const Scene& s) {
                        fs::create_symlink("/dev/full", s.Path("x.tim"));
                        return WholeCapture(s);
                      },
                      SystemError(ENOSPC), After::kUnchanged, false});
  }
#endif
  return faults;
}

class FaultMatrixTest : public ToolTest {
 protected:
  // With the status and message, or, interrupted, by the signal and without
  // a word.
  static void ExpectEnd(const ToolRun& run, const Fault& fault, int status) {
    const RunOptions& options = fault.options;
    if (options.interruption == 0 || options.interruption_ignored)
      return ExpectRun(run, status, fault.err);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.signal, options.interruption);
  }

  void RunCase(const Fault& fault, bool old_timing) {
    Scene scene(dir_.path(), old_timing);
    fs::create_directories(fs::path(scene.Path(fault.timing)).parent_path());
    if (old_timing)
      scene.Put(fault.timing, OldTiming());
    const std::string argument = fault.arrange(scene);
    const std::string capture = Snapshot(scene.Path(fault.capture));
    const std::string timing = Snapshot(scene.Path(fault.timing));
    scene.ApplyLocks();
    RunOptions options = fault.options;
    options.watched = scene.Path(fault.timing);
    const ToolRun run = RunTool({argument}, options);
    scene.UndoLocks();
    const std::string timing_path = scene.Path(fault.timing);
    std::string content;
    switch (fault.after) {
      case After::kConverted:
        ExpectEnd(run, fault, 0);
        EXPECT_TRUE(ReadFile(timing_path, &content));
        EXPECT_TRUE(content == ExpectedTiming(fault.record()));
        break;
      case After::kUnchanged:
        ExpectEnd(run, fault, 1);
        EXPECT_EQ(Snapshot(timing_path), timing);
        break;
      case After::kRemoved:
        ExpectEnd(run, fault, 1);
        EXPECT_FALSE(FileExists(timing_path));  // printing it could take long
        break;
      case After::kEmptied:
        ExpectEnd(run, fault, 1);
        EXPECT_EQ(fs::is_symlink(timing_path), timing.rfind("link", 0) == 0);
        EXPECT_EQ(FileExists(timing_path), fs::is_symlink(timing_path));
        EXPECT_TRUE(ReadFile(scene.Path("t.txt"), &content));
        EXPECT_EQ(content, "");
        break;
    }
    EXPECT_EQ(Snapshot(scene.Path(fault.capture)), capture);
  }

  // Runs every case that binds_root says, once as arranged and, where it
  // asks for it, once more with an earlier timing file in place.
  void RunCases(bool binds_root) {
    for (const Fault& fault : Faults()) {
      if (fault.binds_root != binds_root)
        continue;
      for (bool old_timing : {false, true}) {
        if (old_timing && !fault.with_old_timing)
          continue;
        SCOPED_TRACE(std::string(fault.what) +
                     (old_timing ? ", earlier timing file" : ""));
        RunCase(fault, old_timing);
      }
    }
  }
};

TEST_F(FaultMatrixTest, FailsCleanly) { RunCases(true); }

// Root reads and writes whatever the permission bits say.
TEST_F(FaultMatrixTest, FailsCleanlyWherePermissionsBind) {
#ifndef _WIN32
  if (geteuid() == 0)
    GTEST_SKIP() << "permissions do not bind root";
#endif
  RunCases(false);
}

}  // namespace
