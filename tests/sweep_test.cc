// Every file-system call of a run, swept, from each state the timing name
// can be in. The tool is run once undisturbed, its calls numbered by the
// library preloaded into it (failing_calls.cc), then once per call and way
// of disturbing it: the call fails, a signal comes just before or just
// after it, or another program first swaps the file at the timing name for
// a capture. Whatever happens, no capture changes; status 0 leaves the
// exact conversion; a failure says why, or the signal ends the run without
// a word, and what was at the timing name stays, or nothing of the run's.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

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

const std::string& Conversion() {
  static const std::string text = ExpectedTiming(Toggling(300));
  return text;
}

// Longer than the conversion, so that one written over it would show.
std::string Earlier() {
  std::string text;
  while (text.size() <= Conversion().size())
    text += "an earlier timing file\r\n";
  return text;
}

// What a name shows: a symbolic link's text, and the file it leads to.
struct Look {
  std::string link;  // empty for a name that is no link
  char kind = '-';   // 'f' a plain file, 'p' a FIFO, '?' else, '-' nothing
  ino_t inode = 0;
  std::string bytes;  // a plain file's

  bool operator==(const Look& o) const {
    return link == o.link && kind == o.kind && inode == o.inode &&
           bytes == o.bytes;
  }
  bool operator!=(const Look& o) const { return !(*this == o); }
  std::string Shown() const {
    return (link.empty() ? "" : "link to " + link + ", ") + kind + " " +
           std::to_string(inode) + " of " + std::to_string(bytes.size()) +
           " bytes: " + bytes.substr(0, 24);
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
  look.kind = S_ISREG(st.st_mode) ? 'f' : S_ISFIFO(st.st_mode) ? 'p' : '?';
  look.inode = st.st_ino;
  if (look.kind == 'f')
    ReadFile(path, &look.bytes);
  return look;
}

// One run's folder: the capture x.dat, another capture, a spare one to
// swap in, and the timing name x.tim as the state makes it. A FIFO there
// is held open for reading, so that the tool's open does not wait.
class Scene {
 public:
  Scene(const std::string& parent, void (*arrange)(const Scene&))
      : dir_(parent) {
    Put("x.dat", Toggling(300).bytes());
    Put("other.dat", Toggling(7).bytes());
    Put("spare.dat", Toggling(11).bytes());
    arrange(*this);
    if (LookAt(Path("x.tim")).kind == 'p')
      fifo_ = open(Path("x.tim").c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  }
  ~Scene() {
    if (fifo_ >= 0)
      close(fifo_);
  }
  Scene(const Scene&) = delete;
  Scene& operator=(const Scene&) = delete;

  std::string Path(const std::string& name) const { return dir_ / name; }
  void Put(const std::string& name, const std::string& bytes) const {
    std::ofstream(Path(name), std::ios::binary) << bytes;
  }
  // What the run wrote into the FIFO.
  std::string Drained() const {
    std::string bytes;
    char buffer[4096];
    ssize_t got;
    while (fifo_ >= 0 && (got = read(fifo_, buffer, sizeof buffer)) > 0)
      bytes.append(buffer, static_cast<size_t>(got));
    return bytes;
  }

 private:
  ScratchDir dir_;
  int fifo_ = -1;
};

struct State {
  const char* name;
  void (*arrange)(const Scene&);
  bool may_go;     // a failed run may leave nothing at the timing name
  bool may_empty;  // or the link there with its file emptied
  bool refused;    // a capture: never converted
};

const State kStates[] = {
    {"Nothing", [](const Scene&) {}, true, false, false},
    {"EarlierTimingFile", [](const Scene& s) { s.Put("x.tim", Earlier()); },
     true, false, false},
    {"LinkToAnEarlierTimingFile",
     [](const Scene& s) {
       s.Put("t.txt", Earlier());
       fs::create_symlink("t.txt", s.Path("x.tim"));
     },
     false, true, false},
    {"DanglingLink",
     [](const Scene& s) {
       fs::create_directory(s.Path("tgt"));
       fs::create_symlink("tgt/t.tim", s.Path("x.tim"));
     },
     false, false, false},
    {"HardLinkToAnotherCapture",
     [](const Scene& s) {
       fs::create_hard_link(s.Path("other.dat"), s.Path("x.tim"));
     },
     false, false, true},
    {"CopyOfACapture",
     [](const Scene& s) { s.Put("x.tim", Toggling(7).bytes()); }, false, false,
     true},
    {"Fifo", [](const Scene& s) { mkfifo(s.Path("x.tim").c_str(), 0644); },
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

class SweepTest : public ToolTest,
                  public ::testing::WithParamInterface<size_t> {
 protected:
  // What is wrong with how a run so disturbed ended, if anything. A move
  // leaves the spare capture at the timing name, and at x.tim.moved what
  // was there then, which is judged as the timing name is otherwise.
  std::string Run(const std::vector<std::string>& settings, int signal_number,
                  bool moved) const {
    const State& state = kStates[GetParam()];
    const Scene scene(dir_.path(), state.arrange);
    std::vector<std::string> captures = {"x.dat", "other.dat", "spare.dat"};
    std::vector<Look> kept;
    for (const std::string& capture : captures)
      kept.push_back(LookAt(scene.Path(capture)));
    const Look before = LookAt(scene.Path("x.tim"));
    RunOptions options;
    options.time_limit_s = 5;
    options.environment = {"LD_PRELOAD=" TROVCONV_FAILING_CALLS,
                           "TROVCONV_SWEEP_NAME=" + scene.Path("x.tim"),
                           "TROVCONV_SWEEP_SPARE=" + scene.Path("spare.dat")};
    options.environment.insert(options.environment.end(), settings.begin(),
                               settings.end());
    const ToolRun run = RunTool({scene.Path("x.dat")}, options);
    for (size_t k = 0; k < captures.size(); ++k) {
      if (LookAt(scene.Path(captures[k])) != kept[k])
        return "changed the capture " + captures[k];
    }
    const Look now = LookAt(scene.Path("x.tim"));
    if (moved && now != kept[2])
      return "changed the capture swapped in: " + now.Shown();
    const Look left = moved ? LookAt(scene.Path("x.tim.moved")) : now;
    // A signal ends a run without a word, but for a refusal said before.
    const bool done = run.status == 0 || run.status == 255;
    const bool told = run.status == 1 && !run.err.empty();
    const bool ended =
        run.signal != 0 && run.signal == signal_number &&
        (run.err.empty() || (state.refused && run.err == kHoldsCapture));
    if (!run.out.empty() || !((done && run.err.empty()) || told || ended))
      return "status " + std::to_string(run.status) + ", signal " +
             std::to_string(run.signal) + ", said: " + run.err;
    const bool same_link = left.link == before.link;
    const bool converted =
        !state.refused && same_link &&
        (left.kind == 'p'
             ? left.inode == before.inode && scene.Drained() == Conversion()
             : left.kind == 'f' && left.bytes == Conversion());
    if (done)
      return converted ? "" : "status 0 with " + left.Shown();
    const bool emptied =
        same_link && left.kind == 'f' && left.bytes.empty() &&
        (moved ? !state.refused
               : state.may_empty && left.inode == before.inode);
    const bool gone = state.may_go && left.kind == '-' && left.link.empty();
    if (left == before || gone || emptied || (ended && converted))
      return "";
    return "left " + left.Shown() + ", not " + before.Shown();
  }
};

TEST_P(SweepTest, EveryCallOfARun) {
  const std::string log = dir_ / "calls";
  int runs = 1;
  int faults = 0;
  std::string fault = Run({"TROVCONV_SWEEP_LOG=" + log}, 0, false);
  if (!fault.empty()) {
    ++faults;
    ADD_FAILURE() << "undisturbed: " << fault;
  }
  std::vector<std::string> calls;
  std::ifstream in(log);
  for (std::string line; std::getline(in, line);)
    calls.push_back(line);
  ASSERT_FALSE(calls.empty()) << "the preloaded library saw no call";
  // The signal turns with each run, from a point of the state's own: over
  // all states, each comes at many calls.
  const std::vector<int> signals = Interruptions();
  size_t turn = GetParam() * 7;
  for (const std::string mode : {"fail", "before", "after", "move"}) {
    const bool signalled = mode == "before" || mode == "after";
    for (size_t n = 1; n <= calls.size(); ++n) {
      const int signal_number =
          signalled ? signals[turn++ % signals.size()] : 0;
      fault = Run({"TROVCONV_SWEEP_MODE=" + mode,
                   "TROVCONV_SWEEP_CALL=" + std::to_string(n),
                   "TROVCONV_SWEEP_SIGNAL=" + std::to_string(signal_number)},
                  signal_number, mode == "move");
      ++runs;
      if (fault.empty())
        continue;
      ++faults;
      ADD_FAILURE() << mode << " at call " << n << " (" << calls[n - 1]
                    << "), signal " << signal_number << ": " << fault;
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
