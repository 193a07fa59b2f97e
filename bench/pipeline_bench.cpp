// Times each stage of the pipeline, and the whole of it, on the three
// product inputs, next to one memchr pass over the same bytes: the floor any
// stage that must look at every byte is measured against.
//
//   pipeline_bench [--inputs=DIR] [Google Benchmark flags]
//
// bytes/s is per byte of the input file for every stage (so stages compare
// directly); items/s is product rows; faults is minor page faults per run,
// the price of fresh memory. DetectSeparator reads only the first lines, so
// it reports its time alone.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "bench/input_folder.h"
#include "bench/whole_pipeline.h"
#include "data/text_cutter.h"
#include "data/text_loader.h"

namespace tabrelium::bench {
namespace {

// Enough for the short stages to settle; a stage that takes longer runs once
// per repetition. With 24 benchmarks the whole run stays within a few
// minutes on two cores.
constexpr double kMinSeconds = 0.3;
constexpr int kRepetitions = 7;

// The finished session of one input, made once and shared by the stage
// benchmarks of that input. Only one input's session is kept at a time, so
// a stage runs with the memory its own input needs and no more.
struct Prepared {
  const ProductInput* input = nullptr;
  std::string path;
  Session session;
  int64_t fileBytes = 0;
  int64_t rows = 0;
};

std::unique_ptr<Prepared> g_prepared;
const InputFolder* g_folder = nullptr;

const Prepared* PrepareOrFail(const ProductInput& input, benchmark::State& state) {
  if (g_prepared && g_prepared->input == &input) return g_prepared.get();
  g_prepared.reset();
  auto p = std::make_unique<Prepared>();
  p->input = &input;
  p->path = g_folder->PathOf(input);
  std::string error;
  if (!RunWholePipeline(p->path, p->session, error)) {
    state.SkipWithError(error.c_str());
    return nullptr;
  }
  p->fileBytes = p->session.Text().sourceSize;
  p->rows = p->session.Cells().rowCount;
  g_prepared = std::move(p);
  return g_prepared.get();
}

int64_t MinorFaults() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_minflt;
}

// Counts the page faults of the timed loop, which runs between the
// constructor and Report.
class FaultCounter {
 public:
  FaultCounter() : start_(MinorFaults()) {}
  void Report(benchmark::State& state, int64_t fileBytes, int64_t rows) const {
    state.SetBytesProcessed(state.iterations() * fileBytes);
    state.SetItemsProcessed(state.iterations() * rows);
    state.counters["faults"] = benchmark::Counter(static_cast<double>(MinorFaults() - start_),
                                                  benchmark::Counter::kAvgIterations);
  }

