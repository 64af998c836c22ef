// The timing file writer alone, writing into a sink that drops the bytes, so
// what is measured is formatting, not the file system.
#include <benchmark/benchmark.h>

#include "bench_captures.h"

namespace {

void WriteCapture(benchmark::State& state, const CaptureBuilder& builder) {
  const Capture original = builder.ToCapture();
  CountingSink sink;
  for (auto _ : state) {         // NOLINT(clang-analyzer-deadcode.DeadStores)
    Capture capture = original;  // the writer edits names in place
    WriteTimingFile(&capture, capture.SampleInterval(), &sink);
  }
  state.SetBytesProcessed(static_cast<int64_t>(sink.bytes));
}

void BM_WorstCase(benchmark::State& state) {
  WriteCapture(state, WorstCaseCapture());
}
BENCHMARK(BM_WorstCase)->Unit(benchmark::kMillisecond);

void BM_Typical(benchmark::State& state) {
  WriteCapture(state, TypicalCapture());
}
BENCHMARK(BM_Typical)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
