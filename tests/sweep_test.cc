// Every file-system call of a run, swept, from each state the timing name
// can be in: the tool is run once as it is, its calls numbered by the
// library preloaded into it (failing_calls.cc), then once per call and
// mode: the call fails, a signal comes just before or just after it, or
// another program first swaps a capture in at the timing name, or writes
// into what is there. No capture
// may change; status 0 leaves the exact conversion; a failure says why, or
// the signal ends the run, and leaves what was there, or nothing of its own.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "string_sink.h"
#include "tool_test.h"

namespace {

namespace fs = std::filesystem;

const char kTheirs[] = "another program's line\r\n";

const std::string& Conversion() {
  static const std::string text = ExpectedTiming(Toggling(300));
  return text;
}

// What a name shows: a symbolic link's text, and what it leads to.
struct Look {
  std::string link;
  std::string kind = "nothing";  // or "file", "FIFO", "other"
  ino_t inode = 0;
  std::string bytes;

  bool operator==(const Look& o) const {
    return link == o.link && kind == o.kind && inode == o.inode &&
           bytes == o.bytes;
  }
  std::string Shown() const {
    return (link.empty() ? "" : "link to " + link + ", ") + kind + " " +
           std::to_string(inode) + " of " + std::to_string(bytes.size()) +
           " bytes";
  }
};

Look LookAt(const std::string& path) {
  Look look;
  std::error_code error;
  if (fs::is_symlink(fs::symlink_status(path, error)))
    look.link = fs::read_symlink(path, error).string();
  struct stat st;
  if (stat(path.c_str(), &st) != 0)
    return look;
  look.kind = S_ISREG(st.st_mode)    ? "file"
              : S_ISFIFO(st.st_mode) ? "FIFO"
                                     : "other";
  look.inode = st.st_ino;
  if (look.kind == "file")
    ReadFile(path, &look.bytes);
  return look;
}

void PutAt(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Longer than the conversion, so that one written over it would show.
std::string Earlier() {
  std::string text;
  while (text.size() <= Conversion().size())
    text += "an earlier timing file\r\n";
  return text;
}

// Each makes the timing name x.tim. A failed run may leave nothing there
// (may_go), or the link there with its file emptied (may_empty); a capture
// there is never converted (refused).
const struct State {
  const char* name;
  void (*arrange)(const ScratchDir&);
  bool may_go;
  bool may_empty;
  bool refused;
} kStates[] = {
    {"Nothing", [](const ScratchDir&) {}, true, false, false},
    {"EarlierTimingFile",
     [](const ScratchDir& d) { PutAt(d / "x.tim", Earlier()); }, true, false,
     false},
    {"LinkToAnEarlierTimingFile",
     [](const ScratchDir& d) {
       PutAt(d / "t.txt", Earlier());
       fs::create_symlink("t.txt", d / "x.tim");
     },
     false, true, false},
    {"DanglingLink",
     [](const ScratchDir& d) {
       fs::create_directory(d / "tgt");
       fs::create_symlink("tgt/t.tim", d / "x.tim");
     },
     false, false, false},
    {"HardLinkToAnotherCapture",
     [](const ScratchDir& d) {
       fs::create_hard_link(d / "other.dat", d / "x.tim");
     },
     false, false, true},
    {"CopyOfACapture",
     [](const ScratchDir& d) { fs::copy_file(d / "other.dat", d / "x.tim"); },
     false, false, true},
    {"Fifo", [](const ScratchDir& d) { mkfifo((d / "x.tim").c_str(), 0644); },
     false, false, false},
};

// Every signal that ends a process by default and comes from outside it.
std::vector<int> Interruptions() {
  std::vector<int> all = {SIGHUP,  SIGINT,  SIGQUIT,   SIGTERM,
                          SIGALRM, SIGXCPU, SIGVTALRM, SIGPROF,
                          SIGPOLL, SIGUSR1, SIGUSR2,   SIGPWR};
#ifdef SIGSTKFLT
  all.push_back(SIGSTKFLT);
#endif
  for (int signal_number = SIGRTMIN; signal_number <= SIGRTMAX; ++signal_number)
    all.push_back(signal_number);
  return all;
}

// One run's folder: the capture x.dat, two others (one to swap in), and
// the timing name x.tim as the state makes it. A FIFO there is held open
// for reading, so that it opens for writing at once.
class Scene {
 public:
  Scene(const std::string& parent, const State& state) : dir_(parent) {
    for (size_t k = 0; k < std::size(kCaptures); ++k)
      PutAt(dir_ / kCaptures[k], Toggling(300 + static_cast<int>(k)).bytes());
    state.arrange(dir_);
    for (const char* capture : kCaptures)
      kept_.push_back(LookAt(dir_ / capture));
    before_ = LookAt(dir_ / "x.tim");
    if (before_.kind == "FIFO")
      fifo_ = open((dir_ / "x.tim").c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  }
  ~Scene() {
    if (fifo_ >= 0)
      close(fifo_);
  }

  std::string operator/(const std::string& name) const { return dir_ / name; }
  const Look& before() const { return before_; }
  // The first capture changed, if one was; after a move the timing name
  // must still be the one swapped in.
  std::string Changed(bool moved) const {
    for (size_t k = 0; k < std::size(kCaptures); ++k) {
      if (!(LookAt(dir_ / kCaptures[k]) == kept_[k]))
        return kCaptures[k];
    }
    return moved && !(LookAt(dir_ / "x.tim") == kept_[2]) ? "x.tim" : "";
  }
  std::string Drained() const {
    std::string bytes;
    char buffer[4096];
    for (ssize_t got;
         fifo_ >= 0 && (got = read(fifo_, buffer, sizeof buffer)) > 0;)
      bytes.append(buffer, static_cast<size_t>(got));
    return bytes;
  }

 private:
  static constexpr const char* kCaptures[] = {"x.dat", "other.dat",
                                              "spare.dat"};
  ScratchDir dir_;
  std::vector<Look> kept_;
  Look before_;
  int fifo_ = -1;
};

// What is wrong with how a run ended, if anything: status 0 (255: the
// capture's own close failed) without a word, status 1 saying why, or the
// signal raised, without a word but for a refusal said before it came.
// Undisturbed, a run converts or refuses a capture.
std::string WrongEnd(const ToolRun& run, const State& state, int signal_number,
                     bool undisturbed) {
  const bool done = (run.status == 0 || run.status == 255) && run.err.empty();
  const bool told = run.status == 1 && !run.err.empty();
  const bool ended =
      run.signal != 0 && run.signal == signal_number &&
      (run.err.empty() || (state.refused && run.err == kHoldsCapture));
  const bool as_always = run.status == (state.refused ? 1 : 0) &&
                         run.err == (state.refused ? kHoldsCapture : "");
  if (run.out.empty() && (done || told || ended) && (as_always || !undisturbed))
    return "";
  return "status " + std::to_string(run.status) + ", signal " +
         std::to_string(run.signal) + ", said " + run.err;
}

// What is wrong with what a run left at the timing name (after a move, at
// x.tim.moved), if anything. Another program's bytes in a file the run
// made are that program's to keep.
std::string WrongRemains(const State& state, const ToolRun& run,
                         const std::string& mode, const Look& before,
                         const Look& left, const std::string& drained) {
  const bool moved = mode == "move";
  const bool same_link = left.link == before.link;
  const bool converted =
      !state.refused && same_link &&
      (left.kind == "FIFO"
           ? left.inode == before.inode && drained == Conversion()
           : left.kind == "file" && left.bytes == Conversion());
  if (run.signal == 0 && run.status != 1)
    return converted ? "" : "status 0 with " + left.Shown();
  const bool emptied =
      same_link && left.kind == "file" && left.bytes.empty() &&
      (moved ? !state.refused : state.may_empty && left.inode == before.inode);
  const bool gone = state.may_go && left == Look();
  const bool theirs = mode == "write" && left.bytes == kTheirs;
  if (left == before || gone || emptied || theirs ||
      (run.signal != 0 && converted))
    return "";
  return "left " + left.Shown() + ", not " + before.Shown();
}

class SweepTest : public ToolTest,
                  public ::testing::WithParamInterface<size_t> {
 protected:
  // Runs the tool disturbed at call n as the mode says (undisturbed, its
  // calls logged, for none), and says what is wrong, if anything.
  std::string Run(const std::string& mode, size_t n, int signal_number) const {
    const State& state = kStates[GetParam()];
    const Scene scene(dir_.path(), state);
    RunOptions options;
    options.time_limit_s = 5;
    options.environment = {
        std::string("LD_PRELOAD=") + TROVCONV_FAILING_CALLS,
        "TROVCONV_SWEEP_NAME=" + scene / "x.tim",
        "TROVCONV_SWEEP_SPARE=" + scene / "spare.dat",
        "TROVCONV_SWEEP_MODE=" + mode,
        "TROVCONV_SWEEP_CALL=" + std::to_string(n),
        "TROVCONV_SWEEP_SIGNAL=" + std::to_string(signal_number),
        std::string("TROVCONV_SWEEP_THEIRS=") + kTheirs};
    if (mode.empty())
      options.environment.push_back("TROVCONV_SWEEP_LOG=" + dir_ / "calls");
    const ToolRun run = RunTool({scene / "x.dat"}, options);
    const bool moved = mode == "move";
    if (std::string changed = scene.Changed(moved); !changed.empty())
      return "changed the capture at " + changed;
    if (std::string ended = WrongEnd(run, state, signal_number, mode.empty());
        !ended.empty())
      return ended;
    return WrongRemains(state, run, mode, scene.before(),
                        LookAt(scene / (moved ? "x.tim.moved" : "x.tim")),
                        scene.Drained());
  }
};

TEST_P(SweepTest, EveryCallOfARun) {
  std::string fault = Run("", 0, 0);
  EXPECT_EQ(fault, "") << "undisturbed";
  int runs = 1;
  int faults = !fault.empty();
  std::vector<std::string> calls;
  std::ifstream in(dir_ / "calls");
  for (std::string line; std::getline(in, line);)
    calls.push_back(line);
  ASSERT_FALSE(calls.empty()) << "the preloaded library saw no call";
  // The signal turns with each run, from a point of the state's own: over
  // all states each comes at many calls.
  const std::vector<int> signals = Interruptions();
  size_t turn = GetParam() * 7;
  // Bytes written into the file after the commit's last look at its size
  // are past any check, as are bytes written into a capture or a FIFO.
  const size_t last_look = static_cast<size_t>(
      calls.rend() - std::find(calls.rbegin(), calls.rend(), "fstat"));
  const State& state = kStates[GetParam()];
  const bool writable = !state.refused && std::string(state.name) != "Fifo";
  for (const std::string mode : {"fail", "before", "after", "move", "write"}) {
    const size_t last = mode != "write" ? calls.size()
                        : writable      ? last_look
                                        : 0;
    for (size_t n = 1; n <= last; ++n, ++runs) {
      const int signal_number = mode == "before" || mode == "after"
                                    ? signals[turn++ % signals.size()]
                                    : 0;
      fault = Run(mode, n, signal_number);
      faults += !fault.empty();
      EXPECT_EQ(fault, "") << mode << " at call " << n << " (" << calls[n - 1]
                           << "), signal " << signal_number;
    }
  }
  std::printf("[ SWEPT    ] %s: %zu calls, %d runs, %d faults\n",
              kStates[GetParam()].name, calls.size(), runs, faults);
}

INSTANTIATE_TEST_SUITE_P(States, SweepTest,
                         ::testing::Range(size_t{0}, std::size(kStates)),
                         [](const ::testing::TestParamInfo<size_t>& info) {
                           return std::string(kStates[info.param].name);
                         });

}  // namespace
