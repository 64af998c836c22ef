// Times the built tool on the benchmark captures against cp writing the same
// timing file to the same file system, the least any converter could cost,
// and checks the speed and memory targets. Exits 1 when one is missed.
//
// usage: tool_bench TOOL WORKDIR [RUNS]
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_captures.h"
#include "timing_writer.h"

extern char** environ;

namespace {

const double kRatioTarget = 1.3;
const long kMemoryTargetKiB = 4096;

struct Timing {
  double seconds = 0;
  long peak_rss_kib = 0;
};

// Spawns the command and waits for it; wall time covers start-up and exit.
bool TimeCommand(const std::vector<std::string>& args, Timing* timing) {
  std::vector<char*> argv;
  for (const std::string& arg : args)
    argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  auto start = std::chrono::steady_clock::now();
  pid_t pid;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
    return false;
  int status;
  struct rusage usage;
  if (wait4(pid, &status, 0, &usage) != pid)
    return false;
  timing->seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
          .count();
  timing->peak_rss_kib = usage.ru_maxrss;  // KiB on Linux
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle]
                           : (values[middle - 1] + values[middle]) / 2;
}

class CountingSink : public Sink {
 public:
  bool Write(const char*, size_t size) override {
    bytes += size;
    return true;
  }
  size_t bytes = 0;
};

size_t ExpectedSize(const CaptureBuilder& builder) {
  Capture capture = builder.ToCapture();
  CountingSink sink;
  WriteTimingFile(&capture, capture.SampleInterval(), &sink);
  return sink.bytes;
}

long long FileSize(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

const char* Verdict(bool met) { return met ? "met" : "MISSED"; }

// Returns false when the case could not run or a target was missed.
bool RunCase(const char* title, const CaptureBuilder& builder,
             const std::string& tool, const std::string& stem, int runs) {
  const std::string capture = stem + ".dat";
  const std::string timing = stem + ".tim";
  const std::string copy = stem + "-copy.tim";
  if (!builder.WriteFile(capture)) {
    std::perror(capture.c_str());
    return false;
  }
  std::vector<double> tool_times, cp_times;
  long peak_rss_kib = 0;
  // One untimed round first, so both start from a warm cache. Tool and cp
  // then take turns, so a slow spell of the machine hits both alike; each
  // writes a new file, as a first conversion does.
  for (int run = -1; run < runs; ++run) {
    Timing t, c;
    unlink(timing.c_str());
    unlink(copy.c_str());
    if (!TimeCommand({tool, capture}, &t) ||
        !TimeCommand({"cp", timing, copy}, &c)) {
      std::fprintf(stderr, "%s: a run failed\n", title);
      return false;
    }
    if (run < 0)
      continue;
    tool_times.push_back(t.seconds);
    cp_times.push_back(c.seconds);
    peak_rss_kib = std::max(peak_rss_kib, t.peak_rss_kib);
  }
  long long size = FileSize(timing);
  if (size < 0 || static_cast<size_t>(size) != ExpectedSize(builder)) {
    std::fprintf(stderr, "%s: the timing file has %lld bytes, not %zu\n",
                 title, size, ExpectedSize(builder));
    return false;
  }
  double tool_median = Median(tool_times);
  double cp_median = Median(cp_times);
  double ratio = tool_median / cp_median;
  bool fast = ratio <= kRatioTarget;
  bool small = peak_rss_kib < kMemoryTargetKiB;
  std::printf("%s\n", title);
  std::printf("  timing file       %lld bytes\n", size);
  std::printf("  trovconv median   %.3f ms (%.1f MB/s, %d runs)\n",
              tool_median * 1e3, size / tool_median / 1e6, runs);
  std::printf("  cp median         %.3f ms\n", cp_median * 1e3);
  std::printf("  trovconv / cp     %.2f (target at most %.2f: %s)\n", ratio,
              kRatioTarget, Verdict(fast));
  std::printf("  peak resident     %ld KiB (target under %ld KiB: %s)\n",
              peak_rss_kib, kMemoryTargetKiB, Verdict(small));
  return fast && small;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) {
    std::fputs("usage: tool_bench TOOL WORKDIR [RUNS]\n", stderr);
    return 2;
  }
  const std::string tool = argv[1];
  const std::string work = argv[2];
  int runs = argc == 4 ? std::atoi(argv[3]) : 51;
  if (runs < 1) {
    std::fputs("tool_bench: RUNS must be at least 1\n", stderr);
    return 2;
  }
  mkdir(work.c_str(), 0755);
  bool met = RunCase("worst case: 127 channels changing at every sample",
                     WorstCaseCapture(), tool, work + "/worst", runs);
  met = RunCase("typical: 16 channels, 226 level changes", TypicalCapture(),
                tool, work + "/typical", runs) &&
        met;
  return met ? 0 : 1;
}