 private:
  int64_t start_;
};

// One memchr over the whole text for a byte that is not in it (the NUL the
// loader put after the text is excluded).
void BaselineMemchr(benchmark::State& state, const ProductInput* input) {
  const Prepared* p = PrepareOrFail(*input, state);
  if (!p) return;
  const TextBuffer& b = p->session.Text();
  const FaultCounter faults;
  for (auto _ : state) {
    const void* hit = std::memchr(b.text.data(), 0, static_cast<size_t>(b.textEnd));
    benchmark::DoNotOptimize(hit);
  }
  faults.Report(state, p->fileBytes, p->rows);
}

// One memchr call per line, counting LFs: the floor for any line-by-line pass.
void BaselineLineMemchr(benchmark::State& state, const ProductInput* input) {
  const Prepared* p = PrepareOrFail(*input, state);
  if (!p) return;
  const TextBuffer& b = p->session.Text();
  const FaultCounter faults;
  for (auto _ : state) {
    const uint8_t* pos = b.begin();
    const uint8_t* const end = b.end();
    int64_t lines = 0;
    while (const void* hit = std::memchr(pos, '\n', static_cast<size_t>(end - pos))) {
      ++lines;
      pos = static_cast<const uint8_t*>(hit) + 1;
    }
    benchmark::DoNotOptimize(lines);
  }
  faults.Report(state, p->fileBytes, p->rows);
}

void Load(benchmark::State& state, const ProductInput* input) {
  const Prepared* p = PrepareOrFail(*input, state);
  if (!p) return;
  TextBuffer buffer;
  CellTable cells;
  const FaultCounter faults;
  for (auto _ : state) {
    if (!LoadTextFile(p->path, buffer, cells)) {
      state.SkipWithError("load failed");
      break;
    }
    benchmark::DoNotOptimize(buffer.text.data());
  }
  faults.Report(state, p->fileBytes, p->rows);
}

void CountLines(benchmark::State& state, const ProductInput* input) {
  const Prepared* p = PrepareOrFail(*input, state);
  if (!p) return;
  CellTable cells;
  const FaultCounter faults;
  for (auto _ : state) {
    CountTextLines(p->session.Text(), p->session.Fields(), cells);
    benchmark::DoNotOptimize(cells.lineCount);
  }
  faults.Report(state, p->fileBytes, p->rows);
}

void Detect(benchmark::State& state, const ProductInput* input) {
  const Prepared* p = PrepareOrFail(*input, state);
  if (!p) return;
  FieldTable table = MakeDefaultFieldTable();
  CellTable cells;
  for (auto _ : state) {
    table.separatorIndex = 0;  // TAB, as loaded: the comma must be found again
    DetectSeparator(p->session.Text(), table, cells);
    benchmark::DoNotOptimize(cells.fieldsPerLine);
  }
}

void BuildCells(benchmark::State& state, const ProductInput* input) {
  const Prepared* p = PrepareOrFail(*input, state);
  if (!p) return;
  CellTable cells;
  cells.lineCount = p->session.Cells().lineCount;
  cells.fieldsPerLine = p->session.Cells().fieldsPerLine;
  const FaultCounter faults;
  for (auto _ : state) {
    BuildCellTable(p->session.Text(), p->session.Fields(), cells);
    benchmark::DoNotOptimize(cells.cellRef.data());
  }
  faults.Report(state, p->fileBytes, p->rows);
}

void BuildImage(benchmark::State& state, const ProductInput* input) {
  const Prepared* p = PrepareOrFail(*input, state);
  if (!p) return;
  const FaultCounter faults;
  for (auto _ : state) {
    // A fresh image each time: a real build gets fresh memory too.
    TableImage image;
    BuildTableImage(p->session.Cells(), p->session.Fields(), image);
    benchmark::DoNotOptimize(image.bytes.data());
  }
  faults.Report(state, p->fileBytes, p->rows);
}

void WholePipeline(benchmark::State& state, const ProductInput* input) {
  // The shared session would double the memory in use; this stage stands alone.
  g_prepared.reset();
  const std::string path = g_folder->PathOf(*input);
  int64_t fileBytes = 0;
  int64_t rows = 0;
  const FaultCounter faults;
  for (auto _ : state) {
    Session session;
    std::string error;
    if (!RunWholePipeline(path, session, error)) {
      state.SkipWithError(error.c_str());
      break;
    }
    fileBytes = session.Text().sourceSize;
    rows = session.Cells().rowCount;
    benchmark::DoNotOptimize(session.Image().bytes.data());
  }
  faults.Report(state, fileBytes, rows);
}

void RegisterAll() {
  using Stage = void (*)(benchmark::State&, const ProductInput*);
  struct Named {
    std::string_view name;
    Stage run;
  };
  constexpr Named kStages[] = {
      {"baseline_memchr", BaselineMemchr}, {"baseline_memchr_lines", BaselineLineMemchr},
      {"load", Load},                      {"count_lines", CountLines},
      {"detect_separator", Detect},        {"build_cells", BuildCells},
      {"build_image", BuildImage},         {"pipeline", WholePipeline},
  };
  // Input by input, so that each input's session is prepared once.
  for (const ProductInput& input : kProductInputs) {
    for (const Named& stage : kStages) {
      const std::string name = std::string(stage.name) + "/" + std::string(input.label);
      benchmark::RegisterBenchmark(name.c_str(), stage.run, &input)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime()
          ->MinTime(kMinSeconds)
          ->Repetitions(kRepetitions)
          ->ReportAggregatesOnly(true);
    }
  }
}

}  // namespace
}  // namespace tabrelium::bench

int main(int argc, char** argv) {
  using namespace tabrelium::bench;
  // glibc raises its mmap threshold after the first large block is freed,
  // after which freed blocks are handed out again already mapped. A process
  // that runs the pipeline once never sees that; fixing the threshold at its
  // default keeps every run paying for fresh memory as that process does.
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
  benchmark::Initialize(&argc, argv);
  std::string dir;
  for (int i = 1; i < argc; ++i) {
    constexpr std::string_view kInputs = "--inputs=";
    const std::string_view arg = argv[i];
    if (arg.starts_with(kInputs)) {
      dir = arg.substr(kInputs.size());
    } else {
      std::fprintf(stderr, "pipeline_bench: unknown argument %s\n", argv[i]);
      return 2;
    }
  }
  std::string error;
  std::optional<InputFolder> folder = InputFolder::Prepare(dir, error);
  if (!folder) {
    std::fprintf(stderr, "pipeline_bench: %s\n", error.c_str());
    return 1;
  }
  g_folder = &*folder;
  RegisterAll();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  g_prepared.reset();
  return 0;
}
